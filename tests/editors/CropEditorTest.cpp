// The crop editor driven like a user does, previewing a real file and a DVD title: what a
// showing shows, the spinners, dragging and keyboard steps of the rectangle, the seek bar,
// and what Ok and Cancel leave in the row's record.
#include "DVDPlugIn.h"
#include "EditorSource.h"
#include "PositionBar.h"
#include "TestPaths.h"
#include "TranscodeTestSupport.h"
#include "WindowTestSupport.h"
#include "crop/FrmCrop.h"
#include "crop/RectTracker.h"
#include "window/QtMainThreadDispatcher.h"

#include <QAccessible>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QToolButton>

#include <ostream>
#include <tuple>

using tessaro::test::FixtureDir;
using tessaro::test::LibAvDir;

QT_BEGIN_NAMESPACE
inline std::ostream& operator<<(std::ostream& out, const QRect& r) {
    return out << "(" << r.x() << "," << r.y() << " " << r.width() << "x" << r.height() << ")";
}
QT_END_NAMESPACE

namespace tessaro {
namespace {

using test::WaitUntil;

const bool registered = (test::TAppEnvironment::Register(), true);
const std::string DvdFolder = FixtureDir() + "/dvd";

std::string Fixture(const char* name) {
    return FixtureDir() + "/" + name;
}

// The 320 x 240 fixture fitted into the 370 x 253 preview image at (10, 10) and inset by one
// pixel: the picture lies at (27, 11), 336 x 251.
const QRect FilePicture(27, 11, 336, 251);

void SetViewCrop(TlvFilesRecord& record, int up, int down, int left, int right) {
    record.ViewCropTop = up;
    record.ViewCropBottom = down;
    record.ViewCropLeft = left;
    record.ViewCropRight = right;
}

auto Margins(const TCropControls& w) {
    return std::tuple(w.spedUp->value(), w.spedDown->value(), w.spedLeft->value(),
                      w.spedRight->value());
}

auto ViewCrop(const TlvFilesRecord& r) {
    return std::tuple(r.ViewCropTop, r.ViewCropBottom, r.ViewCropLeft, r.ViewCropRight);
}

auto Crop(const TlvFilesRecord& r) {
    return std::tuple(r.CropTop, r.CropBottom, r.CropLeft, r.CropRight);
}

QRect ToQRect(const TCropRect& r) {
    return {r.Left, r.Top, r.Width, r.Height};
}

// The rectangle's place for the picture p and the margins up, down, left, right.
QRect Inside(const QRect& p, int up, int down, int left, int right) {
    return {p.x() + left, p.y() + up, p.width() - left - right, p.height() - up - down};
}

class CropEditor : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(LoadDVDPlugIn(LibAvDir())); }
    void SetUp() override {
        sources_.AddFileRows({{Fixture("h264_aac.mp4"), 0, 0, "lbox"}});
        sources_.SetCurrent(0);
    }

    // Shows the editor for row and waits until its rectangle lies on the playing picture.
    std::unique_ptr<TfrmCrop> Open(int row = 0) {
        auto editor =
            std::make_unique<TfrmCrop>(sources_, row, TEditorSetup{LibAvDir(), DvdFolder});
        editor->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(editor.get()));
        EXPECT_TRUE(WaitUntil([&] { return editor->Controls().RectTracker->isEnabled(); }))
            << editor->Player().LastError();
        return editor;
    }
    // Drags the rectangle from its middle by (dx, dy) in steps, as a mouse does.
    static void Drag(TRectTracker* tracker, QPoint grab, QPoint by) {
        const QPoint start = tracker->mapToParent(grab);
        QTest::mousePress(tracker, Qt::LeftButton, {}, grab);
        for (int step = 1; step <= 4; ++step) {
            const QPoint at = start + by * step / 4;
            QTest::mouseMove(tracker, at - tracker->pos());
        }
        QTest::mouseRelease(tracker, Qt::LeftButton, {}, start + by - tracker->pos());
    }

    TQtMainThreadDispatcher dispatcher_;
    TSourceListModel sources_;
};

