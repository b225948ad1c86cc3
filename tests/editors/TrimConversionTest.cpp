// A range set in the trim editor is what the conversion converts: through the editor's
// controls a file row and a DVD title row are trimmed while they play, converted from the
// main window, and the output is as long as the range and starts with the source's picture
// at the range's start.
#include "DVDPlugIn.h"
#include "EditorConversionTest.h"
#include "EngineTestSupport.h"
#include "PictureCompare.h"
#include "TestPaths.h"
#include "WindowTestSupport.h"
#include "core/DefaultSettings.h"
#include "dvd/DvdPanel.h"
#include "run/RunController.h"
#include "sources/SourceListPanel.h"
#include "trim/FrmTrim.h"

#include <QAction>
#include <QPushButton>
#include <QSignalSpy>

using tessaro::test::LibAvDir;

namespace tessaro {
namespace {

namespace fs = std::filesystem;
using test::WaitUntil;

const bool registered = (test::TAppEnvironment::Register(), true);

// Where the first picture of a file lies among the pictures of its source: the time (from
// the source's first picture) of the source picture most like it, and how alike they are.
struct TMatch {
    double Time = -1;
    double Psnr = 0;
};

// The picture of a 4:2:0 frame inside the black bars the conversion may have put around it
// (a view into the frame's memory, at even offsets).
AVFramePtr WithoutBars(const AVFrame* frame) {
    const auto dark = [&](int x, int y, int w, int h) {
        return test::MeanLuma(frame, x, y, w, h) < 24;
    };
    int left = 0;
    int top = 0;
    int right = frame->width;
    int bottom = frame->height;
    while (right - left > 16 && dark(left, 0, 2, frame->height)) {
        left += 2;
    }
    while (right - left > 16 && dark(right - 2, 0, 2, frame->height)) {
        right -= 2;
    }
    while (bottom - top > 16 && dark(left, top, right - left, 2)) {
        top += 2;
    }
    while (bottom - top > 16 && dark(left, bottom - 2, right - left, 2)) {
        bottom -= 2;
    }
    AVFramePtr view(ff::av_frame_clone(frame));
    view->data[0] += std::ptrdiff_t(top) * view->linesize[0] + left;
    for (int plane = 1; plane < 3; ++plane) {
        view->data[plane] += std::ptrdiff_t(top / 2) * view->linesize[plane] + left / 2;
    }
    view->width = right - left;
    view->height = bottom - top;
    return view;
}

TMatch BestMatch(const AVFrame* output, const std::string& source) {
    const AVFramePtr picture = WithoutBars(output);
    TMatch best;
    std::int64_t first = AV_NOPTS_VALUE;
    test::DecodeFrames(source, AVMEDIA_TYPE_VIDEO, [&](const AVFrame* frame) {
        if (first == AV_NOPTS_VALUE) {
            first = frame->pts;
        }
        const AVFramePtr scaled = test::Scaled(frame, picture->width, picture->height);
        const double psnr = test::Psnr(picture.get(), scaled.get());
        if (psnr > best.Psnr) {
            best = {double(frame->pts - first) * av_q2d(frame->time_base), psnr};
        }
    });
    return best;
}

class TrimConversion : public test::TEditorConversionTest {
protected:
    static void SetUpTestSuite() {
        TEditorConversionTest::SetUpTestSuite();
        ASSERT_TRUE(LoadDVDPlugIn(LibAvDir()));
    }

    std::string OnlyOutput() const {
        std::vector<std::string> outputs;
        for (const auto& entry : fs::directory_iterator(OutDir())) {
            outputs.push_back(entry.path().string());
        }
        EXPECT_EQ(outputs.size(), 1u);
        return outputs.empty() ? std::string() : outputs.front();
    }

    static std::pair<std::int64_t, std::int64_t>
    TrimWhilePlaying(TfrmTrim& editor, std::int64_t startAfter, std::int64_t length) {
        const auto playPast = [&](std::int64_t time) {
            return WaitUntil([&] { return editor.Player().CurrentPosition() > time; }, 30000);
        };
        if (!WaitUntil([&] { return editor.SourceOpened(); }, 20000)) {
            ADD_FAILURE() << "not opened: " << editor.Player().LastError();
            return {-1, -1};
        }
        if (!playPast(startAfter)) {
            ADD_FAILURE() << "not played to the start: " << editor.Player().CurrentPosition();
            return {-1, -1};
        }
        QTest::mouseClick(editor.Controls().btnOk1, Qt::LeftButton);
        if (!playPast(editor.Model().Start() + length)) {
            ADD_FAILURE() << "not played to the end: " << editor.Player().CurrentPosition();
            return {-1, -1};
        }
        QTest::mouseClick(editor.Controls().btnOk2, Qt::LeftButton);
        const std::pair range{editor.Model().Start(), editor.Model().End()};
        QTest::mouseClick(editor.Controls().btnOk, Qt::LeftButton);
        return range;
    }

