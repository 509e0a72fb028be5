#include "send/MergeFields.h"

#include <algorithm>

namespace postello {

std::string MergeCurrentRecord(std::string_view text, const TDbf& table, std::vector<std::string>* unknown) {
  // The scan has three states: plain text, a "[" just seen, and inside a
  // placeholder's name. Plain text and names are taken in whole runs.
  std::string out;
  out.reserve(text.size() + text.size() / 4);
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t open = text.find('[', i);
    if (open == std::string_view::npos) {
      out.append(text.substr(i));
      break;
    }
    out.append(text.substr(i, open - i));
    if (open + 1 >= text.size()) {
      out += '[';  // a bracket left open at the end stays
      break;
    }
    if (text[open + 1] != '%') {
      // "[" and the character after it are copied, even a second "[".
      out.append(text.substr(open, 2));
      i = open + 2;
      continue;
    }
    const std::size_t nameStart = open + 2;
    const std::size_t close = text.find(']', nameStart);
    if (close == std::string_view::npos) {
      out.append(text.substr(open));  // a placeholder left open at the end stays
      break;
    }
    const std::string_view name = text.substr(nameStart, close - nameStart);
    const int field = table.FindField(name);
    if (field >= 0)
      out += table.AsString(field);
    else {
      const std::string_view written = text.substr(open, close + 1 - open);
      out.append(written);
      if (unknown && std::find(unknown->begin(), unknown->end(), written) == unknown->end())
        unknown->emplace_back(written);
    }
    i = close + 1;
  }
  return out;
}

std::string OneLine(std::string text) {
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 32 || c == 127) c = ' ';
  return text;
}

const std::string* SentHtml(const TMailRecFields& mail) {
  return mail.MailType == 0 ? &mail.DesignHtml : mail.MailType == 1 ? &mail.HtmlText : nullptr;
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
