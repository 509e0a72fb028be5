#include "core/ProgDir.h"

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace postello {

std::string WithTrailingSlash(std::string dir) {
  if (dir.empty() || dir.back() != '/') dir += '/';
  return dir;
}

std::string ProgramFileDir() {
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return WithTrailingSlash(std::filesystem::current_path().string());
  return WithTrailingSlash(exe.parent_path().string());
}

namespace {

// The install rules put the desktop entry beside the programs' bin folder;
// a build tree has none.
bool IsInstalledProgramDir(const std::string& dir) {
  std::error_code ec;
  return std::filesystem::exists(dir + "../share/applications/postello.desktop", ec);
}

} // namespace

std::string ResolveProgDir(const std::string& programDir) {
  const std::string dir = WithTrailingSlash(programDir);
  if (!IsInstalledProgramDir(dir) && ::access(dir.c_str(), W_OK) == 0) return dir;
  std::string base;
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/') {
    base = xdg;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    base = std::string(home) + "/.local/share";
  } else {
    return dir;
  }
  const std::string data = WithTrailingSlash(base) + "Postello/";
  std::error_code ec;
  std::filesystem::create_directories(data, ec);
  return data;
}

} // namespace postello
