// The subcommands of tessaro-cli. Each lives in its own file and adds itself to the list with
// a TCommandRegistration; main() only dispatches on the first argument.
#pragma once

#include <string>
#include <vector>

namespace tessaro::cli {

// Runs a subcommand with the arguments after its name; the result is the exit status.
using TCommandRun = int (*)(const std::vector<std::string>& args);

struct TCommand {
    const char* name;      // as typed: tessaro-cli <name> ...
    const char* arguments; // for the usage text, e.g. "LOCATION"
    const char* summary;   // one line for the usage text
    TCommandRun run;
};

// The registered subcommands, sorted by name.
const std::vector<TCommand>& Commands();

// Registers a subcommand during start-up; define one per command file:
//   const TCommandRegistration registration({"titles", "LOCATION", "...", &RunTitles});
class TCommandRegistration {
public:
    explicit TCommandRegistration(const TCommand& command);
};

// Writes "tessaro-cli: " + message to standard error and returns exit status 1.
int Fail(const std::string& message);

// The engine reads "opendvd:" addresses through the DVD plug-in beside the executable: loads it
// when Input is such an address. False, with the reason in Error, when it cannot be loaded.
bool LoadDvdPlugInFor(const std::string& input, std::string& error);

} // namespace tessaro::cli
