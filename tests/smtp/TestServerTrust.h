#pragma once
// A TServerTrust for tests: fixed answers, and a record of what the
// session asked.
#include "smtp/TServerTrust.h"

#include <set>
#include <string>
#include <vector>

namespace postello::test {

struct TTestServerTrust : TServerTrust {
  bool PlainAllowed = false;           // answer to AllowPlainAuth
  bool TrustAll = false;               // answer to TrustCertificate for unpinned certificates
  std::set<std::string> Seen;          // servers seen with STARTTLS
  std::set<std::string> Pins;          // server + " " + fingerprint
  std::vector<std::string> Calls;      // "seen? s", "note s", "plain? s", "cert? s fp problem"

  bool StartTlsSeen(const std::string& server) override {
    Calls.push_back("seen? " + server);
    return Seen.count(server) > 0;
  }
  void NoteStartTls(const std::string& server) override {
    Calls.push_back("note " + server);
    Seen.insert(server);
  }
  bool AllowPlainAuth(const std::string& server) override {
    Calls.push_back("plain? " + server);
    return PlainAllowed;
  }
  bool TrustCertificate(const std::string& server, const TPeerCertificate& cert) override {
    Calls.push_back("cert? " + server + " " + cert.Fingerprint + " " +
                    std::to_string(static_cast<int>(cert.Problem)));
    return TrustAll || Pins.count(server + " " + cert.Fingerprint) > 0;
  }
};

} // namespace postello::test
