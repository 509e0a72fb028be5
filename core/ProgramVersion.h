#pragma once
// The program's version: the window titles, the message boxes, the window
// class and the Info box show it, and CMakeLists.txt reads it from here for
// the package and the manual pages, so there is one version everywhere.
namespace postello {

inline constexpr const char* kProgramVersion = "1.2";

} // namespace postello
