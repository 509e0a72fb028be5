#pragma once
// The server decisions as a reading that changes nothing uses them: what
// is stored holds, nothing new is stored. A server first seen offering
// STARTTLS is remembered for this object's life only; the reading that
// applies its result stores it.
#include "smtp/TServerTrust.h"

#include <set>
#include <string>

namespace postello {

class TReadOnlyTrust : public TServerTrust {
public:
  explicit TReadOnlyTrust(TServerTrust& stored) : FStored(stored) {}

  bool StartTlsSeen(const std::string& server) override {
    return FSeen.count(server) > 0 || FStored.StartTlsSeen(server);
  }
  void NoteStartTls(const std::string& server) override { FSeen.insert(server); }
  // Consent and pins as stored (the command line's trust asks nothing).
  bool AllowPlainAuth(const std::string& server) override { return FStored.AllowPlainAuth(server); }
  bool TrustCertificate(const std::string& server, const TPeerCertificate& cert) override {
    return FStored.TrustCertificate(server, cert);
  }

private:
  TServerTrust& FStored;
  std::set<std::string> FSeen;
};

} // namespace postello
