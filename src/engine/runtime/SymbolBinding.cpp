#include "runtime/SymbolBinding.h"

#include "base/EngineException.h"

#include <cstring>
#include <dlfcn.h>

namespace tessaro {

void BindSymbols(std::span<const TSymbolSlot> symbols, const std::string& fileName, void* handle) {
    for (const TSymbolSlot& symbol : symbols) {
        dlerror();
        void* address = dlsym(handle, symbol.name);
        if (address == nullptr) {
            const char* reason = dlerror();
            throw EngineException(FormatText("Load function %s@%s error: %s", symbol.name,
                                             fileName.c_str(), reason ? reason : "symbol is null"));
        }
        // POSIX guarantees that a function address survives the trip through void*.
        std::memcpy(symbol.slot, &address, sizeof address);
    }
}

void UnbindSymbols(std::span<const TSymbolSlot> symbols) {
    for (const TSymbolSlot& symbol : symbols) {
        void* null = nullptr;
        std::memcpy(symbol.slot, &null, sizeof null);
    }
}

} // namespace tessaro
