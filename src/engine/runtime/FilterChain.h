// Linking a chain of filters given as text between two filters of one graph, as the
// transcoder's picture graphs and the player's display graph both do.
#pragma once

#include "runtime/Bindings.h"

#include <string>

namespace tessaro {

// Parses text (filters separated by commas, as the library writes them) into graph and links
// it from the output of from to the input of to. Returns 0, or the library's error code.
int LinkFilterChain(AVFilterGraph* graph, AVFilterContext* from, AVFilterContext* to,
                    const std::string& text);

} // namespace tessaro
