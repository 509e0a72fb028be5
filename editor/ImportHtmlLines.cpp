#include "editor/ImportHtmlLines.h"

#include "core/Cp1252.h"
#include "editor/AsciiCase.h"
#include "mime/TMediaTypeRegister.h"

#include <filesystem>

namespace postello {
namespace {

class THtmlImporter {
public:
  THtmlImporter(const std::string& folder, const TFileExistsFn& exists) : FFolder(folder), FExists(exists) {}

  void Line(std::string_view line) {
    std::size_t i = 0;
    const std::size_t n = line.size();
    while (i < n) {
      if (!FInTag) {
        const std::size_t lt = line.find('<', i);
        if (lt == std::string_view::npos) {
          FCurrent.append(line, i);
          break;
        }
        FCurrent.append(line, i, lt - i);
        FInTag = true;
        FTag.clear();
        FTagLine = FResult.Lines.size();
        i = lt + 1;
      } else {
        const std::size_t gt = line.find('>', i);
        if (gt == std::string_view::npos) {
          FTag.append(line, i);
          break;
        }
        FTag.append(line, i, gt - i);
        Rewrite();
        PlaceTag(true);
        FInTag = false;
        i = gt + 1;
      }
    }
    // A tag open at the end of the line keeps its line break; its text is
    // placed over the lines it covers once it ends.
    if (FInTag) FTag += '\n';
    FResult.Lines.push_back(std::move(FCurrent));
    FCurrent.clear();
  }

  THtmlImport Finish() {
    if (FInTag) {
      // Never lose markup: an unfinished last tag stays as it was read.
      FTag.pop_back();
      PlaceTag(false);
    }
    return std::move(FResult);
  }

private:
  void Rewrite() {
    const std::string upper = UpperAscii(FTag);
    if (upper.size() < 4 || upper.compare(0, 3, "IMG") != 0 || (upper[3] != ' ' && upper[3] != '\n')) return;
    const std::size_t src = upper.find("SRC=\"");
    if (src == std::string::npos) return;
    const std::size_t begin = src + 5;
    const std::size_t quote = FTag.find('"', begin);
    const std::size_t end = quote == std::string::npos ? FTag.size() : quote;
    const std::string_view reference = std::string_view(FTag).substr(begin, end - begin);
    // A reference broken over two lines is no file name.
    if (reference.find('\n') != std::string_view::npos) return;
    const std::string path = ResolveHtmlReference(FFolder, reference);
    // Only pictures are embedded: an HTML file from elsewhere must not be
    // able to make the mail carry any file it names (a key, a password
    // store). The existence test is not even asked for anything else.
    if (!IsPictureFile(path) || !FExists(path)) return;
    const std::string cid = EmbeddedContentId(path);
    if (cid.empty()) return;
    FResult.Rows.push_back({path, cid});
    std::string tag = FTag.substr(0, begin);
    tag += "cid:";
    tag += cid;
    tag += '"';
    if (quote != std::string::npos) tag.append(FTag, quote + 1);
    FTag = std::move(tag);
  }

  // Writes "<" + tag text (+ ">" when closed) from the line where the tag
  // began: each line break in the tag text moves on to the next line.
  void PlaceTag(bool closed) {
    std::vector<std::string>& out = FResult.Lines;
    std::size_t line = FTagLine;
    std::size_t start = 0;
    bool first = true;
    for (;;) {
      const std::size_t nl = FTag.find('\n', start);
      const std::size_t end = nl == std::string::npos ? FTag.size() : nl;
      std::string& target = line < out.size() ? out[line] : FCurrent;
      if (first) target += '<';
      target.append(FTag, start, end - start);
      first = false;
      if (nl == std::string::npos) break;
      start = nl + 1;
      ++line;
    }
    if (closed) FCurrent += '>';
  }

  const std::string& FFolder;
  const TFileExistsFn& FExists;
  bool FInTag = false;
  std::string FTag;          // tag text without '<' and '>', '\n' where a line ended inside it
  std::size_t FTagLine = 0;  // index of the output line on which the open tag began
  std::string FCurrent;
  THtmlImport FResult;
};

} // namespace

bool IsPictureFile(const std::string& path) {
  return ContentTypeForFile(path).compare(0, 6, "image/") == 0;
}

bool FileExistsOnDisk(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(path, ec);
}

std::string EmbeddedContentId(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  return UpperAscii(Utf8ToCp1252(name));
}

std::string ResolveHtmlReference(const std::string& folder, std::string_view reference) {
  const std::string path = Cp1252ToUtf8(reference);
  if (std::filesystem::path(path).is_absolute()) return path;
  return folder + path;
}

THtmlImport ImportHtmlLines(const std::vector<std::string>& lines, const std::string& folder,
                            const TFileExistsFn& exists, const TImportProgressFn& progress) {
  THtmlImporter importer(folder, exists);
  const std::size_t n = lines.size();
  for (std::size_t i = 0; i < n; ++i) {
    if (progress && n > 1) progress(static_cast<int>(i * 100 / (n - 1)));
    importer.Line(lines[i]);
  }
  return importer.Finish();
}

} // namespace postello
