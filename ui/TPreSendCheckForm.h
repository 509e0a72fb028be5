#pragma once
#include "ui_TPreSendCheckForm.h"

#include <QDialog>
#include <string>

namespace postello {

// What the check before a run found, with the choice to send anyway
// (accepted) or not (rejected, also the default button and Escape).
class TPreSendCheckForm : public QDialog {
  Q_OBJECT
public:
  explicit TPreSendCheckForm(QWidget* parent = nullptr);

  // The report's text, Windows-1252 lines; found: something was found
  // (otherwise the check is still at work).
  void SetReport(const std::string& text, bool found = true);

  Ui::TPreSendCheckForm ui;
};

} // namespace postello
