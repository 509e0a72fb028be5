#include "core/TKontoOptionsStore.h"

#include "core/SafeFile.h"
#include "core/StringFields.h"

#include <algorithm>
#include <filesystem>
#include <vector>

namespace postello {
namespace {

constexpr std::string_view kMagic = "PKO1";

bool HasOptions(const TKontoRec& k) { return k.Reuse != 0 || k.Parallel != 1 || k.RatePerMinute != 0; }

} // namespace

void TKontoOptionsStore::Clamp(TKontoRec& k) {
  k.Reuse = std::max(0, k.Reuse);
  k.RatePerMinute = std::max(0, k.RatePerMinute);
  k.Parallel = std::clamp(k.Parallel, 1, MaxParallel);
}

std::string TKontoOptionsStore::Encode(const TKontoList& konten) {
  TBinWriter f;
  f.WriteBytes(kMagic);
  std::int32_t count = 0;
  for (const TKontoRec& k : konten) count += HasOptions(k) ? 1 : 0;
  f.WriteInt32(count);
  std::int32_t index = 0;
  for (const TKontoRec& k : konten) {
    if (HasOptions(k)) {
      f.WriteInt32(index);
      WriteShortStr(f, k.Absender);
      WriteShortStr(f, k.Email);
      WriteShortStr(f, k.Server);
      f.WriteInt32(k.Reuse);
      f.WriteInt32(k.Parallel);
      f.WriteInt32(k.RatePerMinute);
    }
    ++index;
  }
  return f.Data();
}

void TKontoOptionsStore::Decode(std::string_view bytes, TKontoList& konten) {
  TBinReader f(bytes);
  if (f.ReadBytes(kMagic.size()) != kMagic) throw EInOutError("Unbekanntes Format", 0);
  const std::int32_t count = f.ReadInt32();
  if (count < 0) throw EInOutError("Negative Anzahl " + std::to_string(count), 4);
  struct TEntry {
    std::int32_t Index;
    TKontoRec Key;
  };
  std::vector<TEntry> entries;
  for (std::int32_t n = 0; n < count; ++n) {
    TEntry e;
    e.Index = f.ReadInt32();
    e.Key.Absender = ReadShortStr(f);
    e.Key.Email = ReadShortStr(f);
    e.Key.Server = ReadShortStr(f);
    e.Key.Reuse = f.ReadInt32();
    e.Key.Parallel = f.ReadInt32();
    e.Key.RatePerMinute = f.ReadInt32();
    entries.push_back(std::move(e));
  }
  std::vector<bool> taken(konten.Count(), false);
  const auto matches = [&](std::uint32_t i, const TKontoRec& key) {
    return !taken[i] && konten[i].Absender == key.Absender && konten[i].Email == key.Email &&
           konten[i].Server == key.Server;
  };
  for (const TEntry& e : entries) {
    std::int64_t found = -1;
    if (e.Index >= 0 && static_cast<std::uint32_t>(e.Index) < konten.Count() &&
        matches(static_cast<std::uint32_t>(e.Index), e.Key))
      found = e.Index;
    for (std::uint32_t i = 0; found < 0 && i < konten.Count(); ++i)
      if (matches(i, e.Key)) found = i;
    if (found < 0) continue;
    taken[static_cast<std::size_t>(found)] = true;
    TKontoRec& k = konten[static_cast<std::uint32_t>(found)];
    k.Reuse = e.Key.Reuse;
    k.Parallel = e.Key.Parallel;
    k.RatePerMinute = e.Key.RatePerMinute;
    Clamp(k);
  }
}

std::string TKontoOptionsStore::Open(const std::string& dir, TKontoList& konten) {
  const std::string path = dir + FileName;
  std::ifstream in;
  std::uint64_t size = 0;
  if (!OpenStateFile(path, in, size)) return {};
  constexpr std::uint64_t kMaxSize = 4 * 1024 * 1024;
  try {
    if (size > kMaxSize) throw EInOutError("Datei zu gro\xDF", kMaxSize);
    TBinReader reader(in, size);
    Decode(reader.ReadBytes(static_cast<std::size_t>(size)), konten);
  } catch (const EInOutError& e) {
    return DescribeDamagedFile(path, e, 0, "Konto-Optionen");
  }
  return {};
}

void TKontoOptionsStore::Save(const std::string& dir, const TKontoList& konten) {
  const std::string path = dir + FileName;
  bool any = false;
  for (const TKontoRec& k : konten) any = any || HasOptions(k);
  std::error_code ec;
  if (!any && !std::filesystem::exists(std::filesystem::symlink_status(path, ec))) return;
  SaveFileSafely(path, Encode(konten), 0600);
}

} // namespace postello
