#include "send/MergeFields.h"

namespace postello {

std::string MergeCurrentRecord(std::string_view text, const TDbf& table) {
  enum { sText, sOpen, sName } state = sText;
  std::string out;
  out.reserve(text.size() + text.size() / 4);
  std::size_t nameStart = 0;  // index of the name's first character in text
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    switch (state) {
      case sText:
        if (c == '[')
          state = sOpen;
        else
          out += c;
        break;
      case sOpen:
        if (c == '%') {
          nameStart = i + 1;
          state = sName;
        } else {
          out += '[';
          out += c;
          state = sText;
        }
        break;
      case sName:
        if (c == ']') {
          const std::string_view name = text.substr(nameStart, i - nameStart);
          const int field = table.FindField(name);
          if (field >= 0) {
            out += table.AsString(field);
          } else {
            out += "[%";
            out += name;
            out += ']';
          }
          state = sText;
        }
        break;
    }
  }
  // A bracket or placeholder left open at the end is kept as written.
  if (state == sOpen) out += '[';
  if (state == sName) {
    out += "[%";
    out += text.substr(nameStart);
  }
  return out;
}

std::string MergeFields(std::string_view text, TDbf& table, std::int64_t position) {
  if (position < 0 || position > UINT32_MAX) return std::string(text);
  try {
    if (!table.Active()) return std::string(text);
    table.MoveTo(static_cast<std::uint32_t>(position));
    // MoveTo stops on the last record when the view is shorter: that is
    // somebody else's record, so nothing is merged.
    if (table.Position() != position) return std::string(text);
    return MergeCurrentRecord(text, table);
  } catch (const std::exception&) {
    return std::string(text);
  }
}

} // namespace postello
