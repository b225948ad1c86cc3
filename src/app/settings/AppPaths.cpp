#include "settings/AppPaths.h"

#include "base/FileHelpers.h"

#include <cerrno>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#ifndef TESSARO_INSTALLED_DATA_DIR
#define TESSARO_INSTALLED_DATA_DIR "/usr/local/share/tessaro"
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

bool FolderIsWritable(const std::string& folder) {
    struct stat info {};
    return stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
           access(folder.c_str(), W_OK) == 0;
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

std::string SettingsFilePath(const std::string& exeDir) {
    if (FolderIsWritable(exeDir)) {
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
    return WithTrailingSlash(TESSARO_INSTALLED_DATA_DIR) + FormatFileName;
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
