#include "TPreSendCheckForm.h"

#include "QtText.h"

namespace postello {

TPreSendCheckForm::TPreSendCheckForm(QWidget* parent) : QDialog(parent) {
  ui.setupUi(this);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  connect(ui.SendAnywayBtn, &QPushButton::clicked, this, &QDialog::accept);
  connect(ui.CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
  ui.CancelBtn->setFocus();
}

void TPreSendCheckForm::SetReport(const std::string& text, bool found) {
  ui.CheckLabel->setText(found ? QStringLiteral("Vor dem Versand ist Folgendes aufgefallen:")
                               : QStringLiteral("Die Prüfung vor dem Versand läuft noch:"));
  QString shown = ToQ(text);
  if (shown.endsWith('\n')) shown.chop(1);
  ui.CheckList->setPlainText(shown);
}

} // namespace postello
