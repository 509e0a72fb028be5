#pragma once
#include "ui_TAboutBox.h"

#include <QDialog>

namespace postello {

// The "Info" box: a few lines about the program and one OK button.
class TAboutBox : public QDialog {
  Q_OBJECT
public:
  explicit TAboutBox(QWidget* parent = nullptr) : QDialog(parent) { ui.setupUi(this); }
  Ui::TAboutBox ui;
};

} // namespace postello
