// The watermark and effects editor driven like a user does, previewing a real file: what a
// showing shows, the buttons, Ok and Cancel, reopening, and the preview following the
// controls through the player's hook.
#include "DVDPlugIn.h"
#include "TestPaths.h"
#include "VideoSurfaceWidget.h"
#include "WindowTestSupport.h"
#include "watermark/FrmWatermark.h"
#include "window/QtMainThreadDispatcher.h"

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QFontComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolButton>

using tessaro::test::FixtureDir;
using tessaro::test::LibAvDir;

namespace tessaro {
namespace {

namespace fs = std::filesystem;
using test::WaitUntil;

const bool registered = (test::TAppEnvironment::Register(), true);
const std::string DvdFolder = FixtureDir() + "/dvd";

std::string Fixture(const char* name) {
    return FixtureDir() + "/" + name;
}

// The mean of the picture's grey values.
int MeanValue(const QImage& image) {
    if (image.isNull()) {
        return -1;
    }
    long long sum = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            sum += qGray(image.pixel(x, y));
        }
    }
    return int(sum / (qint64(image.width()) * image.height()));
}

class WatermarkEditor : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(LoadDVDPlugIn(LibAvDir())); }
    void SetUp() override {
        sources_.AddFileRows({{Fixture("h264_aac.mp4"), 0, 0, "lbox"}});
        sources_.SetCurrent(0);
    }

    std::unique_ptr<TfrmWaterMark> Open(int row = 0) {
        auto editor =
            std::make_unique<TfrmWaterMark>(sources_, row, TWatermarkSetup{LibAvDir(), DvdFolder});
        editor->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(editor.get()));
        return editor;
    }
    // Waits until the editor's preview has painted a picture that its hook has drawn on.
    static bool Previewing(TfrmWaterMark& editor) {
        return WaitUntil([&] { return !editor.Controls().imgPreview->Picture().isNull(); });
    }
    // A 40 x 20 PNG: opaque red with a transparent right half.
    std::string MakePng() const {
        QImage image(40, 20, QImage::Format_ARGB32);
        image.fill(QColor(255, 0, 0, 255));
        for (int y = 0; y < 20; ++y) {
            for (int x = 20; x < 40; ++x) {
                image.setPixelColor(x, y, QColor(0, 0, 0, 0));
            }
        }
        const std::string path = (temp_.Path() / "logo.png").string();
        EXPECT_TRUE(image.save(QString::fromStdString(path)));
        return path;
    }
    static void ChooseImage(TfrmWaterMark& editor, const std::string& path) {
        test::WhenModalOpens([path](QWidget* dialog) {
            auto* chooser = qobject_cast<QFileDialog*>(dialog);
            ASSERT_NE(chooser, nullptr);
            test::ChooseInFileDialog(*chooser, path);
        });
        QTest::mouseClick(editor.Controls().btnBrows, Qt::LeftButton);
    }

    TQtMainThreadDispatcher dispatcher_;
    test::TTempDir temp_;
    TSourceListModel sources_;
};

