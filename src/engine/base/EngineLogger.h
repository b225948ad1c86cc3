// The engine's single log sink for its own messages and the libraries' log output.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace tessaro {

enum TLogLevel : int { llQuiet, llPanic, llFatal, llError, llWarning, llInfo, llVerbose, llDebug };

// llQuiet -8, llPanic 0, llFatal 8 ... llDebug 48.
int LogLevelToLibrary(TLogLevel level);
// Below -8 llQuiet, 48 or more llDebug; a value between two levels maps to the
// higher-numbered one (20 gives llWarning).
TLogLevel LogLevelFromLibrary(int libraryLevel);

// One delivered message; every delivery carries its own copy.
struct TLogInfo {
    const void* sender = nullptr;
    std::uint32_t threadId = 0;
    TLogLevel logLevel = llInfo;
    std::string logMsg;
};

class TEngineLogger {
public:
    using TOnLog = std::function<void(const void* sender, std::uint32_t threadId, TLogLevel level,
                                      const std::string& message)>;

    // The single instance, created on first use.
    static TEngineLogger& GetLogger();

    TLogLevel LogLevel() const;
    // Stores the level and applies it to the libraries (when avutil is bound).
    void SetLogLevel(TLogLevel level);
    // "quiet" ... "debug" (any letter case) or a library level number; throws
    // std::invalid_argument for any other text (std::out_of_range for huge numbers).
    void SetLogLevelByName(const std::string& name);

    // True (the default): handlers run on the main thread while the logging thread
    // waits. False: handlers run on the logging thread and must cope with concurrent calls.
    bool TriggerEventInMainThread() const;
    void SetTriggerEventInMainThread(bool value);
    // Without a handler nothing is delivered.
    void SetOnLog(TOnLog handler);

    // Engine messages; Level is a TLogLevel ordinal (0 quiet ... 6 verbose). Delivered
    // when level <= LogLevel, and verbose messages whenever LogLevel is not llQuiet.
    void Log(const void* sender, int level, const std::string& message);
    // As Log; the text is formatted only when it will be delivered.
    void LogFmt(const void* sender, int level, const char* format, ...)
        __attribute__((format(printf, 4, 5)));

    // Installs the library log callback and applies LogLevel; called by the loader
    // each time avutil has been bound.
    void Attach();

private:
    TEngineLogger();
    ~TEngineLogger();
    TEngineLogger(const TEngineLogger&) = delete;
    TEngineLogger& operator=(const TEngineLogger&) = delete;

    bool WillDeliver(int level) const;
    void Deliver(TLogInfo info) const;
    void LibraryLog(void* context, int level, const char* format, va_list args);
    static void LibraryLogCallback(void* context, int level, const char* format, va_list args);

    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Keeps the error lines the libraries log on this thread while it lives, whatever the log
// level, so that the text of a failing library call can give the library's own reason (the
// filter's or muxer's complaint) next to the generic text of its error code. Scopes nest.
class TLibraryErrorCapture {
public:
    TLibraryErrorCapture();
    ~TLibraryErrorCapture();
    TLibraryErrorCapture(const TLibraryErrorCapture&) = delete;
    TLibraryErrorCapture& operator=(const TLibraryErrorCapture&) = delete;

    // The first error lines, each as "[item] text", separated by "; "; empty when none was
    // logged.
    const std::string& Reason() const { return reason_; }
    // Text followed by " (" + the reason + ")", or Text alone when there is none.
    std::string Explain(const std::string& text) const;
    // Called by the logger for library output at error level or worse on this thread.
    void Note(void* context, const std::string& text);

private:
    static constexpr int MaxReasonLines = 3;
    TLibraryErrorCapture* outer_;
    std::string pending_;
    std::string reason_;
    int lineCount_ = 0;
};

} // namespace tessaro
