#pragma once
// mailoptionen.dat: the options of stored mails that mails.dat has no room
// for (TMailRec's Unsubscribe and MergeSubject), in a file of their own so
// that mails.dat keeps the bytes the older program reads and writes.
//
// Only mails whose options differ from the defaults have an entry. An
// entry names its mail by position and by its subject and date text (as
// mails.dat holds them): the position is right whenever this program
// saved both files, and the subject and date find the mail again when the
// older program has since deleted or added mails. An entry whose mail
// cannot be found is dropped at the next save.
//
// Layout (integers 32-bit little-endian, texts as long strings): "PMO1",
// the entry count, then per entry the mail's position, subject, date text,
// a flag byte (1: merge the subject) and the unsubscribe text.
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
