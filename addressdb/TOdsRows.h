#pragma once
// LibreOffice and OpenOffice spreadsheets (.ods). content.xml is parsed as
// it is read: once for the sheet names, once for the rows of the sheet.
#include "addressdb/TSheetRows.h"
#include "addressdb/TXmlStream.h"
#include "addressdb/TZipPackage.h"

namespace postello {

class TOdsRows : public TSheetRows {
public:
  // True when the package is an OpenDocument spreadsheet.
  static bool IsSpreadsheet(const TZipPackage& package);

  TOdsRows(std::unique_ptr<TZipPackage> package, const TAddressRowsOptions& options);

protected:
  bool ParseMore() override;

private:
  void Start(std::string_view name, TXmlStream::TAttrs attrs);
  void End(std::string_view name);
  std::string CellValue() const;

  std::unique_ptr<TZipPackage> mPackage;
  std::unique_ptr<TXmlStream> mStream;
  int mTable = -1;        // tables begun so far, less one
  int mDepth = 0;         // inside the chosen table: depth of nested tables
  bool mInRow = false, mInCell = false;
  int mNote = 0;          // depth inside an annotation: its text is no value
  int mParagraphs = 0;
  std::size_t mRowRepeat = 1, mCellRepeat = 1;
  std::string mValueType, mValue, mText;
  std::size_t mNextRow = 1;
};

} // namespace postello
