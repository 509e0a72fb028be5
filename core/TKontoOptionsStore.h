#pragma once
// kontooptionen.dat: the options of sender accounts that konten.dat has no
// room for (TKontoRec's Reuse, Parallel and RatePerMinute), in a file of
// their own so that konten.dat keeps the bytes the older program reads.
//
// The frame (magic, entries by position and key, damage handling) is
// TSideFile's. An entry's key is the account's sender name, address and
// server; only accounts whose options differ from the defaults have one.
//
// Layout (integers 32-bit little-endian, texts as short strings): "PKO1",
// the entry count, then per entry the position, Absender, Email, Server,
// Reuse, Parallel and RatePerMinute.
#include "core/TKontoStore.h"

#include <string>
#include <string_view>

namespace postello {

class TKontoOptionsStore {
public:
  static constexpr const char* FileName = "kontooptionen.dat";
  static constexpr int MaxParallel = 8;

  // Brings the options into their ranges: Reuse and RatePerMinute 0 or
  // more, Parallel 1 to MaxParallel.
  static void Clamp(TKontoRec& k);

  static std::string Encode(const TKontoList& konten);
  // Throws EInOutError for a damaged file; then no account changes.
  static void Decode(std::string_view bytes, TKontoList& konten);
  // "" when all is well or there is no file; else the German description
  // of the damaged file (a copy is kept aside).
  static std::string Open(const std::string& dir, TKontoList& konten);
  // Nothing when no account has options and there is no file yet.
  // Throws ESaveError.
  static void Save(const std::string& dir, const TKontoList& konten);
};

} // namespace postello
