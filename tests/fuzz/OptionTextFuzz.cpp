// The converter's option text and the presets it names, through the component's own calls: a
// task with input option text on a small clip, then an output with output option text. Every
// option line reaches the option dispatcher (and through it the libraries' option system, the
// built-in presets, preset files and targets); a bad option must come back as the call's
// failure with a reason, never as a crash or an escaping exception. Then the video filter text
// of an output stream ("vf") is built into the stream's filter graph, with crop bands.
//
// Input: input option text, a zero byte, output option text, a zero byte, the text of the
// preset file "fuzz.ffpreset" (in the current folder, so "fpre=fuzz.ffpreset" and
// "vpre=fuzz.ffpreset" read it), a zero byte, a byte choosing the output's container, four
// bytes with the crop bands (top, bottom, left, right), then the filter text.
#include "FuzzSupport.h"
#include "FuzzTarget.h"
#include "base/EngineException.h"
#include "converter/Converter.h"
#include "transcoder/CustomTranscoder.h"
#include "transcoder/pipeline/VideoFilterGraph.h"

#include <array>
#include <filesystem>
#include <memory>
#include <unistd.h>

namespace tessaro::fuzz {
namespace {

constexpr std::array<const char*, 5> OutputExtensions = {"mp4", "mpg", "avi", "mkv", "mp3"};

std::string OptionFolder() {
    return WorkFolder() + "/options";
}

std::string ClipPath() {
    return OptionFolder() + "/clip.mpg";
}

// A third of a second of the fixture clip at 64x48 with MPEG-1 video and MPEG audio: every
// option has a video and an audio stream to act on, and opening it costs little.
void MakeSmallClip() {
    TCustomTranscoder task;
    task.SetOption("t", "0.3");
    const bool opened = task.AddInputFile(FixturePath("mpeg2_ac3.mpg"));
    TESSARO_FUZZ_CHECK(opened, "the fixture clip cannot be opened: " + task.ErrorText());
    task.SetOption("vcodec", "mpeg1video");
    task.SetOption("s", "64x48");
    task.SetOption("acodec", "mp2");
    const bool added = task.AddOutputFile(ClipPath(), false) >= 1;
    TESSARO_FUZZ_CHECK(added, "the small clip cannot be made: " + task.ErrorText());
    task.Transcode();
    task.FreeFiles();
}

TConverter& Converter() {
    static TConverter converter;
    return converter;
}

void Initialize() {
    LoadMediaLibraries();
    std::filesystem::create_directories(OptionFolder());
    MakeSmallClip();
    // Relative preset names are looked up from the current folder.
    const bool entered = chdir(OptionFolder().c_str()) == 0;
    TESSARO_FUZZ_CHECK(entered, "cannot enter the option folder");
}

// The graph of a video stream of the small clip: 64x48 pictures in, 64x48 out.
void BuildFilterGraph(TFuzzInput& input) {
    TVideoGraphConfig config;
    config.inWidth = config.outWidth = 64;
    config.inHeight = config.outHeight = 48;
    config.inFormat = config.outFormat = AV_PIX_FMT_YUV420P;
    config.cropTop = input.Byte();
    config.cropBottom = input.Byte();
    config.cropLeft = input.Byte();
    config.cropRight = input.Byte();
    config.userText = input.Rest();
    TVideoFilterGraph graph;
    try {
        graph.Build(config);
    } catch (const EngineException& e) {
        TESSARO_FUZZ_CHECK(!std::string(e.what()).empty(),
                           "a filter graph failed without a reason");
    }
}

void ConfigureTask(TFuzzInput& input) {
    TInputOptions inputOptions;
    inputOptions.ExtOptions = input.Until('\0');
    TOutputOptions outputOptions;
    outputOptions.ExtOptions = input.Until('\0');
    WriteWholeFile(OptionFolder() + "/fuzz.ffpreset", input.Until('\0'));
    const std::string output =
        OptionFolder() + "/out." + OutputExtensions[input.Choice(OutputExtensions.size())];

    TConverter& converter = Converter();
    const int task = converter.AddTask(ClipPath(), &inputOptions);
    if (task < 0) {
        TESSARO_FUZZ_CHECK(!converter.LastError().empty(), "a task was refused without a reason");
        return;
    }
    if (!converter.SetOutputFile(task, output, &outputOptions)) {
        TESSARO_FUZZ_CHECK(!converter.LastError().empty(),
                           "an output was refused without a reason");
    }
    converter.ClearTasks();
    std::error_code ignored;
    std::filesystem::remove(output, ignored);
}

void Run(const std::uint8_t* data, std::size_t size) {
    TFuzzInput input(data, size);
    ConfigureTask(input);
    BuildFilterGraph(input);
}

} // namespace
} // namespace tessaro::fuzz

TESSARO_FUZZ_TARGET("option_text", tessaro::fuzz::Initialize, tessaro::fuzz::Run)
