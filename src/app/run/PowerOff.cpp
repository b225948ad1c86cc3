#include "run/PowerOff.h"

#include "core/ShellOpen.h"

#include <cstdlib>
#include <sstream>

namespace tessaro {

std::vector<std::string> PowerOffCommand() {
    const char* replacement = std::getenv("TESSARO_POWEROFF_COMMAND");
    if (replacement == nullptr || replacement[0] == '\0') {
        return {"systemctl", "poweroff"};
    }
    std::vector<std::string> words;
    std::istringstream text(replacement);
    for (std::string word; text >> word;) {
        words.push_back(word);
    }
    return words;
}

bool ShutDownComputer() {
    return SpawnDetached(PowerOffCommand());
}

std::string ShutDownCountdownText(int secondsLeft) {
    return "The computer will shut down in " + std::to_string(secondsLeft) +
           (secondsLeft == 1 ? " second." : " seconds.");
}

} // namespace tessaro
