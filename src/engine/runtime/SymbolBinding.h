// Binding a loaded library's entry points by name into pointer variables. The media libraries'
// tables and the DVD plug-in binding share the rule and its error text.
#pragma once

#include <span>
#include <string>

namespace tessaro {

// One bound entry point: its symbol name and the pointer variable that receives it.
struct TSymbolSlot {
    const char* name;
    void* slot; // address of the pointer variable
};

// Resolves every symbol in order from the dlopen handle; throws EngineException
// "Load function %s@%s error: %s" at the first one that is missing.
void BindSymbols(std::span<const TSymbolSlot> symbols, const std::string& fileName, void* handle);
// Sets every pointer back to null.
void UnbindSymbols(std::span<const TSymbolSlot> symbols);

} // namespace tessaro
