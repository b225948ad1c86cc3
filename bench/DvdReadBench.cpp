// Throughput of the DVD plug-in: title 1 read through its title stream against `cat` of the
// same VOB files, and a whole-disc title scan against `lsdvd` and `HandBrakeCLI --scan`.
// Prints the figures and ratios. Usage: dvd-read-bench DVD_FOLDER [ROUNDS]
#include "BenchSupport.h"
#include "DVDPlugIn.h"
#include "base/EngineException.h"
#include "dvdinput/DvdTitleStream.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// The fastest of rounds runs of work, in seconds (the least disturbed by other processes).
double BestSeconds(int rounds, const std::function<void()>& work) {
    double best = 1e9;
    for (int i = 0; i < rounds; ++i) {
        const auto start = Clock::now();
        work();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    }
    return best;
}

std::string Quoted(const std::string& text) {
    return "'" + text + "'";
}

void Run(const std::string& command) {
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "failed: %s\n", command.c_str());
        std::exit(1);
    }
}

} // namespace

int main(int argc, char** argv) {
    using namespace tessaro;
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s DVD_FOLDER [ROUNDS]\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 10;
    if (!bench::LoadDvdPlugInBesideProgram()) {
        return 1;
    }

    // Title 1's VOB files: its title set is the first one in the fixture's layout and in most
    // discs; the plug-in's stream size is checked against them so the comparison is fair.
    std::vector<std::string> vobs;
    for (int part = 1; part <= 9; ++part) {
        const std::string vob = folder + "/VIDEO_TS/VTS_01_" + std::to_string(part) + ".VOB";
        if (std::filesystem::exists(vob)) {
            vobs.push_back(vob);
        }
    }
    std::string catCommand = "cat";
    std::uintmax_t vobBytes = 0;
    for (const std::string& vob : vobs) {
        catCommand += " " + Quoted(vob);
        vobBytes += std::filesystem::file_size(vob);
    }
    catCommand += " >/dev/null";

    std::int64_t streamBytes = 0;
    std::vector<std::uint8_t> buffer(64 * 1024); // avformat's custom I/O buffer size
    const double pluginSeconds = BestSeconds(rounds, [&] {
        const auto stream =
            TDvdTitleStream::Open(ParseDvdAddress("opendvd:" + folder + "|Title=1"));
        streamBytes = 0;
        int count = 0;
        while ((count = stream->Read(buffer.data(), int(buffer.size()))) > 0) {
            streamBytes += count;
        }
    });
    // cat and the scan peers run as processes: their start-up cost is measured on its own.
    const double spawnSeconds = BestSeconds(rounds, [&] { Run("true"); });
    const double catSeconds = BestSeconds(rounds, [&] { Run(catCommand); });
    const double mb = double(streamBytes) / 1e6;
    std::printf("title 1: %.1f MB through the plug-in, %.1f MB of VOB files%s\n", mb,
                double(vobBytes) / 1e6, std::uintmax_t(streamBytes) == vobBytes ? "" : " (differ)");
    std::printf("  plug-in read   %8.2f ms  %8.1f MB/s\n", pluginSeconds * 1e3, mb / pluginSeconds);
    std::printf("  cat            %8.2f ms  %8.1f MB/s\n", catSeconds * 1e3,
                double(vobBytes) / 1e6 / catSeconds);
    std::printf("  (starting a process alone: %.2f ms)\n", spawnSeconds * 1e3);
    std::printf("  ratio plug-in/cat throughput: %.2f (%.2f without cat's process start)\n",
                catSeconds / pluginSeconds,
                std::max(catSeconds - spawnSeconds, 1e-9) / pluginSeconds);

    int titles = 0;
    const double scanSeconds = BestSeconds(rounds, [&] {
        titles = DVDEnumTitle(folder);
        TDVDTitleInfo info;
        for (int i = 0; i < titles; ++i) {
            DVDGetTitle(i, info);
        }
    });
    std::printf("title scan of %d titles:\n", titles);
    std::printf("  %-20s %8.2f ms\n", "plug-in", scanSeconds * 1e3);
    // Both peers are processes of their own: the ratio is also shown without a process start.
    const struct {
        const char* name;
        std::string command;
    } peers[] = {
        {"lsdvd -x", "lsdvd -x " + Quoted(folder) + " >/dev/null 2>&1"},
        {"HandBrakeCLI --scan",
         "HandBrakeCLI -i " + Quoted(folder) + " -t 0 --scan >/dev/null 2>&1"},
    };
    for (const auto& peer : peers) {
        const double peerSeconds = BestSeconds(rounds, [&] { Run(peer.command); });
        std::printf("  %-20s %8.2f ms\n", peer.name, peerSeconds * 1e3);
        std::printf("  ratio plug-in/%s time: %.3f (%.3f without its process start)\n", peer.name,
                    scanSeconds / peerSeconds,
                    scanSeconds / std::max(peerSeconds - spawnSeconds, 1e-9));
    }
    return 0;
}
