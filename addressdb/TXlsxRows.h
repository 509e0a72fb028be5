#pragma once
// Excel workbooks (.xlsx) as Excel, LibreOffice, Google Sheets and openpyxl
// write them. The sheet is parsed as it is read; only the shared strings
// (the texts of all cells, each once) are held.
#include "addressdb/TSheetRows.h"
#include "addressdb/TXmlStream.h"
#include "addressdb/TZipPackage.h"

namespace postello {

class TXlsxRows : public TSheetRows {
public:
  // True when the package holds an Excel workbook.
  static bool IsWorkbook(const TZipPackage& package);

  TXlsxRows(std::unique_ptr<TZipPackage> package, const TAddressRowsOptions& options);

protected:
  bool ParseMore() override;

private:
  struct TStyle {
    bool date = false;
    int zeros = 0;  // digits of a format like 00000
  };
  void ReadSharedStrings(const std::string& part);
  void ReadStyles(const std::string& part);
  void StartSheetElement(std::string_view local, TXmlStream::TAttrs attrs);
  void EndSheetElement(std::string_view local);
  std::string CellValue() const;

  std::unique_ptr<TZipPackage> mPackage;
  std::vector<std::string> mShared;
  std::vector<TStyle> mStyles;
  bool mDate1904 = false;
  std::unique_ptr<TXmlStream> mStream;
  // The cell being read.
  bool mInRow = false, mInCell = false, mInValue = false, mInInline = false;
  int mPhonetic = 0;  // depth inside <rPh>: reading aids, not the text
  std::string mType;
  std::size_t mStyle = 0;
  std::string mText;
  std::size_t mNextRow = 1;
};

} // namespace postello
