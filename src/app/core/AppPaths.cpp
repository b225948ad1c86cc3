#include "core/AppPaths.h"

#include "base/FileHelpers.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

// Set by the build: the folder the build tree's programs are written to, and the installed
// data folder relative to the installed programs' folder.
#ifndef TESSARO_BUILD_PROGRAM_DIR
#error "TESSARO_BUILD_PROGRAM_DIR must name the build tree's program folder"
#endif
#ifndef TESSARO_DATA_DIR_FROM_PROGRAM_DIR
#error "TESSARO_DATA_DIR_FROM_PROGRAM_DIR must name the data folder relative to the programs"
#endif

namespace tessaro {

namespace {

std::string WithTrailingSlash(std::string folder) {
    if (folder.empty() || folder.back() != '/') {
        folder += '/';
    }
    return folder;
}

bool FileExists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool IsBuildTreeProgramDir(const std::string& exeDir) {
    std::error_code error;
    return std::filesystem::equivalent(exeDir, TESSARO_BUILD_PROGRAM_DIR, error);
}

// Creates folder and its missing parents; failures show up later when the file is written.
void MakeFolders(const std::string& folder) {
    for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        const std::string part = folder.substr(0, slash);
        if (!part.empty()) {
            mkdir(part.c_str(), 0755);
        }
        if (slash == std::string::npos) {
            break;
        }
    }
}

std::string ConfigHome() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    // Relative XDG_CONFIG_HOME values are ignored, as the XDG base-directory rules require.
    if (xdg != nullptr && xdg[0] == '/') {
        return xdg;
    }
    return HomeDir() + "/.config";
}

} // namespace

bool IsPortableRun(const std::string& exeDir) {
    return IsBuildTreeProgramDir(exeDir) ||
           FileExists(WithTrailingSlash(exeDir) + SettingsFileName);
}

std::string SettingsFilePath(const std::string& exeDir) {
    if (IsPortableRun(exeDir)) {
        return WithTrailingSlash(exeDir) + SettingsFileName;
    }
    const std::string folder = ConfigHome() + "/tessaro";
    MakeFolders(folder);
    return folder + "/" + SettingsFileName;
}

std::string FormatFilePath(const std::string& exeDir) {
    const std::string beside = WithTrailingSlash(exeDir) + FormatFileName;
    if (FileExists(beside)) {
        return beside;
    }
    return InstalledDataDir(exeDir) + FormatFileName;
}

std::string InstalledDataDir(const std::string& exeDir) {
    const auto folder =
        std::filesystem::path(WithTrailingSlash(exeDir)) / TESSARO_DATA_DIR_FROM_PROGRAM_DIR;
    return WithTrailingSlash(folder.lexically_normal().string());
}

std::string LibraryFolder(const std::string& exeDir) {
    return WithTrailingSlash(exeDir) + "LibAV";
}

std::string SplashPicturePath(const std::string& exeDir) {
    return WithTrailingSlash(exeDir) + "skin/tessarocover.jpg";
}

std::string HomeDir() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] != '\0') {
        return home;
    }
    if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr) {
        return entry->pw_dir;
    }
    return "/";
}

TAppLocation LocateAppFiles() {
    const std::string exeDir = ProgramFolder();
    return {exeDir, SettingsFilePath(exeDir), FormatFilePath(exeDir)};
}

std::string DefaultOutputDir() {
    const std::string home = HomeDir();
    return (home == "/" ? std::string() : home) + "/videoconverter";
}

} // namespace tessaro
