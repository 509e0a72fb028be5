#pragma once
// The HTML import of the "Reines HTML" page: an HTML file's lines become
// the HTML source, and every picture an <img> tag references that exists
// on disk becomes an embedded attachment row, its reference rewritten to
// "cid:" + content id.
//
// Encodings: the lines are Windows-1252 (as ReadHtmlFile gives them); the
// folder, the file paths of the rows and the paths handed to the existence
// test are file-system paths (UTF-8). A content id is Windows-1252, like
// the HTML that refers to it.
#include "core/TMailRec.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace postello {

// Whether a file exists at a file-system path.
using TFileExistsFn = std::function<bool(const std::string& path)>;

// Called before each line with the progress in percent, line index × 100 /
// (line count − 1); never called for a file of a single line.
using TImportProgressFn = std::function<void(int percent)>;

struct THtmlImport {
  std::vector<std::string> Lines;   // the rewritten lines, one per input line
  std::vector<TAttachRec> Rows;     // (file path, content id), in the order of the references
};

// True for a regular file (after following links) at path.
bool FileExistsOnDisk(const std::string& path);

// Whether path names a picture: the media type registered for its
// extension is image/*. The import embeds nothing else.
bool IsPictureFile(const std::string& path);

// The content id of an embedded file: its name without folder, in
// Windows-1252, with a to z upper-cased ("/x/Logo.gif" gives "LOGO.GIF").
std::string EmbeddedContentId(const std::string& path);

// Where a picture reference of an HTML file in folder points: the
// reference itself when it is an absolute path, otherwise folder +
// reference. folder ends with '/' (or is empty); reference is
// Windows-1252 and is turned into a file-system path.
std::string ResolveHtmlReference(const std::string& folder, std::string_view reference);

// Rewrites the lines of an HTML file. Tags are found by '<' and the first
// '>' after it (quotes mean nothing here). A tag whose upper-cased text
// begins with "IMG " and holds SRC=" (any case) refers to the text after
// the first SRC=" up to the next double quote (or the end of the tag); if
// the resolved reference is a picture by its extension (IsPictureFile)
// and exists() says there is a file there, the reference
// becomes "cid:" + content id followed by one double quote, and a row is
// added. Each reference counts on its own, so a picture used twice gives
// two equal rows.
//
// Nothing else changes: without rewritten references the output equals the
// input byte for byte. A tag spanning lines keeps its line breaks (a line
// break after IMG counts as the blank), and a tag still open at the end of
// the file is kept as it stands.
THtmlImport ImportHtmlLines(const std::vector<std::string>& lines, const std::string& folder,
                            const TFileExistsFn& exists = FileExistsOnDisk,
                            const TImportProgressFn& progress = {});

} // namespace postello
