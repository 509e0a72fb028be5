#include "addressdb/TxtImport.h"

#include "addressdb/TAddressImport.h"
#include "core/Cp1252.h"
#include "core/SystemErrorText.h"

#include <cerrno>
#include <filesystem>

#include <fstream>
#include <iterator>

namespace postello {

TImportOpenError::TImportOpenError(const std::string& fileName, int systemError)
    : std::runtime_error("Die Datei konnte nicht ge\xF6" "ffnet werden. Stellen Sie sicher, dass "
                         "die Datei nicht ge\xF6" "ffnet ist (z.B. im Excel)"),
      mFileName(fileName),
      mSystemError(systemError) {}

std::string TImportOpenError::Reason() const { return SystemErrorText(mSystemError); }

std::size_t ImportTextFile(TDbf& table, const std::string& fileName) {
  std::error_code ec;
  // A folder opens as a stream on this system and fails only when read.
  if (std::filesystem::is_directory(fileName, ec)) throw TImportOpenError(fileName, EISDIR);
  errno = 0;
  std::ifstream in(fileName, std::ios::binary);
  if (!in) throw TImportOpenError(fileName, errno ? errno : EIO);
  std::string bytes;
  try {
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  } catch (const std::ios_base::failure&) {
    throw TImportOpenError(fileName, errno ? errno : EIO);  // a file that cannot be read
  }
  if (in.bad()) throw TImportOpenError(fileName, errno ? errno : EIO);
  return ImportText(table, bytes);
}

namespace {

// The pieces of a line between semicolons, no quoting.
std::vector<std::string> Pieces(std::string_view line) {
  std::vector<std::string> cells;
  for (;;) {
    const std::size_t semi = line.find(';');
    cells.emplace_back(line.substr(0, semi));
    if (semi == std::string_view::npos) return cells;
    line.remove_prefix(semi + 1);
  }
}

} // namespace

std::size_t ImportText(TDbf& table, std::string_view bytes) {
  // 0x1A is the old end-of-file mark: nothing after it belongs to the text.
  bytes = bytes.substr(0, bytes.find('\x1A'));
  std::string converted;
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
    converted = Utf8ToCp1252(bytes.substr(3));
    bytes = converted;
  } else if (LooksLikeUtf8(bytes)) {
    converted = Utf8ToCp1252(bytes);
    bytes = converted;
  }

  TImportOptions options;
  options.MailField = -1;
  TAddressImport import(table, TImportMapping::InOrder(static_cast<std::size_t>(table.FieldCount()), table.FieldCount()),
                        options);
  std::size_t row = 0;
  std::size_t start = 0;
  while (start < bytes.size()) {
    std::size_t end = bytes.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = bytes.size();
    std::string_view line = bytes.substr(start, end - start);
    start = end + 1;
    if (end < bytes.size() && bytes[end] == '\r' && start < bytes.size() && bytes[start] == '\n')
      ++start;
    ++row;
    if (line.empty()) continue;
    import.AddRow(row, Pieces(line));
  }
  return import.Report().Imported;
}

} // namespace postello
