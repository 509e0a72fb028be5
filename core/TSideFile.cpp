#include "core/TSideFile.h"

#include "core/SafeFile.h"

#include <filesystem>

namespace postello {

std::int32_t TSideFileFrame::ReadHeader(TBinReader& f, std::string_view magic) {
  if (f.ReadBytes(magic.size()) != magic) throw EInOutError("Unbekanntes Format", 0);
  const std::int32_t count = f.ReadInt32();
  if (count < 0) throw EInOutError("Negative Anzahl " + std::to_string(count), 4);
  return count;
}

std::string TSideFileFrame::Open(const std::string& path, std::uint64_t maxSize, std::string_view singular,
                                 std::string_view plural, const std::function<void(std::string_view)>& decode) {
  std::ifstream in;
  std::uint64_t size = 0;
  if (!OpenStateFile(path, in, size)) return {};
  try {
    if (size > maxSize) throw EInOutError("Datei zu gro\xDF", maxSize);
    TBinReader reader(in, size);
    decode(reader.ReadBytes(static_cast<std::size_t>(size)));
  } catch (const EInOutError& e) {
    return DescribeDamagedFile(path, e, 0, singular, plural);
  }
  return {};
}

void TSideFileFrame::Save(const std::string& path, bool any, const std::function<std::string()>& encode,
                          unsigned mode) {
  std::error_code ec;
  if (!any && !std::filesystem::exists(std::filesystem::symlink_status(path, ec))) return;
  SaveFileSafely(path, encode(), mode);
}

} // namespace postello
