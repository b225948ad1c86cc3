#include "transcoder/options/EncoderNames.h"

#include "runtime/Bindings.h"

#include <map>
#include <vector>

namespace tessaro {

namespace {

// Old names and what replaces them, best first. Some old names still exist but cannot
// serve: the native vorbis encoder is experimental, pcm_u16le has no tag in the WAVE,
// AVI, MOV or Matroska muxers.
const std::map<std::string, std::vector<std::string>>& Replacements() {
    static const std::map<std::string, std::vector<std::string>> table = {
        {"libfaac", {"aac"}},
        {"libflac", {"flac"}},
        {"vorbis", {"libvorbis", "vorbis"}},
        {"libamr_nb", {"libopencore_amrnb", "aac"}},
        {"libopencore_amrnb", {"libopencore_amrnb", "aac"}},
        {"libamr_wb", {"libvo_amrwbenc", "aac"}},
        {"msmpeg4v1", {"msmpeg4v2"}},
        {"wmv3", {"wmv2"}},
        {"pcm_u16le", {"pcm_s16le"}},
        {"libxvid", {"libxvid", "mpeg4"}},
    };
    return table;
}

bool HasEncoder(const std::string& name) {
    return ff::avcodec_find_encoder_by_name(name.c_str()) != nullptr;
}

} // namespace

std::string ResolveEncoderName(const std::string& name) {
    if (name.empty() || name == "copy") {
        return name;
    }
    const auto replacement = Replacements().find(name);
    if (replacement != Replacements().end()) {
        for (const std::string& candidate : replacement->second) {
            if (HasEncoder(candidate)) {
                return candidate;
            }
        }
        return name;
    }
    if (HasEncoder(name)) {
        return name;
    }
    // A codec name rather than an encoder name ("mp3" -> libmp3lame).
    if (const AVCodecDescriptor* desc = ff::avcodec_descriptor_get_by_name(name.c_str())) {
        if (const AVCodec* codec = ff::avcodec_find_encoder(desc->id)) {
            return codec->name;
        }
    }
    return name;
}

} // namespace tessaro
