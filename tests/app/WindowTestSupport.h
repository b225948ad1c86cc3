// A main window over a settings file of its own, with the shipped format file beside it, a
// scripted message service and helpers that wait on conditions and answer modal dialogs.
#pragma once

#include "AppTestSupport.h"
#include "EngineTestSupport.h"
#include "QtTestApplication.h"
#include "TestPaths.h"
#include "core/DialogService.h"
#include "core/IniFile.h"
#include "formatpanel/FormatChooser.h"
#include "formatpanel/FormatPanel.h"
#include "window/Application.h"
#include "window/FrmMain.h"

#include <QAccessible>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <filesystem>
#include <functional>
#include <memory>

namespace tessaro::test {

using TAppEnvironment = TQtTestEnvironment<TApplication>;

// Waits until condition holds, at most timeoutMs (generous: other builds share the machine).
inline bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 20000) {
    return QTest::qWaitFor(condition, timeoutMs);
}

// Whether assistive technology has a name for the control: its own accessible name, or the
// text of the label that belongs to it.
inline bool HasSpokenName(QWidget* control) {
    QAccessibleInterface* node = QAccessible::queryAccessibleInterface(control);
    if (node == nullptr) {
        return false;
    }
    const auto labels = node->relations(QAccessible::Label);
    const bool labelled = !labels.isEmpty() && labels.first().first != nullptr &&
                          !labels.first().first->text(QAccessible::Name).isEmpty();
    return labelled || !node->text(QAccessible::Name).isEmpty();
}

// Runs answer(dialog) once a modal dialog is open (it is called from the dialog's own loop).
inline void WhenModalOpens(std::function<void(QWidget*)> answer) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, answer = std::move(answer)] {
        if (QWidget* dialog = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            answer(dialog);
        }
    });
    timer->start();
}

// Chooses path in an open file dialog as a user does: the dialog shows the folder holding
// it, the name is typed into the name box and Return accepts. Selecting the entry in the
// view instead depends on when the folder's listing arrives, which varies from run to run.
inline void ChooseInFileDialog(QFileDialog& dialog, const std::filesystem::path& path) {
    dialog.setDirectory(QString::fromStdString(path.parent_path().string()));
    auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(name, nullptr);
    name->setText(QString::fromStdString(path.filename().string()));
    QTest::keyClick(name, Qt::Key_Return);
}

// The row of the chooser showing text, or -1.
inline int ChooserRowOf(const QListWidget& chooser, const char* text) {
    const auto items = chooser.findItems(QString::fromUtf8(text), Qt::MatchExactly);
    return items.isEmpty() ? -1 : chooser.row(items.first());
}

// Presses the chooser row showing text, x pixels from its left edge.
inline void PressChooserRow(TFormatChooserList& chooser, const char* text, int x) {
    QRect rect;
    // Rows just shown are laid out on the next pass of the event loop.
    ASSERT_TRUE(WaitUntil([&] {
        const int row = ChooserRowOf(chooser, text);
        rect = row >= 0 ? chooser.visualItemRect(chooser.item(row)) : QRect();
        return rect.isValid();
    })) << text;
    QTest::mouseClick(chooser.viewport(), Qt::LeftButton, {},
                      QPoint(rect.left() + x, rect.center().y()));
}

inline void OpenChooser(TfrmMain& window) {
    QTest::mouseClick(window.Controls().imgbtn1, Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return window.Formats().Widgets().lst1->isVisible(); }));
}

// Chooses format of group in the chooser as a user does: the group's mark, then the format.
inline void ChooseFormat(TfrmMain& window, const char* group, const char* format) {
    TFormatChooserList& chooser = *window.Formats().Widgets().lst1;
    OpenChooser(window);
    if (ChooserRowOf(chooser, format) < 0) {
        PressChooserRow(chooser, group, 8);
    }
    PressChooserRow(chooser, format, 30);
    ASSERT_TRUE(WaitUntil([&] { return !chooser.isVisible(); }));
}

class TMainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        TAppEnvironment::App();
        // The shipped format file and the values a first start installs.
        for (const char* name : {"plovupspformat.ini", "tessaro-defaults.ini"}) {
            std::filesystem::copy_file(DataDir() + "/" + name, dir_.Path() / name);
        }
    }
    TAppLocation Location() const { return {dir_.Str() + "/", SettingsPath(), FormatPath()}; }
    std::string SettingsPath() const { return dir_.Str() + "/tessaro.ini"; }
    std::string FormatPath() const { return dir_.Str() + "/plovupspformat.ini"; }
    std::string Stored(const std::string& section, const std::string& key) const {
        return TIniFile(SettingsPath()).ReadString(section, key, "<none>");
    }
    std::unique_ptr<TfrmMain> ShowWindow() {
        auto window = std::make_unique<TfrmMain>(Location());
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        return window;
    }
    static std::string Fixture(const char* name) { return FixtureDir() + "/" + name; }

    TTempDir dir_;
    TScopedEnv home_{"HOME", dir_.Str().c_str()};
    TScriptedDialogService dialogs_;
    TScopedDialogService scope_{dialogs_};
};

} // namespace tessaro::test
