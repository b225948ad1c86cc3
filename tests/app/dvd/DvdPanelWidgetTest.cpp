// The DVD side of the main window driven offscreen: the "&Add DVD" menu with its drive items,
// the folder and image dialogs, dropped discs, the title rows with their columns and texts,
// the DVD group's boxes and repeating chapter arrows, and every message of reading a disc.
#include "TestPaths.h"
#include "WindowTestSupport.h"
#include "dvd/DvdPanel.h"
#include "dvd/MessageLines.h"
#include "sources/SourceListPanel.h"

#include <QAction>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>
#include <fstream>
#include <gmock/gmock.h>

using tessaro::test::LibAvDir;

namespace tessaro {
namespace {

namespace fs = std::filesystem;
using test::WaitUntil;
using test::WhenModalOpens;
using ::testing::ElementsAre;

class DvdPanelWidget : public test::TMainWindowTest {
protected:
    void SetUp() override {
        TMainWindowTest::SetUp();
        // The DVD plug-in lies in the LibAV folder beside the executable.
        fs::create_directory_symlink(LibAvDir(), dir_.Path() / "LibAV");
        window_ = ShowWindow();
        c_ = &window_->Controls();
    }
    std::vector<std::string> Column(int column) const {
        std::vector<std::string> cells;
        QAbstractItemModel* model = c_->lvFiles->model();
        for (int row = 0; row < model->rowCount(); ++row) {
            cells.push_back(model->index(row, column).data().toString().toStdString());
        }
        return cells;
    }
    std::vector<std::string> Headers() const {
        std::vector<std::string> headers;
        QAbstractItemModel* model = c_->lvFiles->model();
        for (int column = 0; column < model->columnCount(); ++column) {
            headers.push_back(model->headerData(column, Qt::Horizontal).toString().toStdString());
        }
        return headers;
    }
    static QStringList Lines(const QComboBox* box) {
        QStringList lines;
        for (int i = 0; i < box->count(); ++i) {
            lines << box->itemText(i);
        }
        return lines;
    }
    std::vector<std::string> Messages() const { return test::MessageLines(dialogs_); }
    // Picks path in the folder or image dialog that the menu item opens.
    void OpenThroughDialog(QAction* item, const std::string& path) {
        bool answered = false;
        WhenModalOpens([&](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            ASSERT_NE(dialog, nullptr);
            test::ChooseInFileDialog(*dialog, path);
            answered = true;
        });
        QTest::mouseClick(c_->BtnAddDVD, Qt::LeftButton);
        ASSERT_TRUE(WaitUntil([&] { return c_->PopupMenuAddDVD->isVisible(); }));
        c_->PopupMenuAddDVD->setActiveAction(item);
        QTest::keyClick(c_->PopupMenuAddDVD, Qt::Key_Return);
        ASSERT_TRUE(answered);
    }
    // Drops a folder or file onto the list.
    void Drop(const std::string& path) {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
        const QPoint at = c_->lvFiles->viewport()->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(c_->lvFiles->viewport(), &enter);
        ASSERT_TRUE(enter.isAccepted());
        QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(c_->lvFiles->viewport(), &drop);
    }
    static void Click(QToolButton* arrow, int count) {
        for (int i = 0; i < count; ++i) {
            QTest::mouseClick(arrow, Qt::LeftButton);
        }
    }
    const TlvFilesRecord& Current() const {
        return window_->SourceList().Record(window_->SourceList().Current());
    }

