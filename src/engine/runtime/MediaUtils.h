// Texts of the media libraries' values (error codes, media types, codecs, metadata) and the
// palette colour conversion, shared by the transcoder, the probe and the player.
#pragma once

#include "runtime/Bindings.h"

#include <cstdint>
#include <string>

namespace tessaro {

// Prefix + ": " + the text for an AVERROR code ("No such file or directory", "End of
// file", ...; "Error number %d occurred" for codes without a text of their own).
std::string ErrorText(const std::string& prefix, int code);
// The text for an AVERROR code alone, without a prefix.
std::string ErrorText(int code);
// "Video", "Audio", "Data", "Subtitle", "Attachment", otherwise "Unknown".
std::string MediaTypeName(int mediaType);
// The codec of the parameters (encoder or decoder) as "name(long name)", or a text
// built from the codec id or the codec tag when the library has no such codec.
// Needs avcodec to be loaded.
std::string CodecNameText(const AVCodecParameters* parameters, bool encoder = false);
// The value stored under key (exact, case-sensitive match), or defaultValue.
std::string MetadataValue(const AVDictionary* metadata, const std::string& key,
                          const std::string& defaultValue = std::string());
// The Y, Cb and Cr bytes of studio-range ITU-R BT.601 ("CCIR") for the colour of an ARGB
// palette entry; subpictures are painted onto YUV pictures with them.
void RgbToYuv(std::uint32_t argb, std::uint8_t yuv[3]);

} // namespace tessaro
