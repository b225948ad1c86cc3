// A watermark set in the editor reaches the converted file as the preview showed it: a text,
// a PNG image and the four picture adjustments are set through the editor's controls, the
// row is converted at two output sizes beside a row without effects, and a decoded output
// frame is compared with the renderer applied to the same decoded source frame and scaled
// the same way.
#include "EditorConversionTest.h"
#include "EffectRenderer.h"
#include "EngineTestSupport.h"
#include "PictureCompare.h"
#include "VideoSurfaceWidget.h"
#include "WindowTestSupport.h"
#include "core/DefaultSettings.h"
#include "run/RunController.h"
#include "runtime/RGBConverter.h"
#include "sources/SourceListPanel.h"
#include "watermark/FrmWatermark.h"

#include <QAction>
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>

#include <cmath>
#include <optional>

namespace tessaro {
namespace {

namespace fs = std::filesystem;
using test::DecodedFrame;
using test::Psnr;
using test::Scaled;
using test::WaitUntil;

const bool registered = (test::TAppEnvironment::Register(), true);
constexpr int ComparedFrame = 40;
constexpr std::int64_t TrimmedLength = 3000000; // microseconds converted of each row

// The renderer's picture of the frame, through the same BGR conversion as the conversion hook.
AVFramePtr Painted(const AVFrame* frame, const TEffectSettings& settings) {
    AVFramePtr copy(ff::av_frame_clone(frame));
    EXPECT_GE(ff::av_frame_make_writable(copy.get()), 0);
    TRGBConverter rgb;
    EXPECT_TRUE(rgb.ToRGB(copy.get()));
    TEffectRenderer renderer;
    renderer.Render(rgb.Bitmap(), settings);
    EXPECT_TRUE(rgb.FromRGB(copy.get()));
    return copy;
}

// The part of picture that differs clearly from reference (the same size), in fractions of
// the picture's width and height: the rows and columns with a few such pixels at least, so
// that single pixels of coding noise do not count.
std::optional<QRectF> ChangedBox(const QImage& picture, const QImage& reference) {
    std::vector<int> columns(std::size_t(picture.width()));
    std::vector<int> rows(std::size_t(picture.height()));
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            const QColor a = picture.pixelColor(x, y);
            const QColor b = reference.pixelColor(x, y);
            if (std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
                    std::abs(a.blue() - b.blue()) >
                120) {
                ++columns[std::size_t(x)];
                ++rows[std::size_t(y)];
            }
        }
    }
    const auto span = [](const std::vector<int>& counts) -> std::optional<std::pair<int, int>> {
        int first = -1;
        int last = -1;
        for (int i = 0; i < int(counts.size()); ++i) {
            if (counts[std::size_t(i)] >= 4) {
                first = first < 0 ? i : first;
                last = i;
            }
        }
        if (first < 0) {
            return std::nullopt;
        }
        return std::pair(first, last + 1);
    };
    const auto across = span(columns);
    const auto down = span(rows);
    if (!across || !down) {
        return std::nullopt;
    }
    return QRectF(double(across->first) / picture.width(), double(down->first) / picture.height(),
                  double(across->second - across->first) / picture.width(),
                  double(down->second - down->first) / picture.height());
}

QImage PictureOf(const AVFrame* frame) {
    TRGBConverter rgb;
    EXPECT_TRUE(rgb.ToRGB(frame));
    const TBitmap& bitmap = rgb.Bitmap();
    return QImage(bitmap.Data(), bitmap.Width(), bitmap.Height(), bitmap.Stride(),
                  QImage::Format_BGR888)
        .copy();
}

class WatermarkConversion : public test::TEditorConversionTest {
protected:
    void SetUp() override {
        TEditorConversionTest::SetUp();
        // The source's frame rate: output frame n is source frame n.
        TIniFile(SettingsPath()).WriteString("formatInfo101", "paraFrameRate", "25");
    }