TEST_F(CropEditor, AShowingLaysTheStoredMarginsOverThePlayingPicture) {
    sources_.EditRecord(0, [](TlvFilesRecord& r) { SetViewCrop(r, 20, 40, 30, 50); });
    auto editor = Open();
    const TCropControls& w = editor->Controls();
    EXPECT_EQ(editor->windowTitle(), "Crop");
    EXPECT_EQ(editor->size(), QSize(615, 435));
    EXPECT_EQ(w.imgPreview->size(), QSize(370, 253));
    EXPECT_EQ(w.grpCropSize->title(), "Crop Size");
    EXPECT_EQ(
        std::tuple(w.btnReset->text(), w.btnDefault->text(), w.btnOk->text(), w.btnCancel->text()),
        std::tuple(QString("Reset"), QString("&Default"), QString("Ok"), QString("Cancel")));
    EXPECT_EQ(ToQRect(editor->Model().Picture()), FilePicture);
    EXPECT_EQ(w.RectTracker->geometry(), Inside(FilePicture, 20, 40, 30, 50));
    EXPECT_EQ(Margins(w), std::tuple(20, 40, 30, 50));
    EXPECT_EQ(w.lblSourceName->text().toStdString(), ShortSourceName(Fixture("h264_aac.mp4")));
    EXPECT_EQ(w.lblLength->text(), "12.000 Second");
    EXPECT_FALSE(w.imgbtnPlay->isEnabled());
    EXPECT_TRUE(w.imgbtnpause->isEnabled());

    // The latest frame is painted into the picture's place; the light blue stays beside it.
    EXPECT_TRUE(WaitUntil([&] {
        const QImage shown = w.imgPreview->pixmap().toImage();
        return shown.pixel(185, 126) != TfrmCrop::PreviewBackground &&
               shown.pixel(5, 126) == TfrmCrop::PreviewBackground;
    }));
    EXPECT_TRUE(WaitUntil([&] { return w.lblPTS->text().startsWith("0:00:0"); }))
        << w.lblPTS->text().toStdString();

    QTest::mouseClick(w.imgbtnpause, Qt::LeftButton);
    EXPECT_TRUE(w.imgbtnPlay->isEnabled());
    EXPECT_FALSE(w.imgbtnpause->isEnabled());
    QTest::mouseClick(w.imgbtnPlay, Qt::LeftButton);
    EXPECT_FALSE(w.imgbtnPlay->isEnabled());
    EXPECT_TRUE(WaitUntil([&] { return !editor->Player().Paused(); }));
}

TEST_F(CropEditor, SpinnerStepsMoveTheRectangleAndTakeNoTyping) {
    auto editor = Open();
    const TCropControls& w = editor->Controls();
    EXPECT_EQ(w.RectTracker->geometry(), FilePicture);
    QTest::keyClicks(w.spedUp, "7");
    EXPECT_EQ(w.spedUp->value(), 0);
    for (int i = 0; i < 3; ++i) {
        QTest::keyClick(w.spedUp, Qt::Key_Up);
    }
    QTest::keyClick(w.spedRight, Qt::Key_Up);
    QTest::keyClick(w.spedLeft, Qt::Key_Down); // no negative margins
    EXPECT_EQ(Margins(w), std::tuple(3, 0, 0, 1));
    EXPECT_EQ(w.RectTracker->geometry(), Inside(FilePicture, 3, 0, 0, 1));

    // At 10 pixels high the rectangle stops; stepping back works.
    w.spedDown->setValue(FilePicture.height() - 3 - 10);
    EXPECT_EQ(w.RectTracker->height(), 10);
    QTest::keyClick(w.spedDown, Qt::Key_Up);
    QTest::keyClick(w.spedUp, Qt::Key_Up);
    EXPECT_EQ(Margins(w), std::tuple(3, FilePicture.height() - 13, 0, 1));
    EXPECT_EQ(w.RectTracker->height(), 10);
    QTest::keyClick(w.spedDown, Qt::Key_Down);
    EXPECT_EQ(w.RectTracker->height(), 11);

    QTest::mouseClick(w.btnDefault, Qt::LeftButton);
    EXPECT_EQ(Margins(w), std::tuple(0, 0, 0, 0));
    EXPECT_EQ(w.RectTracker->geometry(), FilePicture);
}

TEST_F(CropEditor, ADragPastTheRightAndBottomEdgesStretchesTheRectangleFromWhereItStarted) {
    sources_.EditRecord(0, [](TlvFilesRecord& r) { SetViewCrop(r, 20, 40, 30, 50); });
    auto editor = Open();
    const TCropControls& w = editor->Controls();
    TRectTracker* tracker = w.RectTracker;

    // Inside the picture the rectangle follows the mouse.
    Drag(tracker, tracker->rect().center(), {10, 5});
    EXPECT_EQ(Margins(w), std::tuple(25, 35, 40, 40));
    // Far past the right and bottom edges: back to where this drag started, stretched.
    Drag(tracker, tracker->rect().center(), {300, 250});
    EXPECT_EQ(Margins(w), std::tuple(25, 0, 40, 0));
    EXPECT_EQ(tracker->geometry(), Inside(FilePicture, 25, 0, 40, 0));
    // The top-left handle pulled in: that corner moves, the others stay.
    Drag(tracker, {2, 2}, {20, 10});
    EXPECT_EQ(Margins(w), std::tuple(35, 0, 60, 0));

    QTest::mouseClick(w.btnOk, Qt::LeftButton);
    EXPECT_FALSE(editor->isVisible());
    const TlvFilesRecord& record = sources_.Record(0);
    EXPECT_EQ(ViewCrop(record), std::tuple(35, 0, 60, 0));
    // 35 x 240 / 251 = 33.5 -> 33 -> 32; 60 x 320 / 336 = 57.1 -> 57 -> 56.
    EXPECT_EQ(Crop(record), std::tuple(32, 0, 56, 0));
}

