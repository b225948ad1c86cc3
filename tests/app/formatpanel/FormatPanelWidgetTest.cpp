// The format chooser and the parameter boxes on the main window, driven offscreen with mouse
// and keys; what they write is read back from the settings file.
#include "WindowTestSupport.h"
#include "formatpanel/FormatChooser.h"
#include "formatpanel/FormatPanel.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QTreeView>
#include <gmock/gmock.h>

namespace tessaro {
namespace {

using test::WaitUntil;

class FormatPanelWidget : public test::TMainWindowTest {
protected:
    TFormatChooserList* Chooser() const { return window_->Formats().Widgets().lst1; }
    int RowOf(const char* text) const { return test::ChooserRowOf(*Chooser(), text); }
    void PressRow(const char* text, int x) { test::PressChooserRow(*Chooser(), text, x); }
    void OpenChooser() { test::OpenChooser(*window_); }
    void Choose(const char* group, const char* format) {
        test::ChooseFormat(*window_, group, format);
    }
    QComboBox* Box(TParamBox box) const { return window_->Formats().Widgets().boxes[box]; }

    void SetUp() override {
        TMainWindowTest::SetUp();
        window_ = ShowWindow();
    }

    std::unique_ptr<TfrmMain> window_;
};

TEST_F(FormatPanelWidget, ChooserGroupsExpandOnTheirMarkAndFormatsAreChosen) {
    OpenChooser();
    EXPECT_EQ(window_->Controls().edt1->text(), QStringLiteral("PSP MPEG-4 Normal Quality (*.mp4)"))
        << "the drop button shows the name of the stored format";
    QWidget* popup = Chooser()->window();
    EXPECT_EQ(Chooser()->count(), 4) << "every group stored as collapsed";
    EXPECT_EQ(popup->height(), 100);
    EXPECT_EQ(popup->geometry().bottom() + 1, window_->Controls().edt1->mapToGlobal(QPoint()).y())
        << "opens upwards from the format box";

    PressRow("Sony PS3", 25); // 20 pixels or more from the left: nothing
    EXPECT_EQ(Chooser()->count(), 4);
    EXPECT_TRUE(Chooser()->isVisible());
    PressRow("Sony PS3", 8);
    EXPECT_EQ(Chooser()->count(), 8);
    EXPECT_EQ(popup->height(), 180) << "placed again after expanding";

    PressRow("PS3 MPEG-4 Video (720P) (*.mp4)", 30);
    ASSERT_TRUE(WaitUntil([&] { return !Chooser()->isVisible(); }));
    EXPECT_EQ(window_->Controls().edt1->text(), QStringLiteral("PS3 MPEG-4 Video (720P) (*.mp4)"));
    EXPECT_EQ(Stored("settings", "FormatName"), "PS3 MPEG-4 Video (720P) (*.mp4)");
    EXPECT_EQ(Stored("settings", "FormatCode"), "102");
    EXPECT_EQ(window_->CurrentFormatCode(), "102");
    EXPECT_EQ(window_->Formats().FormatCode(), 102) << "the boxes show the chosen format";

    // A press outside closes the chooser; the group states are stored when the program ends.
    OpenChooser();
    // While a pop-up is open, Qt hands every press to it, in its own coordinates.
    popup = Chooser()->window();
    QWidget* folder = window_->Controls().edDirectory;
    QTest::mouseClick(popup, Qt::LeftButton, {},
                      popup->mapFromGlobal(folder->mapToGlobal(folder->rect().center())));
    ASSERT_TRUE(WaitUntil([&] { return !Chooser()->isVisible(); }));
    dialogs_.QueueAnswer(TMessageResult::Yes);
    window_->close();
    EXPECT_EQ(Stored("lstformat", "1"), "0");
    EXPECT_EQ(Stored("lstformat", "2"), "1");
}

TEST_F(FormatPanelWidget, TypedValuesAreCheckedWhenChangedOrLeft) {
    Choose("General Video formats", "Xvid Video (*.avi)");
    QComboBox* size = Box(pbVideoSize);
    size->setFocus();
    size->lineEdit()->selectAll();
    QTest::keyClicks(size, "321ax240");
    EXPECT_EQ(size->currentText(), QStringLiteral("321x240")) << "the letter a is refused";
    QTest::keyClick(size, Qt::Key_Tab);
    ASSERT_EQ(dialogs_.Requests().size(), 1u);
    EXPECT_EQ(dialogs_.Requests()[0].caption, "Input Error!");
    EXPECT_EQ(dialogs_.Requests()[0].text,
              "Frame Size must be a multiple of 2.\nThe correct value:320x240");
    EXPECT_EQ(size->currentText(), QStringLiteral("320x240"));
    EXPECT_EQ(Stored("formatInfo207", "paraVideoSize"), "320x240");

    // A decimal point in the audio bit rate is refused with a hint; deleting the whole video
    // bit rate falls back to the second entry at once.
    QComboBox* audioRate = Box(pbAudioBitRate);
    audioRate->setFocus();
    QTest::keyClick(audioRate, Qt::Key_Period);
    ASSERT_EQ(dialogs_.Requests().size(), 2u);
    EXPECT_EQ(dialogs_.Requests()[1].text, "Please enter numerical.");
    EXPECT_EQ(dialogs_.Requests()[1].caption, "Tessaro");

    QComboBox* videoRate = Box(pbVideoBitRate);
    videoRate->setFocus();
    videoRate->lineEdit()->selectAll();
    QTest::keyClick(videoRate, Qt::Key_Backspace);
    ASSERT_EQ(dialogs_.Requests().size(), 3u);
    EXPECT_EQ(dialogs_.Requests()[2].text, "Video BitRate is not a valid value!");
    EXPECT_EQ(videoRate->currentIndex(), 1);
    EXPECT_EQ(Stored("formatInfo207", "paraVideoBitRate"), videoRate->itemText(1).toStdString());
    QTest::keyClicks(videoRate, "5");
    EXPECT_EQ(Stored("formatInfo207", "paraVideoBitRate"),
              videoRate->itemText(1).toStdString() + "5");
}

TEST_F(FormatPanelWidget, AudioFormatsGreyTheVideoBoxesAndDefaultRestores) {
    Choose("General Audio formats", "MP3 MPEG Layer-3 Audio (*.mp3)");
    for (const TParamBox box : {pbVideoSize, pbVideoEncoder, pbVideoBitRate, pbFrameRate, pbZoom}) {
        EXPECT_FALSE(Box(box)->isEnabled()) << box;
    }
    EXPECT_TRUE(Box(pbAudioBitRate)->isEnabled());

    // Choosing from a list writes the entry's word; Default brings back the format's positions.
    QComboBox* channel = Box(pbChannel);
    const int mono = channel->findText(QStringLiteral("mono 1 channel"));
    ASSERT_GE(mono, 0);
    channel->setFocus();
    channel->setCurrentIndex(mono);
    emit channel->activated(mono);
    EXPECT_EQ(Stored("formatInfo300", "paraChannel"), "1");

    dialogs_.Clear();
    QTest::mouseClick(window_->Controls().btnDefault, Qt::LeftButton);
    EXPECT_TRUE(dialogs_.Requests().empty());
    EXPECT_EQ(channel->currentText(), QStringLiteral("stereo 2 channels"));
    EXPECT_EQ(Stored("formatInfo300", "paraChannel"), "2");
    EXPECT_EQ(Stored("formatInfo300", "paraAudioBitRate"),
              Box(pbAudioBitRate)->currentText().toStdString());
}

} // namespace
} // namespace tessaro