    // Trims the current row in the editor as a user does: Ok beside the start once the file
    // has played past startAfter, Ok beside the end once it has played `length` further, then
    // Ok. Returns the editor's range.
    std::pair<std::int64_t, std::int64_t> TrimInTheEditor(TfrmMain& window, std::int64_t startAfter,
                                                          std::int64_t length) {
        std::pair<std::int64_t, std::int64_t> range{-1, -1};
        test::WhenModalOpens([&](QWidget* dialog) {
            auto* editor = qobject_cast<TfrmTrim*>(dialog);
            ASSERT_NE(editor, nullptr);
            range = TrimWhilePlaying(*editor, startAfter, length);
            if (editor->isVisible()) {
                editor->reject(); // a failed step leaves nothing open behind
            }
        });
        window.Controls().Trim1->trigger();
        return range;
    }

    // Starts the run with a Start button (the list's or the DVD group's) and waits for its end.
    void Convert(TfrmMain& window, QPushButton* start) {
        QSignalSpy finished(&window.Run(), &TRunController::finished);
        QTest::mouseClick(start, Qt::LeftButton);
        ASSERT_TRUE(finished.wait(600000));
    }

    // The output lasts the range and begins with the source's picture at the range's start.
    void ExpectTheRange(const std::string& output, const std::string& source,
                        std::pair<std::int64_t, std::int64_t> range) {
        const double start = double(range.first) / 1e6;
        const double length = double(range.second - range.first) / 1e6;
        const test::TFileFacts facts = test::ProbeFile(output);
        ASSERT_EQ(facts.video.size(), 1u);
        EXPECT_NEAR(facts.video[0].Duration(), length, 0.1);
        const AVFramePtr first = test::DecodedFrame(output, 0);
        ASSERT_NE(first, nullptr);
        const TMatch match = BestMatch(first.get(), source);
        EXPECT_GT(match.Psnr, 25.0);
        EXPECT_NEAR(match.Time, start, 0.07) << "the output starts elsewhere in the source";
    }
};

TEST_F(TrimConversion, AFileRowConvertsTheRangeSetInTheEditor) {
    auto window = ShowWindow();
    const std::string source = Fixture("h264_aac.mp4");
    ASSERT_EQ(window->Sources().AddPaths({QString::fromStdString(source)}), 1);
    window->SourceList().SetCurrent(0);
    const auto range = TrimInTheEditor(*window, 1'500'000, 3'000'000);
    ASSERT_GT(range.first, 1'500'000);
    ASSERT_EQ(window->SourceList().Record(0).TrimStart, range.first);
    ASSERT_EQ(window->SourceList().Record(0).TrimLength, range.second - range.first);
    Convert(*window, window->Controls().BtnStart);
    ExpectTheRange(OnlyOutput(), source, range);
}

TEST_F(TrimConversion, ADvdTitleRowConvertsTheRangeSetInTheEditor) {
    auto window = ShowWindow();
    const std::string disc = Fixture("dvd");
    ASSERT_EQ(window->Dvd().OpenDvd(QString::fromStdString(disc)), 3);
    // Title 2 (8 s, its own title set): only it is converted.
    const int row = 1;
    ASSERT_EQ(window->SourceList().Record(row).TitleIndex, 1);
    for (int other : {0, 1, 2}) {
        window->SourceList().SetChecked(other, other == row);
    }
    window->SourceList().SetCurrent(row);
    const auto range = TrimInTheEditor(*window, 1'000'000, 3'000'000);
    ASSERT_GT(range.first, 1'000'000);
    Convert(*window, window->Controls().btnDVDStart);
    ExpectTheRange(OnlyOutput(), disc + "/VIDEO_TS/VTS_02_1.VOB", range);
}

} // namespace
} // namespace tessaro
