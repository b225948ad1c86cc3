// Lines a conversion task writes to the engine log, with the task as their sender.
#pragma once

#include "base/EngineLogger.h"

#include <string>

namespace tessaro {

class TTaskLog {
public:
    explicit TTaskLog(const void* sender) : sender_(sender) {}

    void operator()(int level, const std::string& text) const {
        TEngineLogger::GetLogger().Log(sender_, level, text);
    }
    const void* Sender() const { return sender_; }

private:
    const void* sender_;
};

} // namespace tessaro
