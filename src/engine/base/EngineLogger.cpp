#include "base/EngineLogger.h"

#include "base/EngineException.h"
#include "base/MainThread.h"
#include "runtime/Bindings.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cctype>
#include <mutex>
#include <stdexcept>
#include <sys/syscall.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace tessaro {
namespace {

// The library level last applied; the library callback filters against it.
std::atomic<int> libraryLevelMirror{AV_LOG_INFO};

// The living instance; the library callback ignores output once it is gone.
std::atomic<TEngineLogger*> singleInstance{nullptr};

// The innermost error capture of this thread, if any.
thread_local TLibraryErrorCapture* currentCapture = nullptr;

std::uint32_t CurrentThreadId() {
    return std::uint32_t(syscall(SYS_gettid));
}

struct TLevelName {
    const char* name;
    int libraryLevel;
};
constexpr TLevelName LevelNames[] = {
    {"quiet", AV_LOG_QUIET},     {"panic", AV_LOG_PANIC},     {"fatal", AV_LOG_FATAL},
    {"error", AV_LOG_ERROR},     {"warning", AV_LOG_WARNING}, {"info", AV_LOG_INFO},
    {"verbose", AV_LOG_VERBOSE}, {"debug", AV_LOG_DEBUG},
};

bool EqualIgnoringCase(const std::string& a, const char* b) {
    const std::string_view other(b);
    return a.size() == other.size() &&
           std::equal(a.begin(), a.end(), other.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// A level name or a whole decimal number; anything else is a conversion error.
int LibraryLevelFromName(const std::string& name) {
    for (const TLevelName& level : LevelNames) {
        if (EqualIgnoringCase(name, level.name)) {
            return level.libraryLevel;
        }
    }
    std::size_t used = 0;
    const int value = std::stoi(name, &used);
    if (used != name.size()) {
        throw std::invalid_argument("stoi");
    }
    return value;
}

// "[name @ address]" for output about a library object whose first member is its AVClass.
std::string ContextPrefix(void* context) {
    if (context == nullptr) {
        return {};
    }
    const AVClass* avClass = *static_cast<const AVClass* const*>(context);
    if (avClass == nullptr) {
        return {};
    }
    const char* name =
        avClass->item_name != nullptr ? avClass->item_name(context) : avClass->class_name;
    return FormatText("[%s @ %p]", name != nullptr ? name : "", context);
}

} // namespace

int LogLevelToLibrary(TLogLevel level) {
    return (int(level) - 1) * 8;
}

TLogLevel LogLevelFromLibrary(int libraryLevel) {
    if (libraryLevel < AV_LOG_QUIET) {
        return llQuiet;
    }
    if (libraryLevel >= AV_LOG_DEBUG) {
        return llDebug;
    }
    // Rounds up, so a level between two entries takes the higher-numbered one.
    return TLogLevel(((libraryLevel + 7) >> 3) + 1);
}

struct TEngineLogger::Impl {
    std::atomic<TLogLevel> level{llInfo};
    std::atomic<bool> triggerInMainThread{true};
    mutable std::mutex handlerLock;
    TOnLog handler;
    // The unfinished line of each thread writing library output.
    std::mutex linesLock;
    std::unordered_map<std::uint32_t, std::string> pendingLines;
};

TEngineLogger& TEngineLogger::GetLogger() {
    static TEngineLogger logger;
    return logger;
}

TEngineLogger::TEngineLogger() : impl_(std::make_unique<Impl>()) {
    impl_->level = LogLevelFromLibrary(libraryLevelMirror.load());
    singleInstance.store(this);
}

TEngineLogger::~TEngineLogger() {
    singleInstance.store(nullptr);
}

TLogLevel TEngineLogger::LogLevel() const {
    return impl_->level.load();
}

void TEngineLogger::SetLogLevel(TLogLevel level) {
    if (impl_->level.exchange(level) == level) {
        return;
    }
    libraryLevelMirror.store(LogLevelToLibrary(level));
    if (ff::av_log_set_level != nullptr) {
        ff::av_log_set_level(LogLevelToLibrary(level));
    }
}

void TEngineLogger::SetLogLevelByName(const std::string& name) {
    SetLogLevel(LogLevelFromLibrary(LibraryLevelFromName(name)));
}

bool TEngineLogger::TriggerEventInMainThread() const {
    return impl_->triggerInMainThread.load();
}

void TEngineLogger::SetTriggerEventInMainThread(bool value) {
    impl_->triggerInMainThread = value;
}

void TEngineLogger::SetOnLog(TOnLog handler) {
    std::lock_guard lock(impl_->handlerLock);
    impl_->handler = std::move(handler);
}

bool TEngineLogger::WillDeliver(int level) const {
    const TLogLevel current = LogLevel();
    return level <= int(current) || (level == llVerbose && current != llQuiet);
}

void TEngineLogger::Deliver(TLogInfo info) const {
    TOnLog handler;
    {
        std::lock_guard lock(impl_->handlerLock);
        handler = impl_->handler;
    }
    if (!handler) {
        return;
    }
    const auto call = [&handler, &info] {
        handler(info.sender, info.threadId, info.logLevel, info.logMsg);
    };
    if (TriggerEventInMainThread()) {
        CallInMainThread(call);
    } else {
        call();
    }
}

void TEngineLogger::Log(const void* sender, int level, const std::string& message) {
    if (WillDeliver(level)) {
        Deliver({sender, CurrentThreadId(), TLogLevel(level), message});
    }
}

void TEngineLogger::LogFmt(const void* sender, int level, const char* format, ...) {
    if (!WillDeliver(level)) {
        return;
    }
    {
        std::lock_guard lock(impl_->handlerLock);
        if (!impl_->handler) {
            return;
        }
    }
    va_list args;
    va_start(args, format);
    std::string message = FormatTextV(format, args);
    va_end(args);
    Deliver({sender, CurrentThreadId(), TLogLevel(level), std::move(message)});
}

void TEngineLogger::Attach() {
    assert(ff::av_log_set_callback != nullptr && ff::av_log_set_level != nullptr);
    ff::av_log_set_callback(&TEngineLogger::LibraryLogCallback);
    libraryLevelMirror.store(LogLevelToLibrary(LogLevel()));
    ff::av_log_set_level(LogLevelToLibrary(LogLevel()));
}

void TEngineLogger::LibraryLogCallback(void* context, int level, const char* format, va_list args) {
    if (TEngineLogger* logger = singleInstance.load()) {
        logger->LibraryLog(context, level, format, args);
    }
}

// Library output arrives in pieces; each thread's pieces are joined and handed on
// line by line, so lines of concurrent threads never mix.
void TEngineLogger::LibraryLog(void* context, int level, const char* format, va_list args) {
    level &= 0xff; // the upper bits carry colour hints
    if (currentCapture != nullptr && level <= AV_LOG_ERROR) {
        va_list copy;
        va_copy(copy, args);
        currentCapture->Note(context, FormatTextV(format, copy));
        va_end(copy);
    }
    if (level > libraryLevelMirror.load()) {
        return;
    }
    const std::string text = FormatTextV(format, args);
    const std::uint32_t threadId = CurrentThreadId();
    std::vector<std::string> lines;
    {
        std::lock_guard lock(impl_->linesLock);
        std::string& pending = impl_->pendingLines[threadId];
        pending += pending.empty() ? ContextPrefix(context) + text : text;
        for (std::size_t end = pending.find('\n'); end != std::string::npos;
             end = pending.find('\n')) {
            lines.push_back(pending.substr(0, end));
            pending.erase(0, end + 1);
        }
        if (pending.empty()) {
            impl_->pendingLines.erase(threadId);
        }
    }
    // Delivered outside the lock: the handler may wait for the main thread, which
    // may itself be writing library output.
    for (std::string& line : lines) {
        Deliver({this, threadId, LogLevelFromLibrary(level), std::move(line)});
    }
}

} // namespace tessaro

namespace tessaro {

TLibraryErrorCapture::TLibraryErrorCapture() : outer_(currentCapture) {
    currentCapture = this;
}

TLibraryErrorCapture::~TLibraryErrorCapture() {
    currentCapture = outer_;
}

// Output arrives in pieces; a line is complete at its line break.
void TLibraryErrorCapture::Note(void* context, const std::string& text) {
    if (pending_.empty() && context != nullptr) {
        const AVClass* avClass = *static_cast<const AVClass* const*>(context);
        const char* name = avClass == nullptr              ? nullptr
                           : avClass->item_name != nullptr ? avClass->item_name(context)
                                                           : avClass->class_name;
        if (name != nullptr && *name != '\0') {
            pending_ = FormatText("[%s] ", name);
        }
    }
    pending_ += text;
    const std::size_t end = pending_.find('\n');
    if (end == std::string::npos) {
        return;
    }
    const std::string line = pending_.substr(0, end);
    pending_.clear();
    // The first complaint is mostly the cause, those after it what followed from it.
    if (lineCount_ < MaxReasonLines) {
        reason_ += (reason_.empty() ? "" : "; ") + line;
        ++lineCount_;
    }
    if (outer_ != nullptr) {
        outer_->Note(nullptr, line + "\n");
    }
}

std::string TLibraryErrorCapture::Explain(const std::string& text) const {
    return reason_.empty() ? text : text + " (" + reason_ + ")";
}

} // namespace tessaro
