#pragma once
// The server decisions of sicherheit.dat, consulted by the sessions of a
// send run, with the user's answers added as they come.
#include "smtp/TSecurityStore.h"
#include "smtp/TServerTrust.h"

#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace postello {

// Serves one send run (or one command). It reads sicherheit.dat when
// made; every change (a server seen with STARTTLS, a Yes to a question)
// reads the file again, applies the change and writes it, so a window and
// a command working on the same folder do not undo each other's entries.
//
// Questions go through Ask, which the window connects to a message box on
// its own thread; without Ask nothing is asked and the answer is No. Each
// question is asked at most once per server (and certificate) in the life
// of the object: a No holds for the rest of the run but is not written.
// Sessions may call in from any thread; one call at a time is served.
class TStoredServerTrust : public TServerTrust {
public:
  // dir: the data folder, ending in '/'.
  explicit TStoredServerTrust(const std::string& dir);

  // The German report when sicherheit.dat was found damaged; "" if not.
  const std::string& LoadError() const { return FLoadError; }
  // Reports of writes that failed since the last call (the decision still
  // holds for this object's life).
  std::vector<std::string> TakeProblems();

  // Asks the user a question with Yes and No; true for Yes.
  std::function<bool(const std::string& question)> Ask;

  bool StartTlsSeen(const std::string& server) override;
  void NoteStartTls(const std::string& server) override;
  bool AllowPlainAuth(const std::string& server) override;
  bool TrustCertificate(const std::string& server, const TPeerCertificate& cert) override;

  // The questions, as the window shows them.
  static std::string PlainAuthQuestion(const std::string& server);
  static std::string CertificateQuestion(const std::string& server, const TPeerCertificate& cert);

private:
  // Reads the file, applies edit, writes the file; a failed write is
  // noted, and the edit still applies to what this object knows.
  void Change(const std::function<void(TSecurityStore&)>& edit);

  std::mutex FLock;
  TSecurityStore FStore;
  std::string FLoadError;
  std::vector<std::string> FProblems;
  std::set<std::string> FDeclinedPlain;  // servers the user said No for
  std::set<std::string> FDeclinedPins;   // server + " " + fingerprint
};

} // namespace postello
