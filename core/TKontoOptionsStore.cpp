#include "core/TKontoOptionsStore.h"

#include "core/StringFields.h"
#include "core/TSideFile.h"

#include <algorithm>

namespace postello {
namespace {

struct TKontoOptionsFormat {
  using TList = TKontoList;
  using TEntry = TKontoRec; // the key fields and the options
  static constexpr std::string_view Magic = "PKO1";
  static constexpr std::uint64_t MaxSize = 4 * 1024 * 1024;
  static constexpr unsigned Mode = 0600; // beside konten.dat, as private as it
  static constexpr std::string_view Singular = "Konto-Option", Plural = "Konto-Optionen";

  static bool HasOptions(const TKontoRec& k) { return k.Reuse != 0 || k.Parallel != 1 || k.RatePerMinute != 0; }
  static void Write(TBinWriter& f, const TKontoRec& k) {
    WriteShortStr(f, k.Absender);
    WriteShortStr(f, k.Email);
    WriteShortStr(f, k.Server);
    f.WriteInt32(k.Reuse);
    f.WriteInt32(k.Parallel);
    f.WriteInt32(k.RatePerMinute);
  }
  static TKontoRec Read(TBinReader& f) {
    TKontoRec e;
    e.Absender = ReadShortStr(f);
    e.Email = ReadShortStr(f);
    e.Server = ReadShortStr(f);
    e.Reuse = f.ReadInt32();
    e.Parallel = f.ReadInt32();
    e.RatePerMinute = f.ReadInt32();
    return e;
  }
  static bool SameKey(const TKontoRec& k, const TKontoRec& e) {
    return k.Absender == e.Absender && k.Email == e.Email && k.Server == e.Server;
  }
  static void Apply(const TKontoRec& e, TKontoRec& k) {
    k.Reuse = e.Reuse;
    k.Parallel = e.Parallel;
    k.RatePerMinute = e.RatePerMinute;
    TKontoOptionsStore::Clamp(k);
  }
};

using TKontoOptionsFile = TSideFile<TKontoOptionsFormat>;

} // namespace

void TKontoOptionsStore::Clamp(TKontoRec& k) {
  k.Reuse = std::max(0, k.Reuse);
  k.RatePerMinute = std::max(0, k.RatePerMinute);
  k.Parallel = std::clamp(k.Parallel, 1, MaxParallel);
}

std::string TKontoOptionsStore::Encode(const TKontoList& konten) { return TKontoOptionsFile::Encode(konten); }

void TKontoOptionsStore::Decode(std::string_view bytes, TKontoList& konten) {
  TKontoOptionsFile::Decode(bytes, konten);
}

std::string TKontoOptionsStore::Open(const std::string& dir, TKontoList& konten) {
  return TKontoOptionsFile::Open(dir + FileName, konten);
}

void TKontoOptionsStore::Save(const std::string& dir, const TKontoList& konten) {
  TKontoOptionsFile::Save(dir + FileName, konten);
}

} // namespace postello
