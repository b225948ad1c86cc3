#include "TestPaths.h"

namespace tessaro::test {

std::string SourceDir() {
    return TESSARO_SOURCE_DIR;
}

std::string DataDir() {
    return TESSARO_DATA_DIR;
}

std::string FixtureDir() {
    return TESSARO_FIXTURE_DIR;
}

std::string BinDir() {
    return TESSARO_BIN_DIR;
}

std::string LibAvDir() {
    return TESSARO_LIBAV_DIR;
}

std::string TestBinDir() {
    return TESSARO_TEST_BIN_DIR;
}

} // namespace tessaro::test
