// Run-time loading of the FFmpeg and SDL libraries and binding of their entry points.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

namespace tessaro {

// The order is the index into the library tables and the bit number in a TLibrarySet.
enum class TLibraryKind : std::uint8_t {
    libAVCodec,
    libAVDevice,
    libAVFilter,
    libAVFormat,
    libAVUtil,
    libSwScale,
    libSwResample,
    libSDL,
};
inline constexpr int LibraryKindCount = 8;

using TLibrarySet = std::uint8_t;

constexpr TLibrarySet LibBit(TLibraryKind kind) {
    return TLibrarySet(1u << unsigned(kind));
}

inline constexpr TLibrarySet ConverterLibraries =
    LibBit(TLibraryKind::libAVCodec) | LibBit(TLibraryKind::libAVFilter) |
    LibBit(TLibraryKind::libAVFormat) | LibBit(TLibraryKind::libAVUtil) |
    LibBit(TLibraryKind::libSwScale) | LibBit(TLibraryKind::libSwResample);
inline constexpr TLibrarySet PlayerLibraries = ConverterLibraries | LibBit(TLibraryKind::libSDL);

// The process-wide loader. Loading and unloading happen on the main thread before
// any engine thread starts; the loader takes no lock of its own.
class TLibraryLoader {
public:
    static TLibraryLoader& Instance();

    // The last failure text; a later success does not clear it.
    std::string LastErrorText() const { return lastError_; }
    // Directory searched first for libraries whose file name carries no directory.
    void SetLibraryDir(const std::string& dir) { libraryDir_ = dir; }
    std::string LibraryDir() const { return libraryDir_; }
    // Overrides the file loaded for a kind (a path or a bare name); empty restores the default.
    void SetFileNameOverride(TLibraryKind kind, const std::string& fileName);

    std::string LibFileName(TLibraryKind kind) const;
    bool LoadLib(TLibraryKind kind);
    bool LoadLibSet(TLibrarySet set);
    bool IsLibLoaded(TLibraryKind kind) const;
    bool IsLibSetLoaded(TLibrarySet set) const;
    void UnloadLib(TLibraryKind kind);
    void UnloadLibSet(TLibrarySet set);

    // Called after a library has been newly loaded and bound, after the loader's own
    // follow-up work (the logger attaches to avutil, "unicode:" names are prepared with
    // avformat). A library that was already loaded does not call it again.
    using LoadedHook = void (*)(TLibraryKind);
    void SetLoadedHook(LoadedHook hook) { loadedHook_ = hook; }

private:
    TLibraryLoader() = default;

    struct Status {
        std::string fileName;
        void* handle = nullptr;
        bool bound = false;
    };
    Status status_[LibraryKindCount];
    std::string lastError_;
    std::string libraryDir_;
    LoadedHook loadedHook_ = nullptr;
};

// The process-wide serialisation point for opening and closing codecs, stream
// analysis and filter-graph destruction across tasks, probes and the player.
std::recursive_mutex& CodecLock();

} // namespace tessaro
