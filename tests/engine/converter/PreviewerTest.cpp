#include "converter/Previewer.h"
#include "base/Bitmap.h"
#include "base/MainThread.h"

#include <atomic>
#include <thread>

#include <gtest/gtest.h>

using namespace tessaro;

namespace {

// A window that closes after a given number of frames, as if the user closed it.
class TTestPreviewer final : public TPreviewer {
public:
    TTestPreviewer(int framesUntilClosed, std::atomic<int>& destroyedOnMain)
        : framesLeft_(framesUntilClosed), destroyedOnMain_(destroyedOnMain) {}
    ~TTestPreviewer() override { destroyedOnMain_ += IsMainThread() ? 1 : 0; }
    int shown = 0;
    bool allOnMainThread = true;

protected:
    bool ShowInMainThread(const TBitmap& bitmap, int frameNumber, std::int64_t) override {
        allOnMainThread =
            allOnMainThread && IsMainThread() && bitmap.Width() == 8 && frameNumber == shown + 1;
        ++shown;
        return --framesLeft_ > 0;
    }

private:
    int framesLeft_;
    std::atomic<int>& destroyedOnMain_;
};

} // namespace

TEST(Bitmap, RowsAreAlignedAndCleared) {
    TBitmap bitmap(7, 3);
    EXPECT_EQ(bitmap.Stride() % 4, 0);
    EXPECT_GE(bitmap.Stride(), 7 * 3);
    EXPECT_EQ(bitmap.ScanLine(2) - bitmap.ScanLine(0), 2 * bitmap.Stride());
    EXPECT_EQ(bitmap.ScanLine(2)[20], 0);
    bitmap.SetSize(0, 5);
    EXPECT_EQ(bitmap.Width(), 0);
    EXPECT_EQ(bitmap.Data(), nullptr);
}

TEST(Previewer, WithoutAFactoryThereIsNoPreview) {
    SetPreviewerFactory(nullptr);
    EXPECT_EQ(CreatePreviewer(), nullptr);
}

TEST(Previewer, ShowsOnTheMainThreadUntilClosedAndIsDestroyedThere) {
    std::atomic<int> destroyedOnMain{0};
    TTestPreviewer* window = nullptr;
    SetPreviewerFactory([&] {
        auto previewer = MakePreviewer<TTestPreviewer>(2, destroyedOnMain);
        window = static_cast<TTestPreviewer*>(previewer.get());
        return previewer;
    });
    std::atomic<bool> done{false};
    std::vector<bool> results;
    std::thread task([&] {
        TPreviewerPtr previewer = CreatePreviewer();
        TBitmap bitmap(8, 4);
        for (int frame = 1; frame <= 4; ++frame) {
            results.push_back(previewer->Show(bitmap, frame, frame * 40000));
        }
        EXPECT_EQ(window->shown, 2); // once closed, the window is not asked again
        EXPECT_TRUE(window->allOnMainThread);
        previewer.reset();
        done = true;
    });
    while (!done) {
        WaitAndProcessPendingMessages(std::chrono::milliseconds(50));
    }
    task.join();
    SetPreviewerFactory(nullptr);
    EXPECT_EQ(results, (std::vector<bool>{true, false, false, false}));
    EXPECT_EQ(destroyedOnMain, 1);
}
