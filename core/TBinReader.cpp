#include "core/TBinReader.h"

namespace postello {

void TBinReader::Need(std::size_t n) const {
  if (n > Remaining()) throw EInOutError("Lesen \xFC" "ber das Dateiende hinaus", m_pos);
}

std::uint8_t TBinReader::ReadByte() {
  Need(1);
  return static_cast<std::uint8_t>(m_data[m_pos++]);
}

std::int32_t TBinReader::ReadInt32() {
  Need(4);
  std::uint32_t v = 0;
  for (int k = 0; k < 4; ++k) {
    v |= static_cast<std::uint32_t>(static_cast<std::uint8_t>(m_data[m_pos + k])) << (8 * k);
  }
  m_pos += 4;
  return static_cast<std::int32_t>(v);
}

std::string TBinReader::ReadBytes(std::size_t n) {
  Need(n);
  std::string out(m_data.substr(m_pos, n));
  m_pos += n;
  return out;
}

} // namespace postello
