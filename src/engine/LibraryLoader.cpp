#include "LibraryLoader.h"

#include "EngineException.h"
#include "LibraryBinding.h"

#include <cassert>
#include <dlfcn.h>
#include <sys/stat.h>

namespace tessaro {
namespace {

bool IsRegularFile(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string LastDlError() {
    const char* text = dlerror();
    return text ? text : "unknown error";
}

// Loads Dir + FileName when that file exists, otherwise the bare FileName through
// the system search. Returns null and fills error on failure.
void* LoadLibraryFromDir(const std::string& dir, const std::string& fileName, std::string& error) {
    const std::string fullPath = dir + fileName;
    const bool fromDir = !dir.empty() && IsRegularFile(fullPath);
    void* handle = dlopen(fromDir ? fullPath.c_str() : fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        error = LastDlError();
    }
    return handle;
}

std::string WithTrailingSlash(const std::string& dir) {
    if (dir.empty() || dir.back() == '/') {
        return dir;
    }
    return dir + '/';
}

} // namespace

TLibraryLoader& TLibraryLoader::Instance() {
    static TLibraryLoader loader;
    return loader;
}

void TLibraryLoader::SetFileNameOverride(TLibraryKind kind, const std::string& fileName) {
    status_[int(kind)].fileName = fileName;
}

std::string TLibraryLoader::LibFileName(TLibraryKind kind) const {
    const Status& status = status_[int(kind)];
    if (!status.fileName.empty()) {
        return status.fileName;
    }
    const TLibraryItem& item = LibraryItems[int(kind)];
    std::string name = item.name;
    if (item.version >= 0) {
        name += '.' + std::to_string(item.version);
    }
    return name;
}

bool TLibraryLoader::LoadLib(TLibraryKind kind) {
    Status& status = status_[int(kind)];
    const std::string fileName = LibFileName(kind);
    if (status.handle == nullptr) {
        const auto slash = fileName.rfind('/');
        std::string dir = slash == std::string::npos ? std::string() : fileName.substr(0, slash + 1);
        const std::string file = slash == std::string::npos ? fileName : fileName.substr(slash + 1);
        if (dir.empty()) {
            dir = WithTrailingSlash(libraryDir_);
        }
        std::string error;
        void* handle = LoadLibraryFromDir(dir, file, error);
        if (handle == nullptr) {
            lastError_ = FormatText("Load library %s error: %s", (dir + file).c_str(), error.c_str());
            return false;
        }
        status.handle = handle;
    }
    if (!status.bound) {
        try {
            BindLibrary(LibraryItems[int(kind)], fileName, status.handle);
            status.bound = true;
        } catch (const EngineException& e) {
            lastError_ = e.what();
        }
    }
    if (!status.bound) {
        UnloadLib(kind);
        return false;
    }
    if (loadedHook_ != nullptr) {
        loadedHook_(kind);
    }
    return true;
}

bool TLibraryLoader::LoadLibSet(TLibrarySet set) {
    assert(set != 0 && "empty library set");
    for (int i = 0; i < LibraryKindCount; ++i) {
        const auto kind = TLibraryKind(i);
        if ((set & LibBit(kind)) != 0 && !LoadLib(kind)) {
            UnloadLibSet(set);
            return false;
        }
    }
    return true;
}

bool TLibraryLoader::IsLibLoaded(TLibraryKind kind) const {
    const Status& status = status_[int(kind)];
    return status.handle != nullptr && status.bound;
}

bool TLibraryLoader::IsLibSetLoaded(TLibrarySet set) const {
    assert(set != 0 && "empty library set");
    for (int i = 0; i < LibraryKindCount; ++i) {
        const auto kind = TLibraryKind(i);
        if ((set & LibBit(kind)) != 0 && !IsLibLoaded(kind)) {
            return false;
        }
    }
    return true;
}

void TLibraryLoader::UnloadLib(TLibraryKind kind) {
    Status& status = status_[int(kind)];
    // Pointers bound before a failed bind are cleared too.
    UnbindLibrary(LibraryItems[int(kind)]);
    status.bound = false;
    if (status.handle != nullptr) {
        dlclose(status.handle);
        status.handle = nullptr;
    }
}

void TLibraryLoader::UnloadLibSet(TLibrarySet set) {
    assert(set != 0 && "empty library set");
    for (int i = 0; i < LibraryKindCount; ++i) {
        const auto kind = TLibraryKind(i);
        if ((set & LibBit(kind)) != 0) {
            UnloadLib(kind);
        }
    }
}

std::recursive_mutex& CodecLock() {
    static std::recursive_mutex lock;
    return lock;
}

} // namespace tessaro
