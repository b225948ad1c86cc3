// tessaro-cli play FILE-OR-ADDRESS [--seek SECONDS] [--seconds N]: plays a file or a DVD
// title in SDL's own window and prints the player's events, one line each.
#include "CliCommand.h"
#include "base/FileHelpers.h"
#include "base/MainThread.h"
#include "base/TimeTexts.h"
#include "core/AppPaths.h"
#include "player/MediaPlayer.h"

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>
#include <thread>

namespace tessaro::cli {
namespace {

using namespace std::chrono_literals;

struct TPlayOptions {
    std::string input;
    std::optional<double> seek;    // seconds from the start
    std::optional<double> seconds; // how long to play
};

bool ParseNumber(const std::string& text, double& value) {
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return !text.empty() && end != nullptr && *end == '\0' && value >= 0;
}

// The options, or an error text.
std::optional<TPlayOptions> ParseOptions(const std::vector<std::string>& args, std::string& error) {
    TPlayOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--seek" || arg == "--seconds") {
            double value = 0;
            if (i + 1 >= args.size() || !ParseNumber(args[i + 1], value)) {
                error = arg + " needs a number of seconds";
                return std::nullopt;
            }
            (arg == "--seek" ? options.seek : options.seconds) = value;
            ++i;
        } else if (options.input.empty() && (arg.empty() || arg[0] != '-')) {
            options.input = arg;
        } else {
            error = "unexpected argument \"" + arg + "\"";
            return std::nullopt;
        }
    }
    if (options.input.empty()) {
        error = "play needs a FILE or an opendvd: ADDRESS";
        return std::nullopt;
    }
    return options;
}

bool Exists(const std::string& path) {
    std::error_code error;
    return !path.empty() && std::filesystem::exists(path, error);
}

// Without a display or a sound device SDL's dummy drivers stand in, so the command still
// plays (and reports its events) on a server or in a container.
void ChooseDummyDriversWhereNeeded() {
    if (std::getenv("SDL_VIDEODRIVER") == nullptr && std::getenv("DISPLAY") == nullptr &&
        std::getenv("WAYLAND_DISPLAY") == nullptr) {
        setenv("SDL_VIDEODRIVER", "dummy", 1);
    }
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const std::string runtimeDir = runtime != nullptr ? runtime : "";
    const bool sound = Exists("/dev/snd") || Exists(runtimeDir + "/pulse/native") ||
                       Exists(runtimeDir + "/pipewire-0");
    if (std::getenv("SDL_AUDIODRIVER") == nullptr && !sound) {
        setenv("SDL_AUDIODRIVER", "dummy", 1);
    }
}

const char* StateName(TPlayState state) {
    switch (state) {
    case psPlay:
        return "play";
    case psPause:
        return "pause";
    case psResume:
        return "resume";
    case psStep:
        return "step";
    case psStop:
        return "stop";
    case psEnd:
        return "end";
    }
    return "?";
}

int RunPlay(const std::vector<std::string>& args) {
    std::string error;
    const auto options = ParseOptions(args, error);
    if (!options) {
        return Fail(error);
    }
    SetMainThread();
    ChooseDummyDriversWhereNeeded();
    const std::string libraryFolder = LibraryFolder(ProgramFolder());
    if (std::string error; !LoadDvdPlugInFor(options->input, error)) {
        return Fail(error);
    }

    TMediaPlayer player;
    if (!player.LoadLibraries(libraryFolder)) {
        return Fail(player.LastError());
    }
    bool finished = false;
    player.SetOnFileOpen(
        [](TCustomPlayer*, std::int64_t duration, int width, int height, int&, int&) {
            std::cout << "open: duration " << (duration < 0 ? "N/A" : TimeText(duration));
            if (width > 0) {
                std::cout << ", " << width << "x" << height;
            }
            std::cout << std::endl;
        });
    player.SetOnPosition([](TCustomPlayer*, std::int64_t position) {
        std::cout << "position: " << TimeText(position) << std::endl;
    });
    player.SetOnState([&finished](TCustomPlayer*, TPlayState state) {
        std::cout << "state: " << StateName(state) << std::endl;
        finished = finished || state == psEnd || state == psStop;
    });
    if (!player.Open(options->input)) {
        return Fail(player.LastError());
    }
    if (options->seek) {
        player.Seek(0, true, std::llround(*options->seek * 1e6));
    }
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::duration<double>(options->seconds.value_or(1e9));
    // Events are delivered here, ten times a second; notices of one kind that arrive in
    // between replace each other.
    while (!finished && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(100ms);
        ProcessPendingMessages();
    }
    player.Stop(true);
    return 0;
}

const TCommandRegistration registration({"play", "FILE-OR-ADDRESS [--seek S] [--seconds N]",
                                         "play a file or a DVD title and print the player's "
                                         "events",
                                         &RunPlay});

} // namespace
} // namespace tessaro::cli
