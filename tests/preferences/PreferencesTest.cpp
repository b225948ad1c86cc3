// The preferences dialog driven like a user does: what each showing reads, the rule that keeps
// a size and a format, the quality controls, Default, Ok and Cancel, Browse and Open, and the
// work priority that every conversion run then uses.
#include "AppTestSupport.h"
#include "EngineTestSupport.h"
#include "FrmPreference.h"
#include "QtTestApplication.h"
#include "RecordingOpener.h"
#include "converter/Converter.h"
#include "core/IniFile.h"
#include "formats/RunChoices.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTest>

#include <filesystem>

using namespace tessaro;

namespace {

namespace fs = std::filesystem;

using AppEnvironment = test::TQtTestEnvironment<QApplication>;
const bool registered = (AppEnvironment::Register(), true);

class PreferencesTest : public test::TConverterLibrariesTest {
protected:
    void TearDown() override { dialog_.hide(); }

    const TfrmPreferenceControls& C() const { return dialog_.Controls(); }
    void Open() {
        dialog_.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog_));
    }
    // Clicks near the left end, where a check box or radio button has its mark.
    void Click(QAbstractButton* button) {
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(8, button->height() / 2));
    }
    std::string Stored(const char* key) const {
        return TIniFile(settingsPath_).ReadString("settings", key, "(none)");
    }
    std::string SettingsText() const {
        return fs::exists(settingsPath_) ? test::ReadTextFile(settingsPath_) : std::string();
    }

    test::TTempDir temp_;
    const std::string settingsPath_ = (temp_.Path() / "tessaro.ini").string();
    test::TRecordingOpener opener_{temp_.Path()};
    test::TScopedEnv home_{"HOME", temp_.Str().c_str()};
    std::string chooserAnswer_;
    int chooserCalls_ = 0;
    std::string chooserStart_;
    TfrmPreference dialog_{settingsPath_, [this](QWidget*, const std::string& start) {
                               ++chooserCalls_;
                               chooserStart_ = start;
                               return chooserAnswer_;
                           }};
};

TEST_F(PreferencesTest, ShowingReadsTheKeysWithTheirDefaults) {
    Open();
    EXPECT_EQ(dialog_.windowTitle(), QStringLiteral("Preference"));
    EXPECT_EQ(dialog_.size(), QSize(480, 390));
    EXPECT_TRUE(dialog_.isModal());
    EXPECT_EQ(C().edtSnapDirectory->text().toStdString(), temp_.Str() + "/videoconverter");
    EXPECT_TRUE(C().edtSnapDirectory->isReadOnly());
    for (QCheckBox* box : {C().ckFullSize, C().ckSmallSize, C().ckBmp, C().ckJpg}) {
        EXPECT_TRUE(box->isChecked()) << box->objectName().toStdString();
    }
    EXPECT_EQ(C().spedCmp->value(), 30);
    EXPECT_EQ(C().trcCmp->value(), 30);
    EXPECT_TRUE(C().spedCmp->isEnabled());
    EXPECT_EQ(C().priorityItems->checkedButton()->text(), QStringLiteral("Normal"));
    EXPECT_EQ(C().lbl4->buddy(), C().spedCmp);
    EXPECT_TRUE(C().spedCmp->findChild<QLineEdit*>()->isReadOnly()) << "not typed into";
    EXPECT_EQ(SettingsText(), "") << "showing writes nothing";
    dialog_.hide();

    // Stored values, shown exactly as stored, also after a showing that was cancelled.
    test::WriteTextFile(settingsPath_, "[settings]\nSnapOutPutDir=\nsnapFullSize=1\n"
                                       "snapSmallSize=0\nsnapBmp=0\nsnapJpg=1\njpgCmp=64\n"
                                       "priority=2\n");
    Open();
    EXPECT_EQ(C().edtSnapDirectory->text(), QString());
    EXPECT_TRUE(C().ckFullSize->isChecked());
    EXPECT_FALSE(C().ckSmallSize->isChecked());
    EXPECT_FALSE(C().ckBmp->isChecked());
    EXPECT_TRUE(C().ckJpg->isChecked());
    EXPECT_EQ(C().trcCmp->value(), 64);
    EXPECT_EQ(C().priorityItems->checkedButton()->text(), QStringLiteral("Lower"));
    Click(C().ckSmallSize);
    Click(C().btnCancel);
    Open();
    EXPECT_FALSE(C().ckSmallSize->isChecked()) << "the stored 0, not what Cancel left";

    // An empty folder box stores the default folder.
    Click(C().btnOk);
    EXPECT_EQ(Stored("snapOutPutDir"), temp_.Str() + "/videoconverter");

    // A priority outside the four items shows Normal.
    TIniFile(settingsPath_).WriteString("settings", "priority", "7");
    Open();
    EXPECT_EQ(C().priorityItems->checkedId(), 1);
}

