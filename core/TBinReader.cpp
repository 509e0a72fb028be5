#include "core/TBinReader.h"

#include <cstring>

namespace postello {

void TBinReader::Need(std::uint64_t n) const {
  if (n > Remaining()) throw EInOutError("Read beyond end of file", static_cast<std::size_t>(m_pos));
}

void TBinReader::Take(char* out, std::size_t n) {
  if (m_in) {
    m_in->read(out, static_cast<std::streamsize>(n));
    // The file was shorter than its size said (it shrank while we read).
    if (static_cast<std::size_t>(m_in->gcount()) != n) {
      m_size = m_pos + static_cast<std::uint64_t>(m_in->gcount());
      m_in->clear();
      throw EInOutError("Read beyond end of file", static_cast<std::size_t>(m_size));
    }
  } else {
    std::memcpy(out, m_data.data() + m_pos, n);
  }
  m_pos += n;
}

std::uint8_t TBinReader::ReadByte() {
  Need(1);
  char c = 0;
  Take(&c, 1);
  return static_cast<std::uint8_t>(c);
}

std::int32_t TBinReader::ReadInt32() {
  Need(4);
  unsigned char b[4];
  Take(reinterpret_cast<char*>(b), 4);
  const std::uint32_t v = static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
                          (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
  return static_cast<std::int32_t>(v);
}

std::string TBinReader::ReadBytes(std::size_t n) {
  Need(n);
  std::string out(n, '\0');
  if (n > 0) Take(out.data(), n);
  return out;
}

} // namespace postello
