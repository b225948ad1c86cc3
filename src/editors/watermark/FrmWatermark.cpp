#include "watermark/FrmWatermark.h"

#include "EditorSource.h"
#include "PositionBar.h"
#include "VideoSurfaceWidget.h"
#include "base/TimeTexts.h"
#include "core/ErrorReport.h"
#include "core/FormWidgets.h"
#include "sources/SourceListModel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFontComboBox>
#include <QGroupBox>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolButton>

#include <utility>

namespace tessaro {

namespace {

// The colour box's entries; the first is what a row without a text shows.
struct TNamedColor {
    const char* Name;
    std::uint32_t Rgb;
};
constexpr TNamedColor StandardColors[] = {
    {"Black", 0x000000},  {"Maroon", 0x800000},  {"Green", 0x008000}, {"Olive", 0x808000},
    {"Navy", 0x000080},   {"Purple", 0x800080},  {"Teal", 0x008080},  {"Gray", 0x808080},
    {"Silver", 0xC0C0C0}, {"Red", 0xFF0000},     {"Lime", 0x00FF00},  {"Yellow", 0xFFFF00},
    {"Blue", 0x0000FF},   {"Fuchsia", 0xFF00FF}, {"Aqua", 0x00FFFF},  {"White", 0xFFFFFF},
};

QColor ToQColor(std::uint32_t rgb) {
    return QColor(int((rgb >> 16) & 0xFF), int((rgb >> 8) & 0xFF), int(rgb & 0xFF));
}

void AddColorItem(QComboBox* box, const QString& name, std::uint32_t rgb) {
    QPixmap swatch(16, 12);
    swatch.fill(ToQColor(rgb));
    box->addItem(QIcon(swatch), name, QVariant::fromValue(rgb));
}

// Selects rgb in the colour box, adding it as a custom entry when it is not listed.
void SelectColor(QComboBox* box, std::uint32_t rgb) {
    int index = box->findData(QVariant::fromValue(rgb));
    if (index < 0) {
        AddColorItem(box, QStringLiteral("Custom"), rgb);
        index = box->count() - 1;
    }
    box->setCurrentIndex(index);
}

std::uint32_t SelectedColor(const QComboBox* box) {
    return box->currentData().value<std::uint32_t>();
}

QLabel* Caption(QWidget* parent, const char* text, QRect geometry, QWidget* buddy) {
    QLabel* label = MakeLabel(parent, text, geometry);
    label->setBuddy(buddy);
    return label;
}

QSlider* MakeSlider(QWidget* parent, const char* name, TWatermarkRange range, QRect geometry) {
    auto* slider = Named(new QSlider(Qt::Horizontal, parent), name);
    slider->setRange(range.Min, range.Max);
    slider->setGeometry(geometry);
    return slider;
}

// A captioned slider with a read-only number box that shows its position.
struct TSliderRow {
    const char* Caption;
    const char* SliderName;
    const char* NumberName;
    const char* NumberAccessibleName;
    TWatermarkRange Range;
    int Top;
    bool Percent; // a "%" after the number box
};

void MakeSliderRow(QWidget* page, const TSliderRow& row, QSlider*& slider, QLineEdit*& number) {
    const int y = row.Top + 22;
    slider = MakeSlider(page, row.SliderName, row.Range, QRect(10, y, 270, 22));
    Caption(page, row.Caption, QRect(10, row.Top, 200, 20), slider);
    number = Named(new QLineEdit(QStringLiteral("0"), page), row.NumberName);
    number->setReadOnly(true);
    number->setAccessibleName(QString::fromUtf8(row.NumberAccessibleName));
    number->setGeometry(286, y, 48, 22);
    if (row.Percent) {
        MakeLabel(page, "%", QRect(338, y, 20, 22));
    }
}

void ShowSlider(QSlider* slider, int value) {
    const QSignalBlocker quiet(slider);
    slider->setValue(value);
}

void ShowNumber(QLineEdit* box, int value) {
    box->setText(QString::number(value));
}

} // namespace

TfrmWaterMark::TfrmWaterMark(TSourceListModel& sources, int row, TWatermarkSetup setup,
                             QWidget* parent)
    : QDialog(parent), sources_(sources), row_(row), setup_(std::move(setup)),
      model_(sources.Record(row)) {
    setObjectName(QStringLiteral("frmWaterMark"));
    setWindowTitle(QStringLiteral("Water Mark"));
    setFixedSize(FormWidth, FormHeight);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    BuildPreview();
    w_.pgcWaterMark = Named(new QTabWidget(this), "pgcWaterMark");
    w_.pgcWaterMark->setGeometry(404, 8, 374, 362);
    auto* text = Named(new QWidget, "tsAddText");
    auto* image = Named(new QWidget, "tsAddImage");
    auto* effect = Named(new QWidget, "tsEffect");
    BuildTextPage(text);
    BuildImagePage(image);
    BuildEffectPage(effect);
    w_.pgcWaterMark->addTab(text, QStringLiteral("Add Text"));
    w_.pgcWaterMark->addTab(image, QStringLiteral("Add Image"));
    w_.pgcWaterMark->addTab(effect, QStringLiteral("Effect"));
    w_.pgcWaterMark->setCurrentWidget(image);
    w_.btnOk = MakeButton(this, "btnOk", "&Ok", QRect(610, 380, 80, 26));
    w_.btnCancel = MakeButton(this, "btnCancel", "&Cancel", QRect(698, 380, 80, 26));
    w_.btnOk->setDefault(true);
    SetTabOrder();

    ShowValues();
    ConnectControls();
    effects_.SetCrop({sources.Record(row).CropTop, sources.Record(row).CropLeft,
                      sources.Record(row).CropBottom, sources.Record(row).CropRight});
    Publish();

    player_.SetOnFileOpen(
        [this](TCustomPlayer*, std::int64_t duration, int, int, int& screenWidth,
               int& screenHeight) { PlayerFileOpen(duration, screenWidth, screenHeight); });
    player_.SetOnPosition(
        [this](TCustomPlayer*, std::int64_t position) { PlayerPosition(position); });
    player_.SetOnState([this](TCustomPlayer*, TPlayState state) { PlayerState(state); });
    player_.SetOnHook(
        [this](TCustomPlayer*, TBitmap& frame, std::int64_t) { effects_.Hook(frame); });
}

TfrmWaterMark::~TfrmWaterMark() {
    StopPlayer();
}

// ---- Controls --------------------------------------------------------------------------

void TfrmWaterMark::BuildPreview() {
    auto* group = Named(new QGroupBox(QStringLiteral("Source Preview"), this), "grpPreview");
    group->setGeometry(8, 8, 392, 362);
    w_.imgPreview = MakePreviewPicture(group, QRect(4, 20, 384, 239));
    w_.trcPreview = MakePreviewPositionBar(group, QRect(4, 264, 384, 22));
    w_.trcPreview->setEnabled(false);
    w_.spdBtnPlay =
        MakeImageButton(group, "spdBtnPlay", QStyle::SP_MediaPlay, "play", QRect(4, 292, 26, 26));
    w_.spdBtnPause = MakeImageButton(group, "spdBtnPause", QStyle::SP_MediaPause, "pause",
                                     QRect(32, 292, 26, 26));
    w_.spdBtnPlay->setEnabled(false);
    w_.spdBtnPause->setEnabled(false);
    w_.lblPTS = Named(MakeLabel(group, "", QRect(66, 292, 160, 22)), "lblPTS");
    w_.lblPTS->setAccessibleName(QStringLiteral("Position"));
    w_.lblLength = Named(MakeLabel(group, "", QRect(228, 292, 160, 22)), "lblLength");
    w_.lblLength->setAccessibleName(QStringLiteral("Duration"));
}

void TfrmWaterMark::BuildTextPage(QWidget* page) {
    w_.cmbFont = Named(new QFontComboBox(page), "cmbFont");
    w_.cmbFont->setGeometry(100, 10, 250, 24);
    Caption(page, "Font:", QRect(10, 10, 88, 24), w_.cmbFont);
    w_.cmbFont->lineEdit()->setAccessibleName(QStringLiteral("Font name"));
    w_.cmbFontSize = Named(new QComboBox(page), "cmbFontSize");
    w_.cmbFontSize->setEditable(true);
    w_.cmbFontSize->setValidator(new QIntValidator(1, 999, w_.cmbFontSize));
    w_.cmbFontSize->setGeometry(100, 40, 80, 24);
    Caption(page, "Font Size:", QRect(10, 40, 88, 24), w_.cmbFontSize);
    w_.cmbFontSize->lineEdit()->setAccessibleName(QStringLiteral("Font size"));
    w_.cmbFontColor = Named(new QComboBox(page), "cmbFontColor");
    w_.cmbFontColor->setGeometry(100, 70, 140, 24);
    Caption(page, "Font Color:", QRect(10, 70, 88, 24), w_.cmbFontColor);
    for (const TNamedColor& color : StandardColors) {
        AddColorItem(w_.cmbFontColor, QString::fromUtf8(color.Name), color.Rgb);
    }

    MakeLabel(page, "Font Style:", QRect(10, 100, 88, 22));
    const auto style = [page](const char* name, const char* caption, int x) {
        auto* box = Named(new QCheckBox(QString::fromUtf8(caption), page), name);
        box->setGeometry(x, 100, 72, 22);
        return box;
    };
    w_.chkBold = style("chkBold", "Bold", 100);
    w_.chkItalic = style("chkItalic", "Italic", 170);
    w_.chkUnderline = style("chkUnderline", "Underline", 100);
    w_.chkUnderline->move(100, 124);
    w_.chkStrikeOut = style("chkStrikeOut", "StrikeOut", 190);
    w_.chkStrikeOut->move(190, 124);

    w_.edtFont = Named(new QLineEdit(page), "edtFont");
    w_.edtFont->setGeometry(10, 154, 350, 40);
    w_.edtFont->setAccessibleName(QStringLiteral("Watermark text"));

    MakeSliderRow(page,
                  {"Horizontal Position:", "trcTextHoriz", "edtTextHoriz", "Text horizontal %",
                   PositionRange, 200, true},
                  w_.trcTextHoriz, w_.edtTextHoriz);
    MakeSliderRow(page,
                  {"Vertical Position:", "trcTextVert", "edtTextVert", "Text vertical %",
                   PositionRange, 248, true},
                  w_.trcTextVert, w_.edtTextVert);
    w_.btnClearText = MakeButton(page, "btnClearText", "Clear Text", QRect(260, 300, 100, 26));
}

void TfrmWaterMark::BuildImagePage(QWidget* page) {
    w_.edtAddImage = Named(new QLineEdit(page), "edtAddImage");
    w_.edtAddImage->setReadOnly(true);
    w_.edtAddImage->setGeometry(60, 10, 210, 24);
    Caption(page, "Image:", QRect(10, 10, 48, 24), w_.edtAddImage);
    w_.btnBrows = MakeButton(page, "btnBrows", "&Browse", QRect(276, 9, 84, 26));

    MakeSliderRow(page,
                  {"Horizontal Position:", "trcImageHoriz", "edtImageHoriz", "Image horizontal %",
                   PositionRange, 44, true},
                  w_.trcImageHoriz, w_.edtImageHoriz);
    MakeSliderRow(page,
                  {"Vertical Position:", "trcImageVert", "edtImageVert", "Image vertical %",
                   PositionRange, 92, true},
                  w_.trcImageVert, w_.edtImageVert);
    MakeSliderRow(page,
                  {"Transparence:", "trcImageAlpha", "edtImageAlpha", "Transparence value",
                   AlphaRange, 140, false},
                  w_.trcImageAlpha, w_.edtImageAlpha);

    w_.rbTransparent1 =
        Named(new QRadioButton(QStringLiteral("Transparent style 1"), page), "rbTransparent1");
    w_.rbTransparent1->setGeometry(10, 196, 200, 22);
    w_.rbTransparent2 =
        Named(new QRadioButton(QStringLiteral("Transparent style 2"), page), "rbTransparent2");
    w_.rbTransparent2->setGeometry(10, 222, 200, 22);
    w_.btnClearImage = MakeButton(page, "btnClearImage", "Clear Image", QRect(260, 300, 100, 26));
}

void TfrmWaterMark::BuildEffectPage(QWidget* page) {
    const auto row = [page](const char* caption, const char* slider, const char* spinner,
                            TWatermarkRange range, int y, QSlider*& track, QSpinBox*& spin) {
        track = MakeSlider(page, slider, range, QRect(10, y + 22, 260, 22));
        Caption(page, caption, QRect(10, y, 200, 20), track);
        QString name = QString::fromUtf8(caption);
        name.chop(1);
        spin = MakeArrowSpinner(page, spinner, range.Min, range.Max,
                                name + QStringLiteral(" value"), QRect(280, y + 22, 72, 24));
    };
    row("Brightness:", "trcBrightness", "spedtBrightness", BrightnessRange, 8, w_.trcBrightness,
        w_.spedtBrightness);
    row("Contrast:", "trcContrast", "spedtContrast", ContrastRange, 56, w_.trcContrast,
        w_.spedtContrast);
    row("Saturation:", "trcSaturation", "spedtSaturation", SaturationRange, 104, w_.trcSaturation,
        w_.spedtSaturation);
    row("Exposure:", "trcExposure", "spedtExposure", ExposureRange, 152, w_.trcExposure,
        w_.spedtExposure);
    w_.chkProcessText =
        Named(new QCheckBox(QStringLiteral("Process  Added Text"), page), "chkProcessText");
    w_.chkProcessText->setGeometry(10, 210, 200, 22);
    w_.chkProcessImage =
        Named(new QCheckBox(QStringLiteral("Process  Added Image"), page), "chkProcessImage");
    w_.chkProcessImage->setGeometry(10, 236, 200, 22);
    w_.btnReset = MakeButton(page, "btnReset", "Reset", QRect(260, 300, 100, 26));
}

void TfrmWaterMark::SetTabOrder() {
    const QWidget* order[] = {
        w_.spdBtnPlay,     w_.spdBtnPause,     w_.trcPreview,     w_.pgcWaterMark,
        w_.cmbFont,        w_.cmbFontSize,     w_.cmbFontColor,   w_.chkBold,
        w_.chkItalic,      w_.chkUnderline,    w_.chkStrikeOut,   w_.edtFont,
        w_.trcTextHoriz,   w_.edtTextHoriz,    w_.trcTextVert,    w_.edtTextVert,
        w_.btnClearText,   w_.edtAddImage,     w_.btnBrows,       w_.trcImageHoriz,
        w_.edtImageHoriz,  w_.trcImageVert,    w_.edtImageVert,   w_.trcImageAlpha,
        w_.edtImageAlpha,  w_.rbTransparent1,  w_.rbTransparent2, w_.btnClearImage,
        w_.trcBrightness,  w_.spedtBrightness, w_.trcContrast,    w_.spedtContrast,
        w_.trcSaturation,  w_.spedtSaturation, w_.trcExposure,    w_.spedtExposure,
        w_.chkProcessText, w_.chkProcessImage, w_.btnReset,       w_.btnOk,
        w_.btnCancel,
    };
    for (std::size_t i = 1; i < std::size(order); ++i) {
        setTabOrder(const_cast<QWidget*>(order[i - 1]), const_cast<QWidget*>(order[i]));
    }
}

// ---- Values ----------------------------------------------------------------------------

// Every control from the model, without reacting to its own change.
void TfrmWaterMark::ShowValues() {
    const TEffectSettings& v = model_.Values();
    const QSignalBlocker quietFont(w_.cmbFont);
    const QSignalBlocker quietSize(w_.cmbFontSize);
    const QSignalBlocker quietColor(w_.cmbFontColor);
    const QSignalBlocker quietText(w_.edtFont);
    if (w_.cmbFontSize->count() == 0) {
        for (const std::string& size : FontSizeItems()) {
            w_.cmbFontSize->addItem(QString::fromStdString(size));
        }
    }
    if (v.WatermarkText.empty()) {
        w_.cmbFont->setCurrentIndex(0);
        w_.cmbFontSize->setCurrentIndex(0);
        w_.cmbFontColor->setCurrentIndex(0);
        w_.edtFont->clear();
    } else {
        w_.cmbFont->setCurrentFont(QFont(QString::fromStdString(v.WatermarkFont.Name)));
        w_.cmbFontSize->setEditText(QString::number(v.WatermarkFont.Size));
        SelectColor(w_.cmbFontColor, model_.ColorBoxColor());
        w_.edtFont->setText(QString::fromStdString(v.WatermarkText));
    }
    for (auto [box, on] : {std::pair{w_.chkBold, v.WatermarkFont.Bold},
                           std::pair{w_.chkItalic, v.WatermarkFont.Italic},
                           std::pair{w_.chkUnderline, v.WatermarkFont.Underline},
                           std::pair{w_.chkStrikeOut, v.WatermarkFont.StrikeOut},
                           std::pair{w_.chkProcessText, v.ProcessText},
                           std::pair{w_.chkProcessImage, v.ProcessImage}}) {
        const QSignalBlocker quiet(box);
        box->setChecked(on);
    }
    for (auto [slider, number, value] :
         {std::tuple{w_.trcTextHoriz, w_.edtTextHoriz, v.TextHorzPercent},
          std::tuple{w_.trcTextVert, w_.edtTextVert, v.TextVertPercent},
          std::tuple{w_.trcImageHoriz, w_.edtImageHoriz, v.ImageHorzPercent},
          std::tuple{w_.trcImageVert, w_.edtImageVert, v.ImageVertPercent},
          std::tuple{w_.trcImageAlpha, w_.edtImageAlpha, v.ImageAlpha}}) {
        ShowSlider(slider, value);
        ShowNumber(number, value);
    }
    for (auto [slider, spinner, value] :
         {std::tuple{w_.trcBrightness, w_.spedtBrightness, v.Brightness},
          std::tuple{w_.trcContrast, w_.spedtContrast, v.Contrast},
          std::tuple{w_.trcSaturation, w_.spedtSaturation, v.Saturation},
          std::tuple{w_.trcExposure, w_.spedtExposure, v.Exposure}}) {
        ShowSlider(slider, value);
        const QSignalBlocker quiet(spinner);
        spinner->setValue(value);
    }
    {
        const QSignalBlocker quiet1(w_.rbTransparent1);
        const QSignalBlocker quiet2(w_.rbTransparent2);
        (v.TransparentStyle == 1 ? w_.rbTransparent1 : w_.rbTransparent2)->setChecked(true);
    }
    w_.edtAddImage->setText(QString::fromStdString(v.ImageFile));
    ShowTextFont();
    ShowEnabling();
}

// The text box shows the watermark text in its own font and colour.
void TfrmWaterMark::ShowTextFont() {
    const TWatermarkFont& font = model_.Values().WatermarkFont;
    QFont shown(QString::fromStdString(font.Name));
    shown.setPointSize(font.Size);
    shown.setBold(font.Bold);
    shown.setItalic(font.Italic);
    shown.setUnderline(font.Underline);
    shown.setStrikeOut(font.StrikeOut);
    w_.edtFont->setFont(shown);
    QPalette palette = w_.edtFont->palette();
    palette.setColor(QPalette::Text, ToQColor(font.Color));
    w_.edtFont->setPalette(palette);
}

void TfrmWaterMark::ShowEnabling() {
    w_.trcTextHoriz->setEnabled(model_.TextPositionEnabled());
    w_.trcTextVert->setEnabled(model_.TextPositionEnabled());
    w_.trcImageHoriz->setEnabled(model_.ImagePositionEnabled());
    w_.trcImageVert->setEnabled(model_.ImagePositionEnabled());
}

// The preview's next frame paints what the controls now show.
void TfrmWaterMark::Publish() {
    effects_.Publish(model_.Values());
}

void TfrmWaterMark::ConnectControls() {
    ConnectTextPage();
    ConnectImagePage();
    ConnectEffectPage();
    connect(w_.spdBtnPlay, &QToolButton::clicked, this, Guarded([this] { spdBtnPlayClick(); }));
    connect(w_.spdBtnPause, &QToolButton::clicked, this, Guarded([this] { spdBtnPauseClick(); }));
    connect(w_.trcPreview, &TPositionBar::released, this, Guarded([this](int value, bool overBar) {
                if (overBar && w_.trcPreview->maximum() > 0) {
                    player_.Seek(
                        0, false,
                        std::int64_t(double(value) / w_.trcPreview->maximum() * double(duration_)));
                }
            }));
    connect(w_.imgPreview, &TVideoSurfaceWidget::picturePainted, this,
            [this] { PreviewPainted(); });
    connect(w_.btnOk, &QPushButton::clicked, this, Guarded([this] { btnOkClick(); }));
    connect(w_.btnCancel, &QPushButton::clicked, this, Guarded([this] { btnCancelClick(); }));
}

void TfrmWaterMark::ConnectTextPage() {
    // Each change goes through the model, then the controls and the preview follow it.
    const auto changed = [this](auto change) {
        return [this, change](auto... value) {
            change(value...);
            ShowTextFont();
            ShowEnabling();
            Publish();
        };
    };
    connect(w_.edtFont, &QLineEdit::textChanged, this, changed([this](const QString& text) {
                model_.SetText(text.toStdString(), w_.cmbFont->currentText().toStdString(),
                               w_.cmbFontSize->currentText().toInt(),
                               SelectedColor(w_.cmbFontColor));
            }));
    connect(
        w_.cmbFont, &QFontComboBox::currentFontChanged, this,
        changed([this](const QFont& font) { model_.SetFontName(font.family().toStdString()); }));
    connect(w_.cmbFontSize, &QComboBox::currentTextChanged, this,
            changed([this](const QString& size) { model_.SetFontSize(size.toInt()); }));
    connect(w_.cmbFontColor, &QComboBox::currentIndexChanged, this,
            changed([this](int) { model_.SetFontColor(SelectedColor(w_.cmbFontColor)); }));
    connect(w_.chkBold, &QCheckBox::clicked, this,
            changed([this](bool on) { model_.SetBold(on); }));
    connect(w_.chkItalic, &QCheckBox::clicked, this,
            changed([this](bool on) { model_.SetItalic(on); }));
    connect(w_.chkUnderline, &QCheckBox::clicked, this,
            changed([this](bool on) { model_.SetUnderline(on); }));
    connect(w_.chkStrikeOut, &QCheckBox::clicked, this,
            changed([this](bool on) { model_.SetStrikeOut(on); }));
    connect(w_.trcTextHoriz, &QSlider::valueChanged, this, changed([this](int value) {
                model_.SetTextHorz(value);
                ShowNumber(w_.edtTextHoriz, value);
            }));
    connect(w_.trcTextVert, &QSlider::valueChanged, this, changed([this](int value) {
                model_.SetTextVert(value);
                ShowNumber(w_.edtTextVert, value);
            }));
    connect(w_.btnClearText, &QPushButton::clicked, this, [this] { btnClearTextClick(); });
}

void TfrmWaterMark::ConnectImagePage() {
    const auto changed = [this](auto change) {
        return [this, change](auto... value) {
            change(value...);
            ShowEnabling();
            Publish();
        };
    };
    const auto slider = [this, changed](QSlider* track, QLineEdit* number, auto set) {
        connect(track, &QSlider::valueChanged, this, changed([this, number, set](int value) {
                    (model_.*set)(value);
                    ShowNumber(number, value);
                }));
    };
    slider(w_.trcImageHoriz, w_.edtImageHoriz, &TWatermarkEditorModel::SetImageHorz);
    slider(w_.trcImageVert, w_.edtImageVert, &TWatermarkEditorModel::SetImageVert);
    slider(w_.trcImageAlpha, w_.edtImageAlpha, &TWatermarkEditorModel::SetImageAlpha);
    connect(w_.edtAddImage, &QLineEdit::textChanged, this,
            changed([this](const QString& file) { model_.SetImageFile(file.toStdString()); }));
    connect(w_.rbTransparent1, &QRadioButton::toggled, this,
            changed([this](bool on) { model_.SetTransparentStyle(on ? 1 : 2); }));
    connect(w_.btnBrows, &QPushButton::clicked, this, Guarded([this] { btnBrowsClick(); }));
    connect(w_.btnClearImage, &QPushButton::clicked, this, [this] { btnClearImageClick(); });
}

void TfrmWaterMark::ConnectEffectPage() {
    // Slider and spinner mirror each other; either one changes the model.
    const auto pair = [this](QSlider* track, QSpinBox* spin, auto set) {
        connect(track, &QSlider::valueChanged, spin, &QSpinBox::setValue);
        connect(spin, &QSpinBox::valueChanged, track, &QSlider::setValue);
        connect(track, &QSlider::valueChanged, this, [this, set](int value) {
            (model_.*set)(value);
            Publish();
        });
    };
    pair(w_.trcBrightness, w_.spedtBrightness, &TWatermarkEditorModel::SetBrightness);
    pair(w_.trcContrast, w_.spedtContrast, &TWatermarkEditorModel::SetContrast);
    pair(w_.trcSaturation, w_.spedtSaturation, &TWatermarkEditorModel::SetSaturation);
    pair(w_.trcExposure, w_.spedtExposure, &TWatermarkEditorModel::SetExposure);
    connect(w_.chkProcessText, &QCheckBox::toggled, this, [this](bool on) {
        model_.SetProcessText(on);
        Publish();
    });
    connect(w_.chkProcessImage, &QCheckBox::toggled, this, [this](bool on) {
        model_.SetProcessImage(on);
        Publish();
    });
    connect(w_.btnReset, &QPushButton::clicked, this, [this] {
        model_.ResetEffects();
        ShowValues();
        Publish();
    });
}

void TfrmWaterMark::btnBrowsClick() {
    QFileDialog dialog(this, QStringLiteral("Open"));
    dialog.setObjectName(QStringLiteral("OpenPictureDialog1"));
    dialog.setOptions(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters({QStringLiteral("Image files (*.bmp *.png *.jpg *.jpeg)"),
                           QStringLiteral("Bitmap files (*.bmp)")});
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        w_.edtAddImage->setText(dialog.selectedFiles().constFirst());
    }
}

void TfrmWaterMark::btnClearImageClick() {
    model_.ClearImage();
    effects_.ForgetImagePosition();
    ShowValues();
    Publish();
}

void TfrmWaterMark::btnClearTextClick() {
    model_.ClearText();
    effects_.ForgetTextPosition();
    ShowValues();
    Publish();
}

// ---- Preview ---------------------------------------------------------------------------

void TfrmWaterMark::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!opened_) {
        opened_ = true;
        // After the window is on screen: opening a DVD title takes a moment.
        QMetaObject::invokeMethod(this, Guarded([this] { OpenPreview(); }), Qt::QueuedConnection);
    }
}

