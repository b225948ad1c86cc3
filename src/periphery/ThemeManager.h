// The main window's theme manager and its "&Skin" menu.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <array>
#include <memory>
#include <optional>
#include <string>

#include "ThemeCatalog.h"

class QAction;
class QMenu;

namespace tessaro {

class TDesktopColorScheme;

// Holds the active theme of the main window. The style sheet is set on the main
// window, so every window and menu it owns takes the same theme when shown. While
// System is active, the desktop's colour scheme is followed and the sheet changes with it.
class TThemeManager {
public:
    // The desktop's scheme is read on the session bus.
    explicit TThemeManager(QWidget* mainWindow);
    // The desktop's scheme is read on bus.
    TThemeManager(QWidget* mainWindow, const QDBusConnection& bus);
    ~TThemeManager();
    TThemeManager(const TThemeManager&) = delete;
    TThemeManager& operator=(const TThemeManager&) = delete;

    // DesignTimeTheme until a built-in theme has been applied.
    int ActiveTheme() const { return active_; }
    // The scheme the active theme shows: the desktop's under System, light otherwise.
    TColorScheme ActiveScheme() const;
    // Applies built-in theme index; an index outside 0..7 changes nothing.
    void ApplyTheme(int index);
    // Start-up: the theme stored as "settings"/"skinIndex" (default System).
    void ApplyStoredTheme(const std::string& settingsPath);

private:
    void FollowDesktop(bool follow);
    void ShowActiveTheme();

    QPointer<QWidget> window_;
    std::optional<QDBusConnection> bus_;           // none: the session bus
    std::unique_ptr<TDesktopColorScheme> desktop_; // while System is active
    int active_ = DesignTimeTheme;
};

// Reads the stored theme index (default System).
int StoredThemeIndex(const std::string& settingsPath);

// Fills the "&Skin" menu with one radio item per theme (Skin11 .. Skin81) and runs it:
// opening the menu checks the stored theme; choosing another theme hides the main
// window, applies the theme, shows the window again and stores the index.
class TSkinMenu : public QObject {
    Q_OBJECT
public:
    TSkinMenu(QMenu* skinMenu, QWidget* mainWindow, TThemeManager& themes,
              std::string settingsPath);

    QAction* Item(int index) const { return items_[std::size_t(index)]; }
    int CheckedIndex() const { return checked_; }
    void ChooseTheme(int index);

private:
    void MarkChecked(int index);
    void MenuOpening();

    QPointer<QWidget> window_;
    TThemeManager& themes_;
    std::string settingsPath_;
    std::array<QAction*, ThemeCount> items_{};
    int checked_ = DesignTimeTheme;
};

} // namespace tessaro
