#include "run/DesktopNotice.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QVariantMap>

namespace tessaro {

namespace {

const QString NotificationService = QStringLiteral("org.freedesktop.Notifications");

bool ServiceAvailable(const QDBusConnection& bus) {
    if (!bus.isConnected() || bus.interface() == nullptr) {
        return false;
    }
    QDBusConnectionInterface* daemon = bus.interface();
    if (daemon->isServiceRegistered(NotificationService).value()) {
        return true;
    }
    // A service the bus starts on the first call.
    return daemon->activatableServiceNames().value().contains(NotificationService);
}

} // namespace

bool SendDesktopNotice(const TBatchNotice& notice, const QDBusConnection& bus) {
    if (!ServiceAvailable(bus)) {
        return false;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        NotificationService, QStringLiteral("/org/freedesktop/Notifications"), NotificationService,
        QStringLiteral("Notify"));
    const int serverDefaultTimeout = -1;
    call << QStringLiteral("Tessaro") << 0u << QStringLiteral("tessaro")
         << QString::fromStdString(notice.Summary) << QString::fromStdString(notice.Body)
         << QStringList() << QVariantMap() << serverDefaultTimeout;
    call.setAutoStartService(true);
    return QDBusConnection(bus).send(call);
}

bool SendDesktopNotice(const TBatchNotice& notice) {
    return SendDesktopNotice(notice, QDBusConnection::sessionBus());
}

} // namespace tessaro
