#pragma once
// Reads the fields of a binary state file from its bytes in memory.
// Every read checks the remaining length first, so a damaged file raises
// EInOutError ("Lesen über das Dateiende hinaus") at the field where it ends,
// never reads outside the data and never allocates more than the file holds.
#include "core/EInOutError.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace postello {

class TBinReader {
public:
  explicit TBinReader(std::string_view data) : m_data(data) {}

  std::uint8_t ReadByte();
  std::int32_t ReadInt32();
  std::uint32_t ReadUInt32() { return static_cast<std::uint32_t>(ReadInt32()); }
  // n raw bytes; n must not exceed what is left.
  std::string ReadBytes(std::size_t n);

  std::size_t Pos() const { return m_pos; }
  std::size_t Remaining() const { return m_data.size() - m_pos; }
  bool AtEnd() const { return m_pos == m_data.size(); }

private:
  void Need(std::size_t n) const;

  std::string_view m_data;
  std::size_t m_pos = 0;
};

} // namespace postello
