// Applying presets: built-in ones (found by name or by codec name and name) and files.
#include "transcoder/options/PresetApply.h"

#include "base/EngineException.h"
#include "base/FileHelpers.h"
#include "base/TextHelpers.h"
#include "transcoder/options/CodecOptions.h"
#include "transcoder/options/LegacyCodecOptions.h"
#include "transcoder/options/Presets.h"

#include <filesystem>
#include <sstream>

namespace tessaro {

namespace {

// Trimmed, line breaks normalised to LF, split into trimmed non-empty lines.
std::vector<std::string> PresetLines(const std::string& text) {
    const std::string normalised = UnifyLineBreaks(TrimText(text));
    std::vector<std::string> lines;
    std::istringstream stream(normalised);
    for (std::string line; std::getline(stream, line);) {
        line = TrimText(line);
        if (!line.empty()) {
            lines.push_back(line);
        }
    }
    return lines;
}

std::string KeyOf(const std::string& line) {
    return TrimText(line.substr(0, line.find('=')));
}

void ApplyPresetText(TTranscoderOptions& options, const std::string& lookupName,
                     const std::string& text, bool builtIn, const TTaskLog& log) {
    const std::vector<std::string> lines = PresetLines(text);
    if (builtIn) {
        // The built-in bodies were written for an encoder wrapper that passed every
        // setting; where a body leaves one out that today's defaults would turn into
        // another H.264 profile, the old value is set first.
        std::vector<std::string> keys;
        for (const std::string& line : lines) {
            keys.push_back(KeyOf(line));
        }
        for (const auto& [key, value] : LegacyX264DefaultsMissingFrom(keys)) {
            SetCodecOption(options, key, value, log);
        }
    }
    for (const std::string& line : lines) {
        const std::size_t eq = line.find('=');
        const std::string key = KeyOf(line);
        const std::string value = eq == std::string::npos ? "" : TrimText(line.substr(eq + 1));
        if (eq == std::string::npos || key.empty() || value.empty()) {
            throw EngineException(
                FormatText("%s: Invalid syntax: \"%s\"", lookupName.c_str(), line.c_str()));
        }
        const std::string lowerKey = LowerText(key);
        if (lowerKey == "acodec") {
            SetCodecName(value, options.audioCodecName, options.audioStreamCopy);
        } else if (lowerKey == "vcodec") {
            SetCodecName(value, options.videoCodecName, options.videoStreamCopy);
        } else if (lowerKey == "scodec") {
            SetCodecName(value, options.subtitleCodecName, options.subtitleStreamCopy);
        } else if (!SetCodecOption(options, key, value, log)) {
            throw EngineException(
                FormatText("%s: Invalid option or argument: \"%s\", parsed as \"%s\" = \"%s\"",
                           lookupName.c_str(), line.c_str(), key.c_str(), value.c_str()));
        }
    }
}

} // namespace

void ApplyPreset(TTranscoderOptions& options, const std::string& kind,
                 const std::string& presetName, const TTaskLog& log) {
    if (kind.empty() || presetName.empty()) {
        return;
    }
    if (kind != "fpre") {
        const TOptionsPreset* preset = FindBuiltInPreset(presetName);
        if (preset == nullptr) {
            const std::string codec =
                kind == "vpre" && !options.videoCodecName.empty()   ? options.videoCodecName
                : kind == "apre" && !options.audioCodecName.empty() ? options.audioCodecName
                                                                    : options.subtitleCodecName;
            if (!codec.empty()) {
                preset = FindBuiltInPreset(codec + "-" + presetName);
            }
        }
        if (preset != nullptr) {
            ApplyPresetText(options, preset->Name, preset->Options, true, log);
            return;
        }
    }
    std::error_code error;
    std::string text;
    if (!std::filesystem::is_regular_file(presetName, error) ||
        ReadWholeFile(presetName, text) != TFileRead::Ok) {
        throw EngineException(FormatText("Preset \"%s\" not found", presetName.c_str()));
    }
    ApplyPresetText(options, presetName, text, false, log);
}

} // namespace tessaro
