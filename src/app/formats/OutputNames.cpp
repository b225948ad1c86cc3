#include "formats/OutputNames.h"

#include "settings/StoredFolder.h"

#include <filesystem>
#include <system_error>
#include <utility>

namespace tessaro {

namespace {

namespace fs = std::filesystem;

std::string SourceBaseName(const std::string& source) {
    return fs::path(source).filename().stem().string();
}

} // namespace

std::string MakeOutputName(TIniFile& settings, const std::string& source,
                           const std::string& extensionText) {
    return MakeOutputNameInFolder(UsableStoredFolder(settings, "OutPutDir"), source, extensionText);
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
