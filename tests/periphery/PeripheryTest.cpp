// Colour themes and their menu, help links and the about window.
#include "AppTestSupport.h"
#include "EngineTestSupport.h"
#include "FrmAbout.h"
#include "HelpMenu.h"
#include "QtTestApplication.h"
#include "TestPaths.h"
#include "ThemeManager.h"
#include "WebLinks.h"
#include "core/DialogService.h"
#include "core/ErrorReport.h"
#include "core/GlobalObject.h"
#include "core/IniFile.h"
#include "core/ShellOpen.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>

using namespace tessaro;
using tessaro::test::TTempDir;

namespace {

using AppEnvironment = tessaro::test::TQtTestEnvironment<QApplication>;
const bool registered = (AppEnvironment::Register(), true);

QApplication& App() {
    return AppEnvironment::App();
}

// Counts how often a window is hidden.
class HideCounter : public QObject {
public:
    int hides = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Hide) {
            ++hides;
        }
        return false;
    }
};

class Themes : public ::testing::Test {
protected:
    void SetUp() override {
        App();
        window_.show();
        window_.installEventFilter(&hides_);
    }
    std::string SettingsPath() const { return dir_.Str() + "/tessaro.ini"; }
    void WriteSettings(const std::string& content) const {
        std::ofstream(SettingsPath(), std::ios::binary) << content;
    }
    // Start-up as the main window does it: stored theme, then the menu.
    void StartUp() {
        themes_.ApplyStoredTheme(SettingsPath());
        menu_ = new TSkinMenu(skin_, &window_, themes_, SettingsPath());
    }
    std::vector<int> CheckedItems() const {
        std::vector<int> checked;
        for (int i = 0; i < ThemeCount; ++i) {
            if (menu_->Item(i)->isChecked()) {
                checked.push_back(i);
            }
        }
        return checked;
    }

    bool appReady_ = (App(), true);
    TTempDir dir_;
    QMainWindow window_;
    QMenu* skin_ = window_.menuBar()->addMenu(QStringLiteral("&Skin"));
    TThemeManager themes_{&window_};
    TSkinMenu* menu_ = nullptr;
    HideCounter hides_;
};

TEST_F(Themes, CatalogueOrderAndLooks) {
    const char* names[] = {"Default", "Gray",  "Orange",     "Purple",
                           "Red",     "Green", "Light blue", "System"};
    std::set<std::string> sheets;
    for (int i = 0; i < ThemeCount; ++i) {
        EXPECT_STREQ(ThemeName(i), names[i]);
        sheets.insert(ThemeStyleSheet(i, TColorScheme::Light));
        sheets.insert(ThemeStyleSheet(i, TColorScheme::Dark));
    }
    EXPECT_EQ(sheets.size(), std::size_t(ThemeCount)) << "seven looks and System's dark one";
    EXPECT_EQ(ThemeStyleSheet(SystemTheme, TColorScheme::Light), ThemeStyleSheet(0))
        << "System under a light desktop looks like Default";
    EXPECT_EQ(ThemeStyleSheet(0, TColorScheme::Dark), ThemeStyleSheet(0))
        << "only System follows the desktop";
    EXPECT_FALSE(IsThemeIndex(-1));
    EXPECT_TRUE(IsThemeIndex(SystemTheme));
    EXPECT_FALSE(IsThemeIndex(8));
}

TEST_F(Themes, NoStoredIndexMeansSystem) {
    StartUp();
    EXPECT_EQ(themes_.ActiveTheme(), SystemTheme);
    EXPECT_EQ(CheckedItems(), std::vector<int>{SystemTheme});
    EXPECT_EQ(menu_->Item(0)->objectName(), QStringLiteral("Skin11"));
    EXPECT_EQ(menu_->Item(SystemTheme)->objectName(), QStringLiteral("Skin81"));
    EXPECT_EQ(StoredThemeIndex(test::DataDir() + "/tessaro-defaults.ini"), SystemTheme)
        << "a fresh installation starts with System";
}

TEST_F(Themes, IndexOutsideTheRangeKeepsTheDesignTimeTheme) {
    window_.setStyleSheet(QStringLiteral("QMainWindow { background: white; }"));
    for (const char* stored : {"9", "-1", "abc"}) {
        WriteSettings(std::string("[settings]\nskinIndex=") + stored + "\n");
        TThemeManager themes(&window_);
        themes.ApplyStoredTheme(SettingsPath());
        const bool number = std::string(stored) != "abc";
        if (number) {
            EXPECT_EQ(themes.ActiveTheme(), DesignTimeTheme) << stored;
            EXPECT_EQ(window_.styleSheet(), QStringLiteral("QMainWindow { background: white; }"));
        } else {
            EXPECT_EQ(themes.ActiveTheme(), SystemTheme) << "not a number: the default index";
        }
    }
}

