// One Qt application object for a test program, created before the first test and
// destroyed after the last one (a function-local static would outlive Qt's own
// globals and crash at exit).
#pragma once

#include <gtest/gtest.h>

#include <cassert>
#include <memory>

namespace tessaro::test {

template <typename Application> class TQtTestEnvironment : public ::testing::Environment {
public:
    void SetUp() override { app_ = std::make_unique<Application>(argc_, argv_); }
    void TearDown() override { app_.reset(); }

    static Application& App() {
        assert(instance_ != nullptr && instance_->app_ != nullptr);
        return *instance_->app_;
    }
    static void Register() {
        instance_ = new TQtTestEnvironment;
        ::testing::AddGlobalTestEnvironment(instance_); // gtest owns it
    }

private:
    static inline TQtTestEnvironment* instance_ = nullptr;
    int argc_ = 1;
    char name_[16] = "tessaro-test";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<Application> app_;
};

} // namespace tessaro::test
