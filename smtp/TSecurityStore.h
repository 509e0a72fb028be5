#pragma once
// The per-server security decisions in the data folder (sicherheit.dat).
#include <cstddef>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace postello {

// What is known and decided about one SMTP server.
struct TServerDecisions {
  bool PlainAuth = false;         // the password may go without encryption
  bool StartTlsSeen = false;      // the server offered STARTTLS once
  std::set<std::string> Pins;     // trusted certificates: SHA-256, 64 lower-case hex digits

  bool Empty() const { return !PlainAuth && !StartTlsSeen && Pins.empty(); }
};

// The decisions for every server, as kept in "sicherheit.dat" in the data
// folder, keyed by TSMTPSend::ServerKey ("host:port").
//
// The file is text, one entry a line, each line ending in LF:
//
//   Postello sicherheit.dat 1
//   mail.example.org:587 starttls
//   mail.example.org:587 zertifikat 3f2a...(64 hex digits)
//   relay.lan:25 klartext
//
// The first line is the header. An entry is the server, one blank, the
// kind and, for "zertifikat", one blank and the fingerprint. Bytes of the
// server below 33, above 126 and "%" are written as "%" and two upper-case
// hex digits. Empty lines are allowed; anything else makes the file
// damaged, and a damaged file counts as empty: it never allows anything.
// The file is written whole through the safe save, readable by its owner
// only.
class TSecurityStore {
public:
  static constexpr const char* kFileName = "sicherheit.dat";
  static constexpr const char* kHeader = "Postello sicherheit.dat 1";
  // A larger file is not read: it is damaged.
  static constexpr std::size_t kMaxFileSize = 1024 * 1024;

  // dir: the data folder, ending in '/'.
  explicit TSecurityStore(std::string dir);

  std::string Path() const { return FDir + kFileName; }

  // Reads the file afresh. A missing file gives no entries and "". A
  // damaged or unreadable file gives no entries and the German report.
  std::string Load();
  // Writes every entry (safe save, mode 0600). A file the last Load found
  // damaged is first kept beside it as "<name>.defekt". Throws ESaveError.
  void Save();

  // The server's entries, or null.
  const TServerDecisions* Find(const std::string& server) const;
  // The server's entries, created empty when missing.
  TServerDecisions& Entry(const std::string& server);
  // Removes every entry of the server; false when there was none.
  bool Forget(const std::string& server);
  const std::map<std::string, TServerDecisions>& Servers() const { return FServers; }
  void SetServers(std::map<std::string, TServerDecisions> servers) { FServers = std::move(servers); }

  // The file's bytes for the entries.
  std::string Encode() const;
  // Reads the file's bytes into servers; on damage returns false, with
  // the 1-based line and the German reason, and leaves servers empty.
  static bool Decode(std::string_view bytes, std::map<std::string, TServerDecisions>& servers,
                     std::size_t& line, std::string& reason);

  // A fingerprint as a user may type it (hex digits in either case,
  // optionally in pairs separated by ":" or blanks) as 64 lower-case hex
  // digits; nothing when it is not a SHA-256 fingerprint.
  static std::optional<std::string> ParseFingerprint(std::string_view text);

private:
  std::string FDir;
  std::map<std::string, TServerDecisions> FServers;
  bool FDamaged = false;
};

} // namespace postello
