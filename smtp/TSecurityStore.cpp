#include "smtp/TSecurityStore.h"

#include "core/Cp1252.h"
#include "core/SafeFile.h"

#include <cerrno>
#include <fstream>
#include <sys/stat.h>
#include <vector>

namespace postello {
namespace {

constexpr const char* kPlain = "klartext";
constexpr const char* kStartTls = "starttls";
constexpr const char* kPin = "zertifikat";

bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return c - 'A' + 10;
}

std::string EncodeServer(const std::string& server) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (char c : server) {
    const auto b = static_cast<unsigned char>(c);
    if (b <= 32 || b >= 127 || c == '%') {
      out += '%';
      out += digits[b >> 4];
      out += digits[b & 15];
    } else {
      out += c;
    }
  }
  return out;
}

std::optional<std::string> DecodeServer(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const auto b = static_cast<unsigned char>(text[i]);
    if (b <= 32 || b >= 127) return std::nullopt;
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    if (!IsHex(text[i + 1]) || !IsHex(text[i + 2])) return std::nullopt;
    out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
    i += 2;
  }
  if (out.empty()) return std::nullopt;
  return out;
}

bool IsStoredFingerprint(std::string_view hex) {
  if (hex.size() != 64) return false;
  for (char c : hex)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  return true;
}

} // namespace

TSecurityStore::TSecurityStore(std::string dir) : FDir(std::move(dir)) {}

bool TSecurityStore::Decode(std::string_view bytes, std::map<std::string, TServerDecisions>& servers,
                            std::size_t& line, std::string& reason) {
  servers.clear();
  std::map<std::string, TServerDecisions> found;
  line = 0;
  size_t at = 0;
  bool header = false;
  while (at < bytes.size()) {
    ++line;
    const size_t end = bytes.find('\n', at);
    if (end == std::string_view::npos) {
      reason = "die letzte Zeile endet nicht";
      return false;
    }
    std::string_view text = bytes.substr(at, end - at);
    at = end + 1;
    if (!header) {
      if (text != kHeader) {
        reason = "die Kopfzeile fehlt";
        return false;
      }
      header = true;
      continue;
    }
    if (text.empty()) continue;
    std::vector<std::string_view> words;
    size_t from = 0;
    for (;;) {
      const size_t blank = text.find(' ', from);
      words.push_back(text.substr(from, blank - from));
      if (blank == std::string_view::npos) break;
      from = blank + 1;
    }
    const std::optional<std::string> server = DecodeServer(words[0]);
    if (!server || words.size() < 2) {
      reason = "unlesbarer Eintrag";
      return false;
    }
    TServerDecisions& d = found[*server];
    if (words[1] == kPlain && words.size() == 2) {
      d.PlainAuth = true;
    } else if (words[1] == kStartTls && words.size() == 2) {
      d.StartTlsSeen = true;
    } else if (words[1] == kPin && words.size() == 3 && IsStoredFingerprint(words[2])) {
      d.Pins.insert(std::string(words[2]));
    } else {
      reason = "unbekannter Eintrag";
      return false;
    }
  }
  if (!header) {
    ++line;
    reason = "die Kopfzeile fehlt";
    return false;
  }
  servers = std::move(found);
  return true;
}

std::string TSecurityStore::Encode() const {
  std::string out = std::string(kHeader) + "\n";
  for (const auto& [server, d] : FServers) {
    if (server.empty()) continue;
    const std::string name = EncodeServer(server);
    if (d.StartTlsSeen) out += name + " " + kStartTls + "\n";
    if (d.PlainAuth) out += name + " " + kPlain + "\n";
    for (const std::string& pin : d.Pins) out += name + " " + kPin + " " + pin + "\n";
  }
  return out;
}

std::string TSecurityStore::Load() {
  FServers.clear();
  FDamaged = false;
  const std::string path = Path();
  const std::string shown = "Die Datei \"" + Utf8ToCp1252(path) + "\" ";
  const std::string consequence =
      " Sie gilt als leer: f\xFCr keinen Server ist etwas erlaubt oder gespeichert.";
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    if (errno == ENOENT) return {};
    FDamaged = true;
    return shown + "kann nicht gelesen werden." + consequence;
  }
  if (!S_ISREG(st.st_mode)) {
    FDamaged = true;
    return shown + "ist keine gew\xF6hnliche Datei." + consequence;
  }
  if (static_cast<std::size_t>(st.st_size) > kMaxFileSize) {
    FDamaged = true;
    return shown + "ist besch\xE4" "digt: sie ist zu gro\xDF." + consequence;
  }
  std::ifstream in(path, std::ios::binary);
  // One byte more than the size seen, to notice a file that grew since.
  std::string bytes(static_cast<std::size_t>(st.st_size) + 1, '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (in.bad() || !in.is_open()) {
    FDamaged = true;
    return shown + "kann nicht gelesen werden." + consequence;
  }
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  if (bytes.size() > static_cast<std::size_t>(st.st_size)) {
    FDamaged = true;
    return shown + "ist besch\xE4" "digt: sie ist zu gro\xDF." + consequence;
  }
  std::size_t line = 0;
  std::string reason;
  if (!Decode(bytes, FServers, line, reason)) {
    FDamaged = true;
    return shown + "ist besch\xE4" "digt (Zeile " + std::to_string(line) + "): " + reason + "." + consequence;
  }
  return {};
}

void TSecurityStore::Save() {
  if (FDamaged) {
    // What was there is kept for a look, never read again.
    KeepDamagedCopy(Path());
    FDamaged = false;
  }
  SaveFileSafely(Path(), Encode(), 0600);
}

const TServerDecisions* TSecurityStore::Find(const std::string& server) const {
  const auto it = FServers.find(server);
  return it == FServers.end() ? nullptr : &it->second;
}

TServerDecisions& TSecurityStore::Entry(const std::string& server) { return FServers[server]; }

bool TSecurityStore::Forget(const std::string& server) { return FServers.erase(server) > 0; }

std::optional<std::string> TSecurityStore::ParseFingerprint(std::string_view text) {
  std::string hex;
  for (char c : text) {
    if (c == ':' || c == ' ') continue;
    if (!IsHex(c)) return std::nullopt;
    hex += c >= 'A' && c <= 'F' ? static_cast<char>(c - 'A' + 'a') : c;
  }
  if (hex.size() != 64) return std::nullopt;
  return hex;
}

} // namespace postello
