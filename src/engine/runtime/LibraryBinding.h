// The per-library symbol tables used by the loader.
#pragma once

#include "runtime/LibraryLoader.h"
#include "runtime/SymbolBinding.h"

#include <span>

namespace tessaro {

struct TLibraryItem {
    TLibraryKind kind;
    const char* name; // base file name, e.g. "libavcodec.so"
    int version;      // soname suffix; -1 for none
    std::span<const TSymbolSlot> symbols;
};

extern const TLibraryItem LibraryItems[LibraryKindCount];

} // namespace tessaro
