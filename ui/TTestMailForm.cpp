#include "TTestMailForm.h"

#include "QtText.h"

namespace postello {

TTestMailForm::TTestMailForm(QWidget* parent) : QDialog(parent) {
  ui.setupUi(this);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  connect(ui.SendTestBtn, &QPushButton::clicked, this, &QDialog::accept);
  connect(ui.CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
  // Nothing to send to: the button waits for an address.
  connect(ui.TestAddressEd, &QLineEdit::textChanged, this,
          [this](const QString& text) { ui.SendTestBtn->setEnabled(!text.trimmed().isEmpty()); });
}

void TTestMailForm::SetChoices(const std::vector<std::string>& rows, int chosen, const std::string& address) {
  ui.RecordCombo->clear();
  for (const std::string& row : rows) ui.RecordCombo->addItem(ToQ(row));
  ui.RecordCombo->setCurrentIndex(rows.empty() ? -1 : (chosen >= 0 && chosen < static_cast<int>(rows.size()) ? chosen : 0));
  ui.TestAddressEd->setText(ToQ(address));
  ui.SendTestBtn->setEnabled(!ui.TestAddressEd->text().trimmed().isEmpty());
  ui.TestAddressEd->setFocus();
  ui.TestAddressEd->selectAll();
}

std::string TTestMailForm::Address() const { return FromQ(ui.TestAddressEd->text().trimmed()); }

} // namespace postello
