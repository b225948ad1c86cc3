// Whole-file reads and the program's own folder.
#pragma once

#include <string>

namespace tessaro {

enum class TFileRead { Ok, Missing, Unreadable, TooLarge };

// Reads the whole file at path into content (binary, unchanged). Missing when the file does not
// exist, Unreadable when it exists but cannot be read completely, TooLarge when it does not fit
// into memory; content is unchanged unless the result is Ok.
TFileRead ReadWholeFile(const std::string& path, std::string& content);

// The folder of the running program (the directory of /proc/self/exe) with a trailing "/";
// "./" when the system cannot tell.
std::string ProgramFolder();

} // namespace tessaro
