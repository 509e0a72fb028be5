#pragma once
#include "ui_TOAuthForm.h"

#include <QDialog>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace postello {

class TOAuthTokens;

// Signs one account in with OAuth 2.0: the provider (Microsoft 365,
// Google, or another with its addresses and scope), the client id of the
// organisation's app registration, then the browser. The wait for the
// browser runs on a worker thread; the dialog stays open meanwhile and
// "Abbrechen" ends the wait. On success the grant goes to the store and the
// dialog closes with Accepted; a failure shows its reason in InfoLabel
// and stores nothing.
class TOAuthForm : public QDialog {
  Q_OBJECT
public:
  explicit TOAuthForm(QWidget* parent = nullptr);
  // Ends a waiting sign-in and waits for its thread.
  ~TOAuthForm() override;

  // The account (sender address and the account's server text, both
  // Windows-1252) and the store the grant goes to (not owned). A grant the
  // account already holds presets the provider and the client id.
  // mailboxOAuth: the account's reply mailbox signs in with the grant too,
  // so the sign-in asks for IMAP access as well.
  void SetAccount(TOAuthTokens* tokens, const std::string& address, const std::string& server,
                  bool mailboxOAuth = false);

  // Opens the address in the user's browser; tests put their own here.
  std::function<void(const std::string& address)> OpenBrowser;
  // Whether a sign-in is waiting for the browser.
  bool Waiting() const { return m_worker.joinable(); }

  Ui::TOAuthForm ui;

public slots:
  void reject() override;

private:
  void ShowProviderFields();
  void StartSignIn();
  // Back on the window's thread: grant text (TOAuthGrant::Encode) or the
  // reason of the failure.
  void SignInDone(bool ok, const std::string& grantOrReason);
  void StopWorker();

  TOAuthTokens* m_tokens = nullptr;
  std::string m_address;
  std::string m_server;
  bool m_mailboxOAuth = false;
  std::thread m_worker;
  std::atomic<bool> m_cancel{false};
};

} // namespace postello
