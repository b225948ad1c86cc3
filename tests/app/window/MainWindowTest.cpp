// The main window frame, the splash window and the program-wide exception handler,
// driven offscreen.
#include "AppTestSupport.h"
#include "EngineTestSupport.h"
#include "QtTestApplication.h"
#include "ThemeManager.h"
#include "base/EngineException.h"
#include "core/DialogService.h"
#include "core/ErrorReport.h"
#include "core/IniFile.h"
#include "runtime/LibraryLoader.h"
#include "window/Application.h"
#include "window/FrmCover.h"
#include "window/FrmMain.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QToolButton>
#include <QTreeView>
#include <filesystem>
#include <fstream>

using namespace tessaro;
using tessaro::test::TTempDir;

namespace {

using AppEnvironment = tessaro::test::TQtTestEnvironment<TApplication>;
const bool registered = (AppEnvironment::Register(), true);

TApplication& App() {
    return AppEnvironment::App();
}

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override { App(); }

    TAppLocation Location() const {
        return {dir_.Str() + "/", SettingsPath(), dir_.Str() + "/plovupspformat.ini"};
    }
    std::string SettingsPath() const { return dir_.Str() + "/tessaro.ini"; }
    void WriteSettings(const std::string& content) const {
        test::WriteTextFile(SettingsPath(), content);
    }
    std::unique_ptr<TfrmMain> ShowWindow() {
        auto window = std::make_unique<TfrmMain>(Location());
        window->show();
        return window;
    }

    TTempDir dir_;
    TScriptedDialogService dialogs_;
    TScopedDialogService scope_{dialogs_};
};

TEST_F(MainWindow, FirstShowState) {
    auto window = [this] {
        test::TScopedEnv home("HOME", dir_.Str().c_str());
        return ShowWindow();
    }();
    const TfrmMainControls& c = window->Controls();

    EXPECT_EQ(window->frameGeometry().size(), QSize(786, 522));
    EXPECT_EQ(window->minimumSize(), window->maximumSize()) << "the size is fixed";
    EXPECT_EQ(window->windowTitle().toStdString(), "Tessaro" + TGlobalObject::FileVersionText());
    EXPECT_EQ(QApplication::applicationDisplayName(), QStringLiteral("Tessaro"));

    ASSERT_NE(window->Global(), nullptr);
    EXPECT_EQ(TGlobalObject::Instance(), window->Global());
    EXPECT_EQ(window->Global()->SettingsPath(), SettingsPath());
    EXPECT_EQ(window->Global()->FormatPath(), dir_.Str() + "/plovupspformat.ini");
    EXPECT_EQ(window->Global()->VersionText(), TGlobalObject::FileVersionText());
    EXPECT_FALSE(window->Global()->HomeUrl().empty());
    EXPECT_FALSE(window->Global()->HelpUrl().empty());

    EXPECT_TRUE(c.imgbtnPlay->isEnabled());
    EXPECT_FALSE(c.imgbtnPAuse->isEnabled());
    EXPECT_FALSE(c.imgbtnStop->isEnabled());
    EXPECT_FALSE(c.imgbtnSnap->isEnabled());
    EXPECT_FALSE(c.trcPreview->isEnabled());
    EXPECT_TRUE(window->PreviewStopped());
    EXPECT_FALSE(window->PreviewPaused());
    EXPECT_FALSE(window->PlayAfterAdd());
    EXPECT_NE(window->PreviewFrame(), nullptr);

    const int menuBottom = window->menuBar()->geometry().bottom();
    for (QPushButton* button : {c.BtnAdd, c.BtnRemove, c.BtnClear, c.BtnEdit, c.BtnStart, c.BtnExit,
                                c.BtnAddDVD, c.btnDVDStart}) {
        const QPoint top = button->mapTo(window.get(), QPoint(0, 0));
        EXPECT_EQ(top.y(), c.BtnAdd->mapTo(window.get(), QPoint(0, 0)).y())
            << button->objectName().toStdString();
        EXPECT_GT(top.y(), menuBottom);
        EXPECT_LT(top.y(), menuBottom + 12) << "just below the menu bar";
        EXPECT_TRUE(button->isVisible());
    }

    EXPECT_EQ(c.edDirectory->text().toStdString(), dir_.Str() + "/videoconverter");
    EXPECT_TRUE(c.edDirectory->isReadOnly());
    EXPECT_EQ(window->CurrentFormatCode(), "1");
    EXPECT_EQ(c.edt1->text(), QStringLiteral("PSP MPEG-4 Normal Quality (*.mp4)"))
        << "the catalogue's name of the format the runs convert to";
    EXPECT_EQ(window->CurrentFormatName(), "PSP MPEG-4 Normal Quality (*.mp4)");
    EXPECT_EQ(c.edt1->textMargins(), QMargins(4, 2, 0, 0));

    EXPECT_EQ(c.trcVolume->minimum(), 0);
    EXPECT_EQ(c.trcVolume->maximum(), 128);
    EXPECT_EQ(c.trcVolume->value(), 0);
    EXPECT_FALSE(c.ckMute->isChecked());

    const QStringList columns = {"Source", "Length", "Trimmed Length", "Destination File",
                                 "Progress"};
    ASSERT_EQ(c.lvFiles->model()->columnCount(), 5);
    int columnsWidth = 0;
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(c.lvFiles->model()->headerData(i, Qt::Horizontal).toString(), columns[i]);
        EXPECT_GT(c.lvFiles->columnWidth(i), 0) << "column " << i << " is shown";
        columnsWidth += c.lvFiles->columnWidth(i);
    }
    EXPECT_LE(columnsWidth, c.lvFiles->viewport()->width()) << "no sideways scrolling";

    EXPECT_FALSE(c.cmbAudioLanguage->isEnabled());
    EXPECT_FALSE(c.cmbSubtitle->isEnabled());
    EXPECT_EQ(window->DvdFolder(), "");
    EXPECT_FALSE(window->ClosingForUpgrade());
    EXPECT_FALSE(c.mmoLog->isVisible());

    EXPECT_EQ(window->Themes().ActiveTheme(), SystemTheme) << "no skinIndex: System";
    EXPECT_TRUE(window->SkinMenu().Item(SystemTheme)->isChecked());
    EXPECT_FALSE(std::filesystem::exists(SettingsPath())) << "showing writes nothing";
}