TEST_F(PreferencesTest, OneSizeAndOneFormatStayTickedAndJpgSwitchesTheQuality) {
    Open();
    struct TPair {
        QCheckBox* box;
        QCheckBox* partner;
    };
    for (const TPair& pair :
         {TPair{C().ckFullSize, C().ckSmallSize}, TPair{C().ckSmallSize, C().ckFullSize},
          TPair{C().ckBmp, C().ckJpg}, TPair{C().ckJpg, C().ckBmp}}) {
        SCOPED_TRACE(pair.box->objectName().toStdString());
        pair.box->setChecked(true);
        pair.partner->setChecked(true);
        Click(pair.box);
        EXPECT_FALSE(pair.box->isChecked()) << "unticked while the partner is ticked";
        Click(pair.partner);
        EXPECT_TRUE(pair.partner->isChecked()) << "the last one stays ticked";
        Click(pair.box);
        EXPECT_TRUE(pair.box->isChecked());
    }

    Click(C().ckJpg); // BMP is ticked
    EXPECT_FALSE(C().ckJpg->isChecked());
    EXPECT_FALSE(C().spedCmp->isEnabled());
    EXPECT_FALSE(C().trcCmp->isEnabled());
    Click(C().ckJpg);
    EXPECT_TRUE(C().spedCmp->isEnabled());
    EXPECT_TRUE(C().trcCmp->isEnabled());
}

TEST_F(PreferencesTest, QualityControlsShowOneNumberAndOkStoresIt) {
    Open();
    C().trcCmp->setFocus();
    C().trcCmp->setValue(74);
    QTest::keyClick(C().trcCmp, Qt::Key_Right);
    EXPECT_EQ(C().spedCmp->value(), 75);
    C().spedCmp->setFocus();
    QTest::keyClick(C().spedCmp, Qt::Key_Up);
    EXPECT_EQ(C().trcCmp->value(), 76);
    QTest::keyClick(C().spedCmp, Qt::Key_Down);
    EXPECT_EQ(C().trcCmp->value(), 75);
    C().spedCmp->setValue(500);
    EXPECT_EQ(C().trcCmp->value(), 100) << "kept within 1 to 100";
    C().trcCmp->setValue(75);
    Click(C().btnOk);
    EXPECT_FALSE(dialog_.isVisible());
    EXPECT_EQ(Stored("jpgCmp"), "75");
}

