// Delimited text from any bytes. Checked besides crashes: only
// TAddressFileError leaves the reader, lines grow with every row, and for
// a semicolon list without quotes the rows are exactly the pieces the
// import always made of its non-empty lines.
#include "addressdb/TAddressRows.h"
#include "addressdb/TTextRows.h"
#include "core/Cp1252.h"
#include "tests/fuzz/FuzzSupport.h"

#include <sstream>

using namespace postello;
using postello::fuzz::Check;

namespace {

// The import's rule for Windows-1252 text: lines at CR, CR LF or LF, empty
// ones skipped, pieces between semicolons.
std::vector<std::vector<std::string>> Pieces(std::string_view text) {
  std::vector<std::vector<std::string>> rows;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    if (end < text.size() && text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
    if (line.empty()) continue;
    rows.emplace_back();
    while (true) {
      const std::size_t semi = line.find(';');
      rows.back().emplace_back(line.substr(0, semi));
      if (semi == std::string_view::npos) break;
      line.remove_prefix(semi + 1);
    }
  }
  return rows;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(postello::fuzz::AsText(data, size));
  for (const char delimiter : {'\0', ';'}) {
    std::vector<std::vector<std::string>> rows;
    try {
      TTextRows source(std::make_unique<std::istringstream>(bytes), "fuzz.csv",
                       {0, delimiter, TTextEncoding::Detect});
      std::vector<std::string> cells;
      std::size_t line = 0;
      while (source.Next(cells)) {
        Check(source.Line() > line, "a row does not begin after the one before");
        line = source.Line();
        rows.push_back(cells);
      }
      if (delimiter == ';' && bytes.find('"') == std::string::npos &&
          source.Encoding() == TTextEncoding::Windows1252)
        Check(rows == Pieces(std::string_view(bytes).substr(0, bytes.find('\x1A'))),
              "a semicolon list reads otherwise than the import always read it");
    } catch (const TAddressFileError&) {
    }
  }
  return 0;
}
