#include "editor/RtfFile.h"

#include "core/Cp1252.h"
#include "editor/RtfReader.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace postello {
namespace {

[[noreturn]] void Fail(const std::string& path, const std::string& reason) {
  throw std::runtime_error("Die Datei \"" + Utf8ToCp1252(path) + "\" kann nicht importiert werden: " + reason);
}

} // namespace

TDesignDocument ReadRtfFile(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) Fail(path, "Sie ist keine lesbare Datei.");
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    Fail(path, errno == EACCES ? "Der Zugriff wurde verweigert." : "Sie kann nicht ge\xF6" "ffnet werden.");
  }
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  in.seekg(0, std::ios::beg);
  if (size < 0) Fail(path, "Ihre Gr\xF6\xDF" "e ist nicht lesbar.");
  if (static_cast<std::uintmax_t>(size) > kMaxRtfFileBytes) {
    Fail(path, "Sie ist mit " + std::to_string(size) + " Bytes zu gro\xDF (h\xF6" "chstens " +
                   std::to_string(kMaxRtfFileBytes) + " Bytes).");
  }
  std::string rtf(static_cast<std::size_t>(size), '\0');
  if (size > 0 && !in.read(rtf.data(), size)) Fail(path, "Sie kann nicht gelesen werden.");
  TRtfReadResult read = ReadRtf(rtf);
  if (!read.Error.empty()) Fail(path, "Sie ist als RTF nicht lesbar: " + read.Error);
  return std::move(read.Document);
}

} // namespace postello
