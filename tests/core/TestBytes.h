#pragma once
// Builds state-file bytes field by field, independently of the code under
// test, so a test states the expected layout itself.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

namespace postello::test {

struct Bytes {
  std::string data;
  Bytes& i32(std::int32_t v) {
    for (int k = 0; k < 4; ++k) data += static_cast<char>((static_cast<std::uint32_t>(v) >> (8 * k)) & 0xFF);
    return *this;
  }
  Bytes& u8(std::uint8_t v) {
    data += static_cast<char>(v);
    return *this;
  }
  Bytes& raw(const std::string& s) {
    data += s;
    return *this;
  }
  Bytes& lstr(const std::string& s) { return i32(static_cast<std::int32_t>(s.size())).raw(s); }
  Bytes& sstr(const std::string& s) { return u8(static_cast<std::uint8_t>(s.size())).raw(s); }
};

// A fresh empty folder under the system's temporary folder, removed at the
// end of the test. Path ends in '/'.
class TempDir {
public:
  TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "postello-XXXXXX").string();
    m_path = std::string(::mkdtemp(tmpl.data())) + "/";
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
  }
  const std::string& path() const { return m_path; }
  std::string file(const std::string& name) const { return m_path + name; }

private:
  std::string m_path;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

} // namespace postello::test
