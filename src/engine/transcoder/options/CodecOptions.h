// The fallback of the option parser into the libraries' own option system, and the codec
// name rule shared by the options and the presets.
#pragma once

#include "transcoder/TaskLog.h"
#include "transcoder/options/TranscoderOptions.h"

#include <string>

namespace tessaro {

// Sets a library option (old-generation keys are translated to today's form first). False
// when no context knows the name or the value is bad (the latter is logged).
bool SetCodecOption(TTranscoderOptions& options, const std::string& name, const std::string& value,
                    const TTaskLog& log);

// "copy" selects stream copy; any other non-empty value names the codec.
void SetCodecName(const std::string& value, std::string& codecName, bool& streamCopy);

} // namespace tessaro