// Plays the row: a file row its file, a DVD title row its title of the DVD location. Without
// the libraries or when the open fails there is no preview; the controls still work.
void TfrmWaterMark::OpenPreview() {
    if (!player_.LibrariesLoaded() && !player_.LoadLibraries(setup_.LibraryFolder)) {
        return;
    }
    const TSourceRow& row = sources_.Row(row_);
    const std::string source = EditorSourceAddress(row, setup_.DvdFolder);
    if (!player_.Open(source, w_.imgPreview, false)) {
        return;
    }
    w_.spdBtnPlay->setEnabled(false);
    w_.spdBtnPause->setEnabled(true);
    setWindowTitle(QString::fromStdString(WatermarkCaption(row.Record.SourceName)));
}

void TfrmWaterMark::PlayerFileOpen(std::int64_t duration, int& screenWidth, int& screenHeight) {
    screenWidth = w_.imgPreview->width();
    screenHeight = w_.imgPreview->height();
    player_.SetHook(true);
    duration_ = duration;
    w_.lblLength->setText(QStringLiteral("Duration:    ") +
                          QString::fromStdString(TimeText(duration)));
    w_.lblPTS->setText(QStringLiteral("0.0"));
    TPositionBar* bar = w_.trcPreview;
    const QSignalBlocker quiet(bar);
    bar->setTickPosition(QSlider::NoTicks);
    bar->setRange(0, bar->width());
    bar->SetThumbVisible(duration > 0);
    bar->setValue(0);
    bar->setEnabled(true);
}

