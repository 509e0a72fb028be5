#pragma once
#include "ui_TSendJournalPanel.h"

#include <QWidget>

namespace postello {

// The part of the send page about the journal of the chosen mail: what
// became of its last run, and the buttons to resume it, send its failed
// messages again, export them, and send a test mail. The main window
// fills it and handles the clicks.
class TSendJournalPanel : public QWidget {
  Q_OBJECT
public:
  explicit TSendJournalPanel(QWidget* parent = nullptr) : QWidget(parent) { ui.setupUi(this); }

  Ui::TSendJournalPanel ui;
};

} // namespace postello
