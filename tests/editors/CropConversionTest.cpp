// A crop set in the editor reaches the converted file once: a file row and a DVD title row
// are cropped through the editor's spinners, converted at zoom "full" to the cropped size,
// and the first output picture is compared with the same region cut from the same source by
// the ffmpeg program.
#include "EditorConversionTest.h"
#include "EngineTestSupport.h"
#include "TranscodeTestSupport.h"
#include "WindowTestSupport.h"
#include "core/DefaultSettings.h"
#include "crop/FrmCrop.h"
#include "run/RunController.h"
#include "sources/SourceListPanel.h"
#include "sources/SourceListView.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QSpinBox>
#include <QTreeView>
#include <QUrl>

#include <cmath>
#include <fstream>
#include <iterator>

namespace tessaro {
namespace {

namespace fs = std::filesystem;
using test::WaitUntil;

const bool registered = (test::TAppEnvironment::Register(), true);
constexpr std::int64_t ConvertedLength = 1000000; // microseconds converted of each row

// A 4:2:0 picture: its three planes one after the other, without padding.
struct TYuvPicture {
    int Width = 0;
    int Height = 0;
    std::vector<std::uint8_t> Planes;
};

TYuvPicture FirstOutputPicture(const std::string& path) {
    TYuvPicture picture;
    test::DecodeFrames(path, AVMEDIA_TYPE_VIDEO, [&](const AVFrame* frame) {
        if (!picture.Planes.empty()) {
            return;
        }
        EXPECT_EQ(frame->format, AV_PIX_FMT_YUV420P);
        picture.Width = frame->width;
        picture.Height = frame->height;
        for (int plane = 0; plane < 3; ++plane) {
            const int width = plane == 0 ? frame->width : frame->width / 2;
            const int height = plane == 0 ? frame->height : frame->height / 2;
            for (int y = 0; y < height; ++y) {
                const std::uint8_t* row =
                    frame->data[plane] + std::ptrdiff_t(y) * frame->linesize[plane];
                picture.Planes.insert(picture.Planes.end(), row, row + width);
            }
        }
    });
    return picture;
}

// A part of a picture.
struct TRegion {
    int X, Y, Width, Height;
};

// The region of source's first picture, cut out by the ffmpeg program.
TYuvPicture CutByFfmpeg(const std::string& source, const TRegion& region, const fs::path& folder) {
    const fs::path raw = folder / "reference.yuv";
    test::MakeClip("-i '" + source + "' -vf crop=" + std::to_string(region.Width) + ":" +
                   std::to_string(region.Height) + ":" + std::to_string(region.X) + ":" +
                   std::to_string(region.Y) + " -frames:v 1 -f rawvideo -pix_fmt yuv420p '" +
                   raw.string() + "'");
    std::ifstream in(raw, std::ios::binary);
    TYuvPicture picture{region.Width, region.Height, {}};
    picture.Planes.assign(std::istreambuf_iterator<char>(in), {});
    return picture;
}

double Psnr(const TYuvPicture& a, const TYuvPicture& b) {
    if (a.Planes.size() != b.Planes.size() || a.Planes.empty()) {
        return 0;
    }
    double squares = 0;
    for (std::size_t i = 0; i < a.Planes.size(); ++i) {
        const double d = double(a.Planes[i]) - double(b.Planes[i]);
        squares += d * d;
    }
    return squares == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 * double(a.Planes.size()) / squares);
}

class CropConversion : public test::TEditorConversionTest {
protected:
    void SetUp() override {
        TEditorConversionTest::SetUp();
        window_ = ShowWindow();
        QObject::connect(&window_->Run(), &TRunController::finished, [this] { ++finished_; });
    }

    // The one file the run wrote.
    std::string Output() const {
        std::string found;
        for (const auto& entry : fs::directory_iterator(OutDir())) {
            EXPECT_TRUE(found.empty()) << found << " and " << entry.path();
            found = entry.path().string();
        }
        return found;
    }

    // Zoom "full" chosen in the parameter panel, as a user does.
    void ChooseFullZoom() {
        QComboBox* zoom = window_->Controls().cmbZoom;
        zoom->setFocus();
        QTest::keyClick(zoom, Qt::Key_Home);
        ASSERT_EQ(Stored("formatInfo101", "paraZoom"), "full");
    }

