// The fallback of the option dispatcher into the libraries' own option system.
#include "transcoder/CustomTranscoder.h"

#include "base/EngineException.h"
#include "base/EngineLogger.h"
#include "base/TextHelpers.h"
#include "transcoder/options/EncoderNames.h"
#include "transcoder/options/LegacyCodecOptions.h"

namespace tessaro {

namespace {

std::string JoinNames(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) {
        text += (text.empty() ? "" : ", ") + name;
    }
    return text;
}

} // namespace

std::string TCustomTranscoder::PreferredCodecName(AVMediaType type) const {
    switch (type) {
    case AVMEDIA_TYPE_VIDEO:
        return ResolveEncoderName(options_.videoCodecName);
    case AVMEDIA_TYPE_AUDIO:
        return ResolveEncoderName(options_.audioCodecName);
    case AVMEDIA_TYPE_SUBTITLE:
        return ResolveEncoderName(options_.subtitleCodecName);
    default:
        return {};
    }
}

bool TCustomTranscoder::SetCodecOption(const std::string& name, const std::string& value) {
    const std::string key = TrimText(name);
    const std::string text = TrimText(value);
    if (key.empty() || text.empty()) {
        return false;
    }
    TLibraryOptionContexts& contexts = options_.libraryOptions;
    if (!contexts.IsCreated()) {
        contexts.Create(options_.scalerFlags);
    }
    const auto isGenericFlag = [&](const std::string& unit, const std::string& token) {
        return ff::av_opt_find2(contexts.Codec(AVMEDIA_TYPE_VIDEO), token.c_str(), unit.c_str(), 0,
                                0, nullptr) != nullptr;
    };
    const TLegacyTranslation translation =
        TranslateLegacyCodecOption(key, text, legacyFlags2_, isGenericFlag);
    if (!translation.translated) {
        return SetLibraryOption(key, text);
    }
    if (!translation.dropped.empty()) {
        LogMessage(llWarning, "Ignoring " + JoinNames(translation.dropped) +
                                  ": no equivalent in the installed libraries");
    }
    bool ok = true;
    for (const TCodecOptionValue& option : translation.options) {
        if (option.x264Param) {
            contexts.SetX264Param(option.name, option.value);
        } else if (!SetLibraryOption(option.name, option.value)) {
            ok = false;
        }
    }
    return ok;
}

bool TCustomTranscoder::SetLibraryOption(const std::string& name, const std::string& value) {
    TLibraryOptionContexts& contexts = options_.libraryOptions;
    const auto invalid = [&] {
        LogMessage(llError, FormatText("Invalid value \"%s\" for option \"%s\"\n", value.c_str(),
                                       name.c_str()));
        return false;
    };
    bool found = false;
    for (AVMediaType type : OptionMediaTypes) {
        // "b" is the video bit rate ("ab" the audio one); today's libraries also let it
        // set an audio encoder's rate, which would give the audio the video's rate.
        if (name == "b" && type != AVMEDIA_TYPE_VIDEO) {
            continue;
        }
        const TOptionSetResult result =
            contexts.SetCodecContextOption(type, name, value, PreferredCodecName(type));
        if (result == TOptionSetResult::InvalidValue) {
            return invalid();
        }
        found = found || result == TOptionSetResult::Set;
    }
    if (!found) {
        const TOptionSetResult result = contexts.SetFormatOption(name, value);
        if (result == TOptionSetResult::InvalidValue) {
            return invalid();
        }
        found = result == TOptionSetResult::Set;
    }
    if (!found) {
        const TOptionSetResult result = contexts.SetScalerOption(name, value);
        if (result == TOptionSetResult::InvalidValue) {
            return invalid();
        }
        found = result == TOptionSetResult::Set;
        if (found) {
            options_.scalerFlags = contexts.ScalerFlags();
        }
    }
    if (!found && name.size() > 1 && (name[0] == 'a' || name[0] == 'v' || name[0] == 's')) {
        // "ab", "vb", "abt" ...: the option without its media letter, on that type only.
        const AVMediaType type = name[0] == 'a'   ? AVMEDIA_TYPE_AUDIO
                                 : name[0] == 'v' ? AVMEDIA_TYPE_VIDEO
                                                  : AVMEDIA_TYPE_SUBTITLE;
        found = SetLibraryOptionFor(type, name.substr(1), value);
    }
    if (!found) {
        return false;
    }
    std::int64_t debug = 0;
    std::int64_t formatDebug = 0;
    ff::av_opt_get_int(contexts.Codec(AVMEDIA_TYPE_VIDEO), "debug", 0, &debug);
    ff::av_opt_get_int(contexts.Format(), "fdebug", 0, &formatDebug);
    if (debug != 0 || formatDebug != 0) {
        TEngineLogger::GetLogger().SetLogLevel(llDebug);
    }
    return true;
}

bool TCustomTranscoder::SetLibraryOptionFor(AVMediaType type, const std::string& name,
                                            const std::string& value) {
    const TOptionSetResult result =
        options_.libraryOptions.SetCodecContextOption(type, name, value, PreferredCodecName(type));
    if (result == TOptionSetResult::InvalidValue) {
        LogMessage(llError, FormatText("Invalid value \"%s\" for option \"%s\"\n", value.c_str(),
                                       name.c_str()));
    }
    return result == TOptionSetResult::Set;
}

} // namespace tessaro