TEST_F(CropEditor, TheKeyboardMovesAndResizesTheRectangle) {
    sources_.EditRecord(0, [](TlvFilesRecord& r) { SetViewCrop(r, 20, 40, 30, 50); });
    auto editor = Open();
    const TCropControls& w = editor->Controls();
    w.RectTracker->setFocus();
    ASSERT_TRUE(WaitUntil([&] { return w.RectTracker->hasFocus(); }));
    QTest::keyClick(w.RectTracker, Qt::Key_Right);
    QTest::keyClick(w.RectTracker, Qt::Key_Down);
    EXPECT_EQ(Margins(w), std::tuple(21, 39, 31, 49));
    QTest::keyClick(w.RectTracker, Qt::Key_Left, Qt::ShiftModifier);
    QTest::keyClick(w.RectTracker, Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(Margins(w), std::tuple(21, 38, 31, 50));
    EXPECT_EQ(w.RectTracker->geometry(), Inside(FilePicture, 21, 38, 31, 50));

    // Tab goes from the rectangle to the spinners in order.
    QTest::keyClick(w.RectTracker, Qt::Key_Tab);
    EXPECT_TRUE(w.spedUp->hasFocus());
    QTest::keyClick(w.spedUp, Qt::Key_Tab);
    EXPECT_TRUE(w.spedDown->hasFocus());
}

TEST_F(CropEditor, CancelStoresNothing) {
    sources_.EditRecord(0, [](TlvFilesRecord& r) {
        SetViewCrop(r, 4, 6, 8, 10);
        r.CropTop = 2;
    });
    auto editor = Open();
    const TCropControls& w = editor->Controls();
    QTest::keyClick(w.spedUp, Qt::Key_Up);
    QTest::mouseClick(w.btnReset, Qt::LeftButton);
    QTest::mouseClick(w.btnCancel, Qt::LeftButton);
    EXPECT_FALSE(editor->isVisible());
    EXPECT_EQ(ViewCrop(sources_.Record(0)), std::tuple(4, 6, 8, 10));
    EXPECT_EQ(Crop(sources_.Record(0)), std::tuple(2, 0, 0, 0));
}

TEST_F(CropEditor, TheSeekBarSeeksWhenReleasedOrSteppedButNotToPositionZero) {
    auto editor = Open();
    const TCropControls& w = editor->Controls();
    TPositionBar* bar = w.trcPreview;
    ASSERT_EQ(bar->maximum(), bar->width());
    EXPECT_EQ(editor->SeekCount(), 0); // the editor's own setting of the bar
    QTest::mouseClick(w.imgbtnpause, Qt::LeftButton);

    // While the button holds the bar nothing seeks; the release does.
    QTest::mousePress(bar, Qt::LeftButton, {}, {bar->width() / 2, bar->height() / 2});
    EXPECT_EQ(editor->SeekCount(), 0);
    QTest::mouseRelease(bar, Qt::LeftButton, {}, {bar->width() / 2, bar->height() / 2});
    EXPECT_EQ(editor->SeekCount(), 1);

    // Keys seek at once, except to the start.
    bar->setFocus();
    QTest::keyClick(bar, Qt::Key_Home);
    EXPECT_EQ(bar->value(), 0);
    EXPECT_EQ(editor->SeekCount(), 1);
    QTest::keyClick(bar, Qt::Key_End);
    EXPECT_EQ(editor->SeekCount(), 2);
}

TEST_F(CropEditor, EveryControlHasANameForAssistiveTechnology) {
    auto editor = Open();
    for (QWidget* control : editor->findChildren<QWidget*>()) {
        if (!control->isVisible() || control->focusPolicy() == Qt::NoFocus) {
            continue;
        }
        EXPECT_TRUE(test::HasSpokenName(control)) << control->objectName().toStdString() << " ("
                                                  << control->metaObject()->className() << ")";
    }
    EXPECT_EQ(editor->Controls().RectTracker->accessibleName(), "Crop rectangle");
}

TEST_F(CropEditor, ADvdRowCropsItsTitleInTheTitlesPixels) {
    ASSERT_EQ(DVDEnumTitle(DvdFolder), 3);
    TlvFilesRecord record;
    record.TitleIndex = 1;
    ASSERT_TRUE(DVDGetTitle(1, record.TitleInfo));
    record.SourceName = std::string(60, 'n') + ".vob";
    SetViewCrop(record, 20, 0, 30, 0);
    const int row = sources_.AddDvdTitleRow({"DVD Title 2"}, record);
    auto editor = Open(row);
    const TCropControls& w = editor->Controls();
    EXPECT_NE(editor->Player().FileName().find("opendvd:" + DvdFolder + "|Title=2"),
              std::string::npos)
        << editor->Player().FileName();
    EXPECT_EQ(w.lblSourceName->text().toStdString(), std::string(44, 'n') + "...vob  ");
    EXPECT_EQ(w.lblSourceName->width(), ShortSourceNameLabelWidth);
    // 720 x 480 fitted into 370 x 253: inset 3 at top and bottom, then one more pixel.
    const QRect picture(11, 14, 368, 245);
    EXPECT_EQ(ToQRect(editor->Model().Picture()), picture);
    EXPECT_EQ(w.RectTracker->geometry(), Inside(picture, 20, 0, 30, 0));
    QTest::keyClick(w.spedDown, Qt::Key_Up);

    QTest::mouseClick(w.btnOk, Qt::LeftButton);
    const TlvFilesRecord& stored = sources_.Record(row);
    EXPECT_EQ(ViewCrop(stored), std::tuple(20, 1, 30, 0));
    // 20 x 480 / 245 = 39.2 -> 38; 480 / 245 = 1.96 -> 2; 30 x 720 / 368 = 58.7 -> 59 -> 58.
    EXPECT_EQ(Crop(stored), std::tuple(38, 2, 58, 0));
}

TEST_F(CropEditor, ATurnedSourceIsCroppedAsItIsShownUpright) {
    // 320 x 240 pictures stored with a quarter turn: shown 240 x 320.
    test::LoadConverterLibraries();
    test::TTempDir folder;
    const std::string stored = folder.Str() + "/stored.mp4";
    const std::string turned = folder.Str() + "/turned.mp4";
    test::MakeClip("-f lavfi -i testsrc=size=320x240:rate=25:duration=2 -c:v mpeg4 '" + stored +
                   "'");
    test::WriteTurned(stored, turned, 90);
    sources_.AddFileRows({{turned, 0, 0, "lbox"}});
    auto editor = Open(1);
    const TCropControls& w = editor->Controls();
    // 240 x 320 fitted into 370 x 253: inset 90 at the left and the right, then one pixel.
    EXPECT_EQ(ToQRect(editor->Model().Picture()), QRect(101, 11, 188, 251));
    w.spedUp->setValue(25);
    w.spedLeft->setValue(20);
    QTest::mouseClick(w.btnOk, Qt::LeftButton);
    // 25 x 320 / 251 = 31.9 -> 32; 20 x 240 / 188 = 25.5 -> 26.
    EXPECT_EQ(Crop(sources_.Record(1)), std::tuple(32, 0, 26, 0));
    editor.reset(); // its player uses the libraries until it is gone
    test::UnloadConverterLibraries();
}

TEST_F(CropEditor, WithoutAPictureThereIsNothingToCropAndOkStoresZeroMargins) {
    sources_.AddFileRows({{Fixture("audio.mp3"), 0, 0, "lbox"},
                          {Fixture("truncated.mpg") + ".missing", 0, 0, "lbox"}});
    for (int row : {1, 2}) {
        sources_.EditRecord(row, [](TlvFilesRecord& r) {
            SetViewCrop(r, 4, 6, 8, 10);
            r.CropTop = 2;
        });
        TfrmCrop editor(sources_, row, TEditorSetup{LibAvDir(), DvdFolder});
        editor.show();
        const TCropControls& w = editor.Controls();
        // The audio plays; the missing file does not open.
        ASSERT_TRUE(WaitUntil([&] {
            return row == 1 ? w.lblLength->text().endsWith(" Second") : !w.imgbtnpause->isEnabled();
        })) << row;
        EXPECT_EQ(w.RectTracker->isVisible(), row == 2);
        EXPECT_FALSE(w.RectTracker->isEnabled());
        EXPECT_FALSE(w.spedUp->isEnabled());
        EXPECT_EQ(Margins(w), std::tuple(0, 0, 0, 0));
        QTest::mouseClick(w.btnOk, Qt::LeftButton);
        EXPECT_EQ(ViewCrop(sources_.Record(row)), std::tuple(0, 0, 0, 0)) << row;
        EXPECT_EQ(Crop(sources_.Record(row)), std::tuple(0, 0, 0, 0)) << row;
    }
}

} // namespace
} // namespace tessaro
