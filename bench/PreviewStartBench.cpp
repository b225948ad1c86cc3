// Start time of the preview: from a click on Play to the first picture painted in the panel,
// for a fixture file and a title of the fixture disc, as a user sees it on a display (run it
// under xvfb-run). One cold start, then ROUNDS warm starts (Stop, Play); prints the median and
// the spread of the warm starts and their ratio to the 150 ms target.
// Usage: preview-start-bench FIXTURE_FOLDER [ROUNDS]
#include "BenchSupport.h"
#include "DVDPlugIn.h"
#include "PreviewPanel.h"
#include "VideoSurfaceWidget.h"
#include "base/MainThread.h"
#include "sources/SourceListModel.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QToolButton>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <vector>

namespace {

using namespace tessaro;
using Clock = std::chrono::steady_clock;

constexpr double TargetMilliseconds = 150;

// Serves Qt's events and the player's main-thread calls until done() or 10 s have passed.
template <typename Done> bool ServeUntil(Done done) {
    const QDeadlineTimer deadline(10000);
    while (!done()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        WaitAndProcessPendingMessages(std::chrono::milliseconds(0));
    }
    return true;
}

// Milliseconds from the click on Play to the first painted picture; below 0 when none came.
double StartMilliseconds(TPreviewPanel& panel) {
    int painted = 0;
    const auto connection = QObject::connect(
        panel.Widgets().pan1, &TVideoSurfaceWidget::picturePainted, [&painted] { ++painted; });
    const auto start = Clock::now();
    panel.Widgets().imgbtnPlay->click();
    const bool shown = ServeUntil([&] { return painted > 0; });
    const double elapsed = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    QObject::disconnect(connection);
    return shown ? elapsed : -1;
}

void Report(const char* name, TPreviewPanel& panel, int rounds) {
    const double cold = StartMilliseconds(panel);
    std::vector<double> warm;
    for (int i = 0; i < rounds && cold >= 0; ++i) {
        panel.imgbtnStopClick();
        const double ms = StartMilliseconds(panel);
        if (ms < 0) {
            break;
        }
        warm.push_back(ms);
    }
    panel.imgbtnStopClick();
    if (cold < 0 || warm.size() != std::size_t(rounds)) {
        std::printf("%-28s no picture came: %s\n", name, panel.Player().LastError().c_str());
        return;
    }
    std::sort(warm.begin(), warm.end());
    const double median =
        rounds % 2 != 0 ? warm[std::size_t(rounds / 2)]
                        : (warm[std::size_t(rounds / 2 - 1)] + warm[std::size_t(rounds / 2)]) / 2;
    std::printf("%-28s cold %7.1f ms   warm median %7.1f ms (min %.1f, max %.1f, %d starts)"
                "   median/target %.2f\n",
                name, cold, median, warm.front(), warm.back(), rounds, median / TargetMilliseconds);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FIXTURE_FOLDER [ROUNDS]\n", argv[0]);
        return 2;
    }
    const std::string fixtures = argv[1];
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 10;
    if (!bench::LoadDvdPlugInBesideProgram()) {
        return 1;
    }
    const std::string exeDir = std::filesystem::read_symlink("/proc/self/exe").parent_path();
    const std::string dvd = fixtures + "/dvd";

    TSourceListModel sources;
    TPreviewPanel panel(sources, {(std::filesystem::temp_directory_path() / "bench.ini").string(),
                                  exeDir + "/LibAV", [&dvd] { return dvd; }});
    panel.show();
    ServeUntil([&] { return panel.isVisible(); });
    std::printf("preview start, click on Play to the first painted picture (%s)\n",
                QGuiApplication::platformName().toUtf8().constData());

    sources.AddFileRows({{fixtures + "/mpeg2_ac3.mpg", 0, 12, "lbox"}});
    Report("file mpeg2_ac3.mpg", panel, rounds);
    sources.AddFileRows({{fixtures + "/h264_aac.mp4", 1, 12, "lbox"}});
    sources.SetCurrent(1);
    Report("file h264_aac.mp4", panel, rounds);

    if (DVDEnumTitle(dvd) > 0) {
        TlvFilesRecord record;
        record.TitleIndex = 0;
        DVDGetTitle(0, record.TitleInfo);
        record.AudioID = record.TitleInfo.Audio[0].StreamID;
        sources.AddDvdTitleRow({"DVD Title 1"}, record);
        Report("DVD title 1 (fixture disc)", panel, rounds);
    }
    return 0;
}