    std::unique_ptr<TfrmMain> window_;
    const TfrmMainControls* c_ = nullptr;
};

class DvdPanelDisc : public DvdPanelWidget, public ::testing::WithParamInterface<const char*> {};

TEST_P(DvdPanelDisc, TitlesBecomeRowsWithTheirColumnsAndBoxes) {
    const bool image = std::string(GetParam()).ends_with(".iso");
    OpenThroughDialog(image ? c_->OpenDVDImage1 : c_->OpenDVDFolder1, Fixture(GetParam()));

    EXPECT_TRUE(Messages().empty());
    EXPECT_EQ(window_->DvdFolder(), Fixture(GetParam()));
    EXPECT_THAT(Headers(), ElementsAre("Source", "Duration", "Trim Length", "Frame Size",
                                       "Video Format", "Progress"));
    EXPECT_THAT(Column(dcSource), ElementsAre("DVD Title 1", "DVD Title 2", "DVD Title 3"));
    EXPECT_THAT(Column(dcDuration), ElementsAre("   0:00:19", "   0:00:08", "   0:00:05"));
    EXPECT_THAT(Column(dcTrimLength), ElementsAre("   0:00:19", "   0:00:08", "   0:00:05"));
    EXPECT_THAT(Column(dcFrameSize), ElementsAre("   720 x 480", "   720 x 480", "   720 x 480"));
    EXPECT_THAT(Column(dcVideoFormat), ElementsAre("   MPEG-2", "   MPEG-2", "   MPEG-2"));
    EXPECT_THAT(Column(dcDvdProgress), ElementsAre("", "", ""));

    // The longest title is the one offered: checked, in bold, with the reason as its tip.
    QAbstractItemModel* model = c_->lvFiles->model();
    EXPECT_EQ(model->index(0, 0).data(Qt::CheckStateRole).toInt(), Qt::Checked);
    EXPECT_EQ(model->index(1, 0).data(Qt::CheckStateRole).toInt(), Qt::Unchecked);
    EXPECT_TRUE(model->index(0, 0).data(Qt::FontRole).value<QFont>().bold());
    EXPECT_FALSE(model->index(1, 0).data(Qt::FontRole).value<QFont>().bold());
    EXPECT_TRUE(model->index(0, 0)
                    .data(Qt::ToolTipRole)
                    .toString()
                    .startsWith("Likely the main feature: the longest title (0:00:19)"));

    // The first row is selected and the group shows it.
    EXPECT_EQ(window_->focusWidget(), c_->lvFiles);
    EXPECT_EQ(c_->GroupBox3->title(), "DVD Title 1");
    EXPECT_TRUE(c_->cmbAudioLanguage->isEnabled());
    EXPECT_EQ(Lines(c_->cmbAudioLanguage), QStringList({"128  English", "129  French"}));
    EXPECT_EQ(c_->cmbAudioLanguage->currentIndex(), 0);
    EXPECT_EQ(Lines(c_->cmbSubtitle), QStringList({"32  English", "Default"}));
    EXPECT_EQ(c_->cmbSubtitle->currentText(), "Default");
    EXPECT_EQ(c_->edtFrom->text(), "1");
    EXPECT_EQ(c_->edtTo->text(), "3");
    EXPECT_FALSE(c_->edtFrom->isEnabled());

    // Choosing from the keyboard goes into the row's record and stays with the row.
    c_->cmbAudioLanguage->setFocus();
    QTest::keyClick(c_->cmbAudioLanguage, Qt::Key_Down);
    c_->cmbSubtitle->setFocus();
    QTest::keyClick(c_->cmbSubtitle, Qt::Key_Up);
    EXPECT_EQ(Current().AudioID, 129);
    EXPECT_EQ(Current().AudioIndex, 1);
    EXPECT_EQ(Current().SubtitleID, 32);
    QTest::keyClick(c_->cmbSubtitle, Qt::Key_Down);
    EXPECT_EQ(Current().SubtitleID, 0) << "\"Default\" burns no subtitle";
    EXPECT_EQ(Current().SubtitleIndex, 1);
    QTest::keyClick(c_->cmbSubtitle, Qt::Key_Up);

    QTest::keyClick(c_->lvFiles, Qt::Key_Down);
    EXPECT_EQ(c_->GroupBox3->title(), "DVD Title 2");
    EXPECT_THAT(Lines(c_->cmbAudioLanguage), QStringList({"128  English"}));
    EXPECT_THAT(Lines(c_->cmbSubtitle), QStringList({"Default"}));
    QTest::keyClick(c_->lvFiles, Qt::Key_Up);
    EXPECT_EQ(c_->cmbAudioLanguage->currentText(), "129  French");
    EXPECT_EQ(c_->cmbSubtitle->currentText(), "32  English");
}

INSTANTIATE_TEST_SUITE_P(FolderAndImage, DvdPanelDisc, ::testing::Values("dvd", "dvd.iso"));

TEST_F(DvdPanelWidget, ChapterArrowsStepRepeatAndPullEachOther) {
    Drop(Fixture("dvd_chapters") + "/VIDEO_TS");
    ASSERT_EQ(window_->SourceList().Count(), 1);
    EXPECT_EQ(window_->DvdFolder(), Fixture("dvd_chapters"));
    // A title without audio: the audio box is off.
    EXPECT_FALSE(c_->cmbAudioLanguage->isEnabled());
    EXPECT_EQ(c_->cmbAudioLanguage->count(), 0);
    EXPECT_EQ(Current().AudioID, 0);
    EXPECT_EQ(c_->edtTo->text(), "12");

    Click(c_->btnUp, 20);
    EXPECT_EQ(c_->edtFrom->text(), "12");
    EXPECT_EQ(c_->edtTo->text(), "12");
    Click(c_->btnDown1, 3);
    EXPECT_EQ(c_->edtTo->text(), "9");
    EXPECT_EQ(c_->edtFrom->text(), "9") << "To below From pulls From down";
    Click(c_->btnDown, 20);
    EXPECT_EQ(c_->edtFrom->text(), "1");
    EXPECT_EQ(Current().ChapterFrom, 1);
    EXPECT_EQ(Current().ChapterTo, 9);

    // Held down, an arrow repeats until the mouse button is let go.
    QTest::mousePress(c_->btnUp1, Qt::LeftButton);
    EXPECT_TRUE(WaitUntil([&] { return c_->edtTo->text() == "12"; }));
    QTest::mouseRelease(c_->btnUp1, Qt::LeftButton);
    EXPECT_EQ(Current().ChapterTo, 12);
    EXPECT_EQ(Current().ChapterFrom, 1);
}

TEST_F(DvdPanelWidget, DrivesAreListedWhenTheMenuOpensAndAnEmptyDriveSaysSo) {
    test::TTempDir root;
    fs::create_directories(root.Path() / "dev");
    window_->Dvd().SetDriveSources(
        {root.Str() + "/info", root.Str() + "/dev", root.Str() + "/sys"});
    QTest::mouseClick(c_->BtnAddDVD, Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return c_->PopupMenuAddDVD->isVisible(); }));
    EXPECT_TRUE(c_->AddDVDDriver1->actions().isEmpty());
    QStringList items;
    for (QAction* item : c_->PopupMenuAddDVD->actions()) {
        items << item->text();
    }
    EXPECT_EQ(items, QStringList({"Add DVD Driver", "Open DVD Folder...", "Open DVD Image..."}));
    c_->PopupMenuAddDVD->close();

