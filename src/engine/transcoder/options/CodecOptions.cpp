// The fallback of the option dispatcher into the libraries' own option system.
#include "transcoder/options/CodecOptions.h"

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

// The encoder an option of Type is checked against: the one named for the next stream.
std::string PreferredCodecName(const TTranscoderOptions& options, AVMediaType type) {
    switch (type) {
    case AVMEDIA_TYPE_VIDEO:
        return ResolveEncoderName(options.videoCodecName);
    case AVMEDIA_TYPE_AUDIO:
        return ResolveEncoderName(options.audioCodecName);
    case AVMEDIA_TYPE_SUBTITLE:
        return ResolveEncoderName(options.subtitleCodecName);
    default:
        return {};
    }
}

void LogInvalidValue(const TTaskLog& log, const std::string& name, const std::string& value) {
    log(llError,
        FormatText("Invalid value \"%s\" for option \"%s\"\n", value.c_str(), name.c_str()));
}

bool SetLibraryOptionFor(TTranscoderOptions& options, AVMediaType type, const std::string& name,
                         const std::string& value, const TTaskLog& log) {
    const TOptionSetResult result = options.libraryOptions.SetCodecContextOption(
        type, name, value, PreferredCodecName(options, type));
    if (result == TOptionSetResult::InvalidValue) {
        LogInvalidValue(log, name, value);
    }
    return result == TOptionSetResult::Set;
}

// The core of SetCodecOption for names already in today's vocabulary.
bool SetLibraryOption(TTranscoderOptions& options, const std::string& name,
                      const std::string& value, const TTaskLog& log) {
    TLibraryOptionContexts& contexts = options.libraryOptions;
    const auto invalid = [&] {
        LogInvalidValue(log, name, value);
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
            contexts.SetCodecContextOption(type, name, value, PreferredCodecName(options, type));
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
            options.scalerFlags = contexts.ScalerFlags();
        }
    }
    if (!found && name.size() > 1 && (name[0] == 'a' || name[0] == 'v' || name[0] == 's')) {
        // "ab", "vb", "abt" ...: the option without its media letter, on that type only.
        const AVMediaType type = name[0] == 'a'   ? AVMEDIA_TYPE_AUDIO
                                 : name[0] == 'v' ? AVMEDIA_TYPE_VIDEO
                                                  : AVMEDIA_TYPE_SUBTITLE;
        found = SetLibraryOptionFor(options, type, name.substr(1), value, log);
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

} // namespace

bool SetCodecOption(TTranscoderOptions& options, const std::string& name, const std::string& value,
                    const TTaskLog& log) {
    const std::string key = TrimText(name);
    const std::string text = TrimText(value);
    if (key.empty() || text.empty()) {
        return false;
    }
    TLibraryOptionContexts& contexts = options.libraryOptions;
    if (!contexts.IsCreated()) {
        contexts.Create(options.scalerFlags);
    }
    const auto isGenericFlag = [&](const std::string& unit, const std::string& token) {
        return ff::av_opt_find2(contexts.Codec(AVMEDIA_TYPE_VIDEO), token.c_str(), unit.c_str(), 0,
                                0, nullptr) != nullptr;
    };
    const TLegacyTranslation translation =
        TranslateLegacyCodecOption(key, text, options.legacyFlags2, isGenericFlag);
    if (!translation.translated) {
        return SetLibraryOption(options, key, text, log);
    }
    if (!translation.dropped.empty()) {
        log(llWarning, "Ignoring " + JoinNames(translation.dropped) +
                           ": no equivalent in the installed libraries");
    }
    bool ok = true;
    for (const TCodecOptionValue& option : translation.options) {
        if (option.x264Param) {
            contexts.SetX264Param(option.name, option.value);
        } else if (!SetLibraryOption(options, option.name, option.value, log)) {
            ok = false;
        }
    }
    return ok;
}

void SetCodecName(const std::string& value, std::string& codecName, bool& streamCopy) {
    if (value == "copy") {
        streamCopy = true;
    } else if (!value.empty()) {
        codecName = value;
    }
}

} // namespace tessaro
