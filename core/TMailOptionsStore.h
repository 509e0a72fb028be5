#pragma once
// mailoptionen.dat: the options of stored mails that mails.dat has no room
// for (TMailRec's Unsubscribe, MergeSubject and BccToLine), in a file of their own so
// that mails.dat keeps the bytes the older program reads and writes.
//
// The frame (magic, entries by position and key, damage handling) is
// TSideFile's. An entry's key is the mail's subject and date text as
// mails.dat holds them; only mails whose options differ from the defaults
// have one.
//
// Layout (integers 32-bit little-endian, texts as long strings): "PMO1",
// the entry count, then per entry the mail's position, subject, date text,
// a flag byte (1: merge the subject, 2: no To line in batch messages) and
// the unsubscribe text.
#include "core/TMailStore.h"

#include <string>
#include <string_view>

namespace postello {

class TMailOptionsStore {
public:
  static constexpr const char* FileName = "mailoptionen.dat";

  static std::string Encode(const TMailList& mails);
  // Sets the options of the mails the entries name; others keep theirs.
  // Throws EInOutError for a damaged file.
  static void Decode(std::string_view bytes, TMailList& mails);
  // Loads dir + mailoptionen.dat into the loaded mails. "" when all is
  // well or there is no file; the German description of a damaged file
  // otherwise (a copy is kept aside, the mails keep default options).
  static std::string Open(const std::string& dir, TMailList& mails);
  // Writes dir + mailoptionen.dat safely; nothing when no mail has options
  // and there is no file yet. Throws ESaveError.
  static void Save(const std::string& dir, const TMailList& mails);
};

} // namespace postello
