// The per-library symbol tables used by the loader.
#pragma once

#include "runtime/LibraryLoader.h"

#include <span>
#include <string>

namespace tessaro {

// One bound entry point: its symbol name and the pointer variable that receives it.
struct TSymbolSlot {
    const char* name;
    void* slot; // address of the ff:: or sdl:: pointer variable
};

struct TLibraryItem {
    TLibraryKind kind;
    const char* name; // base file name, e.g. "libavcodec.so"
    int version;      // soname suffix; -1 for none
    std::span<const TSymbolSlot> symbols;
};

extern const TLibraryItem LibraryItems[LibraryKindCount];

// Resolves every symbol of the table; throws EngineException
// "Load function %s@%s error: %s" at the first one that is missing.
void BindLibrary(const TLibraryItem& item, const std::string& fileName, void* handle);
// Sets every pointer of the table back to null.
void UnbindLibrary(const TLibraryItem& item);

} // namespace tessaro
