#include "job/FormatJobParts.h"

#include "base/TextHelpers.h"
#include "core/IniFile.h"
#include "formats/FormatCatalogue.h"
#include "formats/TextRules.h"
#include "probe/DisplayRotation.h"
#include "probe/MediaProbe.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string_view>

namespace tessaro {

namespace {

enum class TBuildKind { File, Dvd };

constexpr const char* kAsSource = "as source";
// Frame sizes the H.263 encoder accepts as they are.
constexpr std::string_view kH263Sizes = "704x576,352x288,176x144,160x120,128x96";

// Reads of one format's section in both files.
class TFormatSection {
public:
    TFormatSection(const TFormatFiles& files, int formatCode)
        : files_(files), section_(FormatSectionName(formatCode)) {}

    std::string Setting(const char* key, const char* defaultValue) const {
        return files_.Settings.ReadString(section_, key, defaultValue);
    }
    std::string Format(const char* key, const char* defaultValue) const {
        return files_.Formats.ReadString(section_, key, defaultValue);
    }

private:
    const TFormatFiles& files_;
    std::string section_;
};

// Truncation toward zero, the rule for every floating-point to integer step here.
std::int64_t Truncate(long double value) {
    if (!std::isfinite(value)) {
        return 0;
    }
    return static_cast<std::int64_t>(std::trunc(value));
}

std::int64_t Half(std::int64_t n) {
    return n / 2;
}

std::string RatioText(std::int64_t w, std::int64_t h) {
    return std::to_string(w) + ":" + std::to_string(h);
}

// Rates above the 32-bit range are left unset.
bool FitsInt32(long double value) {
    return value <= static_cast<long double>(std::numeric_limits<std::int32_t>::max());
}

// ---- Step 1: disc targets ----------------------------------------------------------

struct TDiscTarget {
    const char* Word;
    TJobTarget Target;
    TJobNorm Norm;
    const char* WideSize; // frame size stored for a 16:9 DVD, or nullptr
};

constexpr std::array<TDiscTarget, 6> kDiscTargets = {{
    {"ntsc-dvd", TJobTarget::Dvd, TJobNorm::Ntsc, "720x480"},
    {"pal-dvd", TJobTarget::Dvd, TJobNorm::Pal, "720x576"},
    {"ntsc-vcd", TJobTarget::Vcd, TJobNorm::Ntsc, nullptr},
    {"pal-vcd", TJobTarget::Vcd, TJobNorm::Pal, nullptr},
    {"ntsc-svcd", TJobTarget::Svcd, TJobNorm::Ntsc, nullptr},
    {"pal-svcd", TJobTarget::Svcd, TJobNorm::Pal, nullptr},
}};

bool ApplyDiscTarget(const TFormatSection& section, TConversionJob& job) {
    const std::string format = section.Format("Format", "null");
    for (const auto& disc : kDiscTargets) {
        if (!SameTextNoCase(format, disc.Word)) {
            continue;
        }
        job.Encoding.Target = disc.Target;
        job.Encoding.TargetNorm = disc.Norm;
        const bool wide =
            disc.WideSize != nullptr && section.Setting("paraVideoSize", "null") == disc.WideSize;
        job.Picture.AspectRatio = wide ? TJobRatio{16, 9} : TJobRatio{4, 3};
        return true;
    }
    return false;
}

// ---- Step 3: video encoder -----------------------------------------------------------

constexpr std::array<const char*, 19> kPlainVideoEncoders = {
    "mpeg4",   "libxvid",  "mpeg1video", "msmpeg4", "msmpeg4v1", "msmpeg4v2", "huffyuv",
    "dvvideo", "rawvideo", "h263p",      "h263",    "rv10",      "rv20",      "ljpeg",
    "mjpeg",   "svq1",     "zlib",       "wmv1",    "wmv2"};

std::string X264PresetFor(const std::string& formatWord) {
    if (SameTextNoCase(formatWord, "psp")) {
        return "libx264-psp";
    }
    if (SameTextNoCase(formatWord, "ipod")) {
        return "libx264-ipod";
    }
    if (SameTextNoCase(formatWord, "ps3")) {
        return "libx264-ps3";
    }
    return "libx264-mp4";
}

// Words that are no encoder name (container words such as "mov" or "3gp") leave the
// codec empty, so the container's default encoder is used.
void ChooseVideoEncoder(const std::string& encoder, const TFormatSection& section,
                        TJobEncoding& encoding) {
    for (const char* name : kPlainVideoEncoders) {
        if (encoder == name) {
            encoding.VideoCodec = encoder;
            return;
        }
    }
    if (encoder == "mpeg2video") {
        encoding.VideoCodec = encoder;
        encoding.Target = TJobTarget::Dvd;
    } else if (encoder == "libx264") {
        encoding.VideoCodec = encoder;
        encoding.VideoPreset = X264PresetFor(section.Format("Format", "null"));
    }
}

// ---- Step 5: rates and container -------------------------------------------------

constexpr std::array<const char*, 10> kContainerWords = {"ipod", "3gp", "3g2", "avi",    "psp",
                                                         "mov",  "vcd", "flv", "mpegts", "vob"};

void ApplyVideoBitrate(const TFormatSection& section, TBuildKind kind, std::int32_t sourceBitRate,
                       TJobEncoding& encoding) {
    const std::string value = section.Setting("paraVideoBitRate", "512");
    std::int32_t kbits = 0;
    const bool isInteger = value != kAsSource && TryParseInteger(value, kbits);
    if (isInteger) {
        const long double bits = static_cast<long double>(kbits) * 1000;
        if (kbits > 0 && FitsInt32(bits)) {
            encoding.VideoBitRate = static_cast<std::int32_t>(bits);
        }
    } else if (kind == TBuildKind::File) {
        encoding.VideoBitRate = std::max(0, sourceBitRate);
    }
}

void ApplyRatesAndContainer(const TFormatSection& section, TBuildKind kind,
                            std::int32_t sourceBitRate, TConversionJob& job) {
    ApplyVideoBitrate(section, kind, sourceBitRate, job.Encoding);

    const std::string frameRate = section.Setting("paraFrameRate", "29.97");
    double rate = 0.0;
    if (frameRate != kAsSource && TryParseDecimal(frameRate, rate) && rate > 0) {
        job.Encoding.FrameRate = rate;
    }

    const std::string container = section.Format("Format", "null");
    for (const char* word : kContainerWords) {
        if (SameTextNoCase(container, word)) {
            job.Output.Container = container;
            break;
        }
    }
}

// ---- Step 6: target frame size -------------------------------------------------------

struct TFrame {
    std::int64_t Width;
    std::int64_t Height;
};

// The position of the "x" that splits "WxH", or npos when there is none with text on
// both sides.
std::size_t SizeSeparator(const std::string& value) {
    const std::size_t x = value.find('x');
    if (x == std::string::npos || x == 0 || x + 1 >= value.size()) {
        return std::string::npos;
    }
    return x;
}

TFrame SnapToH263Size(TFrame frame) {
    if (frame.Width > 176 && frame.Width <= 352) {
        frame = {352, 288};
    }
    if (frame.Width > 352 && frame.Width <= 704) {
        frame = {704, 576};
    }
    if (frame.Width > 704) {
        frame = {704, 576};
    }
    return frame;
}

// The stored size "WxH", "as source", or anything else: then the answer given for it, or the
// source's size with a problem for the caller to resolve.
TFrame TargetFrame(const TFormatSection& section, const std::string& encoder, TFrame source,
                   const TJobAnswers& answers, std::vector<TJobProblem>& problems) {
    const std::string value = section.Setting("paraVideoSize", "null");
    if (value == kAsSource) {
        return source;
    }
    const std::size_t x = SizeSeparator(value);
    if (x == std::string::npos) {
        if (answers.FrameSize) {
            return TFrame{answers.FrameSize->Width, answers.FrameSize->Height};
        }
        problems.push_back({TJobProblemKind::UnreadableFrameSize,
                            "the stored frame size \"" + value + "\" is not WIDTHxHEIGHT"});
        return source;
    }
    std::int32_t parsed = 0;
    TFrame frame = source;
    if (TryParseInteger(value.substr(0, x), parsed)) {
        frame.Width = parsed;
    }
    if (TryParseInteger(value.substr(x + 1), parsed)) {
        frame.Height = parsed;
    }
    if (SameTextNoCase(encoder, "h263") && kH263Sizes.find(value) == std::string_view::npos) {
        frame = SnapToH263Size(frame);
    }
    return frame;
}

// ---- Step 7: zoom ---------------------------------------------------------------------

struct TZoomGeometry {
    TFrame Target; // W x H
    TFrame Source; // SW x SH
    const TRowZoom& Row;

