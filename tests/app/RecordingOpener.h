// Stands in for the desktop's default handler: TESSARO_OPEN_COMMAND names a script that
// records every folder or address it is asked to open, one a line.
#pragma once

#include "AppTestSupport.h"
#include "core/ShellOpen.h"

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace tessaro::test {

class TRecordingOpener {
public:
    explicit TRecordingOpener(const std::filesystem::path& folder)
        : script_(folder / "opener"), record_(folder / "opened.txt"),
          command_("TESSARO_OPEN_COMMAND", MakeScript(script_, record_).c_str()) {}

    // What was opened so far, in order (waits for the openers started until now).
    std::vector<std::string> Opened() const {
        WaitForSpawnedPrograms();
        std::vector<std::string> lines;
        std::istringstream in(std::filesystem::exists(record_) ? ReadTextFile(record_) : "");
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
        return lines;
    }

private:
    static const std::filesystem::path& MakeScript(const std::filesystem::path& script,
                                                   const std::filesystem::path& record) {
        WriteTextFile(script, "#!/bin/sh\necho \"$1\" >> \"" + record.string() + "\"\n");
        std::filesystem::permissions(script, std::filesystem::perms::owner_all);
        return script;
    }

    std::filesystem::path script_;
    std::filesystem::path record_;
    TScopedEnv command_;
};

} // namespace tessaro::test
