#pragma once
// Reading and safely replacing whole state files.
#include "core/EInOutError.h"

#include <cstddef>
#include <cstdint>
#include <fstream>
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

// The whole file, or nothing when it cannot be opened or is no regular
// file (missing files are normal for state files). Only for files whose
// size the caller controls: state files are read with OpenStateFile.
std::optional<std::string> ReadWholeFile(const std::string& path);

// Opens a state file for reading field by field (TBinReader) and gives its
// length. False when there is no regular file at path (a missing file, a
// folder, a device) or it cannot be opened: the caller treats it as
// missing.
bool OpenStateFile(const std::string& path, std::ifstream& in, std::uint64_t& size);

// Writes bytes to a temporary file in the same folder, flushes it to disk
// and renames it over path, so the previous file survives any failure.
// mode holds the permission bits of a newly created file (0600 for files
// holding passwords). Throws ESaveError.
void SaveFileSafely(const std::string& path, std::string_view bytes, unsigned mode = 0644);

// Keeps a damaged file beside it as "<name>.defekt", "<name>.defekt2", ...
// (up to 999) and returns the copy's name. When one of these copies holds
// the same bytes already, no new copy is made and its name is returned, so
// reading the same damaged file again and again adds nothing. Empty when
// no copy is kept: path is a symbolic link (its target is none of ours to
// copy), or copying failed. The copy is never written through a link.
std::string KeepDamagedCopy(const std::string& path);

// Keeps a copy of the damaged file at path and returns the German message
// for the user: file, offset, reason, how many entries were loaded before
// the damage (counted with the noun's singular "Konto" or plural "Konten"),
// and where the copy is.
std::string DescribeDamagedFile(const std::string& path, const EInOutError& error,
                                std::size_t loaded, std::string_view singular, std::string_view plural);

// Adds message to messages on a line of its own; an empty message adds nothing.
inline void AddMessageLine(std::string& messages, const std::string& message) {
  if (!message.empty()) messages += (messages.empty() ? "" : "\n") + message;
}

} // namespace postello
