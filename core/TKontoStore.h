#pragma once
// konten.dat: the sender accounts, rewritten whole on each change: the
// count (32-bit signed little-endian), then per account six short strings
// Absender, Email, Antwort, Server, User, Password (scrambled).
#include "core/TBinReader.h"
#include "core/EInOutError.h"
#include "core/TDynaArray.h"
#include "core/TKontoRec.h"

#include <string>
#include <string_view>

namespace postello {

using TKontoList = TDynaArray<TKontoRec>;

struct TKontoLoadResult {
  bool FileFound = false;
  std::string Error; // German text for the user; empty when all was read
};

class TKontoStore {
public:
  static constexpr const char* FileName = "konten.dat";
  // The format holds 255 characters per field; the scrambled password
  // takes two per clear character.
  static constexpr int MaxFieldLength = 255;
  static constexpr int MaxPasswordLength = 127;

  static std::string Encode(const TKontoList& konten);
  // Replaces konten with the accounts of the file; on damage the accounts
  // read before it stay and EInOutError is thrown.
  static void Read(TBinReader& file, TKontoList& konten);
  // The same for the file's bytes in memory.
  static void Decode(std::string_view bytes, TKontoList& konten);
  // Loads dir + konten.dat field by field, then the files beside it
  // (kontooptionen.dat, postfaecher.dat); missing file: nothing changes.
  // A damaged file is kept aside (KeepDamagedCopy) and described in Error.
  static TKontoLoadResult Open(const std::string& dir, TKontoList& konten);
  // Writes dir + konten.dat and the files beside it safely, readable by
  // their owner only. Throws ESaveError.
  static void Save(const std::string& dir, const TKontoList& konten);
};

// Scrambles a clear password: per character at position i (from 1),
// ((code XOR 0x5A) + i) mod 256 as two upper-case hex digits.
std::string CodePassw(std::string_view clear);
// Reverses CodePassw. Never fails: a trailing odd character is ignored,
// lower-case digits are accepted and other characters count 0.
std::string DeCodePassw(std::string_view scrambled);
int HexDigitValue(char c);

} // namespace postello
