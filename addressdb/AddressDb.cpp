#include "addressdb/AddressDb.h"

#include <algorithm>
#include <stdexcept>

namespace postello {

std::vector<TDbfFieldDef> AddressFieldDefs(int infoFields) {
  if (infoFields < 0 || infoFields > kMaxInfoFields)
    throw std::invalid_argument("Die Anzahl der Info-Felder muss zwischen 0 und " +
                                std::to_string(kMaxInfoFields) + " liegen, nicht bei " +
                                std::to_string(infoFields));
  std::vector<TDbfFieldDef> defs = {
      {"eMail", 'C', 254, 0},
      {"Name", 'C', 30, 0},
      {"Vorname", 'C', 30, 0},
      {"Anrede", 'C', 20, 0},
  };
  for (int i = 1; i <= infoFields; ++i) defs.push_back({"Info " + std::to_string(i), 'C', 50, 0});
  return defs;
}

int InfoFieldCount(const TDbf& table) {
  if (!table.Active()) return 0;
  return std::clamp(table.FieldCount() - 4, 0, kMaxInfoFields);
}

void OpenAddressTable(TDbf& table, const std::string& fileName, bool createMissing) {
  // A record typed into the table open before belongs to that table:
  // closing would drop it.
  if (table.Active()) table.CheckBrowseMode();
  table.Close();
  table.SetFileName(fileName);
  table.SetAutoCreate(createMissing);
  try {
    table.Open();
  } catch (...) {
    table.SetAutoCreate(true);
    throw;
  }
  table.SetAutoCreate(true);
  table.SetFiltered(true);
}

void ReapplyFilter(TDbf& table) {
  table.Close();
  table.Open();
  table.SetFiltered(true);
}

void CreateAddressTable(TDbf& table, int infoFields) {
  std::vector<TDbfFieldDef> defs = AddressFieldDefs(infoFields);
  table.Close();
  table.FieldDefs() = std::move(defs);
  table.CreateTable();
  table.Open();
}

std::vector<std::string> FieldNamesOf(const TDbf& table) {
  std::vector<std::string> names;
  for (int i = 0; i < table.FieldCount(); ++i) names.push_back(table.Field(i).Name);
  return names;
}

std::string UpperCaseAZ(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return out;
}

std::string_view TrimSpaces(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

namespace {

bool MatchesUpper(const TDbf& table, const std::string& upperFilter) {
  if (upperFilter.empty()) return true;
  for (int i = 0; i < table.FieldCount(); ++i) {
    std::string value = table.AsString(i);
    if (value.size() < upperFilter.size()) continue;
    for (char& c : value)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    if (value.find(upperFilter) != std::string::npos) return true;
  }
  return false;
}

} // namespace

bool RecordMatchesText(const TDbf& table, std::string_view filterText) {
  return MatchesUpper(table, UpperCaseAZ(filterText));
}

TDbf::TFilterRecord MakeTextFilter(std::function<std::string()> currentText) {
  return [currentText = std::move(currentText)](const TDbf& table) {
    return MatchesUpper(table, UpperCaseAZ(currentText()));
  };
}

} // namespace postello
