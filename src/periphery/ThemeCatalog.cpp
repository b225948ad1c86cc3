#include "ThemeCatalog.h"

#include <array>
#include <cassert>

namespace tessaro {

namespace {

constexpr std::array<const char*, ThemeCount> names{"Default", "Gray",  "Orange",     "Purple",
                                                    "Red",     "Green", "Light blue", "System"};

// The themes with fixed colours, indexes 0..6.
constexpr std::array<TThemeColors, SystemTheme> fixedThemes{{
    {"#3d6fb6", "#e8eef7", "#f4f7fc", "#ffffff", 0xE2E6F6},
    {"#6e6e6e", "#e6e6e6", "#f2f2f2", "#ffffff", 0xECECEC},
    {"#e07b1a", "#fbeedd", "#fdf6ec", "#ffffff", 0xF8F2E0},
    {"#7a4fa8", "#efe8f6", "#f7f3fb", "#ffffff", 0xF6E6F1},
    {"#c0392b", "#f8e6e4", "#fcf2f1", "#ffffff", 0xF7E1E1},
    {"#3f8f3f", "#e5f2e5", "#f2f9f2", "#ffffff", 0xE2F7E1},
    {"#3aa6d8", "#e3f3fb", "#f1f9fd", "#ffffff", 0xE1F0F7},
}};

// System under a dark desktop. The source list draws its own light rows, so its stripe
// stays the Default one.
constexpr TThemeColors systemDark{"#4f83cc", "#2b2d30", "#3a3d41", "#ffffff", 0xE2E6F6, "#e6e6e6"};

// Colours of the dark look that the fixed themes leave to the platform.
constexpr const char* darkBase = "#1e1f22";       // edit fields, progress bars
constexpr const char* darkFrame = "#5b5e63";      // field and menu frames
constexpr const char* darkDisabled = "#808388";   // disabled texts
constexpr const char* darkIconGround = "#b4b9c0"; // behind the style's dark button icons

// The rules every theme sets: window face, menu bar, menus, buttons, group boxes, headers.
std::string CommonRules(const TThemeColors& c) {
    const std::string stripe = c.stripe;
    const std::string face = c.face;
    const std::string button = c.button;
    const std::string text = c.text;
    const std::string faceText = c.faceText;
    return "QMainWindow, QDialog { background: " + face +
           "; }\n"
           "QMenuBar { background: " +
           stripe + "; color: " + text +
           "; }\n"
           "QMenuBar::item { background: transparent; padding: 3px 8px; }\n"
           "QMenuBar::item:selected { background: " +
           face + "; color: " + faceText +
           "; }\n"
           "QMenu::item:selected { background: " +
           stripe + "; color: " + text +
           "; }\n"
           "QPushButton { background: " +
           button + "; border: 1px solid " + stripe +
           "; border-radius: 3px; padding: 3px 8px; }\n"
           "QPushButton:hover { background: " +
           face +
           "; }\n"
           "QPushButton:pressed { background: " +
           stripe + "; color: " + text +
           "; }\n"
           "QPushButton:disabled { color: #8a8a8a; border-color: #b0b0b0; }\n"
           "QGroupBox { border: 1px solid " +
           stripe +
           "; border-radius: 3px; margin-top: 8px; }\n"
           "QGroupBox::title { subcontrol-origin: margin; left: 8px; padding: 0 3px; color: " +
           stripe +
           "; }\n"
           "QHeaderView::section { background: " +
           stripe + "; color: " + text + "; border: 0; border-right: 1px solid " + face +
           "; padding: 2px 4px; }\n";
}

// The dark look also colours what the light themes leave to the platform's light palette:
// texts on the face, edit fields, menus, tabs, progress bars and tooltips. The style's
// media and arrow icons are dark, so image buttons get a light ground. The lists the
// program draws itself (source list, format chooser, parameter lists) keep their light
// rows and black texts, so item views are left alone.
std::string DarkSurfaceRules(const TThemeColors& c) {
    const std::string stripe = c.stripe;
    const std::string face = c.face;
    const std::string button = c.button;
    const std::string faceText = c.faceText;
    const std::string base = darkBase;
    const std::string frame = darkFrame;
    const std::string disabled = darkDisabled;
    const std::string iconGround = darkIconGround;
    return "QLabel, QCheckBox, QRadioButton, QPushButton { color: " + faceText +
           "; }\n"
           "QLabel:disabled, QCheckBox:disabled, QRadioButton:disabled { color: " +
           disabled +
           "; }\n"
           "QToolButton { background: " +
           iconGround + "; border: 1px solid " + frame +
           "; border-radius: 3px; }\n"
           "QToolButton:hover { background: #d2d6db; }\n"
           "QToolButton:pressed { background: " +
           stripe +
           "; }\n"
           "QToolButton:disabled { background: " +
           frame +
           "; }\n"
           "QMenu { background: " +
           face + "; color: " + faceText + "; border: 1px solid " + frame +
           "; }\n"
           "QMenu::item:disabled { color: " +
           disabled +
           "; }\n"
           "QLineEdit, QComboBox, QSpinBox, QPlainTextEdit, QTextEdit { background: " +
           base + "; color: " + faceText + "; border: 1px solid " + frame +
           "; border-radius: 2px; selection-background-color: " + stripe +
           "; selection-color: #ffffff; }\n"
           "QLineEdit:disabled, QComboBox:disabled, QSpinBox:disabled { color: " +
           disabled +
           "; }\n"
           "QTabWidget::pane { border: 1px solid " +
           frame +
           "; }\n"
           "QTabBar::tab { background: " +
           button + "; color: " + faceText + "; border: 1px solid " + frame +
           "; padding: 3px 10px; }\n"
           "QTabBar::tab:selected { background: " +
           face +
           "; }\n"
           "QProgressBar { background: " +
           base + "; color: " + faceText + "; border: 1px solid " + frame +
           "; border-radius: 2px; text-align: center; }\n"
           "QProgressBar::chunk { background: " +
           stripe +
           "; }\n"
           "QToolTip { background: " +
           button + "; color: " + faceText + "; border: 1px solid " + frame + "; }\n";
}

} // namespace

bool IsThemeIndex(int index) {
    return index >= 0 && index < ThemeCount;
}

const char* ThemeName(int index) {
    assert(IsThemeIndex(index));
    return names[std::size_t(index)];
}

const TThemeColors& ThemeColors(int index, TColorScheme scheme) {
    assert(IsThemeIndex(index));
    if (index != SystemTheme) {
        return fixedThemes[std::size_t(index)];
    }
    return scheme == TColorScheme::Dark ? systemDark : fixedThemes[0];
}

unsigned RowStripeColor(int index) {
    return ThemeColors(IsThemeIndex(index) ? index : 0, TColorScheme::Light).rowStripe;
}

std::string ThemeStyleSheet(int index, TColorScheme scheme) {
    const TThemeColors& c = ThemeColors(index, scheme);
    const bool dark = index == SystemTheme && scheme == TColorScheme::Dark;
    return dark ? CommonRules(c) + DarkSurfaceRules(c) : CommonRules(c);
}

} // namespace tessaro
