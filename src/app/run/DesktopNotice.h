// The notice on the desktop at the end of a batch, through the desktop's notification service
// (org.freedesktop.Notifications on the session bus).
#pragma once

#include "run/RunOutcome.h"

class QDBusConnection;

namespace tessaro {

// Sends the notice without waiting for an answer. Where no notification service runs (no
// session bus, or no service on it) nothing happens and false is returned.
bool SendDesktopNotice(const TBatchNotice& notice, const QDBusConnection& bus);
// The same on the session bus.
bool SendDesktopNotice(const TBatchNotice& notice);

} // namespace tessaro
