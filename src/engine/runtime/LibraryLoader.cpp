#include "runtime/LibraryLoader.h"

#include "base/EngineException.h"
#include "base/EngineLogger.h"
#include "io/UnicodeProtocol.h"
#include "runtime/LibraryBinding.h"
#include "runtime/SharedLibraries.h"

#include <cassert>
#include <dlfcn.h>

namespace tessaro {
namespace {

std::string WithTrailingSlash(const std::string& dir) {
    if (dir.empty() || dir.back() == '/') {
        return dir;
    }
    return dir + '/';
}

// What loading a library brings with it: the logger takes over the libraries' log
// output once avutil is bound, and "unicode:" names become usable once avformat is.
void AttachLibraryServices(TLibraryKind kind) {
    if (kind == TLibraryKind::libAVUtil) {
        TEngineLogger::GetLogger().Attach();
    } else if (kind == TLibraryKind::libAVFormat) {
        RegisterUnicodeProtocol();
    }
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
    if (status.handle != nullptr && status.bound) {
        return true;
    }
    const std::string fileName = LibFileName(kind);
    if (status.handle == nullptr) {
        const auto slash = fileName.rfind('/');
        std::string dir =
            slash == std::string::npos ? std::string() : fileName.substr(0, slash + 1);
        const std::string file = slash == std::string::npos ? fileName : fileName.substr(slash + 1);
        if (dir.empty()) {
            dir = WithTrailingSlash(libraryDir_);
        }
        std::string error;
        void* handle = LoadLibraryFromDir(dir, file, error);
        if (handle == nullptr) {
            lastError_ =
                FormatText("Load library %s error: %s", (dir + file).c_str(), error.c_str());
            return false;
        }
        status.handle = handle;
    }
    if (!status.bound) {
        try {
            BindSymbols(LibraryItems[int(kind)].symbols, fileName, status.handle);
            status.bound = true;
        } catch (const EngineException& e) {
            lastError_ = e.what();
        }
    }
    if (!status.bound) {
        UnloadLib(kind);
        return false;
    }
    AttachLibraryServices(kind);
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
    UnbindSymbols(LibraryItems[int(kind)].symbols);
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
