#include "DVDPlugIn.h"

#include "base/EngineException.h"
#include "dvdinput/DvdStreamFunctions.h"
#include "runtime/SharedLibraries.h"
#include "runtime/SymbolBinding.h"

#include <cstring>
#include <dlfcn.h>

namespace tessaro {
namespace {

// The binding state of the process: module handle, loaded flag and entry points.
struct TDVDPlugIn {
    void* module = nullptr;
    bool loaded = false;
    TDVDInitializeFunc initialize = nullptr;
    TDVDEnumTitleFunc enumTitle = nullptr;
    TDVDGetTitleFunc getTitle = nullptr;
    TDVDSetParamFunc setParam = nullptr;
    TDVDGetLibVersionFunc getLibVersion = nullptr;
    TDVDGetTitleCellsFunc getTitleCells = nullptr;
    TDVDDiscEncryptedFunc discEncrypted = nullptr;
    TDvdStreamFunctions stream;
};

TDVDPlugIn& PlugIn() {
    static TDVDPlugIn plugIn;
    return plugIn;
}

bool BindAndStart(TDVDPlugIn& plugIn) {
    const TSymbolSlot start[] = {{"DVDInitialize", &plugIn.initialize}};
    BindSymbols(start, DVDPlugInFileName, plugIn.module);
    if (plugIn.initialize() == 0) {
        return false;
    }
    const TSymbolSlot calls[] = {
        {"DVDEnumTitle", &plugIn.enumTitle},
        {"DVDGetTitle", &plugIn.getTitle},
        {"DVDSetParam", &plugIn.setParam},
        {"DVDGetLibVersion", &plugIn.getLibVersion},
        // What the title browser learns beyond the title records.
        {"DVDGetTitleCells", &plugIn.getTitleCells},
        {"DVDDiscEncrypted", &plugIn.discEncrypted},
        // The title-stream functions through which the engine reads "opendvd:" inputs.
        {"DVDGetParam", &plugIn.stream.getParam},
        {"DVDStreamOpen", &plugIn.stream.open},
        {"DVDStreamRead", &plugIn.stream.read},
        {"DVDStreamSeek", &plugIn.stream.seek},
        {"DVDStreamSize", &plugIn.stream.size},
        {"DVDStreamGetInfo", &plugIn.stream.getInfo},
        {"DVDStreamClose", &plugIn.stream.close},
    };
    BindSymbols(calls, DVDPlugInFileName, plugIn.module);
    return true;
}

template <typename Function> Function Resolved(Function entry) {
    if (entry == nullptr) {
        throw EngineException("DVD plug-in library is not loaded.");
    }
    return entry;
}

} // namespace

bool LoadDVDPlugIn(const std::string& folder) {
    if (IsDVDPlugInLoaded()) {
        return true;
    }
    TDVDPlugIn& plugIn = PlugIn();
    const std::string dir = folder.empty() || folder.back() == '/' ? folder : folder + '/';
    std::string error;
    plugIn.module = LoadLibraryFromDir(dir, DVDPlugInFileName, error);
    if (plugIn.module == nullptr) {
        return false;
    }
    try {
        plugIn.loaded = BindAndStart(plugIn);
    } catch (const EngineException&) {
        plugIn.loaded = false;
    }
    if (!plugIn.loaded) {
        dlclose(plugIn.module);
        plugIn = TDVDPlugIn{};
        return false;
    }
    SetDvdStreamFunctions(plugIn.stream);
    return true;
}

bool IsDVDPlugInLoaded() {
    const TDVDPlugIn& plugIn = PlugIn();
    return plugIn.module != nullptr && plugIn.loaded;
}

std::int32_t DVDEnumTitle(const std::string& path) {
    return Resolved(PlugIn().enumTitle)(path.c_str());
}

bool DVDGetTitle(std::int32_t index, TDVDTitleInfo& info) {
    const TDVDGetTitleFunc getTitle = Resolved(PlugIn().getTitle);
    std::memset(&info, 0, sizeof info);
    return getTitle(index, &info) != 0;
}

std::vector<TDVDCellExtent> DVDGetTitleCells(std::int32_t index) {
    const TDVDGetTitleCellsFunc getCells = Resolved(PlugIn().getTitleCells);
    std::vector<TDVDCellExtent> cells(16);
    for (;;) {
        const std::int32_t count = getCells(index, cells.data(), std::int32_t(cells.size()));
        if (count < 0) {
            return {};
        }
        const bool complete = std::size_t(count) <= cells.size();
        cells.resize(std::size_t(count));
        if (complete) {
            return cells;
        }
    }
}

bool DVDDiscEncrypted() {
    return Resolved(PlugIn().discEncrypted)() != 0;
}

void DVDSetParam(const TDVDParam& param) {
    TDVDParam copy = param;
    Resolved(PlugIn().setParam)(&copy);
}

std::string DVDFormatName(std::int32_t code) {
    static const char* const names[] = {"MPEG-1", "MPEG-2", "MPA", "AC3", "DTS", "LPCM", "SUB"};
    if (code < 1 || code > 7) {
        return "Unknown";
    }
    return names[code - 1];
}

} // namespace tessaro