TEST_F(WatermarkEditor, ANewRowOpensOnTheImagePageWithItsDefaultsAndPlaysTheRowsFile) {
    auto editor = Open();
    const TWatermarkControls& w = editor->Controls();
    EXPECT_EQ(w.pgcWaterMark->tabText(w.pgcWaterMark->currentIndex()), "Add Image");
    for (int page = 0; page < 3; ++page) {
        EXPECT_TRUE(w.pgcWaterMark->isTabEnabled(page));
    }
    for (QSlider* slider : {w.trcTextHoriz, w.trcTextVert, w.trcImageHoriz, w.trcImageVert}) {
        EXPECT_EQ(slider->value(), 0) << slider->objectName().toStdString();
        EXPECT_FALSE(slider->isEnabled()) << slider->objectName().toStdString();
    }
    EXPECT_EQ(w.edtTextHoriz->text(), "0");
    EXPECT_EQ(w.trcImageAlpha->value(), 168);
    EXPECT_EQ(w.edtImageAlpha->text(), "168");
    EXPECT_TRUE(w.trcImageAlpha->isEnabled());
    EXPECT_TRUE(w.rbTransparent1->isChecked());
    EXPECT_EQ(std::tuple(w.spedtBrightness->text(), w.spedtContrast->text(),
                         w.spedtSaturation->text(), w.spedtExposure->text()),
              std::tuple(QString("255"), QString("0"), QString("255"), QString("0")));
    EXPECT_FALSE(w.chkProcessText->isChecked());
    EXPECT_FALSE(w.chkProcessImage->isChecked());
    EXPECT_EQ(w.edtFont->text(), "");
    EXPECT_EQ(w.edtAddImage->text(), "");
    EXPECT_EQ(w.cmbFontSize->count(), 64);
    EXPECT_EQ(w.cmbFontSize->currentText(), "7");
    EXPECT_EQ(w.cmbFontColor->currentText(), "Black");

    ASSERT_TRUE(Previewing(*editor)) << editor->Player().LastError();
    EXPECT_EQ(editor->Player().FileName(), Fixture("h264_aac.mp4"));
    EXPECT_EQ(editor->windowTitle().toStdString(), "Water Mark  " + Fixture("h264_aac.mp4"));
    EXPECT_TRUE(w.lblLength->text().startsWith("Duration:    00:00:"));
    EXPECT_FALSE(w.spdBtnPlay->isEnabled());
    EXPECT_TRUE(w.spdBtnPause->isEnabled());
    // The text and the image are sized for the picture as the panel shows it.
    EXPECT_TRUE(WaitUntil([&] {
        return editor->Model().Values().PreviewHeight == w.imgPreview->PictureRect().height();
    }));

    QTest::mouseClick(w.spdBtnPause, Qt::LeftButton);
    EXPECT_TRUE(w.spdBtnPlay->isEnabled());
    EXPECT_FALSE(w.spdBtnPause->isEnabled());
    QTest::mouseClick(w.spdBtnPlay, Qt::LeftButton);
    EXPECT_FALSE(w.spdBtnPlay->isEnabled());
    EXPECT_FALSE(editor->Player().Paused());
}

