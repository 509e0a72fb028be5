#include "core/StringFields.h"

#include <algorithm>

namespace postello {

std::string_view CutAtNul(std::string_view s) {
  const auto nul = s.find('\0');
  return nul == std::string_view::npos ? s : s.substr(0, nul);
}

void WriteShortStr(TBinWriter& f, std::string_view s) {
  s = CutAtNul(s);
  const std::size_t len = std::min<std::size_t>(s.size(), 255);
  f.WriteByte(static_cast<std::uint8_t>(len));
  f.WriteBytes(s.substr(0, len));
}

std::string ReadShortStr(TBinReader& f) {
  const std::uint8_t len = f.ReadByte();
  return f.ReadBytes(len);
}

void WriteLongStr(TBinWriter& f, std::string_view s) {
  s = CutAtNul(s);
  f.WriteInt32(static_cast<std::int32_t>(s.size()));
  f.WriteBytes(s);
}

std::string ReadLongStr(TBinReader& f) {
  const std::size_t at = f.Pos();
  const std::int32_t len = f.ReadInt32();
  if (len < 0) {
    throw EInOutError("Negative Textl\xE4nge " + std::to_string(len), at);
  }
  return f.ReadBytes(static_cast<std::size_t>(len));
}

} // namespace postello
