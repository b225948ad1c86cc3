#include "TitleInfo.h"

#include "Languages.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace dvddec {
namespace {

// Program-stream id bases by the audio_format field of the title set's audio attributes.
int AudioStreamBase(int audioFormat) {
    switch (audioFormat) {
    case 0:
        return 0x80; // AC-3
    case 2:
    case 3:
        return 0xC0; // MPEG-1 / MPEG-2 audio
    case 4:
        return 0xA0; // LPCM
    case 6:
        return 0x88; // DTS
    default:
        return -1;
    }
}

void CopyName(char (&name)[DVD_NAME_SIZE], const std::string& text) {
    std::memset(name, 0, sizeof name);
    std::memcpy(name, text.data(), std::min(text.size(), sizeof name - 1));
}

// The language name of a stream, the two-letter code when the name is unknown, or "Unknown"
// when the disc gives no language.
std::string LanguageText(bool hasLanguage, std::uint16_t languageCode) {
    const char code[3] = {char(languageCode >> 8), char(languageCode & 0xff), 0};
    if (!hasLanguage || languageCode == 0 || code[0] == 0 || code[1] == 0) {
        return "Unknown";
    }
    const char lower[3] = {char(std::tolower(code[0])), char(std::tolower(code[1])), 0};
    const char* name = LanguageName(lower);
    return name != nullptr ? name : code;
}

void DescribePicture(const video_attr_t& video, TDVDTitleInfo& info) {
    static const int widths[4] = {720, 704, 352, 352};
    info.VideoFormat = video.mpeg_version == 0 ? DVD_FORMAT_MPEG1 : DVD_FORMAT_MPEG2;
    info.Width = widths[video.picture_size];
    info.Height = video.video_format == 0 ? 480 : 576;
    if (video.picture_size == 3) {
        info.Height /= 2; // the quarter-size picture (SIF)
    }
}

// An audio stream is part of the title when its program chain marks it available; the chain
// also says which stream number it carries in the VOBs.
void DescribeAudio(const vtsi_mat_t& attributes, const pgc_t& pgc, TDVDTitleInfo& info) {
    const int count = std::min<int>(attributes.nr_of_vts_audio_streams, DVD_MAX_AUDIO);
    for (int i = 0; i < count; ++i) {
        const std::uint16_t control = pgc.audio_control[i];
        const audio_attr_t& audio = attributes.vts_audio_attr[i];
        const int base = AudioStreamBase(audio.audio_format);
        if ((control & 0x8000) == 0 || base < 0) {
            continue;
        }
        TDVDAudioInfo& entry = info.Audio[info.AudioCount++];
        entry.StreamID = base + ((control >> 8) & 0x07);
        CopyName(entry.Name, LanguageText(audio.lang_type == 1, audio.lang_code));
    }
}

// Subpicture stream numbers differ by display: a 4:3 title uses the 4:3 number, a 16:9 title
// the wide-screen one.
void DescribeSubpictures(const vtsi_mat_t& attributes, const pgc_t& pgc, TDVDTitleInfo& info) {
    const bool wide = attributes.vts_video_attr.display_aspect_ratio == 3;
    const int count = std::min<int>(attributes.nr_of_vts_subp_streams, DVD_MAX_SUBTITLE);
    for (int i = 0; i < count; ++i) {
        const std::uint32_t control = pgc.subp_control[i];
        if ((control & 0x80000000u) == 0) {
            continue;
        }
        const subp_attr_t& subpicture = attributes.vts_subp_attr[i];
        TDVDSubtitleInfo& entry = info.Subtitle[info.SubtitleCount++];
        entry.StreamID = 0x20 + int((wide ? control >> 16 : control >> 24) & 0x1f);
        CopyName(entry.Name, LanguageText(subpicture.type == 1, subpicture.lang_code));
    }
}

std::uint8_t Clamp(double value) {
    return std::uint8_t(std::clamp(std::lround(value), 0L, 255L));
}

} // namespace

bool DescribeTitle(TDisc& disc, int index, TDVDTitleInfo& info, std::string& error) {
    TTitleLayout layout;
    if (!disc.TitleLayout(index, layout, error)) {
        return false;
    }
    const vtsi_mat_t& attributes = *layout.vts->vtsi_mat;
    const pgc_t& firstChain = *layout.chapters.front().pgc;
    info.Duration = TitleSeconds(layout);
    DescribePicture(attributes.vts_video_attr, info);
    DescribeAudio(attributes, firstChain, info);
    DescribeSubpictures(attributes, firstChain, info);
    info.ChapterCount = int(layout.chapters.size());
    return true;
}

void PaletteToRgb(const pgc_t& pgc, std::uint32_t rgb[16]) {
    // Studio-range BT.601, the colour space of DVD subpicture palettes.
    for (int i = 0; i < 16; ++i) {
        const double y = double((pgc.palette[i] >> 16) & 0xff) - 16;
        const double cr = double((pgc.palette[i] >> 8) & 0xff) - 128;
        const double cb = double(pgc.palette[i] & 0xff) - 128;
        const std::uint8_t r = Clamp(1.164 * y + 1.596 * cr);
        const std::uint8_t g = Clamp(1.164 * y - 0.813 * cr - 0.391 * cb);
        const std::uint8_t b = Clamp(1.164 * y + 2.018 * cb);
        rgb[i] = std::uint32_t(r) << 16 | std::uint32_t(g) << 8 | b;
    }
}

} // namespace dvddec
