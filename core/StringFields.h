#pragma once
// The two text encodings of the state files: a short string (one length
// byte, at most 255 characters) and a long string (32-bit signed
// little-endian length). No terminator, no padding.
#include "core/TBinReader.h"
#include "core/TBinWriter.h"

#include <string>
#include <string_view>

namespace postello {

// Texts in records end at their first NUL, as they did in memory.
std::string_view CutAtNul(std::string_view s);

// Writes at most 255 characters; callers keep longer texts out (the
// account dialog refuses them), so the cut is only a last guard.
void WriteShortStr(TBinWriter& f, std::string_view s);
std::string ReadShortStr(TBinReader& f);
void WriteLongStr(TBinWriter& f, std::string_view s);
// Throws EInOutError for a negative length and for one longer than the
// rest of the file.
std::string ReadLongStr(TBinReader& f);

} // namespace postello
