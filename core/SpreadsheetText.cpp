#include "core/SpreadsheetText.h"

namespace postello {

bool LooksLikeFormula(std::string_view cell) {
  std::size_t i = 0;
  while (i < cell.size() && cell[i] == '\'') ++i;
  return i < cell.size() && (cell[i] == '=' || cell[i] == '+' || cell[i] == '-' || cell[i] == '@');
}

std::string EscapeFormula(std::string_view cell) {
  return LooksLikeFormula(cell) ? "'" + std::string(cell) : std::string(cell);
}

std::string UnescapeFormula(std::string_view cell) {
  if (!cell.empty() && cell.front() == '\'' && LooksLikeFormula(cell.substr(1))) cell.remove_prefix(1);
  return std::string(cell);
}

} // namespace postello
