// The DVD plug-in library on a damaged disc: the fixture disc's folder with its IFO files (and
// their .BUP copies) replaced by the input, its VOB files unchanged. The title browser reads
// the disc through the plug-in as the program does (titles, their cells, scrambling, the main
// feature) and words each title's row, audio and subtitle lines; then the plug-in opens and
// reads the first titles as program streams. Whatever the tables say, a description stays
// inside its record's arrays and a stream stays inside its own size.
//
// Input: the IFO files VIDEO_TS, VTS_01_0, VTS_02_0 and VTS_03_0 in this order, each as a
// 32-bit little-endian length and that many bytes; a file the input does not reach is left
// out of the disc. The mutator of the libFuzzer build changes one file at a time, so the
// others stay valid and the damage reaches past the first table.
#include "DVDDecApi.h"
#include "DvdTitleBrowser.h"
#include "FuzzSupport.h"
#include "FuzzTarget.h"
#include "TestPaths.h"

#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <vector>

using tessaro::test::LibAvDir;

namespace tessaro::fuzz {
namespace {

constexpr std::array<const char*, 4> IfoNames = {"VIDEO_TS", "VTS_01_0", "VTS_02_0", "VTS_03_0"};
constexpr int StreamsOpened = 3;     // titles read as streams per input
constexpr int BytesRead = 64 * 1024; // read at the start of each stream

std::string DiscFolder() {
    return WorkFolder() + "/disc";
}

std::string VideoFolder() {
    return DiscFolder() + "/VIDEO_TS";
}

std::vector<std::string> SplitFiles(const std::uint8_t* data, std::size_t size) {
    TFuzzInput input(data, size);
    std::vector<std::string> files;
    while (!input.Empty() && files.size() < IfoNames.size()) {
        const std::uint32_t length = input.Word();
        std::string file;
        for (std::uint32_t i = 0; i < length && !input.Empty(); ++i) {
            file += char(input.Byte());
        }
        files.push_back(std::move(file));
    }
    return files;
}

void WriteDisc(const std::vector<std::string>& files) {
    for (std::size_t i = 0; i < IfoNames.size(); ++i) {
        const std::string stem = VideoFolder() + "/" + IfoNames[i];
        if (i < files.size()) {
            WriteWholeFile(stem + ".IFO", files[i]);
            WriteWholeFile(stem + ".BUP", files[i]);
        } else {
            std::filesystem::remove(stem + ".IFO");
            std::filesystem::remove(stem + ".BUP");
        }
    }
}

bool Terminated(const char (&name)[DVD_NAME_SIZE]) {
    return std::memchr(name, 0, sizeof name) != nullptr;
}

void CheckDescription(int index, const TDVDTitleInfo& info) {
    const std::string title = "title " + std::to_string(index + 1) + ": ";
    TESSARO_FUZZ_CHECK(info.AudioCount >= 0 && info.AudioCount <= DVD_MAX_AUDIO,
                       title + "audio count " + std::to_string(info.AudioCount));
    TESSARO_FUZZ_CHECK(info.SubtitleCount >= 0 && info.SubtitleCount <= DVD_MAX_SUBTITLE,
                       title + "subtitle count " + std::to_string(info.SubtitleCount));
    TESSARO_FUZZ_CHECK(info.ChapterCount >= 1, title + "no chapters");
    TESSARO_FUZZ_CHECK(std::isfinite(info.Duration) && info.Duration >= 0,
                       title + "duration " + std::to_string(info.Duration));
    for (const TDVDAudioInfo& audio : info.Audio) {
        TESSARO_FUZZ_CHECK(Terminated(audio.Name), title + "audio name without its end");
    }
    for (const TDVDSubtitleInfo& subtitle : info.Subtitle) {
        TESSARO_FUZZ_CHECK(Terminated(subtitle.Name), title + "subtitle name without its end");
    }
}

// Reads the start and the end of the title's whole chapter range as a stream.
void ReadTitle(int index, const TDVDTitleInfo& title) {
    const TDVDParam param{index, 0, DVD_LAST_CHAPTER, 128, 0, 2, 0};
    char error[512] = {};
    TDVDStream* stream = DVDStreamOpen(DiscFolder().c_str(), &param, error, sizeof error);
    if (stream == nullptr) {
        TESSARO_FUZZ_CHECK(error[0] != 0, "a title stream was refused without a reason");
        return;
    }
    TDVDStreamInfo info{};
    TESSARO_FUZZ_CHECK(DVDStreamGetInfo(stream, &info) != 0, "an open stream has no facts");
    const std::int64_t size = DVDStreamSize(stream);
    TESSARO_FUZZ_CHECK(size == info.Size && size > 0 && size % 2048 == 0,
                       "stream size " + std::to_string(size));
    TESSARO_FUZZ_CHECK(info.FirstChapter == 1 && info.LastChapter == title.ChapterCount,
                       "the stream's chapters differ from the title's");
    std::vector<std::uint8_t> buffer(BytesRead);
    const int read = DVDStreamRead(stream, buffer.data(), BytesRead);
    TESSARO_FUZZ_CHECK(read <= BytesRead && read <= size, "a read went past its buffer");
    const std::int64_t tail = size > BytesRead ? size - BytesRead : 0;
    TESSARO_FUZZ_CHECK(DVDStreamSeek(stream, tail) == tail, "a seek inside the stream failed");
    const int last = DVDStreamRead(stream, buffer.data(), BytesRead);
    TESSARO_FUZZ_CHECK(last <= size - tail, "the last read went past the stream's end");
    TESSARO_FUZZ_CHECK(DVDStreamSeek(stream, size + 1) == -1, "a seek past the end succeeded");
    DVDStreamClose(stream);
}

void Initialize() {
    std::filesystem::create_directories(VideoFolder());
    for (const auto& entry : std::filesystem::directory_iterator(FixturePath("dvd/VIDEO_TS"))) {
        if (entry.path().extension() == ".VOB") {
            std::filesystem::create_symlink(entry.path(),
                                            VideoFolder() + "/" + entry.path().filename().string());
        }
    }
}

void Run(const std::uint8_t* data, std::size_t size) {
    WriteDisc(SplitFiles(data, size));
    const TDvdScan scan = ScanDvd(LibAvDir(), DiscFolder());
    TESSARO_FUZZ_CHECK(scan.Status != TDvdScanStatus::PlugInMissing,
                       "the DVD plug-in cannot be loaded from " + LibAvDir());
    TESSARO_FUZZ_CHECK(scan.Picks.size() == scan.Titles.size(), "a title without its pick");
    int streams = 0;
    for (const TDvdTitle& title : scan.Titles) {
        if (!title.Valid) {
            continue;
        }
        CheckDescription(title.Index, title.Info);
        DvdTitleRowTexts(title.Index, title.Info);
        DvdAudioLines(title.Info);
        DvdSubtitleLines(title.Info);
        if (streams++ < StreamsOpened) {
            ReadTitle(title.Index, title.Info);
        }
    }
    ::DVDEnumTitle(""); // lets the disc go
}

} // namespace
} // namespace tessaro::fuzz

