#pragma once
// The settings that survive a restart, and options.dat that holds them:
// six 32-bit signed little-endian integers (e-mail field number, Bcc batch
// size, reserved 20, account index, reserved 0, Bcc chosen 0/1), then the
// database file name as a short string: in Windows-1252 when the code page
// holds the name (so the older program reads it), otherwise the UTF-8 byte
// order mark followed by the name's own bytes (a Cyrillic folder, say).
#include "core/TBinReader.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace postello {

struct TOptions {
  std::int32_t MailField = 0;  // MailFieldEd, no range
  std::int32_t BccCount = 20;  // bccCountEd, 1..100
  std::int32_t KontoIndex = 0; // item index of AbsenderCombo
  bool Bcc = false;            // bccCheck checked (else PersonalCheck)
  std::string DatabaseFile;    // native path (UTF-8 on Linux)

  static constexpr const char* FileName = "options.dat";
  static constexpr std::int32_t MinBcc = 1;
  static constexpr std::int32_t MaxBcc = 100;

  // Throws ESaveError when the file name does not fit the format (more
  // than 255 bytes in its stored form).
  std::string Encode() const;
  // Applies the bytes of options.dat; the batch size is brought into
  // 1..100 as its box would. Throws EInOutError when the file ends early;
  // the integers read before stay applied.
  void Decode(std::string_view bytes);
  void Read(TBinReader& file);
  // Applies the options.dat at path, reading only the fields (whatever
  // the file's size); false when there is none (the start values stay).
  // Throws EInOutError for a damaged file.
  bool Load(const std::string& path);
};

} // namespace postello
