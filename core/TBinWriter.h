#pragma once
// Collects the bytes of a binary state file in memory; the caller hands
// Data() to SaveFileSafely, so a failed save never leaves half a file.
#include <cstdint>
#include <string>
#include <string_view>

namespace postello {

class TBinWriter {
public:
  void WriteByte(std::uint8_t v) { m_data += static_cast<char>(v); }
  void WriteInt32(std::int32_t v) {
    const auto u = static_cast<std::uint32_t>(v);
    for (int k = 0; k < 4; ++k) m_data += static_cast<char>((u >> (8 * k)) & 0xFF);
  }
  void WriteUInt32(std::uint32_t v) { WriteInt32(static_cast<std::int32_t>(v)); }
  void WriteBytes(std::string_view bytes) { m_data.append(bytes); }

  const std::string& Data() const { return m_data; }
  void Reserve(std::size_t n) { m_data.reserve(n); }

private:
  std::string m_data;
};

} // namespace postello
