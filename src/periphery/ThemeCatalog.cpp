#include "ThemeCatalog.h"

#include <cassert>

namespace tessaro {

const std::array<TThemeColors, ThemeCount>& BuiltInThemes() {
    static const std::array<TThemeColors, ThemeCount> themes{{
        {"Default", "#3d6fb6", "#e8eef7", "#f4f7fc", "#ffffff", 0xE2E6F6},
        {"Gray", "#6e6e6e", "#e6e6e6", "#f2f2f2", "#ffffff", 0xECECEC},
        {"Orange", "#e07b1a", "#fbeedd", "#fdf6ec", "#ffffff", 0xF8F2E0},
        {"Purple", "#7a4fa8", "#efe8f6", "#f7f3fb", "#ffffff", 0xF6E6F1},
        {"Red", "#c0392b", "#f8e6e4", "#fcf2f1", "#ffffff", 0xF7E1E1},
        {"Green", "#3f8f3f", "#e5f2e5", "#f2f9f2", "#ffffff", 0xE2F7E1},
        {"Light blue", "#3aa6d8", "#e3f3fb", "#f1f9fd", "#ffffff", 0xE1F0F7},
    }};
    return themes;
}

bool IsThemeIndex(int index) {
    return index >= 0 && index < ThemeCount;
}

unsigned RowStripeColor(int index) {
    return BuiltInThemes()[std::size_t(IsThemeIndex(index) ? index : 0)].rowStripe;
}

std::string ThemeStyleSheet(int index) {
    assert(IsThemeIndex(index));
    const TThemeColors& c = BuiltInThemes()[std::size_t(index)];
    const std::string stripe = c.stripe;
    const std::string face = c.face;
    const std::string button = c.button;
    const std::string text = c.text;
    return "QMainWindow, QDialog { background: " + face +
           "; }\n"
           "QMenuBar { background: " +
           stripe + "; color: " + text +
           "; }\n"
           "QMenuBar::item { background: transparent; padding: 3px 8px; }\n"
           "QMenuBar::item:selected { background: " +
           face +
           "; color: black; }\n"
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

} // namespace tessaro
