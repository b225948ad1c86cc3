#include "ThemeManager.h"

#include "DesktopColorScheme.h"
#include "core/ErrorReport.h"
#include "core/IniFile.h"

#include <QAction>
#include <QMenu>

namespace tessaro {

int StoredThemeIndex(const std::string& settingsPath) {
    return TIniFile(settingsPath).ReadInteger("settings", "skinIndex", SystemTheme);
}

TThemeManager::TThemeManager(QWidget* mainWindow) : window_(mainWindow) {}

TThemeManager::TThemeManager(QWidget* mainWindow, const QDBusConnection& bus)
    : window_(mainWindow), bus_(bus) {}

TThemeManager::~TThemeManager() = default;

TColorScheme TThemeManager::ActiveScheme() const {
    return desktop_ != nullptr ? desktop_->Scheme() : TColorScheme::Light;
}

void TThemeManager::ApplyTheme(int index) {
    if (!IsThemeIndex(index) || window_ == nullptr) {
        return;
    }
    active_ = index;
    FollowDesktop(index == SystemTheme);
    ShowActiveTheme();
}

void TThemeManager::FollowDesktop(bool follow) {
    if (!follow) {
        desktop_.reset();
        return;
    }
    if (desktop_ != nullptr) {
        return;
    }
    desktop_ = std::make_unique<TDesktopColorScheme>(bus_ ? *bus_ : QDBusConnection::sessionBus());
    QObject::connect(desktop_.get(), &TDesktopColorScheme::schemeChanged, desktop_.get(),
                     [this] { ShowActiveTheme(); });
}

void TThemeManager::ShowActiveTheme() {
    if (window_ != nullptr) {
        window_->setStyleSheet(QString::fromStdString(ThemeStyleSheet(active_, ActiveScheme())));
    }
}

void TThemeManager::ApplyStoredTheme(const std::string& settingsPath) {
    ApplyTheme(StoredThemeIndex(settingsPath));
}

TSkinMenu::TSkinMenu(QMenu* skinMenu, QWidget* mainWindow, TThemeManager& themes,
                     std::string settingsPath)
    : QObject(skinMenu), window_(mainWindow), themes_(themes),
      settingsPath_(std::move(settingsPath)) {
    for (int i = 0; i < ThemeCount; ++i) {
        QAction* item = skinMenu->addAction(QString::fromUtf8(ThemeName(i)));
        // Skin11 .. Skin81: the theme number followed by 1.
        item->setObjectName(QStringLiteral("Skin%1").arg(i + 1) + QLatin1Char('1'));
        item->setCheckable(true);
        connect(item, &QAction::triggered, this, Guarded([this, i] { ChooseTheme(i); }));
        items_[std::size_t(i)] = item;
    }
    connect(skinMenu, &QMenu::aboutToShow, this, &TSkinMenu::MenuOpening);
    MarkChecked(themes_.ActiveTheme());
}

void TSkinMenu::MarkChecked(int index) {
    checked_ = IsThemeIndex(index) ? index : DesignTimeTheme;
    for (int i = 0; i < ThemeCount; ++i) {
        items_[std::size_t(i)]->setChecked(i == checked_);
    }
}

void TSkinMenu::MenuOpening() {
    MarkChecked(StoredThemeIndex(settingsPath_));
}

void TSkinMenu::ChooseTheme(int index) {
    if (index == checked_) {
        // Triggering toggled the item; the chosen theme stays the checked one.
        MarkChecked(index);
        return;
    }
    if (window_ != nullptr) {
        window_->hide();
    }
    themes_.ApplyTheme(index);
    MarkChecked(index);
    if (window_ != nullptr) {
        window_->show();
    }
    TIniFile(settingsPath_).WriteInteger("settings", "skinIndex", index);
}

} // namespace tessaro
