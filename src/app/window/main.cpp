// Program entry: splash window, main window, message loop.
#include "core/AppPaths.h"
#include "core/DialogService.h"
#include "core/QtDialogService.h"
#include "window/Application.h"
#include "window/FrmCover.h"
#include "window/FrmMain.h"

#include <QTimer>
#include <cstdio>
#include <cstdlib>

namespace {

// With TESSARO_SCREENSHOT set, the program saves a picture of its main window once
// it is shown and ends: a check that the whole start-up works on a real display.
void ScheduleScreenshot(tessaro::TfrmMain& window, const char* path) {
    QTimer::singleShot(0, &window, [&window, path] {
        const QImage picture = window.grab().toImage();
        const bool saved = !picture.isNull() && picture.save(QString::fromLocal8Bit(path));
        std::printf("main window \"%s\" %dx%d, screenshot %s: %s\n",
                    window.windowTitle().toUtf8().constData(), window.frameGeometry().width(),
                    window.frameGeometry().height(), path, saved ? "saved" : "failed");
        std::fflush(stdout);
        QCoreApplication::exit(saved ? 0 : 1);
    });
}

} // namespace

int main(int argc, char** argv) {
    tessaro::TApplication app(argc, argv);
    tessaro::TQtDialogService dialogs;
    tessaro::SetDialogService(&dialogs);

    const tessaro::TAppLocation location = tessaro::LocateAppFiles();
    tessaro::TfrmCover cover(tessaro::SplashPicturePath(location.exeDir));
    cover.show();
    cover.repaint();
    QApplication::setApplicationDisplayName(QStringLiteral("Plovu dvd ripper"));

    tessaro::TfrmMain window(location);
    cover.SetMainWindow(&window);
    window.show();
    if (const char* screenshot = std::getenv("TESSARO_SCREENSHOT")) {
        ScheduleScreenshot(window, screenshot);
    }
    return QApplication::exec();
}