TEST_F(MainWindow, MenusHoldTheirItems) {
    auto window = ShowWindow();
    QStringList menus;
    for (QAction* action : window->menuBar()->actions()) {
        menus << action->text();
    }
    EXPECT_EQ(menus, QStringList({"&File", "&Edit", "&Tools", "&Options", "&Help"}));

    QStringList skins;
    for (QAction* action : window->Controls().Skin1->actions()) {
        skins << action->text();
    }
    EXPECT_EQ(skins, QStringList({"Default", "Gray", "Orange", "Purple", "Red", "Green",
                                  "Light blue", "System"}));
    for (const char* name : {"Help2", "WebSite1", "SupportandContact1", "About"}) {
        EXPECT_NE(window->findChild<QAction*>(name), nullptr) << name;
    }
    EXPECT_TRUE(window->Controls().AddDVDDriver1->actions().isEmpty());
}

struct TVolumeCase {
    const char* volume;
    const char* mute;
    int bar;
    bool muted;
};

TEST_F(MainWindow, VolumeAndMuteFromTheSettings) {
    const TVolumeCase cases[] = {
        {"200", "1", 64, true},   {"-5", "0", 64, false}, {"128", "1", 128, true},
        {"0x20", "5", 32, false}, {"loud", "1", 0, true},
    };
    for (const TVolumeCase& c : cases) {
        WriteSettings(std::string("[settings]\nvolume=") + c.volume + "\nmute=" + c.mute + "\n");
        auto window = ShowWindow();
        EXPECT_EQ(window->Controls().trcVolume->value(), c.bar) << "volume " << c.volume;
        EXPECT_EQ(window->Controls().ckMute->isChecked(), c.muted) << "mute " << c.mute;
    }
}

TEST_F(MainWindow, StoredSettingsFillTheWindow) {
    WriteSettings("[SETTINGS]\noutputdir=/srv/videos\nFORMATCODE=203\nformatname=Zune\n"
                  "skinindex=3\n");
    auto window = ShowWindow();
    EXPECT_EQ(window->Controls().edDirectory->text(), QStringLiteral("/srv/videos"));
    EXPECT_EQ(window->CurrentFormatCode(), "203");
    EXPECT_EQ(window->Controls().edt1->text(), QStringLiteral("H.264/MPEG-4 AVC Video (*.mp4)"))
        << "the stored code decides the name shown";
    EXPECT_EQ(window->CurrentFormatName(), "H.264/MPEG-4 AVC Video (*.mp4)");
    EXPECT_EQ(window->Themes().ActiveTheme(), 3);
    EXPECT_EQ(window->styleSheet().toStdString(), ThemeStyleSheet(3));
}

TEST_F(MainWindow, ThemeIndexOutOfRangeKeepsTheDesignTimeTheme) {
    WriteSettings("[settings]\nskinIndex=9\n");
    auto window = ShowWindow();
    EXPECT_EQ(window->Themes().ActiveTheme(), DesignTimeTheme);
    EXPECT_TRUE(window->styleSheet().isEmpty());
    for (int i = 0; i < ThemeCount; ++i) {
        EXPECT_FALSE(window->SkinMenu().Item(i)->isChecked()) << i;
    }
}

