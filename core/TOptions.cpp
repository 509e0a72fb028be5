#include "core/TOptions.h"

#include "core/Cp1252.h"
#include "core/SafeFile.h"
#include "core/StringFields.h"

#include <algorithm>

namespace postello {

std::string TOptions::Encode() const {
  const std::string name = Utf8ToCp1252(DatabaseFile);
  if (name.size() > 255) {
    throw ESaveError("Der Name der Datenbank-Datei ist l\xE4nger als 255 Zeichen und kann nicht in \"" +
                     std::string(FileName) + "\" gespeichert werden: " + name);
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
  MailField = f.ReadInt32();
  BccCount = std::clamp(f.ReadInt32(), MinBcc, MaxBcc);
  f.ReadInt32();
  KontoIndex = f.ReadInt32();
  f.ReadInt32();
  Bcc = f.ReadInt32() != 0;
  DatabaseFile = Cp1252ToUtf8(ReadShortStr(f));
}

bool TOptions::Load(const std::string& path) {
  const auto bytes = ReadWholeFile(path);
  if (!bytes) return false;
  Decode(*bytes);
  return true;
}

} // namespace postello
