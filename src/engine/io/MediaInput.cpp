#include "io/MediaInput.h"

#include "base/EngineException.h"
#include "dvdinput/DvdAddress.h"
#include "dvdinput/DvdTitleStream.h"
#include "io/UnicodeProtocol.h"

#include <algorithm>
#include <iterator>

namespace tessaro {

namespace {

constexpr int DvdNavigationStartCode = 0x1bf;
constexpr int DvdFirstSubpictureId = 0x20;
constexpr int DvdLastSubpictureId = 0x3f;

// The track number of a DVD audio stream id: the low three bits for every audio coding.
int DvdAudioTrack(int streamId) {
    return streamId & 0x07;
}

} // namespace

int OpenMediaInput(AVInputFormatContextPtr& context, CustomAVIOContextPtr& io,
                   const std::string& name, const AVInputFormat* format, AVDictionary** options,
                   TDvdInputChoice* dvd) {
    if (!IsDvdAddress(name)) {
        return OpenInputFile(context, io, LibraryFileName(name), format, options);
    }
    std::unique_ptr<TDvdTitleStream> title = TDvdTitleStream::Open(ParseDvdAddress(name));
    if (dvd != nullptr) {
        dvd->param = title->Param();
        dvd->info = title->Info();
    }
    io = MakeCustomIO(MakeDvdIOSource(std::move(title)), false);
    if (!io) {
        return AVERROR(ENOMEM);
    }
    return OpenInputWithIO(context, io.get(), name.c_str(),
                           format != nullptr ? format : ff::av_find_input_format("mpeg"), options);
}

int DvdStreamId(const AVStream* stream) {
    return stream->id & 0xff;
}

int KeepDvdAudioStream(AVFormatContext* context, int audioId) {
    int kept = -1;
    int firstTrack = -1;
    for (unsigned s = 0; s < context->nb_streams; ++s) {
        const AVStream* st = context->streams[s];
        if (st->codecpar->codec_type != AVMEDIA_TYPE_AUDIO) {
            continue;
        }
        if (DvdStreamId(st) == audioId && kept < 0) {
            kept = int(s);
        }
        if (firstTrack < 0 || DvdAudioTrack(DvdStreamId(st)) <
                                  DvdAudioTrack(DvdStreamId(context->streams[firstTrack]))) {
            firstTrack = int(s);
        }
    }
    if (kept < 0) {
        kept = firstTrack;
    }
    for (unsigned s = 0; s < context->nb_streams; ++s) {
        AVStream* st = context->streams[s];
        const bool otherAudio = st->codecpar->codec_type == AVMEDIA_TYPE_AUDIO && int(s) != kept;
        if (otherAudio || st->id == DvdNavigationStartCode) {
            st->discard = AVDISCARD_ALL;
        }
    }
    return kept;
}

int FindDvdSubpictureStream(const AVFormatContext* context, int subtitleId) {
    for (unsigned s = 0; subtitleId != 0 && s < context->nb_streams; ++s) {
        const AVStream* st = context->streams[s];
        if (st->codecpar->codec_type == AVMEDIA_TYPE_SUBTITLE && DvdStreamId(st) == subtitleId) {
            return int(s);
        }
    }
    return -1;
}

int FindOrAddDvdSubpictureStream(AVFormatContext* context, int subtitleId) {
    const int found = FindDvdSubpictureStream(context, subtitleId);
    if (found >= 0 || subtitleId < DvdFirstSubpictureId || subtitleId > DvdLastSubpictureId) {
        return found;
    }
    AVStream* stream = ff::avformat_new_stream(context, nullptr);
    if (stream == nullptr) {
        return -1;
    }
    stream->id = subtitleId;
    stream->time_base = AVRational{1, 90000}; // MPEG program-stream time stamps
    stream->codecpar->codec_type = AVMEDIA_TYPE_SUBTITLE;
    stream->codecpar->codec_id = AV_CODEC_ID_DVD_SUBTITLE;
    return stream->index;
}

std::string DvdPaletteText(const TDVDStreamInfo& info) {
    const auto begin = std::begin(info.Palette), end = std::end(info.Palette);
    if (std::all_of(begin, end, [](std::uint32_t colour) { return colour == 0; })) {
        return {};
    }
    std::string text;
    for (auto colour = begin; colour != end; ++colour) {
        text += FormatText(text.empty() ? "%06x" : ",%06x", unsigned(*colour & 0xffffff));
    }
    return text;
}

} // namespace tessaro
