#include "addressdb/AddressFileImport.h"

#include "addressdb/TFittedTable.h"

#include <algorithm>

namespace postello {

bool LooksLikeHeaderRow(const std::vector<std::string>& row, const std::vector<std::string>& fieldNames) {
  bool named = false;
  for (const std::string& cell : row) {
    if (cell.find('@') != std::string::npos) return false;
    if (HeaderRole(cell) != THeaderRole::Other) named = true;
    for (const std::string& f : fieldNames)
      if (!cell.empty() && DbaseFieldName(cell) == DbaseFieldName(f)) named = true;
  }
  return named;
}

TAddressPreview PreviewAddressFile(const std::string& fileName, const TAddressRowsOptions& options,
                                   std::size_t maxRows, const std::vector<std::string>& fieldNames) {
  TAddressPreview preview;
  const auto rows = OpenAddressRows(fileName, options);
  std::vector<std::string> cells;
  while (preview.Rows.size() < maxRows && rows->Next(cells)) {
    preview.Columns = std::max(preview.Columns, cells.size());
    preview.Rows.push_back(cells);
  }
  preview.HeaderRow = !preview.Rows.empty() && LooksLikeHeaderRow(preview.Rows.front(), fieldNames);
  // Names the table does not know still show themselves: a first row with
  // every cell filled and no address above a row that holds one.
  if (!preview.HeaderRow && preview.Rows.size() > 1) {
    auto hasAt = [](const std::vector<std::string>& row) {
      for (const std::string& cell : row)
        if (cell.find('@') != std::string::npos) return true;
      return false;
    };
    const auto& first = preview.Rows[0];
    const bool allNamed = std::none_of(first.begin(), first.end(), [](const std::string& c) { return c.empty(); });
    preview.HeaderRow = allNamed && !hasAt(first) && hasAt(preview.Rows[1]);
  }
  preview.FormatName = rows->FormatName();
  preview.Delimiter = rows->Delimiter();
  preview.Encoding = rows->Encoding();
  preview.SheetNames = rows->SheetNames();
  return preview;
}

TImportMapping DefaultMapping(const std::vector<std::string>& firstRow, std::size_t columns, bool headerRow,
                              const std::vector<std::string>& fieldNames, int mailField) {
  // Without names, column i fills field i, however many cells a row has.
  if (!headerRow) return TImportMapping::InOrder(std::max(columns, fieldNames.size()), static_cast<int>(fieldNames.size()));
  TImportMapping mapping = TImportMapping::FromHeader(firstRow, fieldNames, mailField);
  for (std::size_t c = mapping.Columns(); c < columns; ++c) mapping.Set(c, TImportMapping::kSkip);
  return mapping;
}

TImportReport ImportAddressFile(TDbf& table, const std::string& fileName, const TAddressRowsOptions& rowsOptions,
                                bool headerRow, const TImportMapping& mapping, const TImportOptions& options) {
  const auto rows = OpenAddressRows(fileName, rowsOptions);
  TImportOptions effective = options;
  // Only the CSV export escapes formulas; a workbook cell is text as it stands.
  effective.UnescapeFormulas = headerRow && rows->Delimiter() != 0;
  TAddressImport import(table, mapping, effective);
  std::vector<std::string> cells;
  if (headerRow) rows->Next(cells);
  while (rows->Next(cells)) import.AddRow(rows->Line(), cells);
  return import.Report();
}

TImportReport ImportIntoFittedTable(TDbf& table, const std::string& tableFile, const std::string& fileName,
                                    const TAddressRowsOptions& rowsOptions, bool headerRow, TImportOptions options) {
  const TFittedTable fit = [&] {
    const auto rows = OpenAddressRows(fileName, rowsOptions);
    std::vector<std::string> header, cells;
    if (headerRow && rows->Next(cells)) header = cells;
    TFittedTable fitted(header);
    while (rows->Next(cells)) fitted.AddRow(cells);
    return fitted;
  }();
  const std::vector<TDbfFieldDef> defs = fit.FieldDefs();
  if (defs.empty()) throw TAddressFileError(fileName, "Die Datei enth\xE4lt keine Spalten.");
  if (table.Active()) table.CheckBrowseMode();
  table.Close();
  table.SetFileName(tableFile);
  table.FieldDefs() = defs;
  table.CreateTable();
  table.Open();
  options.MailField = fit.HasMailColumn() ? 0 : -1;
  return ImportAddressFile(table, fileName, rowsOptions, headerRow, fit.Mapping(), options);
}

} // namespace postello
