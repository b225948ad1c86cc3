#include "transcoder/options/CodecLookup.h"

#include "base/EngineException.h"
#include "runtime/Bindings.h"
#include "transcoder/options/EncoderNames.h"

namespace tessaro {

namespace {

const char* CodecWord(bool encoder) {
    return encoder ? "encoder" : "decoder";
}

const AVCodec* FindCodecById(AVCodecID id, bool encoder) {
    return encoder ? ff::avcodec_find_encoder(id) : ff::avcodec_find_decoder(id);
}

} // namespace

const AVCodec* FindCodecByName(const std::string& name, bool encoder) {
    return encoder ? ff::avcodec_find_encoder_by_name(ResolveEncoderName(name).c_str())
                   : ff::avcodec_find_decoder_by_name(name.c_str());
}

bool FindCodec(const std::string& name, AVMediaType type, bool encoder, int strictness,
               AVCodecID& codecId, std::string& errorText) {
    codecId = AV_CODEC_ID_NONE;
    if (name.empty()) {
        return true;
    }
    const AVCodec* codec = FindCodecByName(name, encoder);
    if (codec == nullptr) {
        errorText = FormatText("Unknown %s '%s'", CodecWord(encoder), name.c_str());
        return false;
    }
    if (codec->type != type) {
        errorText = FormatText("Invalid %s type '%s'", CodecWord(encoder), name.c_str());
        return false;
    }
    if ((codec->capabilities & AV_CODEC_CAP_EXPERIMENTAL) != 0 &&
        strictness > FF_COMPLIANCE_EXPERIMENTAL) {
        errorText = FormatText("%s '%s' is experimental and might produce bad results.\r\nAdd "
                               "'-strict experimental' if you want to use it.",
                               CodecWord(encoder), codec->name);
        const AVCodec* fallback = FindCodecById(codec->id, encoder);
        if (fallback != nullptr && (fallback->capabilities & AV_CODEC_CAP_EXPERIMENTAL) == 0) {
            errorText += "\r\n" + FormatText("Or use the non experimental %s '%s'.",
                                             CodecWord(encoder), fallback->name);
        }
        return false;
    }
    codecId = codec->id;
    return true;
}

} // namespace tessaro