// The shipped defaults beside the format file become the settings file of a first start,
// before anything is read from it (the theme comes from them here).
TEST_F(MainWindow, FirstStartInstallsTheDefaultSettings) {
    test::WriteTextFile(dir_.Str() + "/tessaro-defaults.ini",
                        "[settings]\nskinIndex=2\n[formatInfo203]\nparaVideoEncoder=libx264\n");
    auto window = ShowWindow();
    EXPECT_EQ(window->Themes().ActiveTheme(), 2);
    EXPECT_EQ(TIniFile(SettingsPath()).ReadString("formatInfo203", "paraVideoEncoder", ""),
              "libx264");
}

TEST_F(MainWindow, AnsweringNoKeepsEverything) {
    WriteSettings("[settings]\nvolume=10\n");
    auto window = ShowWindow();
    window->SourceList().AddFileRows({{"/videos/a.mpg", 0, 12, "lbox"}});
    dialogs_.QueueAnswer(TMessageResult::No);

    EXPECT_FALSE(window->close());

    ASSERT_EQ(dialogs_.Requests().size(), 1u);
    const TMessageRequest& question = dialogs_.Requests()[0];
    EXPECT_EQ(question.caption, "Warning");
    EXPECT_EQ(question.text, "Do you really want to exit?");
    EXPECT_EQ(question.icon, TMessageIcon::Question);
    EXPECT_EQ(question.buttons, TMessageButtons::YesNo);
    EXPECT_TRUE(window->isVisible());
    ASSERT_NE(window->Global(), nullptr);
    EXPECT_EQ(TGlobalObject::Instance(), window->Global());
    EXPECT_NE(window->PreviewFrame(), nullptr);
    ASSERT_EQ(window->SourceList().Count(), 1);
    EXPECT_TRUE(window->SourceList().Row(0).Checked);
    EXPECT_EQ(TIniFile(SettingsPath()).ReadString("settings", "volume", ""), "10");
}

TEST_F(MainWindow, AnsweringYesClosesAndFreesTheApplicationObject) {
    auto window = ShowWindow();
    dialogs_.QueueAnswer(TMessageResult::Yes);
    EXPECT_TRUE(window->close());
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->Global(), nullptr);
    EXPECT_EQ(TGlobalObject::Instance(), nullptr);
    EXPECT_EQ(window->PreviewFrame(), nullptr);
}

TEST_F(MainWindow, ClosingForUpgradeSkipsTheQuestion) {
    auto window = ShowWindow();
    window->SetClosingForUpgrade(true);
    EXPECT_TRUE(window->close());
    EXPECT_TRUE(dialogs_.Requests().empty());
}

TEST_F(MainWindow, ExitButtonAsksTheSameQuestion) {
    auto window = ShowWindow();
    window->Controls().BtnExit->click();
    ASSERT_EQ(dialogs_.Requests().size(), 1u);
    EXPECT_TRUE(window->isVisible()) << "the scripted service answers No";
}

TEST_F(MainWindow, UnloadableLibrariesLeaveALineInTheHiddenLog) {
    TLibraryLoader& loader = TLibraryLoader::Instance();
    loader.UnloadLibSet(PlayerLibraries);
    loader.SetFileNameOverride(TLibraryKind::libSDL, dir_.Str() + "/no-such-sdl.so");
    auto window = ShowWindow();
    loader.SetFileNameOverride(TLibraryKind::libSDL, "");

    const QString log = window->Controls().mmoLog->toPlainText();
    EXPECT_TRUE(log.contains(QStringLiteral("no-such-sdl.so"))) << log.toStdString();
    EXPECT_EQ(log.toStdString(), loader.LastErrorText());
    EXPECT_FALSE(window->Controls().mmoLog->isVisible());
    EXPECT_TRUE(dialogs_.Requests().empty()) << "nothing else is shown";
}

TEST_F(MainWindow, LoadsThePlayerLibraries) {
    TLibraryLoader::Instance().UnloadLibSet(PlayerLibraries);
    auto window = ShowWindow();
    EXPECT_TRUE(TLibraryLoader::Instance().IsLibSetLoaded(PlayerLibraries));
    EXPECT_EQ(TLibraryLoader::Instance().LibraryDir(), dir_.Str() + "/LibAV");
    EXPECT_TRUE(window->Controls().mmoLog->toPlainText().isEmpty());
}

// A widget whose handlers fail the way window handlers can.
class FailingWidget : public QWidget {
public:
    static constexpr QEvent::Type FailEvent = QEvent::Type(QEvent::User + 1);
    std::function<void()> fail;

protected:
    bool event(QEvent* e) override {
        if (e->type() == FailEvent) {
            fail();
            return true;
        }
        return QWidget::event(e);
    }
};

struct THandlerCase {
    std::function<void()> fail;
    const char* text;
    TMessageIcon icon;
};

