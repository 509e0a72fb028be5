#include "addressdb/TAddressImport.h"

#include "addressdb/AddressDb.h"
#include "core/SpreadsheetText.h"

namespace postello {

namespace {

void ListRow(std::vector<std::size_t>& rows, std::size_t row) {
  if (rows.size() < TImportReport::kListed) rows.push_back(row);
}

std::string RowList(const std::vector<std::size_t>& rows, std::size_t count) {
  std::string text = rows.size() == 1 ? "Zeile " : "Zeilen ";
  for (std::size_t i = 0; i < rows.size(); ++i) text += (i ? ", " : "") + std::to_string(rows[i]);
  if (count > rows.size()) text += " und " + std::to_string(count - rows.size()) + " weitere";
  return text;
}

} // namespace

std::string TImportReport::Text(bool dryRun) const {
  std::string text = std::to_string(Imported) + (dryRun ? " w\xFCrden importiert, " : " importiert, ") +
                     std::to_string(Duplicates) + " doppelt \xFC" "bersprungen, " + std::to_string(WithoutAddress) +
                     " ohne Adresse, " + std::to_string(InvalidAddress) + " mit ung\xFCltiger Adresse, " +
                     std::to_string(CutRows) + " gek\xFCrzt\n";
  if (Duplicates) text += "Doppelt \xFC" "bersprungen: " + RowList(DuplicateRows, Duplicates) + "\n";
  if (WithoutAddress) text += "Ohne Adresse: " + RowList(WithoutAddressRows, WithoutAddress) + "\n";
  if (InvalidAddress) text += "Mit ung\xFCltiger Adresse: " + RowList(InvalidAddressRows, InvalidAddress) + "\n";
  for (const TCutValue& cut : CutValues)
    text += "Gek\xFCrzt: Zeile " + std::to_string(cut.Row) + ", Feld " + cut.Field + " (" +
            std::to_string(cut.Length) + " Zeichen, Platz f\xFCr " + std::to_string(cut.Width) + ")\n";
  if (CutRows > 0 && CutValues.size() >= kListed) text += "Gek\xFCrzt: weitere Werte nicht aufgef\xFChrt\n";
  return text;
}

TAddressImport::TAddressImport(TDbf& table, TImportMapping mapping, TImportOptions options)
    : mTable(table), mMapping(std::move(mapping)), mOptions(std::move(options)) {
  if (mOptions.MailField >= mTable.FieldCount()) mOptions.MailField = -1;
  if (!mOptions.SkipDuplicates || mOptions.MailField < 0) return;
  // The filter hides records that still count: look at all of them.
  const bool filtered = mTable.Filtered();
  mTable.CheckBrowseMode();
  mTable.SetFiltered(false);
  for (mTable.First(); !mTable.Eof(); mTable.Next()) {
    const std::string key = UpperCaseAZ(TrimSpaces(mTable.AsString(mOptions.MailField)));
    if (!key.empty()) mSeen.insert(key);
  }
  mTable.SetFiltered(filtered);
}

void TAddressImport::AddRow(std::size_t row, const std::vector<std::string>& cells) {
  mValues.assign(static_cast<std::size_t>(mTable.FieldCount()), std::string());
  for (std::size_t c = 0; c < cells.size(); ++c) {
    const int field = mMapping.FieldOf(c);
    if (field < 0 || field >= mTable.FieldCount()) continue;
    mValues[static_cast<std::size_t>(field)] = mOptions.UnescapeFormulas ? UnescapeFormula(cells[c]) : cells[c];
  }

  if (mOptions.MailField >= 0) {
    const std::string_view address = TrimSpaces(mValues[static_cast<std::size_t>(mOptions.MailField)]);
    if (address.empty()) {
      ++mReport.WithoutAddress;
      ListRow(mReport.WithoutAddressRows, row);
    } else {
      if (mOptions.SkipDuplicates && !mSeen.insert(UpperCaseAZ(address)).second) {
        ++mReport.Duplicates;
        ListRow(mReport.DuplicateRows, row);
        return;
      }
      if (mOptions.IsValidAddress && !mOptions.IsValidAddress(address)) {
        ++mReport.InvalidAddress;
        ListRow(mReport.InvalidAddressRows, row);
      }
    }
  }

  bool cut = false;
  for (int f = 0; f < mTable.FieldCount(); ++f) {
    const TDbfField& field = mTable.Field(f);
    const std::size_t length = mValues[static_cast<std::size_t>(f)].size();
    if (field.Type != 'C' || length <= static_cast<std::size_t>(field.Width)) continue;
    cut = true;
    if (mReport.CutValues.size() < TImportReport::kListed)
      mReport.CutValues.push_back({row, field.Name, length, field.Width});
  }
  if (cut) ++mReport.CutRows;
  ++mReport.Imported;
  if (mOptions.DryRun) return;

  mTable.Append();
  for (int f = 0; f < mTable.FieldCount(); ++f) {
    if (mValues[static_cast<std::size_t>(f)].empty()) continue;
    try {
      mTable.SetAsString(f, mValues[static_cast<std::size_t>(f)]);
    } catch (const TDbfError& e) {
      mTable.Cancel();
      throw TDbfError(mTable.FileName(), "Zeile " + std::to_string(row) + ", Feld " + mTable.Field(f).Name + ": " +
                                             e.WithoutFileName());
    }
  }
  mTable.Post();
}

} // namespace postello