    // The frame size typed into its box.
    void TypeFrameSize(int width, int height) {
        const std::string size = std::to_string(width) + "x" + std::to_string(height);
        QComboBox* frameSize = window_->Controls().cmbVideoSize;
        window_->activateWindow();
        ASSERT_TRUE(WaitUntil([&] { return QApplication::activeWindow() == window_.get(); }));
        frameSize->setFocus();
        frameSize->lineEdit()->selectAll();
        QTest::keyClicks(frameSize, QString::fromStdString(size));
        QTest::keyClick(frameSize, Qt::Key_Tab);
        ASSERT_EQ(Stored("formatInfo101", "paraVideoSize"), size)
            << frameSize->currentText().toStdString() << " focus "
            << (QApplication::focusWidget()
                    ? QApplication::focusWidget()->objectName().toStdString()
                    : "none");
    }

    // "&Crop" on the current row; the spinners step the margins (in preview pixels) and Ok
    // stores them.
    void CropInTheEditor(int up, int down, int left, int right) {
        bool cropped = false;
        test::WhenModalOpens([&](QWidget* dialog) {
            auto* editor = qobject_cast<TfrmCrop*>(dialog);
            ASSERT_NE(editor, nullptr);
            const TCropControls& w = editor->Controls();
            ASSERT_TRUE(WaitUntil([&] { return w.spedUp->isEnabled(); }))
                << editor->Player().LastError();
            for (auto [spin, value] :
                 {std::pair{w.spedUp, up}, std::pair{w.spedDown, down}, std::pair{w.spedLeft, left},
                  std::pair{w.spedRight, right}}) {
                spin->setFocus();
                while (spin->value() < value) {
                    QTest::keyClick(spin, Qt::Key_Up);
                }
            }
            cropped = true;
            QTest::mouseClick(w.btnOk, Qt::LeftButton);
        });
        window_->Controls().Crop1->trigger();
        ASSERT_TRUE(cropped);
    }

    void ConvertAndCompare(QPushButton* start, const std::string& source, int sourceWidth,
                           int sourceHeight, int row) {
        const TlvFilesRecord& record = window_->SourceList().Record(row);
        ASSERT_GT(record.CropTop + record.CropBottom + record.CropLeft + record.CropRight, 0);
        const TRegion kept{record.CropLeft, record.CropTop,
                           sourceWidth - record.CropLeft - record.CropRight,
                           sourceHeight - record.CropTop - record.CropBottom};
        const TYuvPicture expected = CutByFfmpeg(source, kept, dir_.Path());
        ASSERT_FALSE(expected.Planes.empty());
        TypeFrameSize(expected.Width, expected.Height);
        const int before = finished_;
        QTest::mouseClick(start, Qt::LeftButton);
        ASSERT_TRUE(WaitUntil([&] { return finished_ > before; }, 600000));

        const TYuvPicture converted = FirstOutputPicture(Output());
        ASSERT_EQ(std::pair(converted.Width, converted.Height),
                  std::pair(expected.Width, expected.Height));
        EXPECT_GT(Psnr(converted, expected), 35.0);
        // The crop applied twice would show the region one crop further in, which differs.
        const TRegion twice{2 * kept.X, 2 * kept.Y, kept.Width, kept.Height};
        EXPECT_LT(Psnr(converted, CutByFfmpeg(source, twice, dir_.Path())), 30.0);
    }

    std::unique_ptr<TfrmMain> window_;
    int finished_ = 0;
};

TEST_F(CropConversion, AFileRowIsConvertedAsTheEditorCroppedIt) {
    ChooseFullZoom();
    const std::string source = Fixture("h264_aac.mp4");
    ASSERT_EQ(window_->Sources().AddPaths({QString::fromStdString(source)}), 1);
    window_->SourceList().EditRecord(
        0, [](TlvFilesRecord& record) { record.TrimLength = ConvertedLength; });
    window_->SourceList().SetCurrent(0);
    CropInTheEditor(20, 30, 40, 24);
    ConvertAndCompare(window_->Controls().BtnStart, source, 320, 240, 0);
}

TEST_F(CropConversion, ADvdTitleIsCroppedOnce) {
    ChooseFullZoom();
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(Fixture("dvd")))});
    QTreeView* list = window_->Controls().lvFiles;
    const QPoint at = list->viewport()->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &enter);
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &drop);
    ASSERT_EQ(window_->SourceList().Count(), 3);
    // Only the main feature, the first title, is checked; its first second is converted.
    ASSERT_EQ(window_->SourceList().CheckedRows(), std::vector<int>{0});
    window_->SourceList().EditRecord(
        0, [](TlvFilesRecord& record) { record.TrimLength = ConvertedLength; });
    window_->SourceList().SetCurrent(0);
    CropInTheEditor(20, 30, 40, 24);
    ConvertAndCompare(window_->Controls().btnDVDStart, Fixture("dvd/VIDEO_TS/VTS_01_1.VOB"), 720,
                      480, 0);
}

} // namespace
} // namespace tessaro