TESSARO_FUZZ_TARGET("dvd_disc", tessaro::fuzz::Initialize, tessaro::fuzz::Run)

#if defined(TESSARO_LIBFUZZER)
extern "C" std::size_t LLVMFuzzerMutate(std::uint8_t* data, std::size_t size, std::size_t maxSize);

namespace tessaro::fuzz {
namespace {

std::string JoinFiles(const std::vector<std::string>& files) {
    std::string data;
    for (const std::string& file : files) {
        const auto length = std::uint32_t(file.size());
        for (int i = 0; i < 4; ++i) {
            data += char((length >> (8 * i)) & 0xff);
        }
        data += file;
    }
    return data;
}

} // namespace
} // namespace tessaro::fuzz

// Mutates one of the IFO files and keeps the others as they are.
extern "C" std::size_t LLVMFuzzerCustomMutator(std::uint8_t* data, std::size_t size,
                                               std::size_t maxSize, unsigned int seed) {
    using namespace tessaro::fuzz;
    std::vector<std::string> files = SplitFiles(data, size);
    if (files.empty()) {
        files.emplace_back();
    }
    std::string& file = files[seed % files.size()];
    const std::size_t others = JoinFiles(files).size() - file.size();
    if (others >= maxSize) {
        return size;
    }
    const std::size_t room = maxSize - others;
    std::vector<std::uint8_t> buffer(file.begin(), file.end());
    buffer.resize(std::max(room, buffer.size()));
    const std::size_t mutated = LLVMFuzzerMutate(buffer.data(), std::min(file.size(), room), room);
    file.assign(buffer.begin(), buffer.begin() + std::ptrdiff_t(mutated));
    const std::string joined = JoinFiles(files);
    if (joined.size() > maxSize) {
        return size;
    }
    std::memcpy(data, joined.data(), joined.size());
    return joined.size();
}
#endif