    // A drive with a disc and one without, plugged in since.
    fs::create_symlink(Fixture("dvd.iso"), root.Path() / "dev/sr0");
    std::ofstream(root.Path() / "info") << "drive name:\t\tsr1\tsr0\n";
    QTest::mouseClick(c_->BtnAddDVD, Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return c_->PopupMenuAddDVD->isVisible(); }));
    const QList<QAction*> drives = c_->AddDVDDriver1->actions();
    ASSERT_EQ(drives.size(), 2);
    EXPECT_EQ(drives[0]->text().toStdString(), root.Str() + "/dev/sr0 - TESSARO_TEST_DVD");
    EXPECT_EQ(drives[1]->text().toStdString(), root.Str() + "/dev/sr1");
    c_->PopupMenuAddDVD->close();

    drives[1]->trigger();
    EXPECT_THAT(Messages(), ElementsAre("Warning: Can't find a DVD Disk!"));
    EXPECT_EQ(window_->SourceList().Count(), 0);
    EXPECT_EQ(window_->DvdFolder(), "");

    drives[0]->trigger();
    EXPECT_EQ(window_->SourceList().Count(), 3);
    EXPECT_EQ(window_->DvdFolder(), root.Str() + "/dev/sr0");
}

TEST_F(DvdPanelWidget, ADamagedTitleIsSkippedWithItsWarning) {
    window_->Dvd().OpenDvd(QString::fromStdString(Fixture("dvd_damaged")));
    EXPECT_THAT(Messages(), ElementsAre("Warning: Title #2 is invalid"));
    EXPECT_THAT(Column(dcSource), ElementsAre("DVD Title 1", "DVD Title 3"));
    EXPECT_EQ(window_->SourceList().Record(1).TitleIndex, 2);
}

TEST_F(DvdPanelWidget, AnEncryptedDiscIsExplained) {
    window_->Dvd().OpenDvd(QString::fromStdString(Fixture("dvd_scrambled")));
    ASSERT_EQ(dialogs_.Requests().size(), 1u);
    EXPECT_EQ(dialogs_.Requests()[0].caption, "Warning");
    EXPECT_EQ(dialogs_.Requests()[0].text,
              "This DVD is encrypted and cannot be read without libdvdcss. On Debian, install "
              "the package libdvd-pkg.");
    EXPECT_EQ(window_->SourceList().Count(), 0);
}

TEST_F(DvdPanelWidget, ReadingADiscIntoAListWithRowsAsksFirst) {
    window_->Dvd().OpenDvd(QString::fromStdString(Fixture("dvd")));
    ASSERT_EQ(window_->SourceList().Count(), 3);
    window_->SourceList().SetChecked(2, true);
    c_->btnDown1->click();

    // No keeps every row as it was.
    dialogs_.QueueAnswer(TMessageResult::No);
    window_->Dvd().OpenDvd(QString::fromStdString(Fixture("dvd_chapters")));
    EXPECT_THAT(Messages(), ElementsAre(std::string("Confirm: ") + ReplaceRowsText));
    EXPECT_EQ(window_->SourceList().Count(), 3);
    EXPECT_EQ(window_->SourceList().CheckedRows(), (std::vector<int>{0, 2}));
    EXPECT_EQ(window_->SourceList().Record(0).ChapterTo, 2);
    EXPECT_EQ(c_->edtTo->text(), "2");
    EXPECT_EQ(window_->DvdFolder(), Fixture("dvd"));

    dialogs_.QueueAnswer(TMessageResult::Yes);
    window_->Dvd().OpenDvd(QString::fromStdString(Fixture("dvd_chapters")));
    EXPECT_EQ(window_->SourceList().Count(), 1);
    EXPECT_EQ(c_->edtTo->text(), "12");

    // Clearing the list empties the group.
    c_->BtnClear->click();
    EXPECT_FALSE(c_->cmbSubtitle->isEnabled());
    EXPECT_EQ(c_->edtTo->text(), "");
    EXPECT_EQ(c_->GroupBox3->title(), "");
}

} // namespace
} // namespace tessaro
