// Starting helper programs without a shell: opening folders and web pages with the
// desktop's default handler, and other commands the program runs.
#pragma once

#include <string>
#include <vector>

namespace tessaro {

// Starts args[0] (searched in PATH) with the given arguments, no shell involved, and
// reaps it in the background. Returns false when the program could not be started.
bool SpawnDetached(const std::vector<std::string>& args);

// Blocks until every program started by SpawnDetached has ended (used by tests).
void WaitForSpawnedPrograms();

// Opens a folder, file or web address with the default handler: "xdg-open target".
// TESSARO_OPEN_COMMAND replaces "xdg-open" (a program name or path, no arguments).
bool OpenWithDefaultHandler(const std::string& target);

} // namespace tessaro
