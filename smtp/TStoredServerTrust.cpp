#include "smtp/TStoredServerTrust.h"

#include "core/SafeFile.h"
#include "smtp/TSMTPSend.h"

namespace postello {

TStoredServerTrust::TStoredServerTrust(const std::string& dir) : FStore(dir) { FLoadError = FStore.Load(); }

std::vector<std::string> TStoredServerTrust::TakeProblems() {
  std::lock_guard<std::mutex> hold(FLock);
  std::vector<std::string> out;
  out.swap(FProblems);
  return out;
}

void TStoredServerTrust::Change(const std::function<void(TSecurityStore&)>& edit) {
  // The file as it is now, so that entries another program wrote since
  // are kept; when it cannot be read, what this object knows takes its
  // place (Save keeps a copy of the damaged file first).
  TSecurityStore fresh = FStore;
  if (!fresh.Load().empty()) fresh.SetServers(FStore.Servers());
  edit(fresh);
  try {
    fresh.Save();
  } catch (const ESaveError& e) {
    FProblems.push_back(e.what());
  }
  FStore.SetServers(fresh.Servers());
}

bool TStoredServerTrust::StartTlsSeen(const std::string& server) {
  std::lock_guard<std::mutex> hold(FLock);
  const TServerDecisions* d = FStore.Find(server);
  return d != nullptr && d->StartTlsSeen;
}

void TStoredServerTrust::NoteStartTls(const std::string& server) {
  std::lock_guard<std::mutex> hold(FLock);
  const TServerDecisions* d = FStore.Find(server);
  if (d != nullptr && d->StartTlsSeen) return;
  Change([&](TSecurityStore& s) { s.Entry(server).StartTlsSeen = true; });
}

bool TStoredServerTrust::AllowPlainAuth(const std::string& server) {
  {
    std::lock_guard<std::mutex> hold(FLock);
    const TServerDecisions* d = FStore.Find(server);
    if (d != nullptr && d->PlainAuth) return true;
    if (!Ask || FDeclinedPlain.count(server) > 0) return false;
  }
  const bool yes = Ask(PlainAuthQuestion(server));
  std::lock_guard<std::mutex> hold(FLock);
  if (!yes) {
    FDeclinedPlain.insert(server);
    return false;
  }
  Change([&](TSecurityStore& s) { s.Entry(server).PlainAuth = true; });
  return true;
}

bool TStoredServerTrust::TrustCertificate(const std::string& server, const TPeerCertificate& cert) {
  if (cert.Fingerprint.empty()) return false;
  const std::string asked = server + " " + cert.Fingerprint;
  {
    std::lock_guard<std::mutex> hold(FLock);
    const TServerDecisions* d = FStore.Find(server);
    if (d != nullptr && d->Pins.count(cert.Fingerprint) > 0) return true;
    if (!Ask || FDeclinedPins.count(asked) > 0) return false;
  }
  const bool yes = Ask(CertificateQuestion(server, cert));
  std::lock_guard<std::mutex> hold(FLock);
  if (!yes) {
    FDeclinedPins.insert(asked);
    return false;
  }
  Change([&](TSecurityStore& s) { s.Entry(server).Pins.insert(cert.Fingerprint); });
  return true;
}

std::string TStoredServerTrust::PlainAuthQuestion(const std::string& server) {
  return "Der Server " + server +
         " bietet keine Verschl\xFCsselung an. Soll das Passwort trotzdem unverschl\xFCsselt gesendet werden?";
}

std::string TStoredServerTrust::CertificateQuestion(const std::string& server, const TPeerCertificate& cert) {
  return "Der Server " + server + " legt ein Zertifikat vor, das nicht best\xE4tigt werden kann: " +
         CertProblemText(cert.Problem) + ".\n\nSHA-256-Fingerabdruck:\n" + FormatFingerprint(cert.Fingerprint) +
         "\n\nSoll genau diesem Zertifikat f\xFCr diesen Server vertraut werden?";
}

} // namespace postello