    double ScaleX() const { return double(Source.Width) / double(Target.Width); }   // a
    double ScaleY() const { return double(Source.Height) / double(Target.Height); } // b
};

TJobSize Size(std::int64_t w, std::int64_t h) {
    return TJobSize{int(w), int(h)};
}

TJobRatio Ratio(std::int64_t w, std::int64_t h) {
    return TJobRatio{int(w), int(h)};
}

void SetSizeAndAspect(TJobPicture& picture, std::int64_t w, std::int64_t h) {
    picture.FrameSize = Size(w, h);
    picture.AspectRatio = Ratio(w, h);
}

bool RowHasCrop(const TRowZoom& row) {
    return row.CropTop > 0 || row.CropBottom > 0 || row.CropLeft > 0 || row.CropRight > 0;
}

std::string CropScalePadFilter(const TZoomGeometry& g, std::int64_t s, std::int64_t t) {
    const TRowZoom& r = g.Row;
    const std::int64_t w = g.Target.Width;
    const std::int64_t h = g.Target.Height;
    return "crop=" + std::to_string(r.CropLeft) + ":" + std::to_string(r.CropTop) + ":" +
           std::to_string(g.Source.Width - r.CropLeft - r.CropRight) + ":" +
           std::to_string(g.Source.Height - r.CropTop - r.CropBottom) + "," +
           "scale=" + RatioText(w - 2 * s, h - 2 * t) + "," + "pad=" + RatioText(w, h) + ":" +
           RatioText(s, t);
}

std::string PadFilter(std::int64_t w, std::int64_t h, std::int64_t x, std::int64_t y) {
    return "pad=" + RatioText(w, h) + ":" + RatioText(x, y);
}

// The letterbox and centre texts are written for the source picture as it is: the
// transcoder crops and scales to the frame size before it applies a text, so the frame size
// becomes the source's own (neither the format's nor a disc target's may scale the picture
// first) and the crop is left to the text alone. The text makes the final size itself.
std::string TextOnUnscaledSource(const TZoomGeometry& g, TJobPicture& picture, std::string text) {
    picture.FrameSize = Size(g.Source.Width, g.Source.Height);
    picture.Crop = TJobCrop{};
    return text;
}

void ZoomFull(const TZoomGeometry& g, bool targetKnown, TJobPicture& picture) {
    if (RowHasCrop(g.Row)) {
        picture.Crop = TJobCrop{g.Row.CropTop, g.Row.CropBottom, g.Row.CropLeft, g.Row.CropRight};
    }
    if (targetKnown) {
        SetSizeAndAspect(picture, g.Target.Width, g.Target.Height);
    }
}

std::string ZoomLetterbox(const TZoomGeometry& g, TJobPicture& picture) {
    const double a = g.ScaleX();
    const double b = g.ScaleY();
    std::int64_t s = 0;
    std::int64_t t = 0;
    if (a > b) {
        t = LetterboxBar(g.Target.Height, g.Source.Height, a);
    } else if (a < b) {
        s = LetterboxBar(g.Target.Width, g.Source.Width, b);
    }
    if (g.Target.Width == g.Source.Width && g.Target.Height == g.Source.Height) {
        picture.AspectRatio = Ratio(g.Target.Width, g.Target.Height);
    }
    return TextOnUnscaledSource(g, picture, CropScalePadFilter(g, s, t));
}

// The DVD letterbox: the tests run in this order, a later match overriding an earlier.
std::string ZoomDvdLetterbox(const TZoomGeometry& g, TJobPicture& picture) {
    const std::int64_t w = g.Target.Width, h = g.Target.Height;
    const std::int64_t sw = g.Source.Width, sh = g.Source.Height;
    const double a = g.ScaleX();
    const double b = g.ScaleY();
    std::int64_t s = 0;
    std::int64_t t = 0;
    const auto topBars = [&] { t = LetterboxBar(h, sh, a), s = 0; };
    const auto sideBars = [&] { s = LetterboxBar(w, sw, b), t = 0; };
    if (w <= sw && h >= sh) {
        topBars();
    }
    if (w >= sw && h <= sh) {
        sideBars();
    }
    if (w >= sw && h >= sh) {
        if (a > b) {
            topBars();
        } else if (a < b) {
            sideBars();
        } else {
            t = LetterboxBar(h, sh, a);
            s = LetterboxBar(w, sw, b);
        }
    }
    if (w <= sw && h <= sh) {
        if (a > b) {
            topBars();
        } else {
            sideBars();
        }
    }
    if (w == sw && h == sh) {
        s = t = 0;
    }
    picture.AspectRatio = Ratio(w - 2 * s, h - 2 * t);
    if (RowHasCrop(g.Row)) {
        return TextOnUnscaledSource(g, picture, CropScalePadFilter(g, s, t));
    }
    picture.FrameSize = Size(w - 2 * s, h - 2 * t);
    return PadFilter(w, h, s, t);
}

// Pan and scan towards 4:3: crops the sides of a wider picture or the top and bottom of
// a taller one. The proportion is compared in extended precision so that an exact 4:3
// picture is recognised as such.
void ZoomPan(const TZoomGeometry& g, TJobPicture& picture) {
    const TRowZoom& r = g.Row;
    const long double fourThirds = 4.0L / 3.0L;
    const long double croppedW = g.Source.Width - r.CropLeft - r.CropRight;
    const long double croppedH = g.Source.Height - r.CropTop - r.CropBottom;
    // The crop itself is computed in double precision: 720 x 405 gives exactly 160.
    const double sw = double(g.Source.Width), sh = double(g.Source.Height);
    if (croppedW > 0 && croppedH > 0) {
        const long double p = croppedW / croppedH;
        if (p > fourThirds) {
            std::int64_t x = std::llabs(Half(Truncate((sw / sh - 4.0 / 3.0) * sw))) + r.CropLeft;
            x = 2 * (x / 2);
            picture.Crop.Left = picture.Crop.Right = static_cast<int>(x);
        } else if (p < fourThirds) {
            std::int64_t y = std::llabs(Half(Truncate((sh / sw - 4.0 / 3.0) * sh))) + r.CropTop;
            y = 2 * (y / 2);
            picture.Crop.Top = picture.Crop.Bottom = static_cast<int>(y);
        }
    }
    SetSizeAndAspect(picture, g.Target.Width, g.Target.Height);
}

// The source padded with black towards the target's proportion, then scaled to the frame
// size.
std::string ZoomCenter(const TZoomGeometry& g, TJobPicture& picture) {
    const std::int64_t w = g.Target.Width, h = g.Target.Height;
    const std::int64_t sw = g.Source.Width, sh = g.Source.Height;
    const double a = g.ScaleX();
    const double b = g.ScaleY();
    std::string pad;
    std::int64_t frameWidth = w;
    if (a > b) {
        const std::int64_t t = LetterboxBar(h, sh, a);
        pad = PadFilter(sw, sh + 2 * t, 0, t);
    } else if (a < b) {
        const std::int64_t s = LetterboxBar(w, sw, b);
        frameWidth = w - 2 * s;
        pad = PadFilter(sw + 2 * s, sh, s, 0);
    } else {
        pad = PadFilter(sw, sh, 0, 0);
    }
    picture.AspectRatio = Ratio(w, h);
    return TextOnUnscaledSource(g, picture, pad + ":black,scale=" + RatioText(frameWidth, h));
}

// Returns the filter text F of the zoom mode.
std::string ApplyZoom(const TZoomGeometry& g, TBuildKind kind, TJobPicture& picture) {
    const std::string& mode = g.Row.ZoomMode;
    const bool targetKnown = g.Target.Width > 0 && g.Target.Height > 0;
    const bool sourceKnown = g.Source.Width > 0 && g.Source.Height > 0;
    if (mode == "full") {
        ZoomFull(g, targetKnown, picture);
        return {};
    }
    const bool known =
        mode == "lbox" || mode == "pan" || (mode == "center" && kind == TBuildKind::File);
    if (!known || !targetKnown) {
        return {};
    }
    if (!sourceKnown) {
        // Without a readable source size nothing can be fitted: encode at the target size.
        SetSizeAndAspect(picture, g.Target.Width, g.Target.Height);
        return {};
    }
    if (mode == "lbox") {
        return kind == TBuildKind::File ? ZoomLetterbox(g, picture) : ZoomDvdLetterbox(g, picture);
    }
    if (mode == "pan") {
        ZoomPan(g, picture);
        return {};
    }
    return ZoomCenter(g, picture);
}

// ---- Steps 8 to 10: filters and audio -----------------------------------------------

void AppendFilter(TJobPicture& picture, const std::string& filter) {
    if (filter.empty()) {
        return; // nothing to add; a bare "," would break the filter graph text
    }
    picture.Filters = picture.Filters.empty() ? filter : picture.Filters + "," + filter;
}

void ApplyVideoFormatAudioCodec(const TFormatSection& section, TJobAudio& audio) {
    std::string codec = section.Setting("paraAudioEncoder", "");
    if (codec == "libamr_nb") {
        codec = "libopencore_amrnb";
    }
    audio.Codec = codec;
    if (TrimText(codec).empty()) {
        audio.Disabled = true;
    }
}

void ApplyAudioOnly(const TFormatSection& section, TConversionJob& job) {
    job.Audio.Codec = section.Setting("paraAudioEncoder", "libfaac");
    job.Picture.Disabled = true; // neither read nor written
    job.Subtitles.Disabled = true;
}

// A positive whole number from the setting, unless it reads "as source".
bool PositiveIntegerSetting(const std::string& value, std::int32_t& result) {
    return value != kAsSource && TryParseInteger(value, result) && result > 0;
}

void ApplyAudioValues(const TFormatSection& section, TJobAudio& audio) {
    std::int32_t number = 0;
    if (PositiveIntegerSetting(section.Setting("paraChannel", "2"), number)) {
        audio.Channels = number;
    }
    if (PositiveIntegerSetting(section.Setting("paraSampleRate", "44100"), number)) {
        audio.SampleRate = number;
    }
    const std::string bitRate = section.Setting("paraAudioBitRate", "128");
    double kbits = 0.0;
    if (bitRate != kAsSource && TryParseDecimal(bitRate, kbits)) {
        const long double bits = static_cast<long double>(kbits) * 1000;
        if (bits > 0 && FitsInt32(bits)) {
            audio.BitRate = static_cast<std::int32_t>(Truncate(bits));
        }
    }
    // 256 is the unchanged volume; a section without a stored volume keeps it unchanged.
    const std::string volume = section.Setting("paraVolume", "256");
    if (volume != "256") {
        std::int32_t level = 0;
        if (!TryParseInteger(volume, level)) {
            throw std::invalid_argument("'" + volume + "' is not a valid integer value");
        }
        audio.Volume = level;
    }
}

// ---- The build ----------------------------------------------------------------------

void BuildOptions(const TFormatFiles& files, int formatCode, const TRowZoom& row,
                  const TSourceVideo& source, TBuildKind kind, const TJobAnswers& answers,
                  TConversionJob& job, std::vector<TJobProblem>& problems) {
    const TFormatSection section(files, formatCode);
    if (ApplyDiscTarget(section, job) && kind == TBuildKind::File) {
        return; // the transcoder's disc presets do the rest
    }
    const std::string encoder = section.Setting("paraVideoEncoder", "");
    if (TrimText(encoder).empty()) {
        ApplyAudioOnly(section, job);
        ApplyAudioValues(section, job.Audio);
        return;
    }
    ChooseVideoEncoder(encoder, section, job.Encoding);
    std::string filter;
    if (kind == TBuildKind::File && source.VideoStreamCount < 1) {
        job.Picture.Disabled = true;
    } else {
        ApplyRatesAndContainer(section, kind, source.BitRate, job);
        const TFrame sourceFrame{source.Width, source.Height};
        const TFrame target = TargetFrame(section, encoder, sourceFrame, answers, problems);
        filter = ApplyZoom(TZoomGeometry{target, sourceFrame, row}, kind, job.Picture);
    }
    AppendFilter(job.Picture, filter);
    ApplyVideoFormatAudioCodec(section, job.Audio);
    ApplyAudioValues(section, job.Audio);
}

} // namespace

std::int64_t LetterboxBar(std::int64_t targetSize, std::int64_t sourceSize, double scale) {
    const std::int64_t scaled = Truncate(static_cast<long double>(sourceSize) / scale);
    return 2 * ((targetSize - 2 * Half(scaled)) / 4);
}

TSourceVideo SourceVideoOf(TCustomMediaProbe& probe) {
    TSourceVideo source;
    source.VideoStreamCount = probe.VideoStreamCount();
    if (source.VideoStreamCount > 0) {
        TVideoStreamInfo info;
        probe.GetVideoStreamInfo(-1, info);
        // The transcoder turns a rotated stream upright first: the zoom works on the turned
        // picture.
        const bool turned = RotationSwapsSides(info.Rotation);
        source.Width = turned ? info.Height : info.Width;
        source.Height = turned ? info.Width : info.Height;
        source.BitRate = info.BitRate;
    }
    return source;
}

std::vector<TJobProblem> ApplyFileFormat(const TFormatFiles& files, int formatCode,
                                         const TRowZoom& row, const TSourceVideo& source,
                                         const TJobAnswers& answers, TConversionJob& job) {
    std::vector<TJobProblem> problems;
    BuildOptions(files, formatCode, row, source, TBuildKind::File, answers, job, problems);
    return problems;
}

std::vector<TJobProblem> ApplyDvdFormat(const TFormatFiles& files, int formatCode,
                                        const TRowZoom& row, std::int32_t titleWidth,
                                        std::int32_t titleHeight, const TJobAnswers& answers,
                                        TConversionJob& job) {
    const TSourceVideo title{1, titleWidth, titleHeight, -1};
    std::vector<TJobProblem> problems;
    BuildOptions(files, formatCode, row, title, TBuildKind::Dvd, answers, job, problems);
    return problems;
}

std::optional<TJobSize> FormatDefaultFrameSize(const TFormatFiles& files, int formatCode) {
    const TFormatSection section(files, formatCode);
    const std::vector<std::string> sizes = SplitAtEvery(section.Format("VideoSize", ""), ',');
    std::int32_t index = -1;
    if (!TryParseInteger(section.Format("iVideoSize", ""), index) || index < 0 ||
        index >= int(sizes.size())) {
        return std::nullopt;
    }
    const std::string& value = sizes[std::size_t(index)];
    const std::size_t x = SizeSeparator(value);
    std::int32_t width = 0;
    std::int32_t height = 0;
    if (x == std::string::npos || !TryParseInteger(value.substr(0, x), width) ||
        !TryParseInteger(value.substr(x + 1), height) || width <= 0 || height <= 0) {
        return std::nullopt;
    }
    return TJobSize{width, height};
}

} // namespace tessaro
