// What the source list keeps for each of its rows: the row kind and the record of everything
// the user decided for that source (trim range, crop, zoom, watermark and colour effects,
// the DVD title's audio track, subtitle and chapters).
#pragma once

#include "DVDDecApi.h"
#include "EffectSettings.h"

#include <cstdint>
#include <string>

namespace tessaro {

// A row is a media file added from the file system or a title of a DVD. Each kind has its
// own list columns and converts, previews and edits as its own kind.
enum class TRowKind { File, DvdTitle };

// The record of one source list row. A new record of either kind has every field zero or
// empty except the watermark and effect defaults below; the code that adds the row fills in
// what it knows (Add: title index, names, duration, zoom; the DVD title browser: title
// index, duration, title description, audio, subtitle and chapters).
struct TlvFilesRecord {
    // DVD rows: the 0-based title number. File rows: position in the open dialog's selection.
    std::int32_t TitleIndex = 0;
    std::string SourceName; // file rows: full path of the source
    std::string OutputName; // file rows: the output path the next run will write
    std::int32_t DurationSeconds = 0;
    std::int64_t TrimStart = 0;  // microseconds, 0 = from the beginning
    std::int64_t TrimLength = 0; // microseconds, 0 = to the end
    std::string ZoomMode;        // "full", "lbox", "pan" or "center"
    std::int32_t CropTop = 0;    // crop margins in source pixels
    std::int32_t CropLeft = 0;
    std::int32_t CropBottom = 0;
    std::int32_t CropRight = 0;
    std::int32_t ViewCropTop = 0; // the same margins in the crop editor's preview pixels
    std::int32_t ViewCropLeft = 0;
    std::int32_t ViewCropBottom = 0;
    std::int32_t ViewCropRight = 0;
    TDVDTitleInfo TitleInfo{};   // DVD rows: the plug-in's description of the title
    std::int32_t AudioIndex = 0; // chosen line of the title's audio list; negative = none
    std::int32_t SubtitleIndex = 0;
    std::int32_t AudioID = 0; // stream numbers of those choices
    std::int32_t SubtitleID = 0;
    std::int32_t ChapterFrom = 0;
    std::int32_t ChapterTo = 0;
    std::string WatermarkText; // empty = no text watermark
    TWatermarkFont WatermarkFont;
    std::int32_t TextX = 0;
    std::int32_t TextY = 0;
    std::int32_t TextHorzPercent = 0;
    std::int32_t TextVertPercent = 0;
    std::string ImageFile; // empty = no image watermark
    std::int32_t ImageX = 0;
    std::int32_t ImageY = 0;
    std::int32_t ImageHorzPercent = 0;
    std::int32_t ImageVertPercent = 0;
    std::int32_t ImageAlpha = 168;     // image opacity 0-255
    std::int32_t TransparentStyle = 1; // 1 alpha blend, 2 multiply
    std::int32_t Brightness = 255;     // 255 = unchanged
    std::int32_t Contrast = 0;         // 0 = unchanged
    std::int32_t Saturation = 255;     // 255 = unchanged
    std::int32_t Exposure = 0;         // 0 = unchanged
    bool ProcessText = false;          // effects also apply to the added text
    bool ProcessImage = false;         // effects also apply to the added image
    // The height of the picture as the watermark editor previewed it: the text and the image
    // are scaled by the output picture's height over this one.
    std::int32_t PreviewHeight = WatermarkPreviewHeight;
};

// The row's watermark and effect values as the frame effects renderer takes them.
TEffectSettings EffectSettingsOf(const TlvFilesRecord& record);

// Whether converting the row needs the frame effects: a watermark, or a colour effect away
// from its neutral value.
bool HasFrameEffects(const TlvFilesRecord& record);

} // namespace tessaro