    std::string Source(const char* name) const {
        const std::string path = dir_.Str() + "/" + name;
        fs::create_symlink(Fixture("h264_aac.mp4"), path);
        return path;
    }
    // The one output whose name starts with stem.
    std::string Output(const std::string& stem) const {
        std::string found;
        for (const auto& entry : fs::directory_iterator(OutDir())) {
            if (entry.path().filename().string().rfind(stem, 0) == 0) {
                EXPECT_TRUE(found.empty()) << found << " and " << entry.path();
                found = entry.path().string();
            }
        }
        return found;
    }
    std::string PngWatermark() const {
        // Opaque red on the left, transparent on the right: only the red may show.
        QImage image(48, 24, QImage::Format_ARGB32);
        image.fill(QColor(0, 0, 0, 0));
        for (int y = 0; y < 24; ++y) {
            for (int x = 0; x < 24; ++x) {
                image.setPixelColor(x, y, QColor(255, 0, 0, 255));
            }
        }
        const std::string path = dir_.Str() + "/logo.png";
        EXPECT_TRUE(image.save(QString::fromStdString(path)));
        return path;
    }

    // Sets the watermark and the effects as a user does and returns where the preview showed
    // the image.
    static std::optional<QRectF> EditInTheEditor(TfrmWaterMark& editor, const std::string& png) {
        const TWatermarkControls& w = editor.Controls();
        w.pgcWaterMark->setCurrentIndex(0);
        QTest::keyClicks(w.edtFont, "Tessaro");
        w.cmbFontSize->setCurrentText("16");
        w.cmbFontColor->setCurrentIndex(w.cmbFontColor->findText("White"));
        w.trcTextHoriz->setValue(10);
        w.trcTextVert->setValue(80);

        w.pgcWaterMark->setCurrentIndex(1);
        test::WhenModalOpens([png](QWidget* dialog) {
            test::ChooseInFileDialog(*qobject_cast<QFileDialog*>(dialog), png);
        });
        QTest::mouseClick(w.btnBrows, Qt::LeftButton);
        EXPECT_EQ(w.edtAddImage->text().toStdString(), png);
        w.trcImageHoriz->setValue(60);
        w.trcImageVert->setValue(20);
        w.trcImageAlpha->setValue(255);

        w.pgcWaterMark->setCurrentIndex(2);
        w.trcBrightness->setValue(290);
        w.trcContrast->setValue(15);
        w.trcSaturation->setValue(320);
        w.trcExposure->setValue(20);

        // The preview shows the values: the image at 60 % and 20 % of the 320 x 240 picture,
        // its opaque 24 x 24 pixels as large as on the previewed picture.
        std::optional<QRectF> shown;
        EXPECT_TRUE(WaitUntil([&] {
            const TEffectPlacement placed = editor.Placement();
            const int previewHeight = editor.Model().Values().PreviewHeight;
            if (!placed.TextPlaced || placed.ImageX != 192 || placed.ImageY != 48 ||
                previewHeight != w.imgPreview->PictureRect().height()) {
                return false;
            }
            const double side = 24.0 * 240 / previewHeight;
            shown = QRectF(placed.ImageX / 320.0, placed.ImageY / 240.0, side / 320, side / 240);
            return true;
        }));
        QTest::mouseClick(w.btnOk, Qt::LeftButton);
        return shown;
    }
};

