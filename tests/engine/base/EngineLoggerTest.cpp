#include "base/EngineLogger.h"
#include "EngineTestSupport.h"
#include "base/MainThread.h"
#include "runtime/Bindings.h"
#include "runtime/LibraryLoader.h"

#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

using namespace tessaro;

namespace {

struct TDelivered {
    const void* sender;
    std::uint32_t threadId;
    TLogLevel level;
    std::string message;
    bool onMainThread;
};

// Collects every delivered message; the logger is process-wide, so each test
// starts from the same settings and detaches its handler at the end.
class EngineLoggerTest : public ::testing::Test {
protected:
    void SetUp() override {
        logger.SetLogLevel(llInfo);
        logger.SetTriggerEventInMainThread(false);
        logger.SetOnLog([this](const void* sender, std::uint32_t threadId, TLogLevel level,
                               const std::string& message) {
            std::lock_guard lock(mutex);
            delivered.push_back({sender, threadId, level, message, IsMainThread()});
        });
    }
    void TearDown() override {
        logger.SetOnLog(nullptr);
        logger.SetTriggerEventInMainThread(true);
        logger.SetLogLevel(llInfo);
    }

    std::vector<std::string> Messages() {
        std::lock_guard lock(mutex);
        std::vector<std::string> messages;
        for (const TDelivered& item : delivered) {
            messages.push_back(item.message);
        }
        return messages;
    }

    TEngineLogger& logger = TEngineLogger::GetLogger();
    std::mutex mutex;
    std::vector<TDelivered> delivered;
};

// For library output the libraries are loaded (which attaches the logger).
class EngineLoggerLibraryTest : public EngineLoggerTest {
protected:
    static void SetUpTestSuite() { test::LoadConverterLibraries(); }
    static void TearDownTestSuite() { test::UnloadConverterLibraries(); }
};

// A library object as the log callback sees it: its first member is its class.
const char* TestItemName(void*) {
    return "probe";
}
AVClass MakeTestClass() {
    AVClass avClass{};
    avClass.class_name = "TestClass";
    avClass.item_name = &TestItemName;
    avClass.version = LIBAVUTIL_VERSION_INT;
    return avClass;
}
const AVClass TestClass = MakeTestClass();
struct TTestContext {
    const AVClass* avClass = &TestClass;
};

std::uint32_t CurrentThreadId() {
    return std::uint32_t(syscall(SYS_gettid));
}

} // namespace

TEST(LogLevelMapping, LibraryLevelsMapBothWays) {
    const struct {
        TLogLevel level;
        int library;
    } table[] = {{llQuiet, -8},   {llPanic, 0}, {llFatal, 8},    {llError, 16},
                 {llWarning, 24}, {llInfo, 32}, {llVerbose, 40}, {llDebug, 48}};
    for (const auto& row : table) {
        EXPECT_EQ(LogLevelToLibrary(row.level), row.library);
        EXPECT_EQ(LogLevelFromLibrary(row.library), row.level) << row.library;
    }
    // In-between values take the higher-numbered level; the ends are open.
    EXPECT_EQ(LogLevelFromLibrary(20), llWarning);
    EXPECT_EQ(LogLevelFromLibrary(-3), llPanic);
    EXPECT_EQ(LogLevelFromLibrary(-100), llQuiet);
    EXPECT_EQ(LogLevelFromLibrary(56), llDebug);
}

TEST_F(EngineLoggerTest, DeliversByLevelWithVerboseAlwaysButWhenQuiet) {
    const struct {
        TLogLevel setting;
        int level;
        bool delivered;
    } table[] = {
        {llQuiet, llQuiet, true},   {llQuiet, llError, false},  {llQuiet, llVerbose, false},
        {llPanic, llVerbose, true}, {llInfo, llInfo, true},     {llInfo, llVerbose, true},
        {llInfo, llDebug, false},   {llWarning, llInfo, false}, {llWarning, llWarning, true},
        {llDebug, llDebug, true},
    };
    for (const auto& row : table) {
        logger.SetLogLevel(row.setting);
        delivered.clear();
        logger.Log(this, row.level, "message");
        EXPECT_EQ(delivered.size(), row.delivered ? 1u : 0u)
            << "setting " << row.setting << ", message level " << row.level;
    }
    logger.SetLogLevel(llInfo);
    delivered.clear();
    logger.LogFmt(this, llWarning, "%s #%d", "task", 3);
    ASSERT_EQ(delivered.size(), 1u);
    EXPECT_EQ(delivered[0].message, "task #3");
    EXPECT_EQ(delivered[0].sender, this);
    EXPECT_EQ(delivered[0].level, llWarning);
    EXPECT_EQ(delivered[0].threadId, CurrentThreadId());
}

TEST_F(EngineLoggerTest, LevelNamesAndNumbers) {
    const struct {
        const char* text;
        TLogLevel level;
    } table[] = {{"VERBOSE", llVerbose}, {"quiet", llQuiet}, {"Panic", llPanic},
                 {"fatal", llFatal},     {"error", llError}, {"warning", llWarning},
                 {"info", llInfo},       {"debug", llDebug}, {"20", llWarning},
                 {"-8", llQuiet},        {"99", llDebug}};
    for (const auto& row : table) {
        logger.SetLogLevelByName(row.text);
        EXPECT_EQ(logger.LogLevel(), row.level) << row.text;
    }
    logger.SetLogLevel(llInfo);
    for (const char* bad : {"loud", "20x", ""}) {
        EXPECT_THROW(logger.SetLogLevelByName(bad), std::invalid_argument) << bad;
    }
    EXPECT_EQ(logger.LogLevel(), llInfo);
}

