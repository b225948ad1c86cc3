// The DVD plug-in's title-stream entry points, handed to the engine by the plug-in binding once
// the library is loaded; the engine reads "opendvd:" titles through them.
#pragma once

#include "DVDDecApi.h"

namespace tessaro {

// The plug-in's title-stream entry points. The DVD plug-in binding hands them over once the
// library is loaded; until then every member is null.
struct TDvdStreamFunctions {
    TDVDGetParamFunc getParam = nullptr;
    TDVDStreamOpenFunc open = nullptr;
    TDVDStreamReadFunc read = nullptr;
    TDVDStreamSeekFunc seek = nullptr;
    TDVDStreamSizeFunc size = nullptr;
    TDVDStreamGetInfoFunc getInfo = nullptr;
    TDVDStreamCloseFunc close = nullptr;
};

// Called on the main thread before any title stream is opened (the library then stays loaded
// for the rest of the process).
void SetDvdStreamFunctions(const TDvdStreamFunctions& functions);
bool DvdStreamFunctionsSet();

} // namespace tessaro
