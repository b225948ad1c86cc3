// Shared set-up of the transcoder option tests: the converter libraries, a fresh task
// and the engine log captured as lines.
#pragma once

#include "base/EngineException.h"
#include "base/EngineLogger.h"
#include "runtime/Bindings.h"
#include "runtime/LibraryLoader.h"
#include "transcoder/CustomTranscoder.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace tessaro::test {

struct TLogLine {
    TLogLevel level;
    std::string text;
};

class TTranscoderOptionsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(TLibraryLoader::Instance().LoadLibSet(ConverterLibraries))
            << TLibraryLoader::Instance().LastErrorText();
    }

    void SetUp() override {
        auto& logger = TEngineLogger::GetLogger();
        savedLevel_ = logger.LogLevel();
        logger.SetLogLevel(llVerbose);
        logger.SetTriggerEventInMainThread(false);
        logger.SetOnLog(
            [this](const void*, std::uint32_t, TLogLevel level, const std::string& text) {
                std::lock_guard lock(linesLock_);
                lines_.push_back({level, text});
            });
        task_ = std::make_unique<TCustomTranscoder>();
    }

    void TearDown() override {
        task_.reset();
        auto& logger = TEngineLogger::GetLogger();
        logger.SetOnLog(nullptr);
        logger.SetLogLevel(savedLevel_);
    }

    TCustomTranscoder& Task() { return *task_; }
    TTranscoderOptions& O() { return task_->Options(); }

    // The message of the EngineException Fn raises ("" when none).
    static std::string ErrorOf(const std::function<void()>& fn) {
        try {
            fn();
        } catch (const EngineException& e) {
            return e.what();
        }
        return {};
    }

    std::vector<TLogLine> Lines() {
        std::lock_guard lock(linesLock_);
        return lines_;
    }
    void ClearLines() {
        std::lock_guard lock(linesLock_);
        lines_.clear();
    }
    bool Logged(TLogLevel level, const std::string& text) {
        for (const TLogLine& line : Lines()) {
            if (line.level == level && line.text == text) {
                return true;
            }
        }
        return false;
    }

    std::int64_t CodecInt(AVMediaType type, const char* name) {
        return O().libraryOptions.CodecInt(type, name);
    }
    std::string PrivateVideo(const std::string& name) {
        const auto& map = O().libraryOptions.PrivateCodecOptions(AVMEDIA_TYPE_VIDEO);
        const auto it = map.find(name);
        return it == map.end() ? std::string("<unset>") : it->second;
    }

private:
    std::unique_ptr<TCustomTranscoder> task_;
    TLogLevel savedLevel_ = llInfo;
    std::mutex linesLock_;
    std::vector<TLogLine> lines_;
};

} // namespace tessaro::test
