// tessaro-cli: the engine's functions on the command line, one subcommand per task.
#include "CliCommand.h"
#include "DVDPlugIn.h"
#include "base/FileHelpers.h"
#include "core/AppPaths.h"
#include "dvdinput/DvdAddress.h"

#include <algorithm>
#include <cstring>
#include <iostream>

namespace tessaro::cli {
namespace {

std::vector<TCommand>& CommandList() {
    static std::vector<TCommand> commands;
    return commands;
}

void PrintUsage(std::ostream& out) {
    out << "Usage: tessaro-cli COMMAND [ARGUMENTS]\n\nCommands:\n";
    for (const TCommand& command : Commands()) {
        const std::string call = std::string(command.name) + " " + command.arguments;
        out << "  " << call << std::string(call.size() < 28 ? 28 - call.size() : 1, ' ')
            << command.summary << '\n';
    }
}

} // namespace

const std::vector<TCommand>& Commands() {
    return CommandList();
}

TCommandRegistration::TCommandRegistration(const TCommand& command) {
    std::vector<TCommand>& commands = CommandList();
    const auto place = std::find_if(commands.begin(), commands.end(), [&](const TCommand& c) {
        return std::strcmp(c.name, command.name) > 0;
    });
    commands.insert(place, command);
}

int Fail(const std::string& message) {
    std::cerr << "tessaro-cli: " << message << '\n';
    return 1;
}

bool LoadDvdPlugInFor(const std::string& input, std::string& error) {
    if (!IsDvdAddress(input)) {
        return true;
    }
    const std::string libraryFolder = LibraryFolder(ProgramFolder());
    if (!LoadDVDPlugIn(libraryFolder)) {
        error = "the DVD plug-in library cannot be loaded from " + libraryFolder;
        return false;
    }
    return true;
}

} // namespace tessaro::cli

int main(int argc, char** argv) {
    using namespace tessaro::cli;
    const std::string name = argc > 1 ? argv[1] : "";
    if (name.empty() || name == "help" || name == "-h" || name == "--help") {
        PrintUsage(name.empty() ? std::cerr : std::cout);
        return name.empty() ? 2 : 0;
    }
    for (const TCommand& command : Commands()) {
        if (name == command.name) {
            return command.run(std::vector<std::string>(argv + 2, argv + argc));
        }
    }
    std::cerr << "tessaro-cli: unknown command \"" << name << "\"\n\n";
    PrintUsage(std::cerr);
    return 2;
}
