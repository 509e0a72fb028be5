#pragma once
// Text that came out of a file (a path, a field value, a line), made safe
// to stand inside an error message.
#include <cstddef>
#include <string>
#include <string_view>

namespace postello {

// Most characters of a file's content an error message shows.
inline constexpr std::size_t kMaxQuotedChars = 200;

// The first kMaxQuotedChars characters of Windows-1252 text, followed by
// "..." when there was more; every control character (below 32, DEL, and
// the five bytes the code page leaves undefined, which would become C1
// controls on a terminal) shown as '?'. A hostile file can then neither
// flood a message box nor slip line breaks or terminal escapes into a log.
std::string QuotedContent(std::string_view text);

// True when a file path (UTF-8, or any bytes) holds a control character: a
// byte below 32, DEL, or a C1 control (U+0080 to U+009F) in UTF-8.
bool PathHasControlChar(std::string_view path);

// The message refusing a database path with a control character
// (Windows-1252, the path quoted as QuotedContent shows it).
std::string DatabasePathRefusal(std::string_view path);

} // namespace postello
