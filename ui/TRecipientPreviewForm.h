#pragma once
// "Vorschau für Empfänger": a mail as one recipient after another gets it,
// stepping through the recipients of the address page's view.
#include "ui_TRecipientPreviewForm.h"

#include "addressdb/TDbf.h"
#include "core/TMailRec.h"
#include "send/TRecipientList.h"

#include <QDialog>

namespace postello {

class TRecipientPreviewForm : public QDialog {
  Q_OBJECT
public:
  // The mail and the table are the caller's and must outlive the window;
  // the table is moved to the record shown.
  TRecipientPreviewForm(const TMailRecFields& mail, TDbf& table, TRecipientList recipients,
                        QWidget* parent = nullptr);

  // Shows the recipient at index of the list (clamped).
  void ShowRecipient(int index);
  int Current() const { return m_current; }

  Ui::TRecipientPreviewForm ui;

private:
  const TMailRecFields& m_mail;
  TDbf& m_table;
  TRecipientList m_recipients;
  int m_current = 0;
};

} // namespace postello