TEST_F(MainWindow, EscapedExceptionsAreShownAndTheProgramGoesOn) {
    auto window = ShowWindow();
    ASSERT_TRUE(App().ExceptionHandlerInstalled());
    const THandlerCase cases[] = {
        {[] { throw EngineException("Cannot open file"); }, "Cannot open file.",
         TMessageIcon::Warning},
        {[] { throw EngineException("Cannot stop while working!"); }, "Cannot stop while working!",
         TMessageIcon::Warning},
        {[] { throw std::runtime_error("Bad value 42"); }, "Bad value 42.", TMessageIcon::Error},
        {[] { throw std::runtime_error("Really?"); }, "Really?.", TMessageIcon::Error},
        {[] { throw std::runtime_error("Stopped (by user)"); }, "Stopped (by user)",
         TMessageIcon::Error},
        {[] { throw TIniWriteError("/ro/tessaro.ini"); }, "Unable to write to /ro/tessaro.ini.",
         TMessageIcon::Error},
    };
    FailingWidget widget;
    for (const THandlerCase& c : cases) {
        dialogs_.Clear();
        widget.fail = c.fail;
        QEvent event(FailingWidget::FailEvent);
        QApplication::sendEvent(&widget, &event);
        ASSERT_EQ(dialogs_.Requests().size(), 1u) << c.text;
        EXPECT_EQ(dialogs_.Requests()[0].caption, "Tessaro");
        EXPECT_EQ(dialogs_.Requests()[0].text, c.text);
        EXPECT_EQ(dialogs_.Requests()[0].icon, c.icon) << c.text;
        EXPECT_EQ(dialogs_.Requests()[0].buttons, TMessageButtons::Ok);
    }
}

TEST_F(MainWindow, ExceptionFromAGuardedSlotReachesTheHandler) {
    auto window = ShowWindow();
    QPushButton button(QStringLiteral("Go"));
    button.resize(60, 24);
    button.show();
    int clicks = 0;
    QObject::connect(&button, &QPushButton::clicked, Guarded([&] {
        ++clicks;
        throw EngineException("Output file is in use");
    }));
    QObject::connect(&button, &QPushButton::clicked, Guarded([&](bool checked) {
        EXPECT_FALSE(checked);
        ++clicks;
    }));
    const QPointF centre(30, 12);
    QMouseEvent press(QEvent::MouseButtonPress, centre, button.mapToGlobal(centre), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, centre, button.mapToGlobal(centre),
                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&button, &press);
    QApplication::sendEvent(&button, &release);
    ASSERT_EQ(dialogs_.Requests().size(), 1u);
    EXPECT_EQ(dialogs_.Requests()[0].text, "Output file is in use.");
    EXPECT_EQ(dialogs_.Requests()[0].icon, TMessageIcon::Warning);
    EXPECT_EQ(clicks, 2) << "the other handlers of the signal still run";
}

class Splash : public MainWindow {};

TEST_F(Splash, BuiltInPictureWithoutASkinFile) {
    TfrmCover cover(dir_.Str() + "/skin/tessarocover.jpg");
    EXPECT_TRUE(cover.UsesBuiltInPicture());
    cover.show();
    EXPECT_EQ(cover.size(), QSize(399, 239));
}

TEST_F(Splash, SkinPictureReplacesTheBuiltInOne) {
    std::filesystem::create_directory(dir_.Path() / "skin");
    const std::string path = dir_.Str() + "/skin/tessarocover.jpg";
    QImage picture(120, 80, QImage::Format_RGB32);
    picture.fill(Qt::red);
    ASSERT_TRUE(picture.save(QString::fromStdString(path), "JPG"));
    TfrmCover cover(path);
    EXPECT_FALSE(cover.UsesBuiltInPicture());
    cover.show();
    EXPECT_EQ(cover.size(), QSize(120, 80));
}

TEST_F(Splash, UnreadableSkinFileLeavesTheBuiltInPicture) {
    std::filesystem::create_directory(dir_.Path() / "skin");
    const std::string path = dir_.Str() + "/skin/tessarocover.jpg";
    std::ofstream(path) << "not a picture";
    TfrmCover cover(path);
    EXPECT_TRUE(cover.UsesBuiltInPicture());
    EXPECT_TRUE(dialogs_.Requests().empty());
}

TEST_F(Splash, ClosesAtTheFirstTickAfterTheMainWindowShows) {
    TfrmCover cover(dir_.Str() + "/none.jpg");
    cover.show();
    TfrmMain window(Location());
    cover.SetMainWindow(&window);
    cover.tmr1Timer();
    EXPECT_TRUE(cover.isVisible()) << "main window not yet showing";
    window.show();
    cover.tmr1Timer();
    EXPECT_FALSE(cover.isVisible());
}

} // namespace