void TfrmWaterMark::PlayerPosition(std::int64_t position) {
    w_.lblPTS->setText(QStringLiteral("Time:    ") +
                       QString::fromStdString(PositionText(position)));
}

void TfrmWaterMark::PlayerState(TPlayState state) {
    if (state != psEnd) {
        return;
    }
    {
        const QSignalBlocker quiet(w_.trcPreview);
        w_.trcPreview->setValue(0);
    }
    player_.Seek(TMediaPlayer::SeekAnyFrame, false, 0);
    player_.Pause();
    w_.spdBtnPlay->setEnabled(true);
    w_.spdBtnPause->setEnabled(false);
    w_.trcPreview->setEnabled(false);
}

// The text and the image are sized for the picture as the panel shows it: its height
// becomes the scale's reference once a picture is on the screen.
void TfrmWaterMark::PreviewPainted() {
    const int height = w_.imgPreview->PictureRect().height();
    if (height > 0 && height != model_.Values().PreviewHeight) {
        model_.SetPreviewHeight(height);
        Publish();
    }
}

void TfrmWaterMark::spdBtnPlayClick() {
    player_.Resume();
    w_.spdBtnPlay->setEnabled(false);
    w_.spdBtnPause->setEnabled(true);
    w_.trcPreview->setEnabled(true);
}

void TfrmWaterMark::spdBtnPauseClick() {
    player_.Pause();
    w_.spdBtnPause->setEnabled(false);
    w_.spdBtnPlay->setEnabled(true);
}

// ---- Ok, Cancel, closing ---------------------------------------------------------------

void TfrmWaterMark::btnOkClick() {
    const TEffectPlacement placed = effects_.Placement();
    sources_.EditRecord(row_, [&](TlvFilesRecord& record) { model_.Store(record, placed); });
    StopPlayer();
    accept();
}

void TfrmWaterMark::btnCancelClick() {
    StopPlayer();
    reject();
}

void TfrmWaterMark::done(int result) {
    StopPlayer();
    QDialog::done(result);
}

// The hook is off and the player's threads have ended: nothing paints or reports any more.
void TfrmWaterMark::StopPlayer() {
    player_.SetHook(false);
    player_.Stop(true);
    player_.SetOnPosition(nullptr);
    player_.SetOnState(nullptr);
    player_.SetOnHook(nullptr);
}

} // namespace tessaro
