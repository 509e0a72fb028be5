#pragma once
#include "ui_TTestMailForm.h"

#include <QDialog>
#include <string>
#include <vector>

namespace postello {

// Asks for the test mail: whose record's fields, and to which address.
class TTestMailForm : public QDialog {
  Q_OBJECT
public:
  explicit TTestMailForm(QWidget* parent = nullptr);

  // Fills the record box (one item per recipient row; first chosen) and
  // the address (the sender's own by default). Texts are Windows-1252.
  void SetChoices(const std::vector<std::string>& rows, int chosen, const std::string& address);
  // The chosen row (-1 when the box is empty) and the typed address.
  int ChosenRow() const { return ui.RecordCombo->currentIndex(); }
  std::string Address() const;

  Ui::TTestMailForm ui;
};

} // namespace postello
