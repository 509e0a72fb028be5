#pragma once
// The preview of an HTML mail: a copy of its HTML in which every reference
// to an embedded part ("cid:" + content id in double quotes) points at the
// part's file instead, so a browser shows the pictures.
#include "core/TMailRec.h"

#include <string>
#include <vector>

namespace postello {

// The preview file in the folder of the state files (ends with '/').
std::string PreviewFilePath(const std::string& progDir);

// Copies the lines, replacing in each every "cid:NAME" that follows a
// double quote (any case): the first row whose content id equals NAME
// without regard to case gives its file path, written as a URL path
// (see FilePathAsUrl); a NAME no row has becomes empty, leaving "". NAME
// runs up to the next double quote or the end of the line.
std::vector<std::string> PreviewHtmlLines(const std::vector<std::string>& lines,
                                          const std::vector<TAttachRec>& rows);

// A file-system path (UTF-8) as it can stand in an HTML attribute and be
// read back as a URL path: bytes other than letters, digits and
// "/-._~:@!$&'()*+,;=" are percent-encoded ("/tmp/Bild 1.gif" gives
// "/tmp/Bild%201.gif"), so '#', '?', '%' and '"' in a file name cannot cut
// the reference. An absolute path then resolves against the preview
// file's own file: URL.
std::string FilePathAsUrl(const std::string& path);

// Writes the lines (each ended by CR LF) to path through a temporary file
// that replaces it. Throws ESaveError with a German message naming the
// file and the reason.
void WritePreviewFile(const std::string& path, const std::vector<std::string>& lines);

} // namespace postello
