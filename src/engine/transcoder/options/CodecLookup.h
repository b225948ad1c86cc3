// Looking a codec up by the name an option gave, with the texts the set-up reports.
#pragma once

#include "runtime/FFmpegPtr.h"

#include <string>

namespace tessaro {

// The encoder (or decoder) called Name, encoder names resolved as ResolveEncoderName does;
// null when there is none.
const AVCodec* FindCodecByName(const std::string& name, bool encoder);

// An empty Name succeeds with AV_CODEC_ID_NONE. Otherwise the codec must exist, be of Type and,
// when experimental, be allowed by Strictness; a failure leaves its text in ErrorText.
bool FindCodec(const std::string& name, AVMediaType type, bool encoder, int strictness,
               AVCodecID& codecId, std::string& errorText);

} // namespace tessaro
