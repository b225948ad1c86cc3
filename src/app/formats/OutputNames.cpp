#include "formats/OutputNames.h"

#include "core/StoredFolder.h"

#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <unistd.h>

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

bool CanHoldOutput(const std::string& folder) {
    // File system magic numbers of optical discs (ISO 9660 and UDF).
    constexpr long kIso9660Magic = 0x9660;
    constexpr long kUdfMagic = 0x15013346;
    std::error_code error;
    if (folder.empty() || !fs::is_directory(folder, error)) {
        return false;
    }
    struct statvfs volume {};
    struct statfs system {};
    if (statvfs(folder.c_str(), &volume) != 0 || statfs(folder.c_str(), &system) != 0) {
        return false;
    }
    const long type = static_cast<long>(system.f_type);
    return (volume.f_flag & ST_RDONLY) == 0 && type != kIso9660Magic && type != kUdfMagic &&
           access(folder.c_str(), W_OK) == 0;
}

} // namespace tessaro