TEST_F(WatermarkEditor, OkStoresWhatTheControlsShowAndAReopenedEditorShowsItAgain) {
    const std::string png = MakePng();
    {
        auto editor = Open();
        const TWatermarkControls& w = editor->Controls();
        ChooseImage(*editor, png);
        ASSERT_TRUE(WaitUntil([&] { return w.edtAddImage->text().toStdString() == png; }));
        EXPECT_TRUE(w.trcImageHoriz->isEnabled());
        w.trcImageHoriz->setValue(60);
        EXPECT_EQ(w.edtImageHoriz->text(), "60");
        w.trcImageVert->setValue(30);
        w.trcImageAlpha->setValue(200);
        QTest::mouseClick(w.rbTransparent2, Qt::LeftButton);

        w.pgcWaterMark->setCurrentIndex(0);
        QTest::keyClicks(w.edtFont, "Tessaro");
        EXPECT_TRUE(w.trcTextHoriz->isEnabled());
        w.cmbFontSize->setCurrentText("24");
        w.cmbFontColor->setCurrentIndex(w.cmbFontColor->findText("White"));
        QTest::mouseClick(w.chkBold, Qt::LeftButton);
        w.trcTextHoriz->setValue(10);
        w.trcTextVert->setValue(80);
        EXPECT_EQ(w.edtFont->font().pointSize(), 24);
        EXPECT_TRUE(w.edtFont->font().bold());

        // The spinners take no typing: the arrow keys step them, and the slider follows.
        w.pgcWaterMark->setCurrentIndex(2);
        QTest::keyClicks(w.spedtBrightness, "9");
        EXPECT_EQ(w.spedtBrightness->value(), 255);
        QTest::keyClick(w.spedtBrightness, Qt::Key_Up);
        EXPECT_EQ(w.trcBrightness->value(), 256);
        w.trcContrast->setValue(-30);
        EXPECT_EQ(w.spedtContrast->value(), -30);
        w.spedtSaturation->setValue(300);
        EXPECT_EQ(w.trcSaturation->value(), 300);
        w.trcExposure->setValue(40);
        QTest::mouseClick(w.chkProcessText, Qt::LeftButton);
        ASSERT_TRUE(Previewing(*editor));
        // Ok stores the positions of a frame painted with these values (the image at 60 %
        // of the 320 pixels, the text low in the picture).
        ASSERT_TRUE(WaitUntil([&] {
            const TEffectPlacement placed = editor->Placement();
            return placed.TextPlaced && placed.TextY > 0 && placed.ImageX == 192;
        }));

        QTest::mouseClick(w.btnOk, Qt::LeftButton);
        EXPECT_FALSE(editor->isVisible());
    }
    const TlvFilesRecord& record = sources_.Record(0);
    EXPECT_EQ(record.WatermarkText, "Tessaro");
    EXPECT_EQ(record.WatermarkFont.Size, 24);
    EXPECT_EQ(record.WatermarkFont.Color, 0xFFFFFFu);
    EXPECT_TRUE(record.WatermarkFont.Bold);
    EXPECT_EQ(std::tuple(record.TextHorzPercent, record.TextVertPercent), std::tuple(10, 80));
    EXPECT_GT(record.TextY, 0); // measured on the previewed picture
    EXPECT_EQ(record.ImageX, 192);
    EXPECT_EQ(record.ImageFile, png);
    EXPECT_EQ(std::tuple(record.ImageHorzPercent, record.ImageVertPercent, record.ImageAlpha,
                         record.TransparentStyle),
              std::tuple(60, 30, 200, 2));
    EXPECT_EQ(std::tuple(record.Brightness, record.Contrast, record.Saturation, record.Exposure,
                         record.ProcessText, record.ProcessImage),
              std::tuple(256, -30, 300, 40, true, false));

    // Reopened: the stored values; Cancel keeps the record as it was.
    const TlvFilesRecord stored = record;
    auto editor = Open();
    const TWatermarkControls& w = editor->Controls();
    EXPECT_EQ(w.edtFont->text(), "Tessaro");
    EXPECT_EQ(w.cmbFontSize->currentText(), "24");
    EXPECT_EQ(w.cmbFontColor->currentText(), "White");
    EXPECT_TRUE(w.chkBold->isChecked());
    EXPECT_EQ(std::tuple(w.trcTextHoriz->value(), w.trcTextVert->value()), std::tuple(10, 80));
    EXPECT_EQ(w.edtAddImage->text().toStdString(), png);
    EXPECT_EQ(
        std::tuple(w.trcImageHoriz->value(), w.trcImageVert->value(), w.edtImageAlpha->text()),
        std::tuple(60, 30, QString("200")));
    EXPECT_TRUE(w.rbTransparent2->isChecked());
    EXPECT_EQ(std::tuple(w.spedtBrightness->value(), w.spedtContrast->value(),
                         w.spedtSaturation->value(), w.spedtExposure->value()),
              std::tuple(256, -30, 300, 40));
    EXPECT_TRUE(w.chkProcessText->isChecked());
    w.trcImageAlpha->setValue(5);
    QTest::mouseClick(w.btnClearText, Qt::LeftButton);
    QTest::mouseClick(w.btnReset, Qt::LeftButton);
    QTest::mouseClick(w.btnCancel, Qt::LeftButton);
    EXPECT_FALSE(editor->isVisible());
    EXPECT_EQ(sources_.Record(0).ImageAlpha, stored.ImageAlpha);
    EXPECT_EQ(sources_.Record(0).WatermarkText, stored.WatermarkText);
    EXPECT_EQ(sources_.Record(0).Brightness, stored.Brightness);
}

TEST_F(WatermarkEditor, ClearAndResetButtonsSetTheirValues) {
    sources_.EditRecord(0, [](TlvFilesRecord& record) {
        record.WatermarkText = "x";
        record.TextHorzPercent = 50;
        record.ImageFile = "/nowhere/logo.bmp";
        record.ImageHorzPercent = 40;
        record.ImageAlpha = 10;
        record.Brightness = 0;
        record.Exposure = 300;
        record.ProcessImage = true;
    });
    auto editor = Open();
    const TWatermarkControls& w = editor->Controls();
    QTest::mouseClick(w.btnClearImage, Qt::LeftButton);
    EXPECT_EQ(w.edtAddImage->text(), "");
    EXPECT_EQ(w.trcImageHoriz->value(), 0);
    EXPECT_FALSE(w.trcImageHoriz->isEnabled());
    EXPECT_EQ(w.edtImageAlpha->text(), "125");
    EXPECT_TRUE(w.trcImageAlpha->isEnabled());

    w.pgcWaterMark->setCurrentIndex(0);
    QTest::mouseClick(w.btnClearText, Qt::LeftButton);
    EXPECT_EQ(w.edtFont->text(), "");
    EXPECT_EQ(w.edtTextHoriz->text(), "0");
    EXPECT_FALSE(w.trcTextHoriz->isEnabled());

    w.pgcWaterMark->setCurrentIndex(2);
    QTest::mouseClick(w.btnReset, Qt::LeftButton);
    EXPECT_EQ(std::tuple(w.spedtBrightness->text(), w.spedtExposure->text(),
                         w.trcBrightness->value(), w.chkProcessImage->isChecked()),
              std::tuple(QString("255"), QString("0"), 255, false));

    QTest::mouseClick(w.btnOk, Qt::LeftButton);
    const TlvFilesRecord& record = sources_.Record(0);
    EXPECT_EQ(std::tuple(record.WatermarkText, record.ImageFile, record.ImageAlpha,
                         record.TextHorzPercent, record.Brightness, record.Exposure),
              std::tuple(std::string(), std::string(), 125, 0, 255, 0));
}

