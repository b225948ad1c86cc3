// One conversion, described by typed values: what is read (a file or a DVD title and which part
// of it), what the picture, sound and subtitles become, how they are encoded, and where the
// result goes. The application and tessaro-cli build it from a list row and a format; the
// converter reads it straight into a task (TConverter::AddJob). Option text is only for
// what a person typed: the format file's free text and tessaro-cli's --opt, applied on top.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tessaro {

// A time in microseconds, or no value.
using TJobTime = std::optional<std::int64_t>;

enum class TJobSourceKind { File, DvdTitle };

struct TJobSource {
    TJobSourceKind Kind = TJobSourceKind::File;
    std::string Path; // the file, or the DVD's device, folder or ISO image
    int DvdTitle = 0; // 0-based title index of a DVD title
};

// What part of the source is converted: a chapter span of a DVD title (FirstChapter 0 = the
// whole title), and within it an optional time window counted from the start of the title (of
// the file, for a file).
struct TJobRange {
    int FirstChapter = 0; // 1-based; 0: the whole title
    int LastChapter = 0;  // 1-based, inclusive; used when FirstChapter > 0
    TJobTime Start;       // the window's start; none: the span's start
    TJobTime Length;      // the window's length; none: to the span's end
};

struct TJobCrop {
    int Top = 0, Bottom = 0, Left = 0, Right = 0; // pixels cut from each edge; 0: none

    bool Any() const { return Top > 0 || Bottom > 0 || Left > 0 || Right > 0; }
};

struct TJobSize {
    int Width = 0; // 0 x 0: the source's size
    int Height = 0;

    bool Set() const { return Width > 0 && Height > 0; }
};

struct TJobRatio {
    int Num = 0; // 0: the source's shape
    int Den = 0;

    bool Set() const { return Num > 0 && Den > 0; }
};

struct TJobPicture {
    bool Disabled = false; // no video in the output
    TJobCrop Crop;         // cut before scaling
    TJobSize FrameSize;    // scaled to
    TJobRatio AspectRatio; // display shape of the output
    std::string Filters;   // the filter chain that letterboxes, pans or centres the picture
    bool Deinterlace = false;
};

struct TJobAudio {
    bool Disabled = false;
    int DvdStreamId = -1; // a DVD title's audio stream (0x80...), -1: the first
    std::string Codec;    // encoder word of the format ("copy" copies); empty: the container's
    int SampleRate = 0;   // Hz; 0: the source's
    int Channels = 0;     // 0: the source's
    int BitRate = 0;      // bit/s; 0: the encoder's default
    int Volume = 256;     // 256: unchanged
};

struct TJobSubtitles {
    bool Disabled = false;
    int DvdStreamId = 0; // a DVD title's subpicture stream burned into the picture; 0: none
};

// Codec threads when nothing else is asked: each decoder, encoder and filter graph chooses for
// the machine.
inline constexpr int AutomaticCodecThreads = 0;
// A codec thread count as the transcoder uses it: negative counts mean automatic.
inline int ClampCodecThreads(int count) {
    return count < 0 ? AutomaticCodecThreads : count;
}

// Disc targets set the container, encoders and rates of a VCD, SVCD or DVD at once.
enum class TJobTarget { None = 0, Vcd = 1, Svcd = 2, Dvd = 3 };
enum class TJobNorm { Automatic = 0, Pal = 1, Ntsc = 2 };

struct TJobEncoding {
    std::string VideoCodec;  // encoder word; empty: the container's default encoder
    std::string VideoPreset; // preset name, e.g. "libx264-mp4"
    int VideoBitRate = 0;    // bit/s; 0: the encoder's default rate control
    double FrameRate = 0;    // pictures per second; 0: the source's
    TJobTarget Target = TJobTarget::None;
    TJobNorm TargetNorm = TJobNorm::Automatic;
    // Threads of each decoder, encoder and filter graph: 0 automatic; none: the converter's
    // CodecThreads.
    std::optional<int> CodecThreads;
};

struct TJobEffects {
    // Decoded pictures go through the converter's hook event (watermark, colour effects).
    bool FrameHook = false;
};

struct TJobOutput {
    std::string Path;
    std::string Container; // muxer word (e.g. "avi", "mpegts"); empty: chosen by the extension
    // Option text typed by a person (the format file's free text, tessaro-cli's --opt): one
    // NAME=VALUE per line, applied after the job's own values.
    std::string OptionText;
};

struct TConversionJob {
    TJobSource Source;
    TJobRange Range;
    TJobPicture Picture;
    TJobAudio Audio;
    TJobSubtitles Subtitles;
    TJobEncoding Encoding;
    TJobEffects Effects;
    TJobOutput Output;
};

} // namespace tessaro

namespace tessaro {

// Where a title's time window (counted from the title's start) falls inside a chapter span that
// starts at spanStart and lasts spanLength microseconds: the seek from the span's start and the
// length to convert (none: to the span's end). A window that ends past the span is cut at the
// span's end; Error names a window that does not meet the span at all.
struct TSpanWindow {
    std::int64_t Seek = 0;
    TJobTime Length;
    std::string Error;

    bool Ok() const { return Error.empty(); }
};
TSpanWindow WindowInSpan(const TJobRange& range, std::int64_t spanStart, std::int64_t spanLength);

} // namespace tessaro
