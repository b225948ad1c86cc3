// Opening any input the engine plays or probes: a file (plain or "unicode:" name) or a DVD
// title named by an "opendvd:" address.
#pragma once

#include "CustomIO.h"
#include "FFmpegPtr.h"

#include <string>

namespace tessaro {

// Opens name as OpenInputFile does; an "opendvd:" address is read through the DVD plug-in
// as an MPEG program stream (format "mpeg" unless one is given). io must outlive context.
// Returns 0 or an AVERROR code; throws EngineException when a DVD address is malformed or
// its title cannot be opened (the text names the reason).
int OpenMediaInput(AVInputFormatContextPtr& context, CustomAVIOContextPtr& io,
                   const std::string& name, const AVInputFormat* format, AVDictionary** options);

} // namespace tessaro
