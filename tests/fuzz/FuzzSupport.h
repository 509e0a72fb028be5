#pragma once
// What the libFuzzer harnesses share: a check that stops the run with a
// message (a broken property is a finding, like a crash), and a scratch
// folder for harnesses whose code under test works on files.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <unistd.h>

namespace postello::fuzz {

inline void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "property broken: %s\n", what);
    std::abort();
  }
}

inline std::string_view AsText(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// A folder of this process, in memory when the machine offers /dev/shm,
// removed at exit. Path ends in '/'.
inline const std::string& ScratchDir() {
  static const std::string dir = [] {
    const char* base = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
    std::string tmpl = std::string(base) + "/postello-fuzz-XXXXXX";
    if (!::mkdtemp(tmpl.data())) std::abort();
    static const std::string keep = tmpl;
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(keep, ec);
    });
    return tmpl + "/";
  }();
  return dir;
}

} // namespace postello::fuzz
