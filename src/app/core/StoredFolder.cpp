#include "core/StoredFolder.h"

#include "core/AppPaths.h"
#include "core/DialogService.h"
#include "core/IniFile.h"
#include "core/ShellOpen.h"

#include <filesystem>
#include <system_error>

namespace tessaro {

namespace fs = std::filesystem;

bool PathTaken(const std::string& path) {
    std::error_code error;
    return fs::exists(fs::symlink_status(path, error));
}

bool FolderExistsOrCreated(const std::string& folder) {
    if (folder.empty()) {
        return false;
    }
    std::error_code error;
    if (fs::is_directory(folder, error)) {
        return true;
    }
    fs::create_directories(folder, error);
    return fs::is_directory(folder, error);
}

std::string UsableStoredFolder(TIniFile& settings, const std::string& key) {
    const std::string fallback = DefaultOutputDir();
    const std::string folder = settings.ReadString("settings", key, fallback);
    if (FolderExistsOrCreated(folder)) {
        return folder;
    }
    ShowMessage(nullptr, "Warning",
                "Cannot create output directory:" + folder + ".It will create default directory " +
                    fallback + "!");
    std::error_code error;
    fs::create_directories(fallback, error);
    settings.WriteString("settings", key, fallback);
    return fallback;
}

void OpenStoredFolder(const TIniFile& settings, const std::string& key, const std::string& shown) {
    if (shown.size() > 2) {
        OpenWithDefaultHandler(settings.ReadString("settings", key, DefaultOutputDir()));
    }
}

} // namespace tessaro
