// The messages a scripted message service was asked to show, as "caption: text" lines.
#pragma once

#include "core/DialogService.h"

#include <string>
#include <vector>

namespace tessaro::test {

inline std::vector<std::string> MessageLines(const TScriptedDialogService& dialogs) {
    std::vector<std::string> lines;
    for (const TMessageRequest& request : dialogs.Requests()) {
        lines.push_back(request.caption + ": " + request.text);
    }
    return lines;
}

} // namespace tessaro::test
