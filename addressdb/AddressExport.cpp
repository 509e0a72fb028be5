#include "addressdb/AddressExport.h"

#include "addressdb/AddressDb.h"
#include "addressdb/AddressFileImport.h"
#include "core/Cp1252.h"
#include "core/SpreadsheetText.h"
#include "core/SystemErrorText.h"

#include <xlsxwriter.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace postello {

std::string AddressCsvLine(const std::vector<std::string>& cells) {
  std::string line;
  for (std::size_t i = 0; i < cells.size(); ++i) {
    if (i > 0) line += ';';
    const std::string utf8 = Cp1252ToUtf8(EscapeFormula(cells[i]));
    const bool quote = utf8.find_first_of(";\"\r\n") != std::string::npos ||
                       (!utf8.empty() && (utf8.front() == ' ' || utf8.back() == ' '));
    if (!quote) {
      line += utf8;
      continue;
    }
    line += '"';
    for (char c : utf8) {
      if (c == '"') line += '"';
      line += c;
    }
    line += '"';
  }
  return line;
}

namespace {

std::string CannotWrite(const std::string& fileName, const std::string& reason) {
  return "Die Datei \"" + Utf8ToCp1252(fileName) + "\" konnte nicht geschrieben werden: " + reason;
}

// Walks the records to export and puts the cursor back afterwards.
template <typename F>
std::size_t EachRecord(TDbf& table, bool filteredOnly, F&& take) {
  table.CheckBrowseMode();
  const bool filtered = table.Filtered();
  const std::uint32_t recNo = table.RecNo();
  if (!filteredOnly) table.SetFiltered(false);
  std::size_t count = 0;
  std::vector<std::string> cells(static_cast<std::size_t>(table.FieldCount()));
  try {
    for (table.First(); !table.Eof(); table.Next()) {
      for (int f = 0; f < table.FieldCount(); ++f) cells[static_cast<std::size_t>(f)] = table.AsString(f);
      take(cells);
      ++count;
    }
  } catch (...) {
    table.SetFiltered(filtered);
    throw;
  }
  table.SetFiltered(filtered);
  if (recNo) table.GoToRecord(recNo);
  return count;
}

std::size_t WriteCsv(TDbf& table, const std::string& fileName, bool filteredOnly) {
  errno = 0;
  std::ofstream out(fileName, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error(CannotWrite(fileName, SystemErrorText(errno ? errno : EIO)));
  out << "\xEF\xBB\xBF" << AddressCsvLine(FieldNamesOf(table)) << "\r\n";
  const std::size_t count =
      EachRecord(table, filteredOnly, [&](const std::vector<std::string>& cells) { out << AddressCsvLine(cells) << "\r\n"; });
  out.close();
  if (!out) throw std::runtime_error(CannotWrite(fileName, SystemErrorText(errno ? errno : EIO)));
  return count;
}

std::size_t WriteXlsx(TDbf& table, const std::string& fileName, bool filteredOnly) {
  lxw_workbook_options options = {};
  // Rows go to the file as they are written: memory stays small for any table.
  options.constant_memory = LXW_TRUE;
  lxw_workbook* book = workbook_new_opt(fileName.c_str(), &options);
  if (!book) throw std::runtime_error(CannotWrite(fileName, "kein Speicher oder kein Zugriff"));
  lxw_worksheet* sheet = workbook_add_worksheet(book, "Adressen");
  lxw_row_t row = 0;
  lxw_error error = LXW_NO_ERROR;
  auto writeRow = [&](const std::vector<std::string>& cells) {
    for (std::size_t c = 0; c < cells.size(); ++c) {
      if (cells[c].empty()) continue;
      const lxw_error e =
          worksheet_write_string(sheet, row, static_cast<lxw_col_t>(c), Cp1252ToUtf8(cells[c]).c_str(), nullptr);
      if (e != LXW_NO_ERROR && error == LXW_NO_ERROR) error = e;
    }
    ++row;
  };
  writeRow(FieldNamesOf(table));
  std::size_t count = 0;
  try {
    count = EachRecord(table, filteredOnly, writeRow);
  } catch (...) {
    workbook_close(book);
    std::remove(fileName.c_str());
    throw;
  }
  const lxw_error closed = workbook_close(book);
  if (error == LXW_NO_ERROR) error = closed;
  if (error != LXW_NO_ERROR) {
    std::remove(fileName.c_str());
    throw std::runtime_error(CannotWrite(fileName, lxw_strerror(error)));
  }
  return count;
}

bool EndsWithXlsx(const std::string& name) {
  return name.size() >= 5 && UpperCaseAZ(std::string_view(name).substr(name.size() - 5)) == ".XLSX";
}

} // namespace

std::size_t ExportAddresses(TDbf& table, const std::string& fileName, bool filteredOnly) {
  try {
    return EndsWithXlsx(fileName) ? WriteXlsx(table, fileName, filteredOnly) : WriteCsv(table, fileName, filteredOnly);
  } catch (const TDbfError&) {
    std::error_code ec;
    std::filesystem::remove(fileName, ec);
    throw;
  }
}

} // namespace postello
