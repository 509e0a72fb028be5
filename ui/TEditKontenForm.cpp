#include "TEditKontenForm.h"

#include "ButtonRoom.h"
#include "QtText.h"
#include "TOAuthForm.h"

#include <QLayout>

#include "core/TMessageSink.h"
#include "send/TOAuthTokens.h"
#include "smtp/TSMTPSend.h"

#include "core/TKontoOptionsStore.h"
#include "core/TPostfachStore.h"

#include <QScreen>

namespace postello {

TEditKontenForm::TEditKontenForm(QWidget* parent) : QDialog(parent) {
  ui.setupUi(this);
  // A fixed dialog border: title and close button, no minimise, no
  // maximise, no resizing.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                 Qt::MSWindowsFixedSizeDialogHint);
  // The header strip as on the main window's pages: one bold line.
  QFont bold = ui.HeaderLabel->font();
  bold.setBold(true);
  ui.HeaderLabel->setFont(bold);
  ui.HeaderPanel->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  // Room for a whole address or server name in every box.
  const int boxWidth = 36 * fontMetrics().averageCharWidth();
  for (QLineEdit* box : {ui.AbsenderEd, ui.EmailEd, ui.AntwortEd, ui.ServerEd, ui.UserEd, ui.PasswordEd})
    box->setMinimumWidth(boxWidth);
  ui.ParallelEd->setMaximum(TKontoOptionsStore::MaxParallel);
  // The mailbox group sits in two columns of boxes, so the dialog still
  // fits a screen of 800 x 600.
  const int imapWidth = 24 * fontMetrics().averageCharWidth();
  for (QLineEdit* box : {ui.ImapServerEd, ui.ImapUserEd, ui.ImapPasswordEd, ui.ImapFolderEd, ui.ImapDoneFolderEd})
    box->setMinimumWidth(imapWidth);
  // With OAuth the mailbox has no password of its own.
  connect(ui.ImapOAuthCheck, &QCheckBox::toggled, ui.ImapPasswordEd, &QWidget::setDisabled);
  GiveCaptionRoom(ui.OAuthBtn);
  ui.OAuthGroup->hide();
  connect(ui.EmailEd, &QLineEdit::textChanged, this, &TEditKontenForm::ShowOAuthState);
  connect(ui.ServerEd, &QLineEdit::textChanged, this, &TEditKontenForm::ShowOAuthState);
  connect(ui.OAuthBtn, &QPushButton::clicked, this, [this] {
    TOAuthForm form(this);
    form.SetAccount(m_tokens, FromQ(ui.EmailEd->text()), FromQ(ui.ServerEd->text()),
                    ui.ImapOAuthCheck->isChecked() && !ui.ImapServerEd->text().trimmed().isEmpty());
    form.exec();
    ShowOAuthState();
  });
  connect(ui.OAuthSignOutBtn, &QPushButton::clicked, this, [this] {
    if (m_tokens == nullptr) return;
    try {
      m_tokens->Forget(ExtractAddress(FromQ(ui.EmailEd->text())), ServerKeyOf(FromQ(ui.ServerEd->text())));
    } catch (const std::exception& e) {
      ShowError(e.what());
    }
    ShowOAuthState();
  });
  // Fixed at the size its contents ask for once shown, whatever they are
  // then (the OAuth group, the state text).
  layout()->setSizeConstraint(QLayout::SetFixedSize);
}

void TEditKontenForm::SetFields(const TKontoRec& rec) {
  m_rec = rec;
  ui.AbsenderEd->setText(ToQ(rec.Absender));
  ui.EmailEd->setText(ToQ(rec.Email));
  ui.AntwortEd->setText(ToQ(rec.Antwort));
  ui.ServerEd->setText(ToQ(rec.Server));
  ui.UserEd->setText(ToQ(rec.User));
  ui.PasswordEd->setText(ToQ(rec.Password));
  // The boxes keep values in their ranges (Parallel 1 to MaxParallel).
  ui.ReuseEd->setValue(rec.Reuse);
  ui.ParallelEd->setValue(rec.Parallel);
  ui.RateEd->setValue(rec.RatePerMinute);
  const TReplyMailbox& m = rec.Mailbox;
  ui.ImapServerEd->setText(ToQ(m.Server));
  ui.ImapUserEd->setText(ToQ(m.User));
  ui.ImapPasswordEd->setText(ToQ(m.Password));
  ui.ImapOAuthCheck->setChecked(m.OAuth);
  ui.ImapPasswordEd->setDisabled(m.OAuth);
  ui.ImapFolderEd->setText(ToQ(m.Folder));
  ui.ImapDoneFolderEd->setText(ToQ(m.DoneFolder));
}

void TEditKontenForm::SetOAuthTokens(TOAuthTokens* tokens) {
  m_tokens = tokens;
  ui.OAuthGroup->setVisible(tokens != nullptr);
  ShowOAuthState();
}

void TEditKontenForm::ShowOAuthState() {
  if (m_tokens == nullptr) return;
  const std::string address = ExtractAddress(FromQ(ui.EmailEd->text()));
  const std::string server = ServerKeyOf(FromQ(ui.ServerEd->text()));
  std::optional<TOAuthGrant> grant;
  if (!address.empty() && server.front() != ':') {
    try {
      grant = m_tokens->Find(address, server);
    } catch (const std::exception&) {
    }
  }
  std::string text;
  if (address.empty() || server.front() == ':')
    text = "Zum Anmelden eMail-Adresse und Postausgangsserver eintragen.";
  else if (grant)
    text = "Angemeldet bei " +
           std::string(grant->Provider == "microsoft" ? "Microsoft 365"
                       : grant->Provider == "google"  ? "Google"
                                                      : "einem anderen Anbieter") +
           ": das Konto sendet mit OAuth (XOAUTH2), das Passwort wird nicht benutzt.";
  else
    text = "Nicht angemeldet: das Konto sendet mit Benutzername und Passwort.";
  ui.OAuthStateLabel->setText(ToQ(text));
  ui.OAuthBtn->setEnabled(!address.empty() && server.front() != ':');
  ui.OAuthSignOutBtn->setEnabled(grant.has_value());
}

TKontoRec TEditKontenForm::Fields() const {
  TKontoRec rec = m_rec;
  rec.Absender = FromQ(ui.AbsenderEd->text());
  rec.Email = FromQ(ui.EmailEd->text());
  rec.Antwort = FromQ(ui.AntwortEd->text());
  rec.Server = FromQ(ui.ServerEd->text());
  rec.User = FromQ(ui.UserEd->text());
  rec.Password = FromQ(ui.PasswordEd->text());
  rec.Reuse = ui.ReuseEd->value();
  rec.Parallel = ui.ParallelEd->value();
  rec.RatePerMinute = ui.RateEd->value();
  // Without a server there is no mailbox, whatever the other boxes hold.
  TReplyMailbox m;
  m.Server = FromQ(ui.ImapServerEd->text().trimmed());
  if (!m.Server.empty()) {
    m.User = FromQ(ui.ImapUserEd->text());
    m.OAuth = ui.ImapOAuthCheck->isChecked();
    if (!m.OAuth) m.Password = FromQ(ui.ImapPasswordEd->text());
    m.Folder = FromQ(ui.ImapFolderEd->text().trimmed());
    m.DoneFolder = FromQ(ui.ImapDoneFolderEd->text().trimmed());
  }
  rec.Mailbox = m;
  return rec;
}

std::string TEditKontenForm::MailboxProblem() const {
  const TReplyMailbox m = Fields().Mailbox;
  if (m.Server.empty()) return {};  // no mailbox: the tooltip says so
  std::string reason = TPostfachStore::CheckServer(m.Server);
  if (reason.empty() && m.User.empty()) reason = "Der Benutzer fehlt.";
  if (reason.empty()) reason = TPostfachStore::CheckFolder(m.Folder, "Ordner");
  if (reason.empty()) reason = TPostfachStore::CheckFolder(m.DoneFolder, "Ordner f\xFCr Verarbeitete");
  return reason.empty() ? reason : "Posteingang f\xFCr R\xFC" "ckl\xE4ufer: " + reason;
}

void TEditKontenForm::accept() {
  if (const std::string problem = MailboxProblem(); !problem.empty()) {
    ShowError(problem);
    ui.ImapServerEd->setFocus();
    return;
  }
  QDialog::accept();
}

void TEditKontenForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (const QScreen* screen = this->screen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
  ui.AbsenderEd->setFocus();
}

} // namespace postello
