#include "core/DefaultSettings.h"

#include <filesystem>
#include <system_error>

namespace tessaro {

namespace fs = std::filesystem;

std::string DefaultSettingsPath(const std::string& formatFilePath) {
    return (fs::path(formatFilePath).parent_path() / DefaultSettingsFileName).string();
}

bool InstallDefaultSettings(const std::string& settingsPath, const std::string& defaultsPath) {
    std::error_code error;
    if (fs::exists(fs::symlink_status(settingsPath, error)) ||
        !fs::is_regular_file(defaultsPath, error)) {
        return false;
    }
    const fs::path target(settingsPath);
    if (target.has_parent_path()) {
        fs::create_directories(target.parent_path(), error);
    }
    // Copy to a temporary name first so a failed copy never leaves a partial file.
    const fs::path temporary = target.string() + ".new";
    if (!fs::copy_file(defaultsPath, temporary, fs::copy_options::overwrite_existing, error)) {
        fs::remove(temporary, error);
        return false;
    }
    fs::rename(temporary, target, error);
    if (error) {
        fs::remove(temporary, error);
        return false;
    }
    return true;
}

} // namespace tessaro
