#include "transcoder/options/LegacyCodecOptions.h"

#include <algorithm>
#include <map>

namespace tessaro {

namespace {

struct TFlagToken {
    char sign = 0; // '+', '-' or 0 (assignment)
    std::string name;
};

// "+a-b+c" -> {+a, -b, +c}; "a" -> {a}.
std::vector<TFlagToken> SplitFlagTokens(const std::string& value) {
    std::vector<TFlagToken> tokens;
    for (char c : value) {
        if (c == '+' || c == '-') {
            tokens.push_back({c, {}});
        } else if (c != ' ') {
            if (tokens.empty()) {
                tokens.push_back({0, {}});
            }
            tokens.back().name += c;
        }
    }
    tokens.erase(std::remove_if(tokens.begin(), tokens.end(),
                                [](const TFlagToken& t) { return t.name.empty(); }),
                 tokens.end());
    return tokens;
}

std::string Bool(bool on) {
    return on ? "1" : "0";
}

void ApplyToken(int& word, const TFlagToken& token, int bit, bool first) {
    if (token.sign == '+') {
        word |= bit;
    } else if (token.sign == '-') {
        word &= ~bit;
    } else {
        word = first ? bit : word | bit;
    }
}

const std::map<std::string, int>& Flags2Bits() {
    static const std::map<std::string, int> bits = {
        {"bpyramid", lf2BPyramid},
        {"mixed_refs", lf2MixedRefs},
        {"wpred", lf2WPred},
        {"dct8x8", lf2Dct8x8},
        {"fastpskip", lf2FastPSkip},
        {"mbtree", lf2MbTree},
        {"aud", lf2Aud},
        {"psy", lf2Psy},
        {"ssim", lf2Ssim},
        {"intra_refresh", lf2IntraRefresh},
        {"bit_reservoir", lf2BitReservoir},
        {"non_linear_q", lf2NonLinearQ},
        {"drop_frame_timecode", lf2DropFrameTimecode},
    };
    return bits;
}

// Bits with an option of their own that is emitted only when the value names them.
const std::vector<std::pair<int, std::string>>& Flags2MentionedOptions() {
    static const std::vector<std::pair<int, std::string>> options = {
        {lf2Aud, "aud"},
        {lf2Psy, "psy"},
        {lf2Ssim, "ssim"},
        {lf2IntraRefresh, "intra-refresh"},
        {lf2BitReservoir, "reservoir"},
        {lf2NonLinearQ, "non_linear_quant"},
        {lf2DropFrameTimecode, "drop_frame_timecode"},
    };
    return options;
}

TLegacyTranslation TranslateFlags2(const std::string& value, int& word,
                                   const TGenericFlagTest& isGeneric) {
    TLegacyTranslation result;
    result.translated = true;
    int mentioned = 0;
    std::string generic;
    bool first = true;
    for (const TFlagToken& token : SplitFlagTokens(value)) {
        const auto bit = Flags2Bits().find(token.name);
        if (bit != Flags2Bits().end()) {
            ApplyToken(word, token, bit->second, first);
            mentioned |= bit->second;
        } else if (isGeneric("flags2", token.name)) {
            generic +=
                (token.sign != 0 ? std::string(1, token.sign) : std::string("+")) + token.name;
        } else {
            result.dropped.push_back("flags2 " + token.name);
        }
        first = false;
    }
    result.options = X264OptionsForFlags2(word);
    for (const auto& [bit, option] : Flags2MentionedOptions()) {
        if ((mentioned & bit) != 0) {
            result.options.push_back({option, Bool((word & bit) != 0)});
        }
    }
    if (!generic.empty()) {
        result.options.push_back({"flags2", generic});
    }
    return result;
}

// Generic "flags" tokens that moved into an encoder's own options.
struct TMovedFlag {
    const char* option;
    const char* token; // non-empty: a token of the flags option Option
};
const std::map<std::string, TMovedFlag>& MovedFlags() {
    static const std::map<std::string, TMovedFlag> moved = {
        {"scan_offset", {"scan_offset", ""}},
        {"qprd", {"mpv_flags", "qp_rd"}},
        {"cbp", {"mpv_flags", "cbp_rd"}},
        {"mv0", {"mpv_flags", "mv0"}},
        {"naq", {"mpv_flags", "naq"}},
        {"aic", {"aic", ""}},
        {"umv", {"umv", ""}},
        {"part", {"data_partitioning", ""}},
        {"alt", {"alternate_scan", ""}},
        {"obmc", {"obmc", ""}},
        {"slice", {"structured_slices", ""}},
        {"svq3_slicing", {"svq3_slicing", ""}},
    };
    return moved;
}

TLegacyTranslation TranslateFlags(const std::string& value, const TGenericFlagTest& isGeneric) {
    TLegacyTranslation result;
    std::string generic;
    std::map<std::string, std::string> movedFlagOptions;
    for (const TFlagToken& token : SplitFlagTokens(value)) {
        const std::string sign = token.sign != 0 ? std::string(1, token.sign) : "+";
        if (token.name == "loop") {
            // libx264 ignores the generic loop-filter flag; only "-loop" changes anything.
            result.translated = true;
            result.options.push_back({"no-deblock", token.sign == '-' ? "1" : "", true});
        }
        if (isGeneric("flags", token.name)) {
            generic += sign + token.name;
            continue;
        }
        result.translated = true;
        const auto moved = MovedFlags().find(token.name);
        if (moved == MovedFlags().end()) {
            result.dropped.push_back("flags " + token.name);
        } else if (*moved->second.token != '\0') {
            movedFlagOptions[moved->second.option] += sign + moved->second.token;
        } else {
            result.options.push_back({moved->second.option, Bool(token.sign != '-')});
        }
    }
    if (!result.translated) {
        return result;
    }
    for (const auto& [option, tokens] : movedFlagOptions) {
        result.options.push_back({option, tokens});
    }
    if (!generic.empty()) {
        result.options.insert(result.options.begin(), {"flags", generic});
    }
    return result;
}

// Old "+parti8x8+partp8x8..." flags -> x264's comma list ("i8x8,p8x8") or "none".
TLegacyTranslation TranslatePartitions(const std::string& value) {
    static const std::vector<std::pair<std::string, std::string>> names = {
        {"parti4x4", "i4x4"}, {"parti8x8", "i8x8"}, {"partp4x4", "p4x4"},
        {"partp8x8", "p8x8"}, {"partb8x8", "b8x8"},
    };
    TLegacyTranslation result;
    if (value.find("part") == std::string::npos) {
        return result; // already in today's syntax
    }
    result.translated = true;
    std::vector<std::string> enabled;
    for (const TFlagToken& token : SplitFlagTokens(value)) {
        const auto it = std::find_if(names.begin(), names.end(),
                                     [&](const auto& n) { return n.first == token.name; });
        if (it == names.end()) {
            result.dropped.push_back("partitions " + token.name);
            continue;
        }
        auto present = std::find(enabled.begin(), enabled.end(), it->second);
        if (token.sign == '-') {
            if (present != enabled.end()) {
                enabled.erase(present);
            }
        } else if (present == enabled.end()) {
            enabled.push_back(it->second);
        }
    }
    std::string list;
    for (const std::string& item : enabled) {
        list += (list.empty() ? "" : ",") + item;
    }
    result.options.push_back({"partitions", list.empty() ? "none" : list});
    return result;
}

// Old motion-estimation method names as the old libx264 wrapper mapped them.
TLegacyTranslation TranslateMeMethod(const std::string& value) {
    static const std::map<std::string, std::string> methods = {
        {"epzs", "dia"}, {"full", "esa"}, {"zero", "hex"}, {"phods", "hex"},
        {"log", "hex"},  {"x1", "hex"},   {"iter", "hex"},
    };
    TLegacyTranslation result;
    const auto it = methods.find(value);
    if (it != methods.end()) {
        result.translated = true;
        result.options.push_back({"me_method", it->second});
    }
    return result;
}

TLegacyTranslation Renamed(const std::string& name, const std::string& value,
                           bool x264Param = false) {
    TLegacyTranslation result;
    result.translated = true;
    result.options.push_back({name, value, x264Param});
    return result;
}

} // namespace

std::vector<TCodecOptionValue> X264OptionsForFlags2(int word) {
    return {
        {"b-pyramid", (word & lf2BPyramid) != 0 ? "normal" : "none"},
        {"mixed-refs", Bool((word & lf2MixedRefs) != 0)},
        {"weightb", Bool((word & lf2WPred) != 0)},
        {"8x8dct", Bool((word & lf2Dct8x8) != 0)},
        {"fast-pskip", Bool((word & lf2FastPSkip) != 0)},
        {"mbtree", Bool((word & lf2MbTree) != 0)},
    };
}

TLegacyTranslation TranslateLegacyCodecOption(const std::string& name, const std::string& value,
                                              int& flags2Word, const TGenericFlagTest& isGeneric) {
    if (name == "flags2") {
        return TranslateFlags2(value, flags2Word, isGeneric);
    }
    if (name == "flags") {
        return TranslateFlags(value, isGeneric);
    }
    if (name == "partitions") {
        return TranslatePartitions(value);
    }
    if (name == "me_method") {
        return TranslateMeMethod(value);
    }
    if (name == "directpred") {
        return Renamed("direct-pred", value);
    }
    if (name == "cqp") {
        TLegacyTranslation result;
        result.translated = true;
        if (value.empty() || value[0] != '-') { // -1 was "off"
            result.options.push_back({"qp", value});
        }
        return result;
    }
    if (name == "aq_mode" || name == "aq_strength" || name == "rc_lookahead") {
        std::string renamed = name;
        std::replace(renamed.begin(), renamed.end(), '_', '-');
        return Renamed(renamed, value);
    }
    if (name == "complexityblur") {
        return Renamed("cplxblur", value, true);
    }
    if (name == "bframebias") {
        return Renamed("b-bias", value, true);
    }
    return {};
}

std::vector<std::pair<std::string, std::string>>
LegacyX264DefaultsMissingFrom(const std::vector<std::string>& bodyKeys) {
    auto has = [&](const char* key) {
        return std::find(bodyKeys.begin(), bodyKeys.end(), key) != bodyKeys.end();
    };
    std::vector<std::pair<std::string, std::string>> defaults;
    if (!has("bf")) {
        defaults.emplace_back("bf", "0");
    }
    if (!has("wpredp")) {
        defaults.emplace_back("wpredp", "0");
    }
    if (!has("flags2")) {
        defaults.emplace_back("flags2", "+fastpskip+mbtree-bpyramid-mixed_refs-wpred-dct8x8");
    }
    return defaults;
}

} // namespace tessaro
