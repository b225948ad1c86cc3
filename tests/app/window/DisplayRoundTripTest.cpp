// On a real X display (run under xvfb-run): the main window as the program builds it, with Qt's
// own message boxes. Two fixture files are added through the open dialog, a format is chosen
// in the chooser and two values changed from the keyboard; the program is quit through its
// exit question and started again, and the choices come back from the settings file.
#include "TestPaths.h"
#include "WindowTestSupport.h"
#include "core/QtDialogService.h"

#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeView>

using tessaro::test::FixtureDir;

namespace tessaro {
namespace {

using test::WaitUntil;
using test::WhenModalOpens;

const bool registered = (test::TAppEnvironment::Register(), true);

class DisplayRoundTrip : public test::TMainWindowTest {
protected:
    void SetUp() override {
        TMainWindowTest::SetUp();
        ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"))
            << "runs on an X display (xvfb-run)";
    }
    // The program's own message boxes, answered by clicking their buttons.
    TQtDialogService realDialogs_;
    TScopedDialogService realScope_{realDialogs_};
};

void AddThroughTheDialog(TfrmMain& window, const QStringList& names) {
    WhenModalOpens([names](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        dialog->setDirectory(QString::fromStdString(FixtureDir()));
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        name->setText(QLatin1Char('"') + names.join(QStringLiteral("\" \"")) + QLatin1Char('"'));
        QTest::keyClick(name, Qt::Key_Return);
    });
    window.Controls().BtnAdd->click();
}

// Down in a list box chooses its next entry, as a user does from the keyboard.
void ChooseNextEntry(QComboBox* box) {
    box->setFocus(Qt::TabFocusReason);
    QTest::keyClick(box, Qt::Key_Down);
}

void QuitAnsweringYes(TfrmMain& window) {
    WhenModalOpens([](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->text(), QStringLiteral("Do you really want to exit?"));
        QTest::mouseClick(box->button(QMessageBox::Yes), Qt::LeftButton);
    });
    window.Controls().BtnExit->click();
}

TEST_F(DisplayRoundTrip, ChoicesSurviveARestart) {
    auto first = ShowWindow();
    first->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(first.get()));

    AddThroughTheDialog(*first, {"h264_aac.mp4", "audio.mp3"});
    ASSERT_EQ(first->SourceList().Count(), 2);
    EXPECT_EQ(first->SourceList().Row(0).Cells[fcDestination], "h264_aac_(new).mp4");

    test::ChooseFormat(*first, "General Video formats", "Xvid Video (*.avi)");
    EXPECT_EQ(first->SourceList().Row(1).Cells[fcDestination], "audio_(new).avi");
    const TfrmMainControls& c = first->Controls();
    ChooseNextEntry(c.cmbFrameRate);
    ChooseNextEntry(c.cmbVolume);
    const QString frameRate = c.cmbFrameRate->currentText();
    const QString volume = c.cmbVolume->currentText();
    const int frameRatePosition = c.cmbFrameRate->currentIndex();
    EXPECT_EQ(Stored("formatInfo207", "paraFrameRate"), frameRate.toStdString());
    EXPECT_EQ(Stored("formatInfo207", "iVolume"), std::to_string(c.cmbVolume->currentIndex()));

    QuitAnsweringYes(*first);
    ASSERT_TRUE(WaitUntil([&] { return !first->isVisible(); }));
    first.reset();

    auto second = ShowWindow();
    const TfrmMainControls& again = second->Controls();
    EXPECT_EQ(again.edt1->text(), QStringLiteral("Xvid Video (*.avi)"));
    EXPECT_EQ(second->CurrentFormatCode(), "207");
    EXPECT_EQ(again.cmbFrameRate->currentText(), frameRate);
    EXPECT_EQ(again.cmbFrameRate->currentIndex(), frameRatePosition);
    EXPECT_EQ(again.cmbVolume->currentText(), volume);
    EXPECT_EQ(Stored("lstformat", "2"), "0") << "the expanded group is remembered";
    test::OpenChooser(*second);
    EXPECT_GE(test::ChooserRowOf(*again.lst1, "Xvid Video (*.avi)"), 0);
    EXPECT_EQ(again.lst1->currentRow(), test::ChooserRowOf(*again.lst1, "Xvid Video (*.avi)"));
    again.lst1->window()->close();

    QuitAnsweringYes(*second);
    EXPECT_TRUE(WaitUntil([&] { return !second->isVisible(); }));
}

} // namespace
} // namespace tessaro
