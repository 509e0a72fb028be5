#pragma once
// Reading an RTF file from disk into a design document, for the editor's
// RTF import.
#include "editor/TDesignDocument.h"

#include <cstdint>
#include <string>

namespace postello {

// Larger files are refused rather than read whole; a mail's design
// document is far smaller.
inline constexpr std::uintmax_t kMaxRtfFileBytes = 64u * 1024 * 1024;

// The document of the RTF file at path (a file-system path, UTF-8).
// Throws std::runtime_error with a German message (Windows-1252) naming the
// file and the reason when the file cannot be read, is too large or is not
// readable as RTF to its end; a half-read document is never returned.
TDesignDocument ReadRtfFile(const std::string& path);

} // namespace postello
