#include "base/MainThread.h"

#include <atomic>
#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>

using namespace tessaro;

namespace {

// Runs work on a worker thread and drains the main-thread queue until it has finished.
void RunOnWorkerWhileDraining(const std::function<void()>& work) {
    std::atomic<bool> done{false};
    std::thread worker([&] {
        work();
        done = true;
    });
    while (!done) {
        WaitAndProcessPendingMessages(std::chrono::milliseconds(50));
    }
    worker.join();
}

} // namespace

TEST(MainThread, WorkerCallRunsOnTheMainThreadAndWaitsForIt) {
    ASSERT_TRUE(IsMainThread());
    bool ranOnMainThread = false;
    bool returnedAfterTheCall = false;
    RunOnWorkerWhileDraining([&] {
        EXPECT_FALSE(IsMainThread());
        CallInMainThread([&] { ranOnMainThread = IsMainThread(); });
        returnedAfterTheCall = ranOnMainThread;
    });
    EXPECT_TRUE(ranOnMainThread);
    EXPECT_TRUE(returnedAfterTheCall);
}

TEST(MainThread, MainThreadCallsDirectlyAndOthersCannotDrain) {
    int calls = 0;
    CallInMainThread([&] { ++calls; });
    EXPECT_EQ(calls, 1);

    // A second worker trying to drain must not run the first worker's call.
    std::atomic<bool> queued{false};
    std::atomic<bool> ran{false};
    std::thread caller([&] {
        queued = true;
        CallInMainThread([&] { ran = true; });
    });
    while (!queued) {
        std::this_thread::yield();
    }
    std::thread drainer([] { ProcessPendingMessages(); });
    drainer.join();
    while (!ran) {
        WaitAndProcessPendingMessages(std::chrono::milliseconds(50));
    }
    caller.join();
    EXPECT_TRUE(ran);
}

TEST(MainThread, ExceptionsReachTheCaller) {
    RunOnWorkerWhileDraining([] {
        EXPECT_THROW(CallInMainThread([] { throw std::runtime_error("failed on main"); }),
                     std::runtime_error);
    });
    EXPECT_THROW(CallInMainThread([] { throw std::logic_error("direct"); }), std::logic_error);
}

TEST(MainThread, InstalledDispatcherTakesOver) {
    struct TRecordingDispatcher : TMainThreadDispatcher {
        void Invoke(const std::function<void()>& call) override {
            ++invoked;
            call();
        }
        void ProcessPending() override { ++drained; }
        std::atomic<int> invoked{0};
        std::atomic<int> drained{0};
    } dispatcher;
    SetMainThreadDispatcher(&dispatcher);
    std::thread worker([] { CallInMainThread([] {}); });
    worker.join();
    ProcessPendingMessages();
    SetMainThreadDispatcher(nullptr);
    EXPECT_EQ(dispatcher.invoked, 1);
    EXPECT_EQ(dispatcher.drained, 1);
}
