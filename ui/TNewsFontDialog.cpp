#include "TNewsFontDialog.h"

#include "QtText.h"
#include "core/TMailRec.h"

#include <QFontDatabase>

namespace postello {

namespace {

TNewsFontDialog::TFontChooser& Chooser() {
  static TNewsFontDialog::TFontChooser chooser;
  return chooser;
}

QColor ToQColor(std::uint32_t v) { return QColor(v & 0xFF, (v >> 8) & 0xFF, (v >> 16) & 0xFF); }

} // namespace

TNewsFontDialog::TNewsFontDialog(QWidget* parent) : QDialog(parent) {
  ui.setupUi(this);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  ui.FaceCombo->addItems(QFontDatabase::families());
  ui.ColorCombo->SetLanguage(lgDeutsch);
  connect(ui.FaceCombo, &QComboBox::currentTextChanged, this, &TNewsFontDialog::ShowSample);
  connect(ui.SizeEd, &QSpinBox::valueChanged, this, &TNewsFontDialog::ShowSample);
  for (QCheckBox* box : {ui.BoldCheck, ui.ItalicCheck, ui.UnderlineCheck, ui.StrikeCheck}) {
    connect(box, &QCheckBox::toggled, this, &TNewsFontDialog::ShowSample);
  }
  connect(ui.ColorCombo, &TPalixColorComboBox::Change, this, &TNewsFontDialog::ShowSample);
  setFixedSize(sizeHint().expandedTo(size()));
}

void TNewsFontDialog::SetFont(const TBandFont& font) {
  FInitialName = font.Name;
  ui.FaceCombo->setCurrentText(ToQ(font.Name));
  ui.SizeEd->setValue(font.Size);
  ui.ColorCombo->SetColorValue(font.Color);
  ui.BoldCheck->setChecked(font.Style & fsBold);
  ui.ItalicCheck->setChecked(font.Style & fsItalic);
  ui.UnderlineCheck->setChecked(font.Style & fsUnderline);
  ui.StrikeCheck->setChecked(font.Style & fsStrikeOut);
  // Bits the dialog has no box for pass through unchanged.
  FOtherStyle = font.Style & ~(fsBold | fsItalic | fsUnderline | fsStrikeOut);
  ShowSample();
}

TNewsFontDialog::TBandFont TNewsFontDialog::Font() const {
  TBandFont font;
  const QString face = ui.FaceCombo->currentText().trimmed();
  font.Name = face.isEmpty() ? FInitialName : FromQ(face);
  font.Size = ui.SizeEd->value();
  font.Color = ui.ColorCombo->ColorValue();
  font.Style = FOtherStyle;
  if (ui.BoldCheck->isChecked()) font.Style |= fsBold;
  if (ui.ItalicCheck->isChecked()) font.Style |= fsItalic;
  if (ui.UnderlineCheck->isChecked()) font.Style |= fsUnderline;
  if (ui.StrikeCheck->isChecked()) font.Style |= fsStrikeOut;
  return font;
}

void TNewsFontDialog::SetSampleBackground(std::uint32_t color) {
  FSampleBackground = color;
  ShowSample();
}

void TNewsFontDialog::ShowSample() {
  QFont f(ui.FaceCombo->currentText());
  f.setPointSize(ui.SizeEd->value());
  f.setBold(ui.BoldCheck->isChecked());
  f.setItalic(ui.ItalicCheck->isChecked());
  f.setUnderline(ui.UnderlineCheck->isChecked());
  f.setStrikeOut(ui.StrikeCheck->isChecked());
  ui.SampleLabel->setFont(f);
  QPalette pal = ui.SampleLabel->palette();
  pal.setColor(QPalette::Window, ToQColor(FSampleBackground));
  pal.setColor(QPalette::WindowText, ToQColor(ui.ColorCombo->RgbValue()));
  ui.SampleLabel->setPalette(pal);
}

bool TNewsFontDialog::Execute(TBandFont& font, QWidget* parent, std::uint32_t sampleBackground) {
  if (Chooser()) return Chooser()(font, parent);
  TNewsFontDialog dialog(parent);
  dialog.SetSampleBackground(sampleBackground);
  dialog.SetFont(font);
  if (dialog.exec() != QDialog::Accepted) return false;
  font = dialog.Font();
  return true;
}

TNewsFontDialog::TFontChooser TNewsFontDialog::SetFontChooser(TFontChooser chooser) {
  TFontChooser previous = std::move(Chooser());
  Chooser() = std::move(chooser);
  return previous;
}

} // namespace postello
