// Where the program finds its files: the settings file, the format file, the library and skin
// folders, and the default output folder. exeDir is the program's folder (ProgramFolder()).
#pragma once

#include <string>

namespace tessaro {

inline constexpr const char* SettingsFileName = "tessaro.ini";
inline constexpr const char* FormatFileName = "plovupspformat.ini";

// A portable run keeps its settings beside the executable: the program runs from its build
// tree, or a settings file already lies beside it. An installed program is never portable,
// whoever runs it (root can write into the install folder, but must not).
bool IsPortableRun(const std::string& exeDir);

// The settings file beside the executable in a portable run; otherwise
// $XDG_CONFIG_HOME/tessaro/tessaro.ini (~/.config when the variable is unset), whose folder
// is created when missing.
std::string SettingsFilePath(const std::string& exeDir);

// The installed data folder of a program installed in exeDir (<prefix>/lib/tessaro/ gives
// <prefix>/share/tessaro/), with a trailing "/".
std::string InstalledDataDir(const std::string& exeDir);

// The format file beside the executable when it exists there; otherwise the one in
// the installed data folder.
std::string FormatFilePath(const std::string& exeDir);

// Folder of the media and DVD libraries: exeDir + "LibAV".
std::string LibraryFolder(const std::string& exeDir);

// The splash picture that replaces the built-in one when present.
std::string SplashPicturePath(const std::string& exeDir);

// The user's home folder (from $HOME, else the password database), without trailing "/".
std::string HomeDir();

// The files of one run of the program.
struct TAppLocation {
    std::string exeDir;       // with trailing "/"
    std::string settingsPath; // tessaro.ini
    std::string formatPath;   // plovupspformat.ini
};

// The locations for the running executable.
TAppLocation LocateAppFiles();

// The output and snapshot folder used when none is stored: ~/videoconverter.
std::string DefaultOutputDir();

} // namespace tessaro
