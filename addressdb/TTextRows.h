#pragma once
// Delimited text: CSV as Excel and LibreOffice save it, Excel's tab
// separated "Unicode-Text" and the semicolon lists Postello always read.
#include "addressdb/TAddressRows.h"

#include <istream>
#include <memory>

namespace postello {

// Encoding: a byte order mark decides (UTF-8, UTF-16 LE/BE); without one a
// text that is valid UTF-8 and holds a byte above 127 is UTF-8, anything
// else Windows-1252. Delimiter: of ';' Tab ',' '|' the first that splits
// nine in ten of the first rows, else the one that splits most of them
// into the same number of columns (';' when none does).
// Quoting as in RFC 4180: a field that begins with '"' runs to the closing
// quote, "" stands for one quote, delimiters and line breaks inside are
// text. Rows end at CR, CR LF or LF; empty lines give no row; the byte 0x1A
// ends the text, as in files of old DOS programs.
class TTextRows : public TAddressRows {
public:
  // in must be seekable: detecting UTF-8 reads the text once before.
  TTextRows(std::unique_ptr<std::istream> in, const std::string& fileName,
            const TAddressRowsOptions& options);

  bool Next(std::vector<std::string>& cells) override;

  // The longest row accepted; a longer one is a quote never closed.
  static constexpr std::size_t kMaxRowBytes = 16u << 20;

private:
  enum class TParse { Row, Empty, NeedMore, End };
  TParse Parse(char delimiter, std::size_t& pos, std::size_t& lines, std::vector<std::string>& cells) const;
  bool Fill();  // decodes the next piece of the file into mText; false at the end
  void DetectEncoding();
  void DetectDelimiter();
  void Decode(std::string_view bytes, bool final);

  std::unique_ptr<std::istream> mIn;
  std::string mFileName;
  std::string mText;       // decoded, Windows-1252
  std::size_t mPos = 0;    // next unread byte of mText
  std::size_t mNextLine = 1;
  std::string mCarry;      // bytes of a character split between two reads
  bool mEnd = false;       // no more text to decode
};

} // namespace postello
