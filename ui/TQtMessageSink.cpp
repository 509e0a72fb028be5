#include "TQtMessageSink.h"

#include "QtText.h"

#include <QApplication>
#include <QMessageBox>

namespace postello {

namespace {

QMessageBox::StandardButton StandardButton(TMsgResult button) {
  switch (button) {
  case TMsgResult::Ok: return QMessageBox::Ok;
  case TMsgResult::Yes: return QMessageBox::Yes;
  case TMsgResult::No: return QMessageBox::No;
  case TMsgResult::Cancel: return QMessageBox::Cancel;
  }
  return QMessageBox::NoButton;
}

} // namespace

TMsgResult TQtMessageSink::Show(const std::string& text, const std::string& caption, TMsgButtons buttons,
                                TMsgIcon icon) {
  const bool yes = buttons == TMsgButtons::YesNo || buttons == TMsgButtons::YesNoCancel;
  return Ask(text, caption, buttons, icon, yes ? TMsgResult::Yes : TMsgResult::Ok);
}

TMsgResult TQtMessageSink::Ask(const std::string& text, const std::string& caption, TMsgButtons buttons,
                               TMsgIcon icon, TMsgResult defaultButton) {
  QMessageBox box(QApplication::activeWindow());
  box.setWindowTitle(caption.empty() ? QApplication::applicationName() : ToQ(caption));
  box.setText(ToQ(text));
  switch (icon) {
  case TMsgIcon::Error: box.setIcon(QMessageBox::Critical); break;
  case TMsgIcon::Information: box.setIcon(QMessageBox::Information); break;
  case TMsgIcon::Warning: box.setIcon(QMessageBox::Warning); break;
  case TMsgIcon::Question: box.setIcon(QMessageBox::Question); break;
  }
  if (buttons == TMsgButtons::YesNo) {
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
  } else if (buttons == TMsgButtons::YesNoCancel) {
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    box.setEscapeButton(QMessageBox::Cancel);
  } else if (buttons == TMsgButtons::OkCancel) {
    box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
  } else {
    box.setStandardButtons(QMessageBox::Ok);
  }
  // A button the box does not show cannot be the default; Qt then picks
  // its own.
  box.setDefaultButton(StandardButton(defaultButton));
  const int pressed = box.exec();
  switch (buttons) {
  case TMsgButtons::YesNo: return pressed == QMessageBox::Yes ? TMsgResult::Yes : TMsgResult::No;
  case TMsgButtons::OkCancel: return pressed == QMessageBox::Ok ? TMsgResult::Ok : TMsgResult::Cancel;
  case TMsgButtons::YesNoCancel:
    if (pressed == QMessageBox::Yes) return TMsgResult::Yes;
    return pressed == QMessageBox::No ? TMsgResult::No : TMsgResult::Cancel;
  case TMsgButtons::Ok: break;
  }
  return TMsgResult::Ok;
}

} // namespace postello
