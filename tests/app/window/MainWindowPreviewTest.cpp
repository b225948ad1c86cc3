// The main window's preview group, preferences and new-version notice in place: the list's
// double click and the play-after-add flag, the stop when the list empties and at exit, the
// preferences dialog made once with the folder chooser, and an accepted upgrade that closes
// the window without the exit question.
#include "FrmPreference.h"
#include "NoticeServer.h"
#include "PreviewPanel.h"
#include "VersionNotice.h"
#include "VideoSurfaceWidget.h"
#include "WindowTestSupport.h"
#include "crop/FrmCrop.h"
#include "run/RunController.h"
#include "sources/SourceListPanel.h"
#include "watermark/FrmWatermark.h"
#include "window/FmDirectory.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTreeView>

namespace tessaro {
namespace {

namespace fs = std::filesystem;
using test::WaitUntil;
using test::WhenModalOpens;

class MainWindowPreview : public test::TMainWindowTest {
protected:
    void AddFixture(TfrmMain& window, const char* name) {
        ASSERT_EQ(window.Sources().AddPaths({QString::fromStdString(Fixture(name))}), 1);
    }
    bool Playing(TfrmMain& window) {
        return WaitUntil([&] {
            return window.Preview().Model().State() == TPreviewState::Playing &&
                   !window.Preview().Widgets().pan1->Picture().isNull();
        });
    }

