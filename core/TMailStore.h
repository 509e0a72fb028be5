#pragma once
// mails.dat: every stored mail, rewritten whole on each change.
//
// Layout (integers 32-bit little-endian, texts as long strings): the count,
// then per mail Subject, PlainText, HtmlText, DesignHtml, the RTF size and
// bytes, MailType, AutoText, the date text, the attachments (count, then
// file name and content id each), DesignColor, NewsDesign, the four
// newsletter colours, the two font sizes, the two font colours, the two
// style bytes, width and minimum height, and the two font names, heading
// and footer texts.
#include "core/EInOutError.h"
#include "core/TBinReader.h"
#include "core/TMailRec.h"

#include <string>
#include <string_view>

namespace postello {

using TMailList = TDynaArray<TMailRec>;

// What loading found besides the mails.
struct TMailLoadResult {
  bool FileFound = false;
  std::string Error;        // German text for the user; empty when all was read
  std::size_t BadDates = 0; // mails whose date text could not be read (loaded without date)
};

// The message for mails whose date could not be read, counted right
// ("bei 1 Mail ... sie wurde", "bei 2 Mails ... sie wurden").
std::string BadDatesMessage(std::size_t badDates);

// The mail's date as mails.dat holds it (and the side files remember it):
// the date as text, or the date text kept when it could not be read.
std::string MailDateText(const TMailRecFields& m);

class TMailStore {
public:
  static constexpr const char* FileName = "mails.dat";

  // The bytes of mails.dat for these mails.
  static std::string Encode(const TMailList& mails);

  // Reads mails.dat into mails (replacing them). On damage every mail read
  // before it stays in `mails` and EInOutError is thrown with the offset; a
  // mail whose date cannot be read has Date 0, keeps the text in DateText
  // and is counted in badDates.
  static void Read(TBinReader& file, TMailList& mails, std::size_t& badDates);
  // The same for the file's bytes in memory.
  static void Decode(std::string_view bytes, TMailList& mails, std::size_t& badDates);

  // Loads dir + mails.dat, field by field: memory follows the mails, not
  // the file's size. A missing file leaves mails untouched. A damaged file
  // is kept aside (KeepDamagedCopy) and described in the result's Error.
  // The mails' options come from mailoptionen.dat beside it
  // (TMailOptionsStore), their identities from mailkennungen.dat
  // (TMailIdStore); a damaged one is described in Error as well.
  static TMailLoadResult Open(const std::string& dir, TMailList& mails);

  // Writes dir + mails.dat safely, then the options to mailoptionen.dat
  // and the identities to mailkennungen.dat; throws ESaveError.
  static void Save(const std::string& dir, const TMailList& mails);
};

} // namespace postello
