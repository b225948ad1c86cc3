// Converts one input into one output with the engine's transcoder, from the command line:
//   transcode-bench [-threads N] [-pipelined 0|1] INPUT OUTPUT [name=value ...]
// The options are applied after the input is opened (as the converter does for an output).
// An "opendvd:" input is read through the DVD plug-in in LibAV beside the program.
// Codec threads are automatic and encoding runs beside decoding unless the options say
// otherwise. Prints the wall time of the conversion; the script bench/transcode compares it
// with the ffmpeg program on the same settings.
#include "BenchSupport.h"
#include "base/EngineException.h"
#include "base/EngineLogger.h"
#include "dvdinput/DvdAddress.h"
#include "runtime/LibraryLoader.h"
#include "transcoder/CustomTranscoder.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    using namespace tessaro;
    int arg = 1;
    int threads = 0;
    bool pipelined = true;
    while (argc - arg > 2 && argv[arg][0] == '-') {
        const std::string name = argv[arg];
        if (name == "-threads") {
            threads = std::atoi(argv[arg + 1]);
        } else if (name == "-pipelined") {
            pipelined = std::atoi(argv[arg + 1]) != 0;
        } else {
            break;
        }
        arg += 2;
    }
    if (argc - arg < 2) {
        std::fprintf(stderr,
                     "usage: %s [-threads N] [-pipelined 0|1] INPUT OUTPUT [name=value ...]\n",
                     argv[0]);
        return 2;
    }
    if (!TLibraryLoader::Instance().LoadLibSet(ConverterLibraries)) {
        std::fprintf(stderr, "%s\n", TLibraryLoader::Instance().LastErrorText().c_str());
        return 1;
    }
    if (IsDvdAddress(argv[arg]) && !bench::LoadDvdPlugInBesideProgram()) {
        return 1;
    }
    TEngineLogger::GetLogger().SetLogLevel(llError);
    TEngineLogger::GetLogger().SetTriggerEventInMainThread(false);
    TEngineLogger::GetLogger().SetOnLog(
        [](const void*, std::uint32_t, TLogLevel, const std::string& text) {
            std::fprintf(stderr, "%s\n", text.c_str());
        });
    try {
        TCustomTranscoder task;
        task.SetOption("v", "-1");
        task.SetThreadCount(threads);
        task.SetPipelined(pipelined);
        if (!task.AddInputFile(argv[arg])) {
            std::fprintf(stderr, "%s\n", task.ErrorText().c_str());
            return 1;
        }
        for (int i = arg + 2; i < argc; ++i) {
            const std::string pair = argv[i];
            const auto equals = pair.find('=');
            task.SetOption(pair.substr(0, equals),
                           equals == std::string::npos ? "" : pair.substr(equals + 1));
        }
        if (task.AddOutputFile(argv[arg + 1], false) < 0) {
            std::fprintf(stderr, "%s\n", task.ErrorText().c_str());
            return 1;
        }
        const auto start = std::chrono::steady_clock::now();
        task.Transcode();
        task.FreeFiles();
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        std::printf("%.3f s\n", took.count());
    } catch (const EngineException& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
