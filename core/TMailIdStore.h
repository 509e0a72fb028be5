#pragma once
// mailkennungen.dat: the lasting identity of each stored mail (TMailRec::Id)
// that mails.dat has no room for. The mail's date changes with every save,
// so it cannot tell the send journal which runs were the mail's; the
// identity does.
//
// The frame (magic, entries by position and key, damage handling) is
// TSideFile's. An entry's key is the mail's subject and date text as
// mails.dat holds them; only mails that have an identity have one.
//
// Layout (integers 32-bit little-endian, texts as long strings): "PMK1",
// the entry count, then per entry the mail's position, subject, date text,
// identity and first date (TMailRec::FirstDate).
#include "core/TMailStore.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace postello {

class TMailIdStore {
public:
  static constexpr const char* FileName = "mailkennungen.dat";

  static std::string Encode(const TMailList& mails);
  // Sets the identities of the mails the entries name. Throws EInOutError
  // for a damaged file.
  static void Decode(std::string_view bytes, TMailList& mails);
  // Loads dir + mailkennungen.dat into the loaded mails. "" when all is
  // well or there is no file; the German description of a damaged file
  // otherwise (a copy is kept aside).
  static std::string Open(const std::string& dir, TMailList& mails);
  // Writes dir + mailkennungen.dat safely; nothing when no mail has an
  // identity and there is no file yet. Throws ESaveError.
  static void Save(const std::string& dir, const TMailList& mails);

  // Gives the mail at index an identity when it has none yet and saves
  // the file (mails.dat keeps its bytes). Throws ESaveError.
  static void Assign(const std::string& dir, TMailList& mails, std::size_t index);
  // Gives a mail that is saved its new date. A stored mail without an
  // identity gets one now, remembering its old date for the runs of older
  // versions, which name the mail by it.
  static void Restamp(TMailRecFields& mail, double now);
  // A new identity: 32 hexadecimal digits from the system's random source.
  static std::string NewId();
};

} // namespace postello
