#include "formats/FormatValueWords.h"
#include "base/TextHelpers.h"

#include "formats/TextRules.h"

#include <array>
#include <utility>

namespace tessaro {

namespace {

using TWordPair = std::pair<const char*, const char*>;

template <std::size_t N>
std::optional<std::string> Lookup(const std::array<TWordPair, N>& table, const std::string& key) {
    for (const auto& [word, value] : table) {
        if (key == word) {
            return std::string(value);
        }
    }
    return std::nullopt;
}

constexpr std::array<TWordPair, 27> kVideoEncoders = {{
    {"mpeg-4", "mpeg4"},
    {"xvid", "libxvid"},
    {"h264", "libx264"},
    {"3gp", "3gp"},
    {"3g2", "3g2"},
    {"mov", "mov"},
    {"wmv1", "wmv1"},
    {"wmv2", "wmv2"},
    {"wmv3", "wmv3"},
    {"flv", "flv"},
    {"swf", "swf"},
    {"msmpeg4", "msmpeg4"},
    {"msmpeg4v1", "msmpeg4v1"},
    {"msmpeg4v2", "msmpeg4v2"},
    {"mpeg1video", "mpeg1video"},
    {"mpeg2video", "mpeg2video"},
    {"h263", "h263"},
    {"h263p", "h263p"},
    {"rawvideo", "rawvideo"},
    {"rv10", "rv10"},
    {"rv20", "rv20"},
    {"dvvideo", "dvvideo"},
    {"huffyuv", "huffyuv"},
    {"ljpeg", "ljpeg"},
    {"mjpeg", "mjpeg"},
    {"svq1", "svq1"},
    {"zlib", "zlib"},
}};

constexpr std::array<TWordPair, 15> kAudioEncoders = {{
    {"mp3", "libmp3lame"},
    {"ogg", "vorbis"},
    {"mp2", "mp2"},
    {"aac", "libfaac"},
    {"ac-3", "ac3"},
    {"flac", "libflac"},
    {"amr_nb", "libopencore_amrnb"},
    {"pcm_s16", "pcm_s16le"},
    {"pcm_u16", "pcm_u16le"},
    {"pcm_alaw", "pcm_alaw"},
    {"pcm_mulaw", "pcm_mulaw"},
    {"adpcm_ms", "adpcm_ms"},
    {"adpcm_ima_wav", "adpcm_ima_wav"},
    {"wma1", "wmav1"},
    {"wma2", "wmav2"},
}};

constexpr std::array<TWordPair, 3> kChannels = {{
    {"as source", "as source"},
    {"mono 1 channel", "1"},
    {"stereo 2 channels", "2"},
}};

constexpr std::array<std::pair<int, const char*>, 12> kVolumes = {{
    {25, "64"},
    {50, "128"},
    {75, "192"},
    {100, "256"},
    {125, "320"},
    {150, "384"},
    {175, "448"},
    {200, "512"},
    {250, "640"},
    {300, "768"},
    {350, "896"},
    {400, "1024"},
}};

} // namespace

std::optional<std::string> VideoEncoderValue(const std::string& word) {
    return Lookup(kVideoEncoders, LowerText(word));
}

std::optional<std::string> AudioEncoderValue(const std::string& word) {
    return Lookup(kAudioEncoders, LowerText(word));
}

std::optional<std::string> ChannelValue(const std::string& entry) {
    return Lookup(kChannels, entry);
}

std::optional<std::string> VolumeValue(const std::string& entry) {
    if (entry.empty()) {
        return std::nullopt;
    }
    std::int32_t percent = 0;
    if (!TryParseInteger(entry.substr(0, entry.size() - 1), percent) || percent <= 0) {
        return std::nullopt;
    }
    for (const auto& [listed, value] : kVolumes) {
        if (listed == percent) {
            return std::string(value);
        }
    }
    return std::nullopt;
}

std::optional<std::string> ZoomValue(int position) {
    static constexpr std::array<const char*, 3> kZooms = {"full", "lbox", "pan"};
    if (position < 0 || position >= static_cast<int>(kZooms.size())) {
        return std::nullopt;
    }
    return std::string(kZooms[static_cast<std::size_t>(position)]);
}

} // namespace tessaro