TEST_F(WatermarkEditor, ThePreviewPaintsEachChangeOfTheControls) {
    auto editor = Open();
    const TWatermarkControls& w = editor->Controls();
    ASSERT_TRUE(Previewing(*editor)) << editor->Player().LastError();
    const auto mean = [&] { return MeanValue(w.imgPreview->Picture()); };
    ASSERT_TRUE(WaitUntil([&] { return mean() > 40; })) << mean();

    // Brightness 0 turns the picture black; Reset brings it back.
    w.pgcWaterMark->setCurrentIndex(2);
    w.trcBrightness->setValue(0);
    EXPECT_TRUE(WaitUntil([&] { return mean() < 5; })) << mean();
    QTest::mouseClick(w.btnReset, Qt::LeftButton);
    EXPECT_TRUE(WaitUntil([&] { return mean() > 40; })) << mean();

    // The image follows its sliders on the hook's picture (the source's 320 x 240).
    ChooseImage(*editor, MakePng());
    ASSERT_TRUE(WaitUntil([&] { return !w.edtAddImage->text().isEmpty(); }));
    w.trcImageHoriz->setValue(50);
    w.trcImageVert->setValue(25);
    EXPECT_TRUE(WaitUntil([&] {
        const TEffectPlacement placed = editor->Placement();
        return placed.ImageX == 160 && placed.ImageY == 60;
    })) << editor->Placement().ImageX
        << "," << editor->Placement().ImageY;
}

TEST_F(WatermarkEditor, EveryControlHasANameForAssistiveTechnology) {
    auto editor = Open();
    for (int page = 0; page < 3; ++page) {
        editor->Controls().pgcWaterMark->setCurrentIndex(page);
        for (QWidget* control : editor->findChildren<QWidget*>()) {
            const bool named =
                qobject_cast<QAbstractButton*>(control) || qobject_cast<QComboBox*>(control) ||
                qobject_cast<QAbstractSlider*>(control) || qobject_cast<QLineEdit*>(control) ||
                qobject_cast<QAbstractSpinBox*>(control);
            if (!named || !control->isVisible()) {
                continue;
            }
            EXPECT_TRUE(test::HasSpokenName(control))
                << control->objectName().toStdString() << " (" << control->metaObject()->className()
                << ") in "
                << (control->parent() ? control->parent()->objectName().toStdString() : "");
        }
    }
}

TEST_F(WatermarkEditor, ADvdRowPreviewsItsTitle) {
    ASSERT_EQ(DVDEnumTitle(DvdFolder), 3);
    TlvFilesRecord record;
    record.TitleIndex = 1;
    ASSERT_TRUE(DVDGetTitle(1, record.TitleInfo));
    record.SourceName = std::string(60, 'n') + ".vob";
    auto editor = Open(sources_.AddDvdTitleRow({"DVD Title 2"}, record));
    ASSERT_TRUE(Previewing(*editor)) << editor->Player().LastError();
    EXPECT_NE(editor->Player().FileName().find("opendvd:" + DvdFolder + "|Title=2"),
              std::string::npos)
        << editor->Player().FileName();
    EXPECT_EQ(editor->windowTitle().toStdString(),
              "Water Mark   " + std::string(50, 'n') + "...vob  ");
}

} // namespace
} // namespace tessaro
