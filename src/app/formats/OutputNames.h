// The output folder rule and fresh output file names in it.
#pragma once

#include <set>
#include <string>

namespace tessaro {

class TIniFile;

// The output path for a source: the output folder ("settings"/"OutPutDir"), the
// source's file name without folder and last extension, "_(new)" and extensionText,
// which is appended unchanged (e.g. ".mp4"). When that file exists, "_(new_1)",
// "_(new_2)", ... are tried in turn; only existing files count.
// A folder that does not exist and cannot be created is replaced by the default
// folder, after a warning; the default is created, stored and used for this name.
std::string MakeOutputName(TIniFile& settings, const std::string& source,
                           const std::string& extensionText);

// The same name rule in a folder given by the caller (no fallback: the folder must exist;
// an empty folder is the current one).
std::string MakeOutputNameInFolder(std::string folder, const std::string& source,
                                   const std::string& extensionText);
// The same, also passing over the names in claimed: outputs that rows converted before this
// one will have written by the time this one is named.
std::string MakeOutputNameInFolder(std::string folder, const std::string& source,
                                   const std::string& extensionText,
                                   const std::set<std::string>& claimed);

// Whether folder can take the output files: an existing folder on a medium that is neither
// read-only nor an optical disc, and that the program may write into.
bool CanHoldOutput(const std::string& folder);

} // namespace tessaro
