// Translation of the words a format file lists (as the parameter boxes show them)
// into the values stored in the settings file and read by the option builder.
#pragma once

#include <optional>
#include <string>

namespace tessaro {

// Video encoder list word, any letter case: "mpeg-4" -> "mpeg4", "xvid" -> "libxvid",
// "h264" -> "libx264", the other known words unchanged; nothing for an unknown word.
std::optional<std::string> VideoEncoderValue(const std::string& word);
// Audio encoder list word, any letter case: "mp3" -> "libmp3lame", "aac" -> "libfaac", ...
std::optional<std::string> AudioEncoderValue(const std::string& word);
// Channel entry, compared exactly: "as source", "mono 1 channel" -> "1",
// "stereo 2 channels" -> "2".
std::optional<std::string> ChannelValue(const std::string& entry);
// Volume entry such as "100%": the percentage on the 256 = unchanged scale, for the
// twelve listed percentages only.
std::optional<std::string> VolumeValue(const std::string& entry);
// Zoom box position: 0 "full", 1 "lbox", 2 "pan".
std::optional<std::string> ZoomValue(int position);

} // namespace tessaro
