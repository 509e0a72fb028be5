#include "TOAuthForm.h"

#include "ButtonRoom.h"
#include "QtText.h"

#include "oauth/TOAuthSignIn.h"
#include "send/TOAuthTokens.h"
#include "smtp/TSMTPSend.h"

#include <QDesktopServices>
#include <QUrl>

#include <memory>

namespace postello {

namespace {

enum { kMicrosoft = 0, kGoogle = 1, kCustom = 2 };

std::string Trimmed(const QLineEdit* box) { return FromQ(box->text().trimmed()); }

} // namespace

TOAuthForm::TOAuthForm(QWidget* parent) : QDialog(parent) {
  ui.setupUi(this);
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  const int boxWidth = 44 * fontMetrics().averageCharWidth();
  for (QLineEdit* box : {ui.TenantEd, ui.AuthorizeUrlEd, ui.TokenUrlEd, ui.ScopeEd, ui.ClientIdEd, ui.ClientSecretEd})
    box->setMinimumWidth(boxWidth);
  GiveCaptionRoom(ui.SignInBtn);
  ui.AddressEd->hide();
  ui.InfoLabel->hide();
  OpenBrowser = [](const std::string& address) {
    QDesktopServices::openUrl(QUrl::fromEncoded(QByteArray::fromStdString(address), QUrl::StrictMode));
  };
  connect(ui.ProviderCombo, &QComboBox::currentIndexChanged, this, &TOAuthForm::ShowProviderFields);
  connect(ui.SignInBtn, &QPushButton::clicked, this, &TOAuthForm::StartSignIn);
  connect(ui.CancelBtn, &QPushButton::clicked, this, &TOAuthForm::reject);
  ShowProviderFields();
}

TOAuthForm::~TOAuthForm() { StopWorker(); }

void TOAuthForm::SetAccount(TOAuthTokens* tokens, const std::string& address, const std::string& server,
                            bool mailboxOAuth) {
  m_tokens = tokens;
  m_mailboxOAuth = mailboxOAuth;
  m_address = ExtractAddress(address);
  m_server = ServerKeyOf(server);
  ui.AccountLabel->setText(
      ToQ("Konto " + m_address + " \xFC" "ber " + m_server +
          ". Sie brauchen die Client-ID einer App-Registrierung Ihrer Organisation beim Anbieter."));
  if (tokens == nullptr) return;
  try {
    if (const std::optional<TOAuthGrant> grant = tokens->Find(m_address, m_server)) {
      ui.ProviderCombo->setCurrentIndex(grant->Provider == "microsoft" ? kMicrosoft
                                        : grant->Provider == "google" ? kGoogle
                                                                      : kCustom);
      ui.ClientIdEd->setText(ToQ(grant->ClientId));
      if (grant->Provider == "custom") {
        ui.TokenUrlEd->setText(ToQ(grant->TokenUrl));
        ui.ScopeEd->setText(ToQ(grant->Scope));
      }
    }
  } catch (const std::exception&) {
    // Presetting is a convenience; the store's trouble shows on saving.
  }
}

void TOAuthForm::ShowProviderFields() {
  const int p = ui.ProviderCombo->currentIndex();
  ui.formLayout->setRowVisible(ui.TenantEd, p == kMicrosoft);
  for (QWidget* w : {static_cast<QWidget*>(ui.AuthorizeUrlEd), static_cast<QWidget*>(ui.TokenUrlEd),
                     static_cast<QWidget*>(ui.ScopeEd)})
    ui.formLayout->setRowVisible(w, p == kCustom);
  adjustSize();
}

void TOAuthForm::StartSignIn() {
  if (Waiting()) return;
  ui.InfoLabel->show();
  if (m_tokens == nullptr) return;
  std::shared_ptr<TOAuthSignIn> signIn;
  try {
    TOAuthProvider provider;
    switch (ui.ProviderCombo->currentIndex()) {
      case kMicrosoft: provider = TOAuthProvider::Microsoft(Trimmed(ui.TenantEd)); break;
      case kGoogle: provider = TOAuthProvider::Google(); break;
      default:
        provider = TOAuthProvider::Custom(Trimmed(ui.AuthorizeUrlEd), Trimmed(ui.TokenUrlEd), Trimmed(ui.ScopeEd));
        if (provider.Scope.empty()) throw EOAuthError("Anmeldung: der Bereich (Scope) fehlt");
    }
    if (m_mailboxOAuth) provider.AddMailboxScope();
    provider.ClientId = Trimmed(ui.ClientIdEd);
    provider.ClientSecret = Trimmed(ui.ClientSecretEd);
    if (m_address.empty()) throw EOAuthError("Anmeldung: das Konto hat keine eMail-Adresse");
    if (m_server.front() == ':') throw EOAuthError("Anmeldung: das Konto nennt keinen Postausgangsserver");
    signIn = std::make_shared<TOAuthSignIn>(provider, m_address, m_server);
  } catch (const std::exception& e) {
    ui.InfoLabel->setText(ToQ(e.what()));
    adjustSize();
    return;
  }
  const int limit = TOAuthSignIn::WaitLimitMs();
  const std::string wait = limit % 60000 == 0 ? std::to_string(limit / 60000) + (limit == 60000 ? " Minute" : " Minuten")
                                              : std::to_string(limit / 1000) + " Sekunden";
  ui.InfoLabel->setText(ToQ("Der Browser zeigt die Anmeldeseite des Anbieters. Melden Sie sich dort als " + m_address +
                            " an; Postello wartet bis zu " + wait +
                            ". \xD6" "ffnet sich kein Browser, kopieren Sie diese Adresse hinein:"));
  ui.AddressEd->setText(QString::fromStdString(signIn->Address()));
  ui.AddressEd->setCursorPosition(0);
  ui.AddressEd->show();
  for (QWidget* w : {static_cast<QWidget*>(ui.ProviderCombo), static_cast<QWidget*>(ui.TenantEd),
                     static_cast<QWidget*>(ui.AuthorizeUrlEd), static_cast<QWidget*>(ui.TokenUrlEd),
                     static_cast<QWidget*>(ui.ScopeEd), static_cast<QWidget*>(ui.ClientIdEd),
                     static_cast<QWidget*>(ui.ClientSecretEd), static_cast<QWidget*>(ui.SignInBtn)})
    w->setEnabled(false);
  adjustSize();

  m_cancel = false;
  m_worker = std::thread([this, signIn, limit] {
    bool ok = false;
    std::string result;
    try {
      result = signIn->Finish(limit, &m_cancel).Encode();
      ok = true;
    } catch (const std::exception& e) {
      result = e.what();
    }
    QMetaObject::invokeMethod(this, [this, ok, result] { SignInDone(ok, result); }, Qt::QueuedConnection);
  });
  if (OpenBrowser) OpenBrowser(signIn->Address());
}

void TOAuthForm::StopWorker() {
  if (!m_worker.joinable()) return;
  m_cancel = true;
  m_worker.join();
}

void TOAuthForm::SignInDone(bool ok, const std::string& grantOrReason) {
  if (m_worker.joinable()) m_worker.join();
  for (QWidget* w : {static_cast<QWidget*>(ui.ProviderCombo), static_cast<QWidget*>(ui.TenantEd),
                     static_cast<QWidget*>(ui.AuthorizeUrlEd), static_cast<QWidget*>(ui.TokenUrlEd),
                     static_cast<QWidget*>(ui.ScopeEd), static_cast<QWidget*>(ui.ClientIdEd),
                     static_cast<QWidget*>(ui.ClientSecretEd), static_cast<QWidget*>(ui.SignInBtn)})
    w->setEnabled(true);
  ui.AddressEd->hide();
  if (m_cancel) return;  // reject() is closing the dialog
  if (ok) {
    try {
      m_tokens->Store(*TOAuthGrant::Decode(grantOrReason));
      accept();
      return;
    } catch (const std::exception& e) {
      ui.InfoLabel->setText(ToQ(std::string("Anmeldung nicht gespeichert: ") + e.what()));
    }
  } else {
    ui.InfoLabel->setText(ToQ(grantOrReason));
  }
  adjustSize();
}

void TOAuthForm::reject() {
  StopWorker();
  QDialog::reject();
}

} // namespace postello