TEST_F(PreferencesTest, DefaultPutsItsValuesInAndOnlyOkStoresThem) {
    test::WriteTextFile(settingsPath_, "[settings]\nSnapOutPutDir=/somewhere\npriority=3\n");
    const std::string before = SettingsText();
    Open();
    Click(C().btnDefault);
    EXPECT_EQ(C().edtSnapDirectory->text().toStdString(), temp_.Str() + "/videoconverter");
    EXPECT_TRUE(C().ckBmp->isChecked());
    EXPECT_TRUE(C().ckFullSize->isChecked());
    EXPECT_FALSE(C().ckJpg->isChecked());
    EXPECT_FALSE(C().ckSmallSize->isChecked());
    EXPECT_FALSE(C().spedCmp->isEnabled());
    EXPECT_EQ(C().spedCmp->value(), 20);
    EXPECT_EQ(C().trcCmp->value(), 20);
    EXPECT_EQ(C().priorityItems->checkedId(), 1);
    Click(C().btnCancel);
    EXPECT_EQ(SettingsText(), before) << "Default followed by Cancel stores nothing";

    Open();
    Click(C().btnDefault);
    Click(C().btnOk);
    const TIniFile settings(settingsPath_);
    EXPECT_EQ(Stored("SnapOutPutDir"), temp_.Str() + "/videoconverter");
    EXPECT_EQ(Stored("snapFullSize"), "1");
    EXPECT_EQ(Stored("snapSmallSize"), "0");
    EXPECT_EQ(Stored("snapBmp"), "1");
    EXPECT_EQ(Stored("snapJpg"), "0");
    EXPECT_EQ(Stored("jpgCmp"), "20");
    EXPECT_EQ(Stored("priority"), "1");
}

// The priority picked by its caption is the one every run then works at.
TEST_F(PreferencesTest, ChosenPriorityIsWhatEveryRunUses) {
    const struct {
        const char* caption;
        TThreadPriority expected;
    } cases[] = {{"Idle", tpIdle}, {"Normal", tpNormal}, {"Lower", tpLower}, {"Lowest", tpLowest}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.caption);
        Open();
        QAbstractButton* item = nullptr;
        for (QAbstractButton* button : C().priorityItems->buttons()) {
            item = button->text() == QString::fromUtf8(c.caption) ? button : item;
        }
        ASSERT_NE(item, nullptr);
        Click(item);
        Click(C().btnOk);
        TConverter converter;
        converter.SetThreadPriority(tpHigher);
        ApplyRunPriority(converter, TIniFile(settingsPath_));
        EXPECT_EQ(converter.ThreadPriority(), c.expected);
    }
}

TEST_F(PreferencesTest, BrowseStoresAChosenFolderAtOnceAndOpenShowsTheStoredFolder) {
    Open();
    chooserAnswer_ = ""; // cancelled
    Click(C().btnBrows);
    EXPECT_EQ(chooserCalls_, 1);
    EXPECT_EQ(chooserStart_, temp_.Str() + "/videoconverter") << "starts at the shown folder";
    EXPECT_EQ(Stored("SnapOutPutDir"), "(none)");

    chooserAnswer_ = temp_.Str() + "/pictures";
    Click(C().btnBrows);
    EXPECT_EQ(C().edtSnapDirectory->text().toStdString(), chooserAnswer_);
    EXPECT_EQ(Stored("SnapOutPutDir"), chooserAnswer_);
    Click(C().btnCancel);
    EXPECT_EQ(Stored("SnapOutPutDir"), chooserAnswer_) << "kept although cancelled";

    Open();
    Click(C().btnOpen);
    EXPECT_EQ(opener_.Opened(), std::vector<std::string>{chooserAnswer_});

    // A box of two characters or fewer opens nothing.
    TIniFile(settingsPath_).WriteString("settings", "SnapOutPutDir", "/x");
    dialog_.hide();
    Open();
    Click(C().btnOpen);
    EXPECT_EQ(opener_.Opened(), std::vector<std::string>{chooserAnswer_});
}

TEST_F(PreferencesTest, EveryControlHasANameForScreenReaders) {
    Open();
    const QList<QLabel*> labels = dialog_.findChildren<QLabel*>();
    for (QWidget* widget : dialog_.findChildren<QWidget*>()) {
        if (!widget->isVisible() || widget->focusPolicy() == Qt::NoFocus ||
            widget->parentWidget() == C().spedCmp) {
            continue;
        }
        const auto* button = qobject_cast<QAbstractButton*>(widget);
        const bool named = !widget->accessibleName().isEmpty() ||
                           (button != nullptr && !button->text().isEmpty()) ||
                           std::any_of(labels.begin(), labels.end(),
                                       [&](QLabel* label) { return label->buddy() == widget; });
        EXPECT_TRUE(named) << widget->objectName().toStdString();
    }
}

} // namespace
