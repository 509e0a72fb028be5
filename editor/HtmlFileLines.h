#pragma once
// Reading HTML files into lines of Windows-1252 text, the form the editor
// keeps its HTML in. Files are read in pieces, never whole.
//
// Lines end at CR LF, LF or a lone CR; a final line break starts no
// further line, so "a\r\nb\r\n" gives "a" and "b".
#include <istream>
#include <string>
#include <vector>

namespace postello {

struct THtmlFileLines {
  std::vector<std::string> Lines;  // Windows-1252
  bool ConvertedFromUtf8 = false;  // the file was UTF-8 and has been converted
};

// The lines of a stream, bytes unchanged. Throws std::runtime_error when
// the stream fails while reading.
std::vector<std::string> ReadLines(std::istream& in);

// The lines of an HTML file in Windows-1252. A file is taken as UTF-8 when
// it begins with the UTF-8 byte order mark, when a <meta> tag declares
// charset=utf-8 (or utf8), or when it is valid UTF-8 holding at least one
// character beyond ASCII; otherwise it is Windows-1252 and stays as read.
// Converting drops the byte order mark, writes every character that
// Windows-1252 lacks as a numeric character reference ("&#8594;"), keeps a
// byte that is not valid UTF-8 as the Windows-1252 character it is, and
// changes a meta tag's utf-8 declaration to windows-1252 so the text says
// what it is.
THtmlFileLines ReadHtmlLines(std::istream& in);

// The same for a file. Throws std::runtime_error with a German message
// naming the file and the reason when it cannot be read.
THtmlFileLines ReadHtmlFile(const std::string& path);

// The lines of a file taken as Windows-1252, without any conversion.
// Throws as ReadHtmlFile.
std::vector<std::string> ReadCp1252File(const std::string& path);

} // namespace postello
