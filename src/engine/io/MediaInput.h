// Opening any input the engine plays or probes: a file (plain or "unicode:" name) or a DVD
// title named by an "opendvd:" address.
#pragma once

#include "DVDDecApi.h"
#include "io/CustomIO.h"
#include "runtime/FFmpegPtr.h"

#include <string>

namespace tessaro {

// What an opened DVD title plays beyond its bytes: the address's choice (or the plug-in's last
// TDVDParam for the short form) and the facts of the chapter range.
struct TDvdInputChoice {
    TDVDParam param{};
    TDVDStreamInfo info{};
};

// Opens name as OpenInputFile does; an "opendvd:" address is read through the DVD plug-in
// as an MPEG program stream (format "mpeg" unless one is given), and its choice is written to
// dvd when dvd is not null. io must outlive context.
// Returns 0 or an AVERROR code; throws EngineException when a DVD address is malformed or
// its title cannot be opened (the text names the reason).
int OpenMediaInput(AVInputFormatContextPtr& context, CustomAVIOContextPtr& io,
                   const std::string& name, const AVInputFormat* format, AVDictionary** options,
                   TDvdInputChoice* dvd = nullptr);

// The DVD stream id of a stream of a title read by the "mpeg" demuxer, as the plug-in names
// it: 0x80+n AC-3, 0x88+n DTS, 0xA0+n LPCM, 0xC0+n MPEG audio, 0x20+n subpicture. The
// demuxer keeps MPEG audio and the navigation packets under their start codes (0x1C0+n,
// 0x1BF); those are folded into the same byte.
int DvdStreamId(const AVStream* stream);

// After the streams of a title are found: keeps the audio stream whose id is audioId, or the
// title's first audio track when it has no such stream (a fixed 128 on a disc with LPCM audio
// only), and discards the other audio streams and the navigation packets, so that the
// automatic stream choice takes the one asked for. Returns the kept stream's index, or -1
// when the title has no audio.
int KeepDvdAudioStream(AVFormatContext* context, int audioId);

// The index of the subpicture stream whose id is subtitleId, or -1 when the title has none of
// that id (0 names none).
int FindDvdSubpictureStream(const AVFormatContext* context, int subtitleId);

// The subpicture stream whose id is subtitleId, added to the title's streams when the opening
// analysis did not meet it: a disc's first subtitle often comes minutes in, and the "mpeg"
// demuxer delivers later packets of that id to a stream of that id made beforehand. -1 when
// subtitleId is no subpicture id (0x20 to 0x3F).
int FindOrAddDvdSubpictureStream(AVFormatContext* context, int subtitleId);

// The subpicture colours as the subtitle decoder's "palette" option reads them
// ("rrggbb,rrggbb,..."); empty when the disc gives no colours, so the decoder guesses them.
std::string DvdPaletteText(const TDVDStreamInfo& info);

} // namespace tessaro
