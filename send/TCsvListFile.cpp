#include "send/TCsvListFile.h"

#include "core/SpreadsheetText.h"
#include "send/TSendJournal.h"

#include <sys/stat.h>

#include <cerrno>
#include <fstream>

namespace postello {
std::string TCsvListFile::PathIn(const std::string& dataDir, std::string_view name) {
  if (dataDir.empty() || dataDir.back() == '/') return dataDir + std::string(name);
  return dataDir + '/' + std::string(name);
}

TCsvListFile::TCsvListFile(std::string_view header, std::size_t columns, std::string_view badRow,
                           std::size_t maxLine)
    : FHeader(header), FColumns(columns), FBadRow(badRow), FMaxLine(maxLine) {}

TCsvListFile::TRead TCsvListFile::Read(
    const std::string& path, const std::function<void(std::vector<std::string>&, std::size_t)>& onRow) const {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 && errno == ENOENT) return TRead::Missing;
  std::ifstream in(path, std::ios::binary);
  if (!in || !S_ISREG(st.st_mode)) return TRead::Unreadable;
  // Line by line within the limit: a file that is not ours must not fill the memory.
  std::string buffer(FMaxLine + 2, '\0');
  std::vector<std::string> fields;
  for (std::size_t lineNo = 1;; ++lineNo) {
    in.getline(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    const std::streamsize got = in.gcount();
    if (in.fail() && !in.eof()) throw EDamaged{lineNo, "Zeile zu lang"};  // no line end within the limit
    if (got == 0 && in.eof()) {
      if (lineNo == 1) throw EDamaged{1, "die Kopfzeile fehlt"};
      break;
    }
    std::string_view text(buffer.data(), static_cast<std::size_t>(got) - (in.eof() ? 0 : 1));
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    if (lineNo == 1) {
      if (text.starts_with(kUtf8Bom)) text.remove_prefix(kUtf8Bom.size());
      if (text != FHeader) throw EDamaged{1, "die Kopfzeile fehlt"};
    } else if (!text.empty()) {
      if (!ParseJournalCsvLine(text, fields) || fields.size() != FColumns) throw EDamaged{lineNo, FBadRow};
      onRow(fields, lineNo);
    }
    if (in.eof()) break;
  }
  return in.bad() ? TRead::Unreadable : TRead::Read;
}

std::string TCsvListFile::Head() const {
  std::string out(kUtf8Bom);
  out += FHeader;
  out += "\r\n";
  return out;
}

std::string TCsvListFile::Row(const std::vector<std::string>& fields) { return JournalCsvLine(fields) + "\r\n"; }

} // namespace postello
