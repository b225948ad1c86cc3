// Where the tests and the fuzz targets find what the build made and what the source tree
// holds: the fixtures, the programs, the libraries loaded at run time, the stand-in libraries
// of the failure tests and the shipped data files.
//
// The folders are compiled into this module's one small source file only, never into the
// tests themselves: a compiled test is then the same in every clone and build folder, so the
// compiler cache serves a second clone all of them and rebuilds this one file.
#pragma once

#include <string>

namespace tessaro::test {

// The source tree's root and its data folder (the format file, the default settings).
std::string SourceDir();
std::string DataDir();

// The build folder's fixtures (scripts/make-fixtures), programs (bin/) and the folder the
// programs load the media and DVD libraries from (bin/LibAV).
std::string FixtureDir();
std::string BinDir();
std::string LibAvDir();

// The folder of the test executables (tests/ in the build folder), under which the
// stand-in libraries of the loaders' failure tests lie.
std::string TestBinDir();

} // namespace tessaro::test
