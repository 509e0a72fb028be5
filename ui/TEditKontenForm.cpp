#include "TEditKontenForm.h"

#include "QtText.h"

#include <QScreen>

namespace postello {

TEditKontenForm::TEditKontenForm(QWidget* parent) : QDialog(parent) {
  ui.setupUi(this);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  setFixedSize(sizeHint().expandedTo(size()));
}

void TEditKontenForm::SetFields(const TKontoRec& rec) {
  m_rec = rec;
  ui.AbsenderEd->setText(ToQ(rec.Absender));
  ui.EmailEd->setText(ToQ(rec.Email));
  ui.AntwortEd->setText(ToQ(rec.Antwort));
  ui.ServerEd->setText(ToQ(rec.Server));
  ui.UserEd->setText(ToQ(rec.User));
  ui.PasswordEd->setText(ToQ(rec.Password));
}

TKontoRec TEditKontenForm::Fields() const {
  TKontoRec rec = m_rec;
  rec.Absender = FromQ(ui.AbsenderEd->text());
  rec.Email = FromQ(ui.EmailEd->text());
  rec.Antwort = FromQ(ui.AntwortEd->text());
  rec.Server = FromQ(ui.ServerEd->text());
  rec.User = FromQ(ui.UserEd->text());
  rec.Password = FromQ(ui.PasswordEd->text());
  return rec;
}

void TEditKontenForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (const QScreen* screen = this->screen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
  ui.AbsenderEd->setFocus();
}

} // namespace postello
