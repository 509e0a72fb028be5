#include "editor/PreviewHtml.h"

#include "core/PercentEscape.h"
#include "core/SafeFile.h"
#include "editor/AsciiCase.h"

namespace postello {
namespace {

const TAttachRec* FindRow(const std::vector<TAttachRec>& rows, std::string_view name) {
  for (const TAttachRec& row : rows) {
    if (!row.ContentId.empty() && EqualsNoCaseAscii(row.ContentId, name)) return &row;
  }
  return nullptr;
}

} // namespace

std::string PreviewFilePath(const std::string& progDir) { return progDir + "mail~.htm"; }

std::string FilePathAsUrl(const std::string& path) { return PercentEscape(path, "/-._~:@!$&'()*+,;="); }

std::vector<std::string> PreviewHtmlLines(const std::vector<std::string>& lines,
                                          const std::vector<TAttachRec>& rows) {
  std::vector<std::string> out;
  out.reserve(lines.size());
  for (const std::string& source : lines) {
    std::string line = source;
    std::size_t from = 0;
    std::size_t at;
    while ((at = FindNoCaseAscii(line, "\"CID:", from)) != std::string::npos) {
      const std::size_t nameStart = at + 5;
      const std::size_t quote = line.find('"', nameStart);
      const std::size_t nameEnd = quote == std::string::npos ? line.size() : quote;
      const TAttachRec* row = FindRow(rows, std::string_view(line).substr(nameStart, nameEnd - nameStart));
      const std::string url = row ? FilePathAsUrl(row->FileName) : std::string();
      // Keeps the opening quote; the closing one (if any) follows the path.
      line.replace(at + 1, nameEnd - (at + 1), url);
      // Go on behind the path, so the search always moves forward.
      from = at + 1 + url.size();
    }
    out.push_back(std::move(line));
  }
  return out;
}

void WritePreviewFile(const std::string& path, const std::vector<std::string>& lines) {
  std::size_t size = 0;
  for (const std::string& line : lines) size += line.size() + 2;
  std::string bytes;
  bytes.reserve(size);
  for (const std::string& line : lines) {
    bytes += line;
    bytes += "\r\n";
  }
  SaveFileSafely(path, bytes);
}

} // namespace postello
