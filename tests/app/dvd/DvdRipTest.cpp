// Ripping DVD titles as a user does it, through the main window: a disc folder dropped onto
// the list, a second title checked, audio track, subtitle and chapters chosen in the DVD
// group, an output format chosen, the DVD Start button; the outputs decoded and measured.
#include "TestPaths.h"
#include "TranscodeTestSupport.h"
#include "WindowTestSupport.h"
#include "run/RunController.h"
#include "sources/SourceListView.h"

#include <QComboBox>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>

using tessaro::test::LibAvDir;

namespace tessaro {
namespace {

namespace fs = std::filesystem;

const bool registered = (test::TAppEnvironment::Register(), true);

// Title 1 of the fixture disc, chapters 2 and 3: 7.0 to 19.967 s; title 2, chapter 1: 4 s.
constexpr double Title1FromChapter2 = 19.967 - 7.0;
constexpr double Title2Chapter1 = 4.0;

// Runs the event loop until done() holds; the test runner's own limit ends a test that hangs.
void WaitFor(const std::function<bool()>& done) {
    QTimer wake;
    wake.start(10);
    while (!done()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

// The frequency of the tone in a file's first audio channel: its rising swings through zero,
// counted with a margin so that coding noise around zero adds none.
double ToneOf(const std::string& path) {
    constexpr float Margin = 0.02f; // the fixture tones peak at 0.125
    const test::TPlayedAudio audio = test::PlayAudio(path);
    int rises = 0;
    bool below = false;
    for (const float sample : audio.samples) {
        if (sample < -Margin) {
            below = true;
        } else if (sample > Margin && below) {
            below = false;
            ++rises;
        }
    }
    return audio.samples.empty() ? 0 : rises * double(audio.rate) / double(audio.samples.size());
}

// The luma plane of one picture of a file's video, by its position in display order.
std::vector<std::uint8_t> Picture(const std::string& path, int number, int& width) {
    std::vector<std::uint8_t> luma;
    int seen = 0;
    test::DecodeFrames(path, AVMEDIA_TYPE_VIDEO, [&](const AVFrame* frame) {
        if (seen++ != number) {
            return;
        }
        width = frame->width;
        for (int row = 0; row < frame->height; ++row) {
            const std::uint8_t* line = frame->data[0] + row * frame->linesize[0];
            luma.insert(luma.end(), line, line + frame->width);
        }
    });
    return luma;
}

class DvdRip : public test::TMainWindowTest {
protected:
    void SetUp() override {
        TMainWindowTest::SetUp();
        fs::create_directory_symlink(LibAvDir(), dir_.Path() / "LibAV");
        window_ = ShowWindow();
        c_ = &window_->Controls();
        QObject::connect(&window_->Run(), &TRunController::finished, [this] { ++finished_; });
    }

    std::string Output(const std::string& name) const {
        return (dir_.Path() / "videoconverter" / name).string();
    }

    void DropDisc(const std::string& path) {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
        const QPoint at = c_->lvFiles->viewport()->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(c_->lvFiles->viewport(), &enter);
        QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(c_->lvFiles->viewport(), &drop);
    }

    QRect CaptionCell(int row) const {
        return c_->lvFiles->visualRect(c_->lvFiles->model()->index(row, dcSource));
    }

    void ClickRow(int row) {
        QTest::mouseClick(c_->lvFiles->viewport(), Qt::LeftButton, {},
                          CaptionCell(row).center() + QPoint(20, 0));
        ASSERT_EQ(window_->SourceList().Current(), row);
    }

    void ClickCheckBox(int row) {
        QTest::mouseClick(c_->lvFiles->viewport(), Qt::LeftButton, {},
                          TSourceListView::CheckBoxRect(CaptionCell(row)).center());
    }

    void Choose(QComboBox* box, Qt::Key key) {
        box->setFocus();
        QTest::keyClick(box, key);
    }

    // The DVD Start button, then the end of the batch.
    void RipCheckedTitles() {
        const int before = finished_;
        QTest::mouseClick(c_->btnDVDStart, Qt::LeftButton);
        WaitFor([&] { return finished_ > before; });
    }

    test::TScopedEnv openCommand_{"TESSARO_OPEN_COMMAND", "true"};
    std::unique_ptr<TfrmMain> window_;
    const TfrmMainControls* c_ = nullptr;
    int finished_ = 0;
};

TEST_F(DvdRip, ChosenTracksSubtitlesAndChaptersReachMp4AndMpeg2Files) {
    DropDisc(Fixture("dvd"));
    ASSERT_EQ(window_->SourceList().Count(), 3);

    // Title 1: the French track (1000 Hz), the English subtitle, chapters 2 to 3.
    ClickRow(0);
    Choose(c_->cmbAudioLanguage, Qt::Key_Down);
    Choose(c_->cmbSubtitle, Qt::Key_Up);
    ASSERT_EQ(c_->cmbSubtitle->currentText(), "32  English");
    QTest::mouseClick(c_->btnUp, Qt::LeftButton);
    ASSERT_EQ(c_->edtFrom->text(), "2");
    // Title 2 (660 Hz, no subtitles): checked by hand, its first chapter only.
    ClickCheckBox(1);
    ClickRow(1);
    QTest::mouseClick(c_->btnDown1, Qt::LeftButton);
    ASSERT_EQ(c_->edtTo->text(), "1");
    ASSERT_EQ(window_->SourceList().CheckedRows(), (std::vector<int>{0, 1}));

    const struct {
        const char* format;
        const char* extension;
    } formats[] = {{"MPEG-4 Video (*.mp4)", ".mp4"}, {"MPEG-2 Video (*.mpg)", ".mpg"}};
    for (const auto& f : formats) {
        SCOPED_TRACE(f.format);
        test::ChooseFormat(*window_, "General Video formats", f.format);
        RipCheckedTitles();
        EXPECT_EQ(window_->SourceList().Row(0).Cells[dcDvdProgress], "100%");
        EXPECT_EQ(window_->SourceList().Row(1).Cells[dcDvdProgress], "100%");
        const std::string first = Output(std::string("DVD Title 1_(new)") + f.extension);
        const std::string second = Output(std::string("DVD Title 2_(new)") + f.extension);
        const struct {
            std::string file;
            double seconds;
            double tone;
        } outputs[] = {{first, Title1FromChapter2, 1000}, {second, Title2Chapter1, 660}};
        for (const auto& output : outputs) {
            const test::TFileFacts facts = test::ProbeFile(output.file);
            ASSERT_TRUE(facts.opened) << output.file;
            ASSERT_EQ(facts.video.size(), 1u);
            ASSERT_EQ(facts.audio.size(), 1u);
            EXPECT_NEAR(facts.video[0].Duration(), output.seconds, 0.5) << output.file;
            EXPECT_NEAR(facts.audio[0].Duration(), output.seconds, 0.5) << output.file;
            EXPECT_NEAR(ToneOf(output.file), output.tone, 20) << output.file;
        }
    }

    // Title 1 once more to MPEG-2, its subtitle box on "Default", title 2 left out.
    ClickCheckBox(1);
    ClickRow(0);
    Choose(c_->cmbSubtitle, Qt::Key_Down);
    ASSERT_EQ(c_->cmbSubtitle->currentText(), "Default");
    RipCheckedTitles();
    const std::string plain = Output("DVD Title 1_(new_1).mpg");
    EXPECT_FALSE(fs::exists(Output("DVD Title 2_(new_1).mpg")));

    // One second in, the second subtitle line shows at the bottom of the subtitled picture
    // only; the rest of the two pictures is the same.
    int width = 0;
    const std::vector<std::uint8_t> subtitled = Picture(Output("DVD Title 1_(new).mpg"), 30, width);
    const std::vector<std::uint8_t> without = Picture(plain, 30, width);
    ASSERT_EQ(width, 720);
    ASSERT_EQ(subtitled.size(), without.size());
    const int height = int(subtitled.size()) / width;
    const auto changed = [&](int firstRow, int endRow) {
        int count = 0;
        for (int i = firstRow * width; i < endRow * width; ++i) {
            count += std::abs(int(subtitled[std::size_t(i)]) - int(without[std::size_t(i)])) > 40;
        }
        return count;
    };
    EXPECT_GT(changed(height * 3 / 4, height), 1000) << "the subtitle is burned in";
    EXPECT_LT(changed(0, height / 2), 50) << "nothing else differs";
}

// Rows after a title the disc cannot describe convert their own title, and the batch ends.
TEST_F(DvdRip, RowsAfterADamagedTitleConvertTheirOwnTitle) {
    DropDisc(Fixture("dvd_damaged"));
    ASSERT_EQ(window_->SourceList().Count(), 2);
    ASSERT_EQ(dialogs_.Requests().size(), 1u) << "Title #2 is invalid";
    ClickCheckBox(1);
    ASSERT_EQ(window_->SourceList().CheckedCount(), 2);
    RipCheckedTitles();

    EXPECT_EQ(window_->SourceList().Row(1).Cells[dcDvdProgress], "100%");
    const std::string third = Output("DVD Title 3_(new).mp4");
    const test::TFileFacts facts = test::ProbeFile(third);
    ASSERT_TRUE(facts.opened);
    ASSERT_EQ(facts.video.size(), 1u);
    EXPECT_NEAR(facts.video[0].Duration(), 5.0, 0.5);
    EXPECT_NEAR(ToneOf(third), 550, 20);
    EXPECT_TRUE(fs::exists(Output("DVD Title 1_(new).mp4")));
}

} // namespace
} // namespace tessaro
