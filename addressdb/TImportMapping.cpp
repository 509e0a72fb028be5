#include "addressdb/TImportMapping.h"

#include <algorithm>
#include <charconv>
#include <stdexcept>

namespace postello {

namespace {

// Letters and digits of a header, lower case (Windows-1252 capitals
// included), everything else dropped: "E-Mail Address" -> "emailaddress".
std::string HeaderKey(std::string_view text) {
  std::string key;
  for (char ch : text) {
    auto c = static_cast<unsigned char>(ch);
    if (c >= 'A' && c <= 'Z') c = static_cast<unsigned char>(c + 32);
    else if (c >= 0xC0 && c <= 0xDE && c != 0xD7) c = static_cast<unsigned char>(c + 32);
    const bool letter = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || (c >= 0xDF && c != 0xF7);
    if (letter) key += static_cast<char>(c);
  }
  return key;
}

const char* RoleFieldName(THeaderRole role) {
  switch (role) {
    case THeaderRole::Mail: return "EMAIL";
    case THeaderRole::Name: return "NAME";
    case THeaderRole::Vorname: return "VORNAME";
    case THeaderRole::Anrede: return "ANREDE";
    case THeaderRole::Other: break;
  }
  return "";
}

int FindName(const std::vector<std::string>& names, std::string_view name) {
  const std::string key = HeaderKey(name);
  if (key.empty()) return TImportMapping::kSkip;
  for (std::size_t i = 0; i < names.size(); ++i)
    if (HeaderKey(names[i]) == key) return static_cast<int>(i);
  return TImportMapping::kSkip;
}

int FieldForHeader(std::string_view header, const std::vector<std::string>& fieldNames, int mailField) {
  const THeaderRole role = HeaderRole(header);
  if (role == THeaderRole::Mail && mailField >= 0 && mailField < static_cast<int>(fieldNames.size()))
    return mailField;
  if (role != THeaderRole::Other) return FindName(fieldNames, RoleFieldName(role));
  const int same = FindName(fieldNames, header);
  return same != TImportMapping::kSkip ? same : FindName(fieldNames, DbaseFieldName(header));
}

} // namespace

THeaderRole HeaderRole(std::string_view header) {
  static const struct {
    const char* Key;
    THeaderRole Role;
  } kNames[] = {
      {"email", THeaderRole::Mail},       {"mail", THeaderRole::Mail},
      {"emailadresse", THeaderRole::Mail}, {"emailaddress", THeaderRole::Mail},
      {"nachname", THeaderRole::Name},    {"name", THeaderRole::Name},
      {"lastname", THeaderRole::Name},    {"vorname", THeaderRole::Vorname},
      {"firstname", THeaderRole::Vorname}, {"anrede", THeaderRole::Anrede},
      {"salutation", THeaderRole::Anrede},
  };
  const std::string key = HeaderKey(header);
  for (const auto& n : kNames)
    if (key == n.Key) return n.Role;
  return THeaderRole::Other;
}

std::string DbaseFieldName(std::string_view header) {
  const THeaderRole role = HeaderRole(header);
  if (role != THeaderRole::Other) return RoleFieldName(role);
  std::string name;
  bool gap = false;
  for (char ch : header) {
    const auto c = static_cast<unsigned char>(ch);
    const char* fold = nullptr;
    switch (c) {
      case 0xC4: case 0xE4: fold = "AE"; break;
      case 0xD6: case 0xF6: fold = "OE"; break;
      case 0xDC: case 0xFC: fold = "UE"; break;
      case 0xDF: fold = "SS"; break;
      default: break;
    }
    std::string piece;
    if (fold) piece = fold;
    else if ((c >= 'a' && c <= 'z')) piece = static_cast<char>(c - 32);
    else if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) piece = static_cast<char>(c);
    if (piece.empty()) {
      gap = true;
      continue;
    }
    if (gap && !name.empty()) name += '_';
    gap = false;
    name += piece;
  }
  if (!name.empty() && (name[0] >= '0' && name[0] <= '9')) name.insert(name.begin(), 'F');
  if (name.size() > 10) name.resize(10);
  while (!name.empty() && name.back() == '_') name.pop_back();
  return name;
}

TImportMapping TImportMapping::InOrder(std::size_t columns, int fieldCount) {
  TImportMapping m;
  for (std::size_t i = 0; i < columns; ++i)
    m.mFields.push_back(static_cast<int>(i) < fieldCount ? static_cast<int>(i) : kSkip);
  return m;
}

TImportMapping TImportMapping::FromHeader(const std::vector<std::string>& header,
                                          const std::vector<std::string>& fieldNames, int mailField) {
  TImportMapping m;
  for (const std::string& h : header) {
    int field = FieldForHeader(h, fieldNames, mailField);
    if (std::find(m.mFields.begin(), m.mFields.end(), field) != m.mFields.end()) field = kSkip;
    m.mFields.push_back(field);
  }
  return m;
}

int TImportMapping::FieldOf(std::size_t column) const {
  return column < mFields.size() ? mFields[column] : kSkip;
}

void TImportMapping::Set(std::size_t column, int field) {
  if (field != kSkip)
    for (int& f : mFields)
      if (f == field) f = kSkip;
  if (column >= mFields.size()) mFields.resize(column + 1, kSkip);
  mFields[column] = field;
}

void TImportMapping::Apply(std::string_view assignment, const std::vector<std::string>& header,
                           const std::vector<std::string>& fieldNames) {
  const std::size_t eq = assignment.rfind('=');
  if (eq == std::string_view::npos || eq == 0)
    throw std::invalid_argument("\"" + std::string(assignment) + "\" hat nicht die Form SPALTE=FELD");
  const std::string_view column = assignment.substr(0, eq);
  const std::string_view field = assignment.substr(eq + 1);
  std::size_t index = 0;
  const auto [end, ec] = std::from_chars(column.data(), column.data() + column.size(), index);
  std::size_t col = 0;
  if (ec == std::errc() && end == column.data() + column.size() && index >= 1) {
    col = index - 1;
  } else {
    const int found = FindName(header, column);
    if (found == kSkip) throw std::invalid_argument("Die Datei hat keine Spalte \"" + std::string(column) + "\"");
    col = static_cast<std::size_t>(found);
  }
  int target = kSkip;
  if (field != "-") {
    target = FindName(fieldNames, field);
    if (target == kSkip)
      throw std::invalid_argument("Die Datenbank hat kein Feld \"" + std::string(field) + "\"");
  }
  Set(col, target);
}

} // namespace postello
