// Every input kept under tests/fuzz/regressions/<target>/ (each one found a fault once), run
// through its target with the target's checks, and every target once on an empty input.
#include "FuzzTarget.h"
#include "TestPaths.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <vector>

#include <gtest/gtest.h>

using tessaro::test::SourceDir;

namespace tessaro::fuzz {

namespace {

// Not a std::exception, so no handler of the code under test can swallow it.
struct TFuzzCheckFailure {
    std::string message;
};

struct TKeptInput {
    std::string target;
    std::string path; // empty: the empty input
};

const TFuzzTarget* FindTarget(const std::string& name) {
    std::size_t count = 0;
    const TFuzzTarget* const* targets = FuzzTargets(count);
    for (std::size_t i = 0; i < count; ++i) {
        if (name == targets[i]->name) {
            return targets[i];
        }
    }
    return nullptr;
}

std::vector<TKeptInput> KeptInputs() {
    std::vector<TKeptInput> inputs;
    std::size_t count = 0;
    const TFuzzTarget* const* targets = FuzzTargets(count);
    for (std::size_t i = 0; i < count; ++i) {
        inputs.push_back({targets[i]->name, ""});
    }
    const std::filesystem::path root = SourceDir() + "/tests/fuzz/regressions";
    std::error_code error;
    std::set<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root, error)) {
        if (entry.is_regular_file()) {
            files.insert(entry.path());
        }
    }
    for (const std::filesystem::path& file : files) {
        inputs.push_back({file.parent_path().filename().string(), file.string()});
    }
    return inputs;
}

std::string CaseName(const TKeptInput& input) {
    std::string name =
        input.target + "_" +
        (input.path.empty() ? "empty" : std::filesystem::path(input.path).filename().string());
    for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c))) {
            c = '_';
        }
    }
    return name;
}

void Initialize(const TFuzzTarget& target) {
    static std::set<std::string> initialized;
    if (initialized.insert(target.name).second && target.initialize != nullptr) {
        target.initialize();
    }
}

class FuzzRegression : public ::testing::TestWithParam<TKeptInput> {};

TEST_P(FuzzRegression, RunsCleanly) {
    const TFuzzTarget* target = FindTarget(GetParam().target);
    ASSERT_NE(target, nullptr) << "no fuzz target named " << GetParam().target;
    std::string data;
    if (!GetParam().path.empty()) {
        std::ifstream file(GetParam().path, std::ios::binary);
        ASSERT_TRUE(file) << GetParam().path;
        data.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }
    try {
        Initialize(*target);
        target->run(reinterpret_cast<const std::uint8_t*>(data.data()), data.size());
    } catch (const TFuzzCheckFailure& failure) {
        FAIL() << failure.message;
    }
}

INSTANTIATE_TEST_SUITE_P(Kept, FuzzRegression, ::testing::ValuesIn(KeptInputs()),
                         [](const auto& info) { return CaseName(info.param); });

} // namespace

void FuzzCheckFailed(const char* file, int line, const std::string& message) {
    throw TFuzzCheckFailure{std::string(file) + ":" + std::to_string(line) + ": " + message};
}

} // namespace tessaro::fuzz
