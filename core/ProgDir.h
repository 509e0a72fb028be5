#pragma once
#include <string>

namespace postello {

// Folder of the running program file, ending in '/'.
std::string ProgramFileDir();

// The folder for the state files: the program's folder when it can be
// written, otherwise the user's data folder ($XDG_DATA_HOME/Postello or
// ~/.local/share/Postello), created on demand. An installed program (its
// folder PREFIX/bin beside PREFIX/share/applications/postello.desktop)
// always takes the user's data folder: root can write /usr/bin, but no
// user's mails belong there. Always ends in '/'.
std::string ResolveProgDir(const std::string& programDir);

// dir with exactly one trailing '/'.
std::string WithTrailingSlash(std::string dir);

} // namespace postello