    test::TScopedEnv openCommand_{"TESSARO_OPEN_COMMAND", "true"};
};

TEST_F(MainWindowPreview, DoubleClickPlaysTheRowAndARunOrAnEmptiedListStopsThePreview) {
    auto window = ShowWindow();
    const TfrmMainControls& c = window->Controls();
    AddFixture(*window, "h264_aac.mp4");
    EXPECT_TRUE(window->PreviewStopped());

    const QRect row = c.lvFiles->visualRect(c.lvFiles->model()->index(0, 0));
    // A double click as the desktop delivers it: a click, then the second press.
    QTest::mouseClick(c.lvFiles->viewport(), Qt::LeftButton, {}, row.center());
    QTest::mouseDClick(c.lvFiles->viewport(), Qt::LeftButton, {}, row.center());
    ASSERT_TRUE(Playing(*window)) << window->Preview().Player().LastError();
    EXPECT_FALSE(window->PreviewStopped());
    EXPECT_EQ(window->Preview().Player().FileName(), Fixture("h264_aac.mp4"));
    EXPECT_TRUE(c.mmoLog->toPlainText().contains("frame size: 320x240"));

    // A conversion run about to start stops the preview.
    emit window->Run().starting();
    EXPECT_TRUE(window->PreviewStopped());
    EXPECT_EQ(window->Preview().Player().State(), psStop);
    QTest::mouseClick(c.imgbtnPlay, Qt::LeftButton);
    ASSERT_TRUE(Playing(*window));

    c.Clear1->trigger();
    EXPECT_TRUE(window->PreviewStopped());
    EXPECT_EQ(window->Preview().Player().State(), psStop);
    EXPECT_FALSE(c.imgbtnStop->isEnabled());
}

TEST_F(MainWindowPreview, PlayOnAnEmptyListOffersDrivesAndPlaysTheNextAddedFile) {
    auto window = ShowWindow();
    const TfrmMainControls& c = window->Controls();
    QTest::mouseClick(c.imgbtnPlay, Qt::LeftButton);
    EXPECT_TRUE(window->PlayAfterAdd());
    EXPECT_TRUE(WaitUntil([&] { return c.PopupMenuAddDVD->isVisible(); }));
    c.PopupMenuAddDVD->hide();
    EXPECT_TRUE(window->PreviewStopped());

    AddFixture(*window, "mpeg2_ac3.mpg");
    EXPECT_FALSE(window->PlayAfterAdd()) << "the file Add takes the flag";
    ASSERT_TRUE(Playing(*window));

    // At exit the player is told to stop without the window waiting for it.
    dialogs_.QueueAnswer(TMessageResult::Yes);
    window->close();
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(window->PreviewStopped());
    EXPECT_TRUE(WaitUntil([&] { return window->Preview().Player().State() == psStop; }));
}

TEST_F(MainWindowPreview, PreferenceIsMadeOnceAndBrowsesWithTheFolderChooser) {
    auto window = ShowWindow();
    const fs::path pictures = dir_.Path() / "pictures";
    fs::create_directories(pictures);
    fs::create_directories(dir_.Path() / "videoconverter");
    WhenModalOpens([&](QWidget* modal) {
        auto* preference = qobject_cast<TfrmPreference*>(modal);
        ASSERT_NE(preference, nullptr);
        EXPECT_EQ(preference->parentWidget(), window.get());
        WhenModalOpens([&](QWidget* chooser) {
            auto* folders = qobject_cast<TfmDirectory*>(chooser);
            ASSERT_NE(folders, nullptr);
            EXPECT_EQ(folders->SelectedFolder(), dir_.Str() + "/videoconverter");
            folders->SelectFolder(QString::fromStdString(pictures.string()));
            folders->OkButton()->click();
        });
        preference->Controls().btnBrows->click();
        EXPECT_EQ(preference->Controls().edtSnapDirectory->text().toStdString(), pictures.string());
        preference->Controls().btnCancel->click();
    });
    window->Controls().Options1->trigger();
    TfrmPreference* first = window->Preference();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(Stored("settings", "SnapOutPutDir"), pictures.string()) << "Browse stores at once";

    WhenModalOpens([](QWidget* modal) { static_cast<QDialog*>(modal)->reject(); });
    window->Controls().Options1->trigger();
    EXPECT_EQ(window->Preference(), first) << "kept for later openings";
}

TEST_F(MainWindowPreview, AcceptedUpgradeClosesWithoutTheExitQuestion) {
    test::TNoticeServer server;
    server.Body = test::Notice("3.4");
    test::WriteTextFile(SettingsPath(), "[settings]\nUpdateUrl=" + server.Url() + "\n");

    // Answering No leaves the window running.
    auto kept = ShowWindow();
    ASSERT_NE(kept->VersionNotice(), nullptr);
    ASSERT_TRUE(WaitUntil([&] { return !kept->VersionNotice()->Running(); }));
    ASSERT_EQ(dialogs_.Requests().size(), 1u);
    EXPECT_EQ(dialogs_.Requests()[0].text, "Do you want to upgrade to Tessaro 3.4 now?");
    EXPECT_TRUE(kept->isVisible());
    EXPECT_FALSE(kept->ClosingForUpgrade());
    EXPECT_TRUE(fs::exists(dir_.Path() / "plovunet.xml")) << "beside the settings file";
    dialogs_.QueueAnswer(TMessageResult::Yes); // the exit question
    kept->close();
    kept.reset();

    dialogs_.Clear();
    dialogs_.QueueAnswer(TMessageResult::Yes);
    auto window = ShowWindow();
    ASSERT_TRUE(WaitUntil([&] { return !window->isVisible(); }));
    EXPECT_TRUE(window->ClosingForUpgrade());
    EXPECT_EQ(window->Global(), nullptr) << "closed";
    ASSERT_EQ(dialogs_.Requests().size(), 1u) << "no exit question";
    EXPECT_EQ(dialogs_.Requests()[0].caption, "Warning - New Version Available for Download.");
}

TEST_F(MainWindowPreview, TheEffectsItemsStopThePreviewAndEditTheSelectedRowInANewEditor) {
    auto window = ShowWindow();
    const TfrmMainControls& c = window->Controls();
    AddFixture(*window, "h264_aac.mp4");
    QAction* contextItem = window->Sources().ContextItem("VideoEffect2");
    EXPECT_EQ(contextItem->text(), "&Video Effect && Water Mark");
    EXPECT_EQ(c.VideoEffect1->text(), "&Video Effect && Water Mark");
    window->SourceList().SetCurrent(0);
    window->Preview().imgbtnPlayClick();
    ASSERT_TRUE(Playing(*window)) << window->Preview().Player().LastError();

    for (QAction* item : {c.VideoEffect1, contextItem}) {
        TfrmWaterMark* shown = nullptr;
        bool previewStopped = false;
        WhenModalOpens([&](QWidget* dialog) {
            shown = qobject_cast<TfrmWaterMark*>(dialog);
            previewStopped = window->PreviewStopped();
            ASSERT_NE(shown, nullptr);
            // Ok stores the editor's values in the selected row.
            shown->Controls().trcImageAlpha->setValue(77);
            QTest::mouseClick(shown->Controls().btnOk, Qt::LeftButton);
        });
        const QPointer<TfrmWaterMark> before = window->WaterMark();
        item->trigger();
        EXPECT_TRUE(previewStopped);
        ASSERT_NE(shown, nullptr);
        EXPECT_EQ(shown, window->WaterMark());
        EXPECT_TRUE(before.isNull()); // a new window for every use
        EXPECT_EQ(shown->parent(), window.get());
        EXPECT_EQ(window->SourceList().Record(0).ImageAlpha, 77);
    }
}

TEST_F(MainWindowPreview, TheCropItemsStopThePreviewAndEditTheSelectedRowInANewEditor) {
    auto window = ShowWindow();
    const TfrmMainControls& c = window->Controls();
    AddFixture(*window, "h264_aac.mp4");
    QAction* contextItem = window->Sources().ContextItem("Crop2");
    EXPECT_EQ(contextItem->text(), "&Crop");
    EXPECT_EQ(c.Crop1->text(), "&Crop");
    window->SourceList().SetCurrent(0);
    window->Preview().imgbtnPlayClick();
    ASSERT_TRUE(Playing(*window)) << window->Preview().Player().LastError();

    int up = 1;
    for (QAction* item : {c.Crop1, contextItem}) {
        TfrmCrop* shown = nullptr;
        bool previewStopped = false;
        WhenModalOpens([&](QWidget* dialog) {
            shown = qobject_cast<TfrmCrop*>(dialog);
            previewStopped = window->PreviewStopped();
            ASSERT_NE(shown, nullptr);
            ASSERT_TRUE(WaitUntil([&] { return shown->Controls().spedUp->isEnabled(); }));
            shown->Controls().spedUp->setValue(up);
            QTest::mouseClick(shown->Controls().btnOk, Qt::LeftButton);
        });
        const QPointer<TfrmCrop> before = window->CropEditor();
        item->trigger();
        EXPECT_TRUE(previewStopped);
        ASSERT_NE(shown, nullptr);
        EXPECT_EQ(shown, window->CropEditor());
        EXPECT_TRUE(before.isNull()); // a new window for every use
        EXPECT_EQ(shown->parent(), window.get());
        EXPECT_EQ(window->SourceList().Record(0).ViewCropTop, up);
        ++up;
    }
}

} // namespace
} // namespace tessaro
