// The settings a fresh installation starts with: a shipped file that gives every
// output format its current values, copied into place when no settings file exists.
#pragma once

#include <string>

namespace tessaro {

inline constexpr const char* DefaultSettingsFileName = "tessaro-defaults.ini";

// The shipped defaults lie beside the format file.
std::string DefaultSettingsPath(const std::string& formatFilePath);

// Copies defaultsPath to settingsPath when settingsPath does not exist yet (creating
// its folder). Returns true when a copy was made; an existing settings file is never
// touched, and a missing defaults file or a failed copy leaves no settings file.
bool InstallDefaultSettings(const std::string& settingsPath, const std::string& defaultsPath);

} // namespace tessaro
