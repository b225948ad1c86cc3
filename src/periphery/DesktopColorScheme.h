// The desktop's colour scheme as the desktop portal reports it on a D-Bus connection.
#pragma once

#include "ColorScheme.h"

#include <QDBusConnection>
#include <QDBusVariant>
#include <QObject>

namespace tessaro {

// Reads org.freedesktop.appearance "color-scheme" through the portal's Settings
// interface once, then follows its SettingChanged signal for as long as it lives.
// Without a portal on the bus, or without a bus, the scheme is light and stays so.
class TDesktopColorScheme : public QObject {
    Q_OBJECT
public:
    explicit TDesktopColorScheme(const QDBusConnection& bus);

    TColorScheme Scheme() const { return scheme_; }

signals:
    void schemeChanged(tessaro::TColorScheme scheme);

private slots:
    void SettingChanged(const QString& nameSpace, const QString& key, const QDBusVariant& value);

private:
    TColorScheme ReadScheme();

    QDBusConnection bus_;
    TColorScheme scheme_ = TColorScheme::Light;
};

} // namespace tessaro
