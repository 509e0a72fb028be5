#pragma once
// Reading and safely replacing whole state files.
#include "core/EInOutError.h"

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace postello {

// A state file could not be written. The message names the file and the
// reason (in German, for the message box).
class ESaveError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// The whole file, or nothing when it cannot be opened (missing files are
// normal for state files).
std::optional<std::string> ReadWholeFile(const std::string& path);

// Writes bytes to a temporary file in the same folder, flushes it to disk
// and renames it over path, so the previous file survives any failure.
// mode holds the permission bits of a newly created file (0600 for files
// holding passwords). Throws ESaveError.
void SaveFileSafely(const std::string& path, std::string_view bytes, unsigned mode = 0644);

// Copies a damaged file to a free name beside it ("<name>.defekt",
// "<name>.defekt2", ...) and returns that name; empty when the copy failed.
std::string KeepDamagedCopy(const std::string& path);

// Keeps a copy of the damaged file at path and returns the German message
// for the user: file, offset, reason, how many entries were loaded before
// the damage (counted with the noun's singular "Konto" or plural "Konten"),
// and where the copy is.
std::string DescribeDamagedFile(const std::string& path, const EInOutError& error,
                                std::size_t loaded, std::string_view singular, std::string_view plural);

} // namespace postello
