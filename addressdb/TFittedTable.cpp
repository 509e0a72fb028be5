#include "addressdb/TFittedTable.h"

#include <algorithm>
#include <set>

namespace postello {

TFittedTable::TFittedTable(std::vector<std::string> header)
    : mHeader(std::move(header)), mWidths(mHeader.size(), 1) {}

void TFittedTable::AddRow(const std::vector<std::string>& cells) {
  if (cells.size() > mWidths.size()) mWidths.resize(cells.size(), 1);
  for (std::size_t c = 0; c < cells.size(); ++c) {
    mWidths[c] = std::max(mWidths[c], cells[c].size());
    if (mAtColumn < 0 && cells[c].find('@') != std::string::npos) mAtColumn = static_cast<int>(c);
  }
}

int TFittedTable::MailColumn() const {
  for (std::size_t c = 0; c < mHeader.size(); ++c)
    if (HeaderRole(mHeader[c]) == THeaderRole::Mail) return static_cast<int>(c);
  // A file without a header row, or one whose address column has a name
  // of its own: the addresses show themselves.
  return mAtColumn;
}

std::vector<std::size_t> TFittedTable::Order() const {
  std::vector<std::size_t> order;
  const int mail = MailColumn();
  if (mail >= 0) order.push_back(static_cast<std::size_t>(mail));
  for (std::size_t c = 0; c < mWidths.size(); ++c)
    if (static_cast<int>(c) != mail) order.push_back(c);
  return order;
}

std::vector<TDbfFieldDef> TFittedTable::FieldDefs() const {
  std::vector<TDbfFieldDef> defs;
  std::set<std::string> taken;
  const int mail = MailColumn();
  for (std::size_t c : Order()) {
    std::string name = static_cast<int>(c) == mail && mHeader.empty() ? "EMAIL"
                       : c < mHeader.size()                          ? DbaseFieldName(mHeader[c])
                                                                      : "";
    if (name.empty()) name = "SPALTE" + std::to_string(c + 1);
    const std::string base = name;
    for (int n = 2; taken.count(name); ++n) {
      const std::string suffix = std::to_string(n);
      name = base.substr(0, std::min(base.size(), 10 - suffix.size())) + suffix;
    }
    taken.insert(name);
    const int width = static_cast<int>(c) == mail ? kMaxWidth
                                                  : static_cast<int>(std::min<std::size_t>(mWidths[c], kMaxWidth));
    defs.push_back({name, 'C', width, 0});
  }
  return defs;
}

TImportMapping TFittedTable::Mapping() const {
  TImportMapping mapping;
  const std::vector<std::size_t> order = Order();
  for (std::size_t f = 0; f < order.size(); ++f) mapping.Set(order[f], static_cast<int>(f));
  return mapping;
}

} // namespace postello
