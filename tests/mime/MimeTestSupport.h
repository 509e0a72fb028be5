#pragma once
// Helpers shared by the MIME tests: a scratch folder, a time-zone switch and
// a one-line picture of a part tree.
#include "mime/TMailPart.h"

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>

namespace postello::mimetest {

class TTempDir {
public:
  TTempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "postello-mime-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary folder");
    FPath = pattern;
  }
  ~TTempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(FPath, ignored);
  }
  std::string Path(const std::string& name) const { return (FPath / name).string(); }

private:
  std::filesystem::path FPath;
};

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
  if (!out) throw std::runtime_error("cannot write " + path);
}

// Switches the process's time zone and restores it when destroyed.
class TZoneGuard {
public:
  TZoneGuard() {
    if (const char* tz = std::getenv("TZ")) FSaved = tz;
  }
  ~TZoneGuard() {
    if (FSaved)
      setenv("TZ", FSaved->c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }
  void Set(const char* tz) {
    setenv("TZ", tz, 1);
    tzset();
  }

private:
  std::optional<std::string> FSaved;
};

// "multipart/mixed(text/plain,application/pdf)" and so on.
inline std::string Describe(const TMailPart& part) {
  std::string text = part.MediaType();
  if (part.SubParts.Empty()) return text;
  text += "(";
  for (int i = 0; i < part.SubParts.Count(); ++i) {
    if (i) text += ",";
    text += Describe(*part.SubParts[i]);
  }
  return text + ")";
}

} // namespace postello::mimetest