TEST_F(Themes, OpeningTheMenuChecksTheStoredTheme) {
    StartUp();
    WriteSettings("[settings]\nskinIndex=4\n");
    emit skin_->aboutToShow();
    EXPECT_EQ(CheckedItems(), std::vector<int>{4});
    WriteSettings("[settings]\nskinIndex=9\n");
    emit skin_->aboutToShow();
    EXPECT_TRUE(CheckedItems().empty());
}

TEST_F(Themes, ChoosingTheCheckedThemeDoesNothing) {
    WriteSettings("; mine\n[settings]\nskinIndex=2\n");
    StartUp();
    const auto before = std::filesystem::last_write_time(SettingsPath());
    const std::string content = test::ReadTextFile(SettingsPath());

    menu_->Item(2)->trigger();

    EXPECT_EQ(hides_.hides, 0);
    EXPECT_TRUE(window_.isVisible());
    EXPECT_EQ(test::ReadTextFile(SettingsPath()), content);
    EXPECT_EQ(std::filesystem::last_write_time(SettingsPath()), before);
    EXPECT_EQ(CheckedItems(), std::vector<int>{2}) << "the item stays checked";
    EXPECT_EQ(themes_.ActiveTheme(), 2);
}

TEST_F(Themes, ChoosingSystemOnAFreshInstallationWritesNothing) {
    StartUp();
    menu_->Item(SystemTheme)->trigger();
    EXPECT_FALSE(std::filesystem::exists(SettingsPath()));
    EXPECT_EQ(hides_.hides, 0);
}

TEST_F(Themes, ChoosingAnotherThemeAppliesAndStoresIt) {
    WriteSettings("; mine\n[settings]\nvolume=5\n");
    StartUp();
    menu_->Item(6)->trigger();

    EXPECT_EQ(hides_.hides, 1) << "hidden while the theme changes";
    EXPECT_TRUE(window_.isVisible()) << "and shown again";
    EXPECT_EQ(themes_.ActiveTheme(), 6);
    EXPECT_EQ(window_.styleSheet().toStdString(), ThemeStyleSheet(6));
    EXPECT_EQ(CheckedItems(), std::vector<int>{6});
    EXPECT_EQ(test::ReadTextFile(SettingsPath()), "; mine\n[settings]\nvolume=5\nskinIndex=6\n");
}

std::vector<std::string> reported;
void RecordReport(std::exception_ptr error) {
    reported.push_back(DescribeException(error).text);
}

TEST_F(Themes, FailedStoreIsReportedAfterTheThemeIsApplied) {
    std::ofstream(dir_.Path() / "file") << "x";
    const std::string path = dir_.Str() + "/file/tessaro.ini";
    TThemeManager themes(&window_);
    TSkinMenu menu(skin_, &window_, themes, path);
    EXPECT_THROW(menu.ChooseTheme(1), TIniWriteError);
    EXPECT_TRUE(window_.isVisible());
    EXPECT_EQ(themes.ActiveTheme(), 1);

    reported.clear();
    SetExceptionReporter(&RecordReport);
    menu.Item(3)->trigger();
    SetExceptionReporter(nullptr);
    EXPECT_EQ(reported, std::vector<std::string>{"Unable to write to " + path + "."});
    EXPECT_EQ(themes.ActiveTheme(), 3);
}

// A stand-in for xdg-open that appends its arguments to a log, one per line.
class Links : public ::testing::Test {
protected:
    void SetUp() override {
        App();
        recorder_ = dir_.Str() + "/recorder";
        std::ofstream(recorder_) << "#!/bin/sh\nprintf '%s\\n' \"$@\" >> \"$0.out\"\n";
        chmod(recorder_.c_str(), 0755);
        setenv("TESSARO_OPEN_COMMAND", recorder_.c_str(), 1);
        global_.SetProductName("Tessaro");
        global_.SetHomeUrl(TessaroHomeUrl);
        global_.SetHelpUrl(TessaroHelpUrl);
    }
    void TearDown() override { unsetenv("TESSARO_OPEN_COMMAND"); }
    std::string Opened() {
        WaitForSpawnedPrograms();
        std::string text = test::ReadTextFile(recorder_ + ".out");
        std::filesystem::remove(recorder_ + ".out");
        return text;
    }
    QAction* Item(const char* name) { return window_.findChild<QAction*>(name); }

