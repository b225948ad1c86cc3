// Small text and data helpers shared by the transcoder, the probe and the player.
#pragma once

#include "base/EngineUtils.h" // FormatFileSize for size texts next to the media texts
#include "runtime/Bindings.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tessaro {

// Prefix + ": " + the text for an AVERROR code ("No such file or directory", "End of
// file", ...; "Error number %d occurred" for codes without a text of their own).
std::string ErrorText(const std::string& prefix, int code);
// The text for an AVERROR code alone, without a prefix.
std::string ErrorText(int code);
// "%.2d:%.2d:%.2d.%.3d" (hours unlimited, milliseconds truncated); "N/A" for
// AV_NOPTS_VALUE; negative times get a leading "-".
std::string TimeText(std::int64_t microseconds);
// "Video", "Audio", "Data", "Subtitle", "Attachment", otherwise "Unknown".
std::string MediaTypeName(int mediaType);
// The codec of the parameters (encoder or decoder) as "name(long name)", or a text
// built from the codec id or the codec tag when the library has no such codec.
// Needs avcodec to be loaded.
std::string CodecNameText(const AVCodecParameters* parameters, bool encoder = false);
// The value stored under key (exact, case-sensitive match), or defaultValue.
std::string MetadataValue(const AVDictionary* metadata, const std::string& key,
                          const std::string& defaultValue = std::string());
// Reads a whole file (plain or "unicode:" name) into buffer followed by a zero byte,
// which the size includes. Returns 0, -1 when the file cannot be opened, AVERROR(ENOMEM)
// when it is too big for memory, AVERROR(EIO) when reading fails.
int ReadWholeFile(const std::string& name, std::vector<char>& buffer);
// The Y, Cb and Cr bytes of studio-range ITU-R BT.601 ("CCIR") for the colour of an ARGB
// palette entry; subpictures are painted onto YUV pictures with them.
void RgbToYuv(std::uint32_t argb, std::uint8_t yuv[3]);

} // namespace tessaro
