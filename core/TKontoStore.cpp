#include "core/TKontoStore.h"
#include "core/TKontoOptionsStore.h"
#include "core/TPostfachStore.h"

#include "core/SafeFile.h"
#include "core/StringFields.h"

namespace postello {
namespace {
constexpr unsigned char kKey = 0x5A;
}

int HexDigitValue(char c) {
  if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 0;
}

std::string CodePassw(std::string_view clear) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(clear.size() * 2);
  for (std::size_t i = 0; i < clear.size(); ++i) {
    const unsigned v = ((static_cast<unsigned char>(clear[i]) ^ kKey) + (i + 1)) & 0xFF;
    out += hex[v >> 4];
    out += hex[v & 0xF];
  }
  return out;
}

std::string DeCodePassw(std::string_view scrambled) {
  const std::size_t n = scrambled.size() / 2;
  std::string out;
  out.reserve(n);
  for (std::size_t i = 1; i <= n; ++i) {
    const unsigned h = 16 * HexDigitValue(scrambled[2 * i - 2]) + HexDigitValue(scrambled[2 * i - 1]);
    out += static_cast<char>(((h - i) & 0xFF) ^ kKey);
  }
  return out;
}

std::string TKontoStore::Encode(const TKontoList& konten) {
  TBinWriter f;
  f.WriteInt32(static_cast<std::int32_t>(konten.Count()));
  for (const TKontoRec& k : konten) {
    for (const std::string* s : {&k.Absender, &k.Email, &k.Antwort, &k.Server, &k.User, &k.Password}) {
      WriteShortStr(f, *s);
    }
  }
  return f.Data();
}

void TKontoStore::Decode(std::string_view bytes, TKontoList& konten) {
  TBinReader f(bytes);
  Read(f, konten);
}

void TKontoStore::Read(TBinReader& f, TKontoList& konten) {
  const std::int32_t count = f.ReadInt32();
  konten = TKontoList(konten.CurrentVar());
  if (count < 0) throw EInOutError("Negative Anzahl Konten " + std::to_string(count), 0);
  for (std::int32_t n = 0; n < count; ++n) {
    TKontoRec k;
    for (std::string* s : {&k.Absender, &k.Email, &k.Antwort, &k.Server, &k.User, &k.Password}) {
      *s = ReadShortStr(f);
    }
    *konten.Add() = std::move(k);
  }
}

TKontoLoadResult TKontoStore::Open(const std::string& dir, TKontoList& konten) {
  TKontoLoadResult result;
  const std::string path = dir + FileName;
  std::ifstream in;
  std::uint64_t size = 0;
  if (!OpenStateFile(path, in, size)) return result;
  result.FileFound = true;
  try {
    TBinReader f(in, size);
    Read(f, konten);
  } catch (const EInOutError& e) {
    result.Error = DescribeDamagedFile(path, e, konten.Count(), "Konto", "Konten");
    return result;
  }
  result.Error = TKontoOptionsStore::Open(dir, konten);
  AddMessageLine(result.Error, TPostfachStore::Open(dir, konten));
  return result;
}

void TKontoStore::Save(const std::string& dir, const TKontoList& konten) {
  SaveFileSafely(dir + FileName, Encode(konten), 0600);
  TKontoOptionsStore::Save(dir, konten);
  TPostfachStore::Save(dir, konten);
}

} // namespace postello