TEST_F(EngineLoggerTest, NothingHappensWithoutAHandler) {
    logger.SetOnLog(nullptr);
    logger.SetTriggerEventInMainThread(true);
    // Would block forever waiting for the main thread if it tried to deliver.
    std::thread worker([&] { logger.Log(this, llQuiet, "dropped"); });
    worker.join();
    EXPECT_TRUE(delivered.empty());
}

TEST_F(EngineLoggerTest, MainThreadDeliveryRunsTheHandlerOnTheMainThread) {
    logger.SetTriggerEventInMainThread(true);
    std::atomic<bool> done{false};
    std::uint32_t workerId = 0;
    std::thread worker([&] {
        workerId = CurrentThreadId();
        logger.Log(this, llError, "from worker");
        done = true;
    });
    while (!done) {
        WaitAndProcessPendingMessages(std::chrono::milliseconds(50));
    }
    worker.join();
    ASSERT_EQ(delivered.size(), 1u);
    EXPECT_TRUE(delivered[0].onMainThread);
    EXPECT_EQ(delivered[0].threadId, workerId);
    EXPECT_EQ(delivered[0].message, "from worker");
}

TEST_F(EngineLoggerTest, HandlerExceptionReachesTheCodeThatLogged) {
    logger.SetOnLog([](const void*, std::uint32_t, TLogLevel, const std::string&) {
        throw std::runtime_error("handler failed");
    });
    EXPECT_THROW(logger.Log(this, llError, "x"), std::runtime_error);
}

TEST_F(EngineLoggerLibraryTest, LoadingAvutilAttachesTheLoggerWithItsLevel) {
    logger.SetLogLevel(llWarning);
    EXPECT_EQ(ff::av_log_get_level(), AV_LOG_WARNING);
    ff::av_log(nullptr, AV_LOG_INFO, "filtered out\n");
    ff::av_log(nullptr, AV_LOG_ERROR, "library error %d\n", 7);
    ASSERT_EQ(delivered.size(), 1u);
    EXPECT_EQ(delivered[0].message, "library error 7");
    EXPECT_EQ(delivered[0].level, llError);
    EXPECT_EQ(delivered[0].sender, &logger);
}

TEST_F(EngineLoggerLibraryTest, LibraryPiecesBecomeWholeLinesWithOneContextPrefix) {
    TTestContext context;
    ff::av_log(&context, AV_LOG_ERROR, "abc");
    ff::av_log(&context, AV_LOG_ERROR, "def\nghi");
    char prefix[64];
    std::snprintf(prefix, sizeof prefix, "[probe @ %p]", static_cast<void*>(&context));
    EXPECT_EQ(Messages(), std::vector<std::string>{std::string(prefix) + "abcdef"});

    // The pending "ghi" continues without a prefix; empty lines are delivered too.
    ff::av_log(&context, AV_LOG_ERROR, "!\n\n");
    EXPECT_EQ(Messages(), (std::vector<std::string>{std::string(prefix) + "abcdef", "ghi!", ""}));
}

TEST_F(EngineLoggerLibraryTest, HalfLinesFromTwoThreadsComeOutWhole) {
    // Two threads write their lines in halves, strictly interleaved: A1 B1 A2 B2.
    std::mutex turnLock;
    std::condition_variable turnChanged;
    int turn = 0;
    const auto takeTurn = [&](int mine, const char* text) {
        std::unique_lock lock(turnLock);
        turnChanged.wait(lock, [&] { return turn == mine; });
        ff::av_log(nullptr, AV_LOG_WARNING, "%s", text);
        ++turn;
        turnChanged.notify_all();
    };
    std::uint32_t idA = 0;
    std::uint32_t idB = 0;
    std::thread a([&] {
        idA = CurrentThreadId();
        takeTurn(0, "first half of A, ");
        takeTurn(2, "second half of A\n");
    });
    std::thread b([&] {
        idB = CurrentThreadId();
        takeTurn(1, "first half of B, ");
        takeTurn(3, "second half of B\n");
    });
    a.join();
    b.join();
    ASSERT_EQ(delivered.size(), 2u);
    EXPECT_EQ(delivered[0].message, "first half of A, second half of A");
    EXPECT_EQ(delivered[0].threadId, idA);
    EXPECT_EQ(delivered[1].message, "first half of B, second half of B");
    EXPECT_EQ(delivered[1].threadId, idB);
}

TEST_F(EngineLoggerLibraryTest, ErrorCaptureKeepsTheFirstErrorLinesOfItsThreadAtAnyLevel) {
    logger.SetLogLevel(llQuiet); // nothing is delivered, the capture still sees the errors
    TTestContext context;
    TLibraryErrorCapture outer;
    {
        TLibraryErrorCapture inner;
        ff::av_log(&context, AV_LOG_WARNING, "only a warning\n");
        ff::av_log(&context, AV_LOG_ERROR, "size too ");
        ff::av_log(&context, AV_LOG_ERROR, "big\n");
        std::thread([] { ff::av_log(nullptr, AV_LOG_ERROR, "another thread\n"); }).join();
        ff::av_log(nullptr, AV_LOG_FATAL, "then this\n");
        ff::av_log(nullptr, AV_LOG_ERROR, "two\n");
        ff::av_log(nullptr, AV_LOG_ERROR, "three\n");
        EXPECT_EQ(inner.Reason(), "[probe] size too big; then this; two");
        EXPECT_EQ(inner.Explain("Failed"), "Failed ([probe] size too big; then this; two)");
    }
    // The scope around it saw the same lines; once they are gone nothing is kept any more.
    EXPECT_EQ(outer.Reason(), "[probe] size too big; then this; two");
    EXPECT_EQ(TLibraryErrorCapture().Explain("Failed"), "Failed");
    EXPECT_TRUE(Messages().empty());
}
