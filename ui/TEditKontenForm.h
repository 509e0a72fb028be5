#pragma once
#include "core/TKontoRec.h"
#include "ui_TEditKontenForm.h"

#include <QDialog>

namespace postello {

class TOAuthTokens;

// The account dialog: six boxes for one account, the password in clear,
// the account's sending options and its reply mailbox (both kept beside
// konten.dat). It checks only the mailbox, whose server text a later run
// could not use; the other boxes only refuse input the files cannot hold.
class TEditKontenForm : public QDialog {
  Q_OBJECT
public:
  explicit TEditKontenForm(QWidget* parent = nullptr);

  // Fills the boxes; rec.Password is the clear password here.
  void SetFields(const TKontoRec& rec);
  // The boxes' texts, passwords in clear, the sending options and the
  // mailbox (none while its server box is empty).
  TKontoRec Fields() const;
  // "" when the mailbox boxes are usable, else the German reason.
  std::string MailboxProblem() const;
  // The grants of the accounts (not owned); null hides the OAuth group.
  // The group shows whether the account, as the boxes name it (address
  // and server), holds a grant, opens TOAuthForm and signs out.
  void SetOAuthTokens(TOAuthTokens* tokens);
  void ShowOAuthState();

  Ui::TEditKontenForm ui;
  // The account as SetFields gave it: whatever the dialog does not show
  // goes back unchanged.
  TKontoRec m_rec;
  TOAuthTokens* m_tokens = nullptr;

public slots:
  // OK: refused with the reason while the mailbox boxes are unusable.
  void accept() override;

protected:
  void showEvent(QShowEvent* event) override; // FormShow
};

} // namespace postello
