#include "TEditKontenForm.h"

#include "QtText.h"

#include "core/TKontoOptionsStore.h"

#include <QScreen>

namespace postello {

TEditKontenForm::TEditKontenForm(QWidget* parent) : QDialog(parent) {
  ui.setupUi(this);
  // A fixed dialog border: title and close button, no minimise, no
  // maximise, no resizing.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                 Qt::MSWindowsFixedSizeDialogHint);
  // The header strip as on the main window's pages: one bold line.
  QFont bold = ui.HeaderLabel->font();
  bold.setBold(true);
  ui.HeaderLabel->setFont(bold);
  ui.HeaderPanel->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  // Room for a whole address or server name in every box.
  const int boxWidth = 36 * fontMetrics().averageCharWidth();
  for (QLineEdit* box : {ui.AbsenderEd, ui.EmailEd, ui.AntwortEd, ui.ServerEd, ui.UserEd, ui.PasswordEd})
    box->setMinimumWidth(boxWidth);
  ui.ParallelEd->setMaximum(TKontoOptionsStore::MaxParallel);
  setFixedSize(sizeHint());
}

void TEditKontenForm::SetFields(const TKontoRec& rec) {
  m_rec = rec;
  ui.AbsenderEd->setText(ToQ(rec.Absender));
  ui.EmailEd->setText(ToQ(rec.Email));
  ui.AntwortEd->setText(ToQ(rec.Antwort));
  ui.ServerEd->setText(ToQ(rec.Server));
  ui.UserEd->setText(ToQ(rec.User));
  ui.PasswordEd->setText(ToQ(rec.Password));
  // The boxes keep values in their ranges (Parallel 1 to MaxParallel).
  ui.ReuseEd->setValue(rec.Reuse);
  ui.ParallelEd->setValue(rec.Parallel);
  ui.RateEd->setValue(rec.RatePerMinute);
}

TKontoRec TEditKontenForm::Fields() const {
  TKontoRec rec = m_rec;
  rec.Absender = FromQ(ui.AbsenderEd->text());
  rec.Email = FromQ(ui.EmailEd->text());
  rec.Antwort = FromQ(ui.AntwortEd->text());
  rec.Server = FromQ(ui.ServerEd->text());
  rec.User = FromQ(ui.UserEd->text());
  rec.Password = FromQ(ui.PasswordEd->text());
  rec.Reuse = ui.ReuseEd->value();
  rec.Parallel = ui.ParallelEd->value();
  rec.RatePerMinute = ui.RateEd->value();
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
