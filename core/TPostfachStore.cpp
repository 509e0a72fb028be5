#include "core/TPostfachStore.h"

#include "core/StringFields.h"
#include "core/TSideFile.h"

namespace postello {
namespace {

struct TPostfachFormat {
  using TList = TKontoList;
  using TEntry = TKontoRec; // the key fields and the mailbox
  static constexpr std::string_view Magic = "PPF1";
  static constexpr std::uint64_t MaxSize = 4 * 1024 * 1024;
  static constexpr unsigned Mode = 0600; // holds passwords, as konten.dat does
  static constexpr std::string_view Singular = "Posteingang", Plural = "Posteing\xE4nge";

  static bool HasOptions(const TKontoRec& k) { return !k.Mailbox.Server.empty(); }
  static void Write(TBinWriter& f, const TKontoRec& k) {
    const TReplyMailbox& m = k.Mailbox;
    for (const std::string* s : {&k.Absender, &k.Email, &k.Server, &m.Server, &m.User, &m.Password})
      WriteShortStr(f, *s);
    f.WriteByte(m.OAuth ? 1 : 0);
    WriteShortStr(f, m.Folder);
    WriteShortStr(f, m.DoneFolder);
  }
  static TKontoRec Read(TBinReader& f) {
    TKontoRec e;
    TReplyMailbox& m = e.Mailbox;
    for (std::string* s : {&e.Absender, &e.Email, &e.Server, &m.Server, &m.User, &m.Password}) *s = ReadShortStr(f);
    const std::uint8_t oauth = f.ReadByte();
    if (oauth > 1) throw EInOutError("Ung\xFCltiger Wert " + std::to_string(oauth) + " f\xFCr OAuth", static_cast<std::size_t>(f.Pos() - 1));
    m.OAuth = oauth == 1;
    m.Folder = ReadShortStr(f);
    m.DoneFolder = ReadShortStr(f);
    return e;
  }
  static bool SameKey(const TKontoRec& k, const TKontoRec& e) {
    return k.Absender == e.Absender && k.Email == e.Email && k.Server == e.Server;
  }
  static void Apply(const TKontoRec& e, TKontoRec& k) { k.Mailbox = e.Mailbox; }
};

using TPostfachFile = TSideFile<TPostfachFormat>;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHostChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || IsDigit(c) || c == '-' || c == '.' || c == '_';
}
bool IsV6Char(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || c == ':' || c == '.'; }

} // namespace

std::string TPostfachStore::CheckServer(std::string_view text) {
  const std::string hint = " (HOST:PORT, z. B. imap.example.org:993)";
  if (text.empty()) return "Der IMAP-Server fehlt" + hint + ".";
  const std::string named = "IMAP-Server \"" + std::string(text) + "\": ";
  const std::size_t colon = text.rfind(':');
  if (colon == std::string_view::npos) return named + "der Port fehlt" + hint + ".";
  std::string_view host = text.substr(0, colon);
  const std::string_view port = text.substr(colon + 1);
  if (host.starts_with('[')) {
    if (!host.ends_with(']') || host.size() < 3) return named + "die IPv6-Adresse in eckigen Klammern ist unvollst\xE4ndig.";
    host = host.substr(1, host.size() - 2);
    for (char c : host)
      if (!IsV6Char(c)) return named + "die IPv6-Adresse enth\xE4lt unerlaubte Zeichen.";
  } else {
    if (host.find(':') != std::string_view::npos)
      return named + "eine IPv6-Adresse steht in eckigen Klammern, z. B. [2001:db8::1]:993.";
    if (host.empty()) return named + "der Rechnername fehlt" + hint + ".";
    for (char c : host)
      if (!IsHostChar(c)) return named + "der Rechnername enth\xE4lt unerlaubte Zeichen.";
  }
  long value = 0;
  for (char c : port) {
    if (!IsDigit(c) || value > 65535) return named + "der Port muss eine Zahl von 1 bis 65535 sein.";
    value = value * 10 + (c - '0');
  }
  if (port.empty() || value < 1 || value > 65535) return named + "der Port muss eine Zahl von 1 bis 65535 sein.";
  if (text.size() > 255) return named + "l\xE4nger als 255 Zeichen.";
  return {};
}

std::string TPostfachStore::CheckFolder(std::string_view name, std::string_view what) {
  if (name.empty()) return std::string(what) + ": der Name fehlt.";
  if (name.size() > 255) return std::string(what) + ": der Name ist l\xE4nger als 255 Zeichen.";
  for (char c : name)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
      return std::string(what) + " \"" + std::string(name) + "\": der Name enth\xE4lt ein Steuerzeichen.";
  return {};
}

std::string TPostfachStore::Encode(const TKontoList& konten) { return TPostfachFile::Encode(konten); }

void TPostfachStore::Decode(std::string_view bytes, TKontoList& konten) { TPostfachFile::Decode(bytes, konten); }

std::string TPostfachStore::Open(const std::string& dir, TKontoList& konten) {
  return TPostfachFile::Open(dir + FileName, konten);
}

void TPostfachStore::Save(const std::string& dir, const TKontoList& konten) {
  TPostfachFile::Save(dir + FileName, konten);
}

} // namespace postello
