#include "core/TMailIdStore.h"

#include "core/StringFields.h"
#include "core/TSideFile.h"

#include <random>

namespace postello {
namespace {

struct TMailIdFormat {
  using TList = TMailList;
  struct TEntry {
    std::string Subject, Date, Id, FirstDate;
  };
  static constexpr std::string_view Magic = "PMK1";
  static constexpr std::uint64_t MaxSize = 16 * 1024 * 1024;
  static constexpr unsigned Mode = 0644;
  static constexpr std::string_view Singular = "Mail-Kennung", Plural = "Mail-Kennungen";

  static bool HasOptions(const TMailRec& m) { return !m.Id.empty(); }
  static void Write(TBinWriter& f, const TMailRec& m) {
    WriteLongStr(f, m.Subject);
    WriteLongStr(f, MailDateText(m));
    WriteLongStr(f, m.Id);
    WriteLongStr(f, m.FirstDate);
  }
  static TEntry Read(TBinReader& f) {
    TEntry e;
    e.Subject = ReadLongStr(f);
    e.Date = ReadLongStr(f);
    e.Id = ReadLongStr(f);
    e.FirstDate = ReadLongStr(f);
    return e;
  }
  static bool SameKey(const TMailRec& m, const TEntry& e) { return m.Subject == e.Subject && MailDateText(m) == e.Date; }
  static void Apply(const TEntry& e, TMailRec& m) {
    m.Id = e.Id;
    m.FirstDate = e.FirstDate;
  }
};

using TMailIdFile = TSideFile<TMailIdFormat>;

} // namespace

std::string TMailIdStore::Encode(const TMailList& mails) { return TMailIdFile::Encode(mails); }

void TMailIdStore::Decode(std::string_view bytes, TMailList& mails) { TMailIdFile::Decode(bytes, mails); }

std::string TMailIdStore::Open(const std::string& dir, TMailList& mails) {
  return TMailIdFile::Open(dir + FileName, mails);
}

void TMailIdStore::Save(const std::string& dir, const TMailList& mails) { TMailIdFile::Save(dir + FileName, mails); }

void TMailIdStore::Assign(const std::string& dir, TMailList& mails, std::size_t index) {
  if (index >= mails.Count() || !mails[index].Id.empty()) return;
  mails[index].Id = NewId();
  try {
    Save(dir, mails);
  } catch (...) {
    // An identity the file does not keep would name no mail tomorrow.
    mails[index].Id.clear();
    throw;
  }
}

void TMailIdStore::Restamp(TMailRecFields& mail, double now) {
  if (mail.Id.empty() && (mail.Date != 0 || !mail.DateText.empty())) {
    // Sent by an older version, perhaps: its runs name the date it has now.
    mail.Id = NewId();
    mail.FirstDate = MailDateText(mail);
  }
  mail.Date = now;
}

std::string TMailIdStore::NewId() {
  static const char kHex[] = "0123456789abcdef";
  std::random_device random;
  std::string id;
  for (int i = 0; i < 4; ++i) {
    const std::uint32_t r = random();
    for (int b = 0; b < 8; b += 2) {
      const unsigned byte = (r >> (b * 4)) & 0xFF;
      id += kHex[byte >> 4];
      id += kHex[byte & 15];
    }
  }
  return id;
}

} // namespace postello
