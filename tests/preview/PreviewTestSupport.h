// Shared by the preview's widget tests and its bench: waiting on a condition while serving
// both Qt's events and the engine's main-thread calls (the player's events).
#pragma once

#include "base/MainThread.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <chrono>

namespace tessaro::test {

template <typename Done> bool WaitUntil(Done done, int milliseconds = 30000) {
    const QDeadlineTimer deadline(milliseconds);
    while (!done()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        WaitAndProcessPendingMessages(std::chrono::milliseconds(2));
    }
    return true;
}

} // namespace tessaro::test