TEST_F(WatermarkConversion, TheOutputShowsWhatThePreviewShowedAtEverySize) {
    auto window = ShowWindow();
    int finished = 0;
    QObject::connect(&window->Run(), &TRunController::finished, [&] { ++finished; });
    const std::string source = Fixture("h264_aac.mp4");
    ASSERT_EQ(window->Sources().AddPaths({QString::fromStdString(Source("effects.mp4")),
                                          QString::fromStdString(Source("plain.mp4"))}),
              2);
    for (int row = 0; row < 2; ++row) {
        window->SourceList().EditRecord(
            row, [](TlvFilesRecord& record) { record.TrimLength = TrimmedLength; });
    }

    const std::string png = PngWatermark();
    std::optional<QRectF> previewed;
    test::WhenModalOpens([&](QWidget* dialog) {
        auto* editor = qobject_cast<TfrmWaterMark*>(dialog);
        ASSERT_NE(editor, nullptr);
        previewed = EditInTheEditor(*editor, png);
    });
    window->SourceList().SetCurrent(0);
    window->Controls().VideoEffect1->trigger();
    ASSERT_TRUE(previewed.has_value()) << "the preview did not show the values";
    const TlvFilesRecord& record = window->SourceList().Record(0);
    ASSERT_EQ(record.ImageFile, png);
    ASSERT_TRUE(HasFrameEffects(record));
    const TEffectSettings settings = EffectSettingsOf(record);

    const AVFramePtr sourceFrame = DecodedFrame(source, ComparedFrame);
    ASSERT_NE(sourceFrame, nullptr);
    const AVFramePtr paintedSource = Painted(sourceFrame.get(), settings);
    TEffectSettings noImage = settings;
    noImage.ImageFile.clear();
    const AVFramePtr withoutImage = Painted(sourceFrame.get(), noImage);

    for (const auto& [size, width, height] :
         {std::tuple{"640x480", 640, 480}, std::tuple{"480x360", 480, 360}}) {
        SCOPED_TRACE(size);
        // The frame size typed into the main window's box as a user does.
        QComboBox* frameSize = window->Controls().cmbVideoSize;
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        frameSize->setFocus();
        frameSize->lineEdit()->selectAll();
        QTest::keyClicks(frameSize, size);
        QTest::keyClick(frameSize, Qt::Key_Tab);
        ASSERT_EQ(Stored("formatInfo101", "paraVideoSize"), size);
        const int before = finished;
        QTest::mouseClick(window->Controls().BtnStart, Qt::LeftButton);
        ASSERT_TRUE(WaitUntil([&] { return finished > before; }, 600000));

        const std::string effectsOutput = Output("effects");
        const std::string plainOutput = Output("plain");
        const AVFramePtr painted = DecodedFrame(effectsOutput, ComparedFrame);
        const AVFramePtr plain = DecodedFrame(plainOutput, ComparedFrame);
        ASSERT_NE(painted, nullptr) << effectsOutput;
        ASSERT_NE(plain, nullptr) << plainOutput;
        ASSERT_EQ(std::pair(painted->width, painted->height), std::pair(width, height));

        const double plainPsnr = Psnr(plain.get(), Scaled(sourceFrame.get(), width, height).get());
        const double paintedPsnr =
            Psnr(painted.get(), Scaled(paintedSource.get(), width, height).get());
        EXPECT_GT(plainPsnr, 30.0) << "the frames compared are not the same frame";
        EXPECT_NEAR(paintedPsnr, plainPsnr, 1.0);
        // Against the source without effects the painted output is far off: the comparison
        // sees the effects.
        EXPECT_LT(Psnr(painted.get(), Scaled(sourceFrame.get(), width, height).get()),
                  plainPsnr - 6.0);

        // The image is what sets the output apart from the renderer's picture without it.
        const std::optional<QRectF> converted = ChangedBox(
            PictureOf(painted.get()), PictureOf(Scaled(withoutImage.get(), width, height).get()));
        ASSERT_TRUE(converted.has_value());
        EXPECT_NEAR(converted->left(), previewed->left(), 0.02);
        EXPECT_NEAR(converted->top(), previewed->top(), 0.02);
        EXPECT_NEAR(converted->width(), previewed->width(), 0.02);
        EXPECT_NEAR(converted->height(), previewed->height(), 0.02);

        fs::remove(effectsOutput);
        fs::remove(plainOutput);
    }
}

} // namespace
} // namespace tessaro
