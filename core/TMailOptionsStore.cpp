#include "core/TMailOptionsStore.h"

#include "core/StoredDateTime.h"
#include "core/SafeFile.h"
#include "core/StringFields.h"

#include <filesystem>
#include <vector>

namespace postello {
namespace {

constexpr std::string_view kMagic = "PMO1";

// The date as mails.dat holds it, which is what the entry remembers.
std::string DateKey(const TMailRec& m) { return m.Date != 0 ? DateTimeToText(m.Date) : m.DateText; }

bool HasOptions(const TMailRec& m) { return m.MergeSubject || !m.Unsubscribe.empty(); }

} // namespace

std::string TMailOptionsStore::Encode(const TMailList& mails) {
  TBinWriter f;
  f.WriteBytes(kMagic);
  std::int32_t count = 0;
  for (const TMailRec& m : mails) count += HasOptions(m) ? 1 : 0;
  f.WriteInt32(count);
  std::int32_t index = 0;
  for (const TMailRec& m : mails) {
    if (HasOptions(m)) {
      f.WriteInt32(index);
      WriteLongStr(f, m.Subject);
      WriteLongStr(f, DateKey(m));
      f.WriteByte(m.MergeSubject ? 1 : 0);
      WriteLongStr(f, m.Unsubscribe);
    }
    ++index;
  }
  return f.Data();
}

void TMailOptionsStore::Decode(std::string_view bytes, TMailList& mails) {
  TBinReader f(bytes);
  if (f.ReadBytes(kMagic.size()) != kMagic) throw EInOutError("Unbekanntes Format", 0);
  const std::int32_t count = f.ReadInt32();
  if (count < 0) throw EInOutError("Negative Anzahl " + std::to_string(count), 4);
  struct TEntry {
    std::int32_t Index;
    std::string Subject, Date, Unsubscribe;
    bool MergeSubject;
  };
  std::vector<TEntry> entries;
  for (std::int32_t k = 0; k < count; ++k) {
    TEntry e;
    e.Index = f.ReadInt32();
    e.Subject = ReadLongStr(f);
    e.Date = ReadLongStr(f);
    e.MergeSubject = (f.ReadByte() & 1) != 0;
    e.Unsubscribe = ReadLongStr(f);
    entries.push_back(std::move(e));
  }
  // Read whole before anything is set: a damaged file changes no mail.
  std::vector<bool> taken(mails.Count(), false);
  const auto matches = [&](std::uint32_t i, const TEntry& e) {
    return !taken[i] && mails[i].Subject == e.Subject && DateKey(mails[i]) == e.Date;
  };
  for (const TEntry& e : entries) {
    std::int64_t found = -1;
    if (e.Index >= 0 && static_cast<std::uint32_t>(e.Index) < mails.Count() &&
        matches(static_cast<std::uint32_t>(e.Index), e))
      found = e.Index;
    for (std::uint32_t i = 0; found < 0 && i < mails.Count(); ++i)
      if (matches(i, e)) found = i;
    if (found < 0) continue;
    taken[static_cast<std::size_t>(found)] = true;
    TMailRec& m = mails[static_cast<std::uint32_t>(found)];
    m.MergeSubject = e.MergeSubject;
    m.Unsubscribe = e.Unsubscribe;
  }
}

std::string TMailOptionsStore::Open(const std::string& dir, TMailList& mails) {
  const std::string path = dir + FileName;
  std::ifstream in;
  std::uint64_t size = 0;
  if (!OpenStateFile(path, in, size)) return {};
  // The file holds a few short texts per mail with options; anything
  // beyond a few megabytes is not ours.
  constexpr std::uint64_t kMaxSize = 16 * 1024 * 1024;
  try {
    if (size > kMaxSize) throw EInOutError("Datei zu gro\xDF", kMaxSize);
    TBinReader reader(in, size);
    const std::string bytes = reader.ReadBytes(static_cast<std::size_t>(size));
    Decode(bytes, mails);
  } catch (const EInOutError& e) {
    return DescribeDamagedFile(path, e, 0, "Mail-Optionen");
  }
  return {};
}

void TMailOptionsStore::Save(const std::string& dir, const TMailList& mails) {
  const std::string path = dir + FileName;
  bool any = false;
  for (const TMailRec& m : mails) any = any || HasOptions(m);
  std::error_code ec;
  if (!any && !std::filesystem::exists(std::filesystem::symlink_status(path, ec))) return;
  SaveFileSafely(path, Encode(mails));
}

} // namespace postello
