// Applying a preset: a built-in one (by name, or by codec name and name) or a preset file.
#pragma once

#include "transcoder/TaskLog.h"
#include "transcoder/options/TranscoderOptions.h"

#include <string>

namespace tessaro {

// Kind "apre", "vpre", "spre" or "fpre"; throws EngineException for an unknown preset or a
// line that cannot be applied.
void ApplyPreset(TTranscoderOptions& options, const std::string& kind,
                 const std::string& presetName, const TTaskLog& log);

} // namespace tessaro
