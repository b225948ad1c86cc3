// A folder the settings file names (the output folder, the snapshot folder), made when it is
// missing and replaced by the default folder when it cannot be made.
#pragma once

#include <string>

namespace tessaro {

class TIniFile;

// True when a file, folder or link of that name exists (a dangling link counts).
bool PathTaken(const std::string& path);

// True when folder exists or could be made together with its missing parents.
bool FolderExistsOrCreated(const std::string& folder);

// The folder stored as "settings"/key (default: DefaultOutputDir()), made when missing. A
// folder that cannot be made is replaced after the warning "Cannot create output directory:"
// + folder + ".It will create default directory " + the default folder + "!": the default
// folder is made, stored as "settings"/key and returned, so the caller's files go there.
std::string UsableStoredFolder(TIniFile& settings, const std::string& key);

// The Open button beside a folder box: opens the folder stored as "settings"/key (default:
// DefaultOutputDir()) with the desktop's default handler, when the box shows more than two
// characters.
void OpenStoredFolder(const TIniFile& settings, const std::string& key, const std::string& shown);

} // namespace tessaro
