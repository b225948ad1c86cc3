// A DVD title's program stream as the engine reads it: the input's bytes are the stream an
// "opendvd:" address opens (served through the DVD plug-in's stream functions, as the plug-in
// would after reading the disc), opened either by the media probe or by a converter task, which
// keeps the chosen audio stream and leaves the others and the navigation packets out. Then the
// probe describes what was found; for a task, every packet of the title is offered to the
// subpicture burner of the chosen subpicture stream, which paints what it shows onto a picture
// of the title's size.
//
// Input: the audio stream id, the subpicture stream id, a flag byte (bit 0 deinterlace, bit 1
// a colour table follows as 16 32-bit words, bit 2 the short address form, bit 3 a task opens
// the title instead of the probe), then the program stream.
#include "FuzzSupport.h"
#include "FuzzTarget.h"
#include "converter/TranscoderTask.h"
#include "dvdinput/DvdAddress.h"
#include "dvdinput/DvdStreamFunctions.h"
#include "io/MediaInput.h"
#include "probe/MediaProbe.h"
#include "runtime/Bindings.h"
#include "runtime/FFmpegPtr.h"
#include "transcoder/pipeline/SubpictureBurner.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace tessaro::fuzz {
namespace {

constexpr const char* Location = "/fuzz-disc";

// The title the plug-in serves: the input's stream and the facts of its chapter range.
struct TServedTitle {
    std::string bytes;
    TDVDParam param{};
    TDVDStreamInfo info{};
};
TServedTitle served;

// One open stream of the served title.
struct TOpenStream {
    std::int64_t position = 0;
};

TOpenStream* Open(TDVDStream* stream) {
    return reinterpret_cast<TOpenStream*>(stream);
}

int32_t GetParam(TDVDParam* param) {
    *param = served.param;
    return 1;
}

TDVDStream* OpenStream(const char* path, const TDVDParam* param, char* error, int32_t size) {
    if (std::strcmp(path, Location) != 0 || param->Title != 0) {
        std::snprintf(error, std::size_t(size), "no such title");
        return nullptr;
    }
    return reinterpret_cast<TDVDStream*>(new TOpenStream);
}

int32_t ReadStream(TDVDStream* stream, uint8_t* buffer, int32_t size) {
    TOpenStream& open = *Open(stream);
    const std::int64_t left = std::int64_t(served.bytes.size()) - open.position;
    const int32_t count = int32_t(std::min<std::int64_t>(left, size));
    std::memcpy(buffer, served.bytes.data() + open.position, std::size_t(count));
    open.position += count;
    return count;
}

int64_t SeekStream(TDVDStream* stream, int64_t position) {
    if (position < 0 || position > std::int64_t(served.bytes.size())) {
        return -1;
    }
    Open(stream)->position = position;
    return position;
}

int64_t StreamSize(TDVDStream*) {
    return std::int64_t(served.bytes.size());
}

int32_t StreamInfo(TDVDStream*, TDVDStreamInfo* info) {
    *info = served.info;
    return 1;
}

void CloseStream(TDVDStream* stream) {
    delete Open(stream);
}

void Initialize() {
    LoadMediaLibraries();
    SetDvdStreamFunctions(TDvdStreamFunctions{GetParam, OpenStream, ReadStream, SeekStream,
                                              StreamSize, StreamInfo, CloseStream});
}

void Describe(TCustomMediaProbe& probe) {
    TESSARO_FUZZ_CHECK(!probe.GetFileInfoText().empty(), "an opened title has no description");
    TFileStreamInfo file;
    probe.GetFileStreamInfo(file);
    for (int i = 0; i < probe.StreamCount(); ++i) {
        TAudioStreamInfo audio;
        probe.GetAudioStreamInfo(i, audio);
        TVideoStreamInfo video;
        probe.GetVideoStreamInfo(i, video);
    }
}

// The task keeps at most one audio stream, the one asked for when the title has it, and
// never the navigation packets.
void CheckAudioChoice(const AVFormatContext* context, int audioId) {
    int keptAudio = 0;
    bool askedFound = false;
    bool askedKept = false;
    for (unsigned s = 0; s < context->nb_streams; ++s) {
        const AVStream* stream = context->streams[s];
        const bool audio = stream->codecpar->codec_type == AVMEDIA_TYPE_AUDIO;
        const bool asked = audio && DvdStreamId(stream) == audioId;
        askedFound = askedFound || asked;
        if (stream->discard == AVDISCARD_ALL) {
            continue;
        }
        TESSARO_FUZZ_CHECK(stream->id != 0x1bf, "the navigation packets were kept");
        keptAudio += audio ? 1 : 0;
        askedKept = askedKept || asked;
    }
    TESSARO_FUZZ_CHECK(keptAudio <= 1, "more than one audio stream was kept");
    TESSARO_FUZZ_CHECK(!askedFound || askedKept, "the audio stream asked for was left out");
}

// A picture of the title's first video stream's size (within reason), else of a TV frame.
AVFramePtr TitlePicture(const AVFormatContext* context) {
    int width = 720;
    int height = 480;
    for (unsigned s = 0; s < context->nb_streams; ++s) {
        const AVCodecParameters* video = context->streams[s]->codecpar;
        if (video->codec_type == AVMEDIA_TYPE_VIDEO && video->width > 0 && video->height > 0 &&
            video->width <= 1920 && video->height <= 1088) {
            width = video->width;
            height = video->height;
            break;
        }
    }
    AVFramePtr picture(ff::av_frame_alloc());
    picture->width = width;
    picture->height = height;
    picture->format = AV_PIX_FMT_YUV420P;
    const bool allocated = ff::av_frame_get_buffer(picture.get(), 0) >= 0;
    TESSARO_FUZZ_CHECK(allocated, "no picture buffer");
    return picture;
}

// Every packet of the title goes to the burner, as the transcoding loop hands them over; after
// each, the picture of that moment gets the subpicture shown then.
void BurnSubpictures(AVFormatContext* context, int subtitleId, const TDVDStreamInfo& info) {
    TSubpictureBurner burner(subtitleId, DvdPaletteText(info));
    AVFramePtr picture = TitlePicture(context);
    AVPacketPtr packet(ff::av_packet_alloc());
    while (ff::av_read_frame(context, packet.get()) >= 0) {
        const AVStream* stream = context->streams[packet->stream_index];
        const bool offered = burner.Offer(stream, packet.get(), 0);
        TESSARO_FUZZ_CHECK(offered || !burner.ErrorText().empty(),
                           "the burner gave up without a reason");
        if (packet->pts != AV_NOPTS_VALUE) {
            burner.Burn(picture.get(),
                        ff::av_rescale_q(packet->pts, stream->time_base, AV_TIME_BASE_Q));
        }
        ff::av_packet_unref(packet.get());
        if (!offered) {
            break;
        }
    }
}

void OpenWithTask(const std::string& address, int audioId, int subtitleId) {
    TTranscoder task;
    if (!task.AddInputFile(address)) {
        TESSARO_FUZZ_CHECK(!task.ErrorText().empty(), "a title was refused without a reason");
        return;
    }
    CheckAudioChoice(task.InputContext(0), audioId);
    Describe(task.AttachInputProbe(0));
    if (subtitleId != 0) {
        BurnSubpictures(task.InputContext(0), subtitleId, served.info);
    }
}

void OpenWithProbe(const std::string& address) {
    TMediaProbe probe;
    if (!probe.LoadFile(address)) {
        TESSARO_FUZZ_CHECK(!probe.LastError().empty(), "a title was refused without a reason");
        return;
    }
    Describe(probe);
}

void Run(const std::uint8_t* data, std::size_t size) {
    TFuzzInput input(data, size);
    const int audioId = input.Byte();
    const int subtitleId = input.Byte();
    const std::uint8_t flags = input.Byte();
    served.param = TDVDParam{0, 0, DVD_LAST_CHAPTER, audioId, subtitleId, 2, flags & 1};
    served.info = TDVDStreamInfo{};
    if ((flags & 2) != 0) {
        for (std::uint32_t& colour : served.info.Palette) {
            colour = input.Word();
        }
    }
    served.bytes = input.Rest();
    served.info.Size = std::int64_t(served.bytes.size());
    served.info.FirstChapter = served.info.LastChapter = 1;
    const std::string address =
        (flags & 4) != 0 ? MakeDvdAddress(Location) : MakeDvdAddress(Location, served.param);
    if ((flags & 8) != 0) {
        OpenWithTask(address, audioId, subtitleId);
    } else {
        OpenWithProbe(address);
    }
}

} // namespace
} // namespace tessaro::fuzz

TESSARO_FUZZ_TARGET("dvd_probe", tessaro::fuzz::Initialize, tessaro::fuzz::Run)
