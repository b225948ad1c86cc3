// The engine's single log sink for its own messages and the libraries' log output.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace tessaro {

enum TLogLevel : int { llQuiet, llPanic, llFatal, llError, llWarning, llInfo, llVerbose, llDebug };

int LogLevelToLibrary(TLogLevel level);
TLogLevel LogLevelFromLibrary(int libraryLevel);

class TEngineLogger {
public:
    using TOnLog = std::function<void(const void* sender, std::uint32_t threadId, TLogLevel level,
                                      const std::string& message)>;

    // The single instance, created on first use.
    static TEngineLogger& GetLogger();

    TLogLevel LogLevel() const;
    void SetLogLevel(TLogLevel level);
    // "quiet" ... "debug" (any letter case) or a library level number; throws
    // std::invalid_argument for any other text.
    void SetLogLevelByName(const std::string& name);

    bool TriggerEventInMainThread() const;
    void SetTriggerEventInMainThread(bool value);
    void SetOnLog(TOnLog handler);

    // Engine messages; Level is a TLogLevel ordinal (0 quiet ... 6 verbose).
    void Log(const void* sender, int level, const std::string& message);
    void LogFmt(const void* sender, int level, const char* format, ...)
        __attribute__((format(printf, 4, 5)));

    // Installs the library log callback; called by the loader once avutil is bound.
    void Attach();

private:
    TEngineLogger();
    ~TEngineLogger();
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace tessaro
