#include "DesktopColorScheme.h"

#include <QDBusMessage>
#include <QDBusVariant>

namespace tessaro {

namespace {

const QString PortalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString PortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString SettingsInterface = QStringLiteral("org.freedesktop.portal.Settings");
const QString AppearanceNamespace = QStringLiteral("org.freedesktop.appearance");
const QString ColorSchemeKey = QStringLiteral("color-scheme");

// A portal that the bus still has to start answers within this time, or the scheme is light.
constexpr int ReadTimeoutMs = 3000;

// Read answers a variant holding the value's variant; SettingChanged sends the value's
// variant directly. Both come down to the number inside.
TColorScheme SchemeOf(QVariant value) {
    while (value.metaType() == QMetaType::fromType<QDBusVariant>()) {
        value = qvariant_cast<QDBusVariant>(value).variant();
    }
    bool number = false;
    const uint scheme = value.toUInt(&number);
    return number ? ColorSchemeFromPortalValue(scheme) : TColorScheme::Light;
}

} // namespace

TDesktopColorScheme::TDesktopColorScheme(const QDBusConnection& bus) : bus_(bus) {
    // QtDBus finds the slot's parameter types by name, and QDBusVariant has one only once
    // registered; before the first value arrives nothing else has registered it.
    qRegisterMetaType<QDBusVariant>();
    // Listening starts before the read, so a change in between is not lost.
    bus_.connect(PortalService, PortalPath, SettingsInterface, QStringLiteral("SettingChanged"),
                 this, SLOT(SettingChanged(QString, QString, QDBusVariant)));
    scheme_ = ReadScheme();
}

TColorScheme TDesktopColorScheme::ReadScheme() {
    if (!bus_.isConnected()) {
        return TColorScheme::Light;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(PortalService, PortalPath, SettingsInterface,
                                                       QStringLiteral("Read"));
    call << AppearanceNamespace << ColorSchemeKey;
    const QDBusMessage reply = bus_.call(call, QDBus::Block, ReadTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        return TColorScheme::Light;
    }
    return SchemeOf(reply.arguments().constFirst());
}

void TDesktopColorScheme::SettingChanged(const QString& nameSpace, const QString& key,
                                         const QDBusVariant& value) {
    if (nameSpace != AppearanceNamespace || key != ColorSchemeKey) {
        return;
    }
    const TColorScheme scheme = SchemeOf(value.variant());
    if (scheme != scheme_) {
        scheme_ = scheme;
        emit schemeChanged(scheme);
    }
}

} // namespace tessaro
