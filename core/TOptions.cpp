#include "core/TOptions.h"

#include "core/Cp1252.h"
#include "core/QuotedContent.h"
#include "core/SafeFile.h"
#include "core/StringFields.h"

#include <algorithm>

namespace postello {

namespace {

// Marks a stored name as UTF-8 (the byte order mark; as Windows-1252 the
// three characters would be an absurd start of a path).
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

// The name as field 7 stores it.
std::string StoredName(const std::string& path) {
  std::string cp1252 = Utf8ToCp1252(path);
  if (Cp1252ToUtf8(cp1252) == path && !cp1252.starts_with(kUtf8Mark)) return cp1252;
  return std::string(kUtf8Mark) + path;
}

} // namespace

std::string TOptions::Encode() const {
  // A path ends at a NUL byte, as the short string would cut it anyway.
  const std::string name = StoredName(std::string(CutAtNul(DatabaseFile)));
  if (name.size() > 255) {
    throw ESaveError("Der Name der Datenbank-Datei ist l\xE4nger als 255 Zeichen und kann nicht in \"" +
                     std::string(FileName) + "\" gespeichert werden: " + QuotedContent(Utf8ToCp1252(DatabaseFile)));
  }
  TBinWriter f;
  f.WriteInt32(MailField);
  f.WriteInt32(BccCount);
  f.WriteInt32(20);
  f.WriteInt32(KontoIndex);
  f.WriteInt32(0);
  f.WriteInt32(Bcc ? 1 : 0);
  WriteShortStr(f, name);
  return f.Data();
}

void TOptions::Decode(std::string_view bytes) {
  TBinReader f(bytes);
  Read(f);
}

void TOptions::Read(TBinReader& f) {
  MailField = f.ReadInt32();
  BccCount = std::clamp(f.ReadInt32(), MinBcc, MaxBcc);
  f.ReadInt32();
  KontoIndex = f.ReadInt32();
  f.ReadInt32();
  Bcc = f.ReadInt32() != 0;
  const std::string name = ReadShortStr(f);
  DatabaseFile = name.starts_with(kUtf8Mark) ? name.substr(kUtf8Mark.size()) : Cp1252ToUtf8(name);
}

bool TOptions::Load(const std::string& path) {
  std::ifstream in;
  std::uint64_t size = 0;
  if (!OpenStateFile(path, in, size)) return false;
  TBinReader f(in, size);
  Read(f);
  return true;
}

} // namespace postello
