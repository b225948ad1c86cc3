#include "formats/OutputNames.h"

#include "settings/AppPaths.h"
#include "settings/IniFile.h"
#include "shell/DialogService.h"

#include <filesystem>
#include <system_error>
#include <utility>

namespace tessaro {

namespace {

namespace fs = std::filesystem;

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

bool PathTaken(const std::string& path) {
    std::error_code error;
    return fs::exists(fs::symlink_status(path, error));
}

// The stored output folder, or the default folder after the fallback warning.
std::string UsableOutputFolder(TIniFile& settings) {
    const std::string fallback = DefaultOutputDir();
    const std::string folder = settings.ReadString("settings", "OutPutDir", fallback);
    if (FolderExistsOrCreated(folder)) {
        return folder;
    }
    ShowMessage(nullptr, "Warning",
                "Cannot create output directory:" + folder + ".It will create default directory " +
                    fallback + "!");
    std::error_code error;
    fs::create_directories(fallback, error);
    settings.WriteString("settings", "OutPutDir", fallback);
    return fallback;
}

std::string SourceBaseName(const std::string& source) {
    return fs::path(source).filename().stem().string();
}

} // namespace

std::string MakeOutputName(TIniFile& settings, const std::string& source,
                           const std::string& extensionText) {
    return MakeOutputNameInFolder(UsableOutputFolder(settings), source, extensionText);
}

std::string MakeOutputNameInFolder(std::string folder, const std::string& source,
                                   const std::string& extensionText) {
    return MakeOutputNameInFolder(std::move(folder), source, extensionText, {});
}

std::string MakeOutputNameInFolder(std::string folder, const std::string& source,
                                   const std::string& extensionText,
                                   const std::set<std::string>& claimed) {
    const auto taken = [&claimed](const std::string& path) {
        return claimed.contains(path) || PathTaken(path);
    };
    if (!folder.empty() && folder.back() != '/') {
        folder += '/';
    }
    const std::string base = folder + SourceBaseName(source);
    std::string candidate = base + "_(new)" + extensionText;
    for (int n = 1; taken(candidate); ++n) {
        candidate = base + "_(new_" + std::to_string(n) + ")" + extensionText;
    }
    return candidate;
}

} // namespace tessaro