    bool appReady_ = (App(), true);
    TTempDir dir_;
    std::string recorder_;
    TGlobalObject global_;
    QMainWindow window_;
    QMenu* help_ = window_.menuBar()->addMenu(QStringLiteral("&Help"));
    THelpMenu* menu_ = new THelpMenu(help_, &window_);
};

TEST_F(Links, HelpWebSiteAndSupportOpenTheirAddresses) {
    const std::pair<const char*, std::string> items[] = {
        {"Help2", TessaroHelpUrl},
        {"WebSite1", TessaroHomeUrl},
        {"SupportandContact1", TessaroSupportUrl},
    };
    for (const auto& [name, url] : items) {
        ASSERT_NE(Item(name), nullptr) << name;
        Item(name)->trigger();
        EXPECT_EQ(Opened(), url + "\n") << name;
    }
    EXPECT_EQ(Item("Help2")->text(), QStringLiteral("&Help"));
    EXPECT_EQ(Item("WebSite1")->text(), QStringLiteral("&Web Site"));
    EXPECT_EQ(Item("SupportandContact1")->text(), QStringLiteral("&Support and Contact"));
    EXPECT_EQ(Item("About")->text(), QStringLiteral("&About"));
}

TEST_F(Links, RelatedSoftwareOpensOnePagePerProduct) {
    auto* related = window_.findChild<QMenu*>(QStringLiteral("RelatedSoftware1"));
    ASSERT_NE(related, nullptr);
    ASSERT_EQ(related->actions().size(), 10);
    std::set<std::string> urls;
    for (QAction* item : related->actions()) {
        item->trigger();
        const std::string url = Opened();
        EXPECT_EQ(url, std::string(TessaroRelatedUrl) +
                           "?product=" + UrlQueryEncode(item->text().toStdString()) + "\n");
        urls.insert(url);
    }
    EXPECT_EQ(urls.size(), 10u);
    EXPECT_EQ(UrlQueryEncode("Video Joiner & Co/2"), "Video%20Joiner%20%26%20Co%2F2");
}

TEST_F(Links, AboutWindowIsCreatedOnceAndShowsTheProduct) {
    int shown = 0;
    auto inspect = [&] {
        TfrmAbout* about = menu_->AboutWindow();
        ASSERT_NE(about, nullptr);
        ASSERT_TRUE(about->isVisible());
        ++shown;
        EXPECT_EQ(about->size(), QSize(400, 190));
        EXPECT_EQ(about->windowTitle(), QStringLiteral("About"));
        EXPECT_EQ(about->parentWidget(), &window_);
        auto* name = about->findChild<QLabel*>(QStringLiteral("lblAppNameVer"));
        EXPECT_EQ(name->text(), QStringLiteral("Tessaro"));
        EXPECT_EQ(name->width(), 300);
        EXPECT_EQ(about->findChild<QLabel*>(QStringLiteral("lblCopyright"))->width(), 160);
        auto* rights = about->findChild<QLabel*>(QStringLiteral("lblRights"));
        EXPECT_EQ(rights->text(), QStringLiteral("All Rights Reserved"));
        EXPECT_EQ(rights->width(), 160);
        auto* link = about->findChild<QLabel*>(QStringLiteral("lblWebSite"));
        EXPECT_TRUE(link->text().contains(QString::fromUtf8(TessaroHomeUrl)));
        emit link->linkActivated(QString::fromUtf8(TessaroHomeUrl));
        auto* ok = about->findChild<QPushButton*>(QStringLiteral("btnOk"));
        EXPECT_EQ(ok->text(), QStringLiteral("&Ok"));
        ok->click();
    };
    QTimer::singleShot(0, inspect);
    Item("About")->trigger();
    TfrmAbout* first = menu_->AboutWindow();
    EXPECT_FALSE(first->isVisible()) << "Ok closed it";
    EXPECT_EQ(Opened(), std::string(TessaroHomeUrl) + "\n") << "the link opens the web site";

    QTimer::singleShot(0, inspect);
    Item("About")->trigger();
    EXPECT_EQ(menu_->AboutWindow(), first) << "reused";
    EXPECT_EQ(shown, 2);
    EXPECT_EQ(Opened(), std::string(TessaroHomeUrl) + "\n");
}

} // namespace
