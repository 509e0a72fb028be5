#include "core/TMailOptionsStore.h"

#include "core/StringFields.h"
#include "core/TSideFile.h"

namespace postello {
namespace {

// The bits of the flag byte. A set bit means "differs from the default",
// so files written before a bit existed read as the default.
constexpr std::uint8_t kMergeSubject = 1, kNoBccToLine = 2;

struct TMailOptionsFormat {
  using TList = TMailList;
  struct TEntry {
    std::string Subject, Date, Unsubscribe;
    bool MergeSubject = false;
    bool BccToLine = true;
  };
  static constexpr std::string_view Magic = "PMO1";
  // The file holds a few short texts per mail with options; anything
  // beyond a few megabytes is not ours.
  static constexpr std::uint64_t MaxSize = 16 * 1024 * 1024;
  static constexpr unsigned Mode = 0644;
  static constexpr std::string_view Singular = "Mail-Option", Plural = "Mail-Optionen";

  static bool HasOptions(const TMailRec& m) { return m.MergeSubject || !m.BccToLine || !m.Unsubscribe.empty(); }
  static void Write(TBinWriter& f, const TMailRec& m) {
    WriteLongStr(f, m.Subject);
    WriteLongStr(f, MailDateText(m));
    f.WriteByte((m.MergeSubject ? kMergeSubject : 0) | (m.BccToLine ? 0 : kNoBccToLine));
    WriteLongStr(f, m.Unsubscribe);
  }
  static TEntry Read(TBinReader& f) {
    TEntry e;
    e.Subject = ReadLongStr(f);
    e.Date = ReadLongStr(f);
    const std::uint8_t flags = f.ReadByte();
    e.MergeSubject = (flags & kMergeSubject) != 0;
    e.BccToLine = (flags & kNoBccToLine) == 0;
    e.Unsubscribe = ReadLongStr(f);
    return e;
  }
  static bool SameKey(const TMailRec& m, const TEntry& e) { return m.Subject == e.Subject && MailDateText(m) == e.Date; }
  static void Apply(const TEntry& e, TMailRec& m) {
    m.MergeSubject = e.MergeSubject;
    m.BccToLine = e.BccToLine;
    m.Unsubscribe = e.Unsubscribe;
  }
};

using TMailOptionsFile = TSideFile<TMailOptionsFormat>;

} // namespace

std::string TMailOptionsStore::Encode(const TMailList& mails) { return TMailOptionsFile::Encode(mails); }

void TMailOptionsStore::Decode(std::string_view bytes, TMailList& mails) { TMailOptionsFile::Decode(bytes, mails); }

std::string TMailOptionsStore::Open(const std::string& dir, TMailList& mails) {
  return TMailOptionsFile::Open(dir + FileName, mails);
}

void TMailOptionsStore::Save(const std::string& dir, const TMailList& mails) {
  TMailOptionsFile::Save(dir + FileName, mails);
}

} // namespace postello
