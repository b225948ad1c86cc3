// The opened inputs of a conversion task: opening and analysing each with the option state,
// and what its opening decided.
#pragma once

#include "io/CustomIO.h"
#include "runtime/FFmpegPtr.h"
#include "transcoder/TaskLog.h"
#include "transcoder/options/TranscoderOptions.h"
#include "transcoder/pipeline/SubpictureBurner.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tessaro {

inline constexpr int MaxFiles = 20;

struct TDvdInputChoice;

// One opened input and what its opening decided.
struct TInputFile {
    std::string fileName;
    CustomAVIOContextPtr io; // only for "unicode:" names; outlives context
    AVInputFormatContextPtr context;
    std::int64_t tsOffset = 0;                  // µs added to every time stamp
    std::array<double, MaxStreams> tsScale{};   // 0 = 1.0
    std::vector<const AVCodec*> forcedDecoders; // per stream, null = the library's
    int knownStreams = 0;                       // streams found when the input was opened
    bool seeked = false;        // opened at a start position: earlier pictures and samples are cut
    std::int64_t startTime = 0; // that position, µs into the input
    // A DVD title: the burner paints the subpicture stream its address chose.
    std::unique_ptr<TSubpictureBurner> burner;
    bool deinterlace = false; // the title's pictures are deinterlaced whatever "deinterlace" says
};

// Which media types the inputs hold.
struct TInputStreamKinds {
    bool hasVideo = false;
    bool hasAudio = false;
    bool hasSubtitle = false;
};

class TInputSet {
public:
    TInputSet(TTranscoderOptions& options, TTaskLog log) : options_(options), log_(log) {}
    TInputSet(const TInputSet&) = delete;
    TInputSet& operator=(const TInputSet&) = delete;

    // Opens and analyses an input with the current option state, which then describes what
    // the input holds. TotalDuration grows to the input's duration. False leaves the reason in
    // ErrorText; an unknown forced format throws EngineException.
    bool Add(const std::string& fileName, std::int64_t& totalDuration, std::string& errorText);
    // The media types of the inputs (only the first with FirstOnly); a stream of another type
    // throws "invalid codec_type of input file".
    TInputStreamKinds Kinds(bool firstOnly) const;

    int Count() const { return int(files_.size()); }
    TInputFile& File(int index) { return *files_[std::size_t(index)]; }
    const TInputFile& File(int index) const { return *files_[std::size_t(index)]; }
    // Null when Index is out of range.
    AVFormatContext* Context(int index) const;
    void Clear() { files_.clear(); }

private:
    // Parameters for raw and device inputs; demuxers that have no such option ignore them.
    void AddOpeningParameters(AVDictionary** parameters) const;
    bool SelectProgram(AVFormatContext* ctx, std::string& errorText);
    std::int64_t SeekToStart(AVFormatContext* ctx, const std::string& fileName);
    // What an opendvd: address asks beyond the title's bytes: its audio stream, the subpicture
    // to burn in, and deinterlacing.
    static void ApplyDvdChoice(TInputFile& input, const TDvdInputChoice& dvd);
    void ReadStreamParameters(TInputFile& input);
    void ReadVideoParameters(TInputFile& input, unsigned index);

    TTranscoderOptions& options_;
    TTaskLog log_;
    std::vector<std::unique_ptr<TInputFile>> files_;
};

} // namespace tessaro
