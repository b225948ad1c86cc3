// The "target" shortcut: the settings of the disc and camcorder formats by TV norm.
#pragma once

#include <string>

namespace tessaro {

class TOptionParser;

// TargetType "vcd", "svcd", "dvd", "dv" or "dv50"; NormText "pal", "ntsc", "film" or anything
// else for automatic (from the frame rate or the inputs, else FallbackNormText).
void ApplyTarget(TOptionParser& parser, const std::string& targetType, const std::string& normText,
                 const std::string& fallbackNormText);

} // namespace tessaro
