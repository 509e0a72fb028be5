#pragma once
#include <string>

namespace postello {

// Folder of the running program file, ending in '/'.
std::string ProgramFileDir();

// The folder for the state files: the program's folder when it can be
// written, otherwise (an installed program) the user's data folder
// ($XDG_DATA_HOME/Postello or ~/.local/share/Postello), created on demand.
// Always ends in '/'.
std::string ResolveProgDir(const std::string& programDir);

// dir with exactly one trailing '/'.
std::string WithTrailingSlash(std::string dir);

} // namespace postello
