#include "window/QtMainThreadDispatcher.h"

#include <QCoreApplication>
#include <QThread>
#include <exception>

namespace tessaro {

TQtMainThreadDispatcher::TQtMainThreadDispatcher() {
    SetMainThread();
    SetMainThreadDispatcher(this);
}

TQtMainThreadDispatcher::~TQtMainThreadDispatcher() {
    SetMainThreadDispatcher(nullptr);
}

void TQtMainThreadDispatcher::Invoke(const std::function<void()>& call) {
    if (QThread::currentThread() == receiver_.thread()) {
        call();
        return;
    }
    std::exception_ptr error;
    {
        std::lock_guard lock(mutex_);
        ++waiting_;
    }
    arrived_.notify_all();
    QMetaObject::invokeMethod(
        &receiver_,
        [this, &call, &error] {
            {
                std::lock_guard lock(mutex_);
                --waiting_;
            }
            try {
                call();
            } catch (...) {
                error = std::current_exception();
            }
        },
        Qt::BlockingQueuedConnection);
    if (error) {
        std::rethrow_exception(error);
    }
}

void TQtMainThreadDispatcher::ProcessPending() {
    QCoreApplication::sendPostedEvents(&receiver_, QEvent::MetaCall);
}

void TQtMainThreadDispatcher::WaitAndProcessPending(std::chrono::milliseconds timeout) {
    {
        std::unique_lock lock(mutex_);
        arrived_.wait_for(lock, timeout, [this] { return waiting_ > 0; });
    }
    ProcessPending();
}

} // namespace tessaro
