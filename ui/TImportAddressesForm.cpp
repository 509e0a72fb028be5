#include "TImportAddressesForm.h"

#include "QtText.h"
#include "core/TMessageSink.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QSignalBlocker>

namespace postello {

namespace {

constexpr int kPreviewRows = 20;
const char kDelimiters[] = {0, ';', ',', '\t', '|'};
const TTextEncoding kEncodings[] = {TTextEncoding::Detect, TTextEncoding::Utf8, TTextEncoding::Utf16Le,
                                    TTextEncoding::Utf16Be, TTextEncoding::Windows1252};

} // namespace

TImportAddressesForm::TImportAddressesForm(TMainState& state, const QString& path, TMode mode, QWidget* parent)
    : QDialog(parent), m_state(state), m_path(path), m_mode(mode) {
  ui.setupUi(this);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  for (TTextEncoding e : kEncodings) ui.EncodingCombo->addItem(ToQ(EncodingName(e)));
  ui.ReportEdit->hide();
  if (m_mode == TMode::NewTable) {
    setWindowTitle(QStringLiteral("Neue Datenbank aus Datei"));
    ui.PreviewLabel->setText(QStringLiteral("Vorschau der ersten 20 Zeilen; jede Spalte wird ein Feld der neuen "
                                            "Datenbank, so breit wie ihr längster Wert:"));
    ui.ImportBtn->setText(QStringLiteral("Anlegen und importieren"));
    ui.SkipDuplicatesCheck->setChecked(true);
  }
  AskTableFile = [this](const QString& proposed) {
    return QFileDialog::getSaveFileName(this, QStringLiteral("Neue Datenbank"), proposed,
                                        QStringLiteral("DBASE-Datenbanken (*.dbf)"));
  };
  connect(ui.ImportBtn, &QPushButton::clicked, this, &TImportAddressesForm::ImportClick);
  connect(ui.CancelBtn, &QPushButton::clicked, this, [this] { m_imported ? accept() : reject(); });
  connect(ui.HeaderCheck, &QCheckBox::toggled, this, &TImportAddressesForm::ShowPreview);
  for (QComboBox* c : {ui.DelimiterCombo, ui.EncodingCombo, ui.SheetCombo})
    connect(c, &QComboBox::activated, this, &TImportAddressesForm::Reload);
}

TAddressRowsOptions TImportAddressesForm::RowsOptions() const {
  TAddressRowsOptions o;
  o.delimiter = kDelimiters[std::max(0, ui.DelimiterCombo->currentIndex())];
  o.encoding = kEncodings[std::max(0, ui.EncodingCombo->currentIndex())];
  o.sheet = std::max(0, ui.SheetCombo->currentIndex());
  return o;
}

bool TImportAddressesForm::Load() {
  const std::vector<std::string> fields =
      m_mode == TMode::IntoTable ? FieldNamesOf(m_state.Table1) : std::vector<std::string>();
  try {
    m_preview = PreviewAddressFile(PathFromQ(m_path), RowsOptions(), kPreviewRows + 1, fields);
  } catch (const std::exception& e) {
    ShowError(e.what());
    return false;
  }
  const QSignalBlocker b1(ui.HeaderCheck), b2(ui.SheetCombo);
  ui.HeaderCheck->setChecked(m_preview.HeaderRow);
  const bool text = m_preview.Delimiter != 0;
  for (QWidget* w : {static_cast<QWidget*>(ui.DelimiterLabel), static_cast<QWidget*>(ui.DelimiterCombo),
                     static_cast<QWidget*>(ui.EncodingLabel), static_cast<QWidget*>(ui.EncodingCombo)})
    w->setEnabled(text);
  const int sheet = ui.SheetCombo->currentIndex();
  ui.SheetCombo->clear();
  for (const std::string& name : m_preview.SheetNames) ui.SheetCombo->addItem(ToQ(name));
  ui.SheetCombo->setCurrentIndex(std::max(0, sheet));
  ui.SheetLabel->setEnabled(!m_preview.SheetNames.empty());
  ui.SheetCombo->setEnabled(!m_preview.SheetNames.empty());
  ui.FileLabel->setText(QStringLiteral("Datei: %1 (%2%3)")
                            .arg(QFileInfo(m_path).fileName(), ToQ(m_preview.FormatName),
                                 text ? QStringLiteral(", ") + ToQ(EncodingName(m_preview.Encoding)) : QString()));
  ShowPreview();
  return true;
}

void TImportAddressesForm::Reload() { Load(); }

void TImportAddressesForm::ShowPreview() {
  const bool header = ui.HeaderCheck->isChecked();
  const std::vector<std::string> fields =
      m_mode == TMode::IntoTable ? FieldNamesOf(m_state.Table1) : std::vector<std::string>();
  const std::vector<std::string> first = m_preview.Rows.empty() ? std::vector<std::string>() : m_preview.Rows.front();
  const TImportMapping mapping = DefaultMapping(first, m_preview.Columns, header, fields, m_state.Options.MailField);

  const auto& rows = m_preview.Rows;
  const int skip = header ? 1 : 0;
  const int shown = std::min<int>(kPreviewRows, std::max(0, static_cast<int>(rows.size()) - skip));
  auto* grid = ui.PreviewGrid;
  grid->setRowCount(0);
  grid->setColumnCount(0);
  m_combos.clear();
  const int mapRow = m_mode == TMode::IntoTable ? 1 : 0;
  grid->setRowCount(shown + mapRow);
  grid->setColumnCount(static_cast<int>(m_preview.Columns));
  QStringList rowNames;
  if (mapRow) rowNames << QStringLiteral("Feld");
  for (int r = 0; r < shown; ++r) rowNames << QString::number(r + 1 + skip);
  grid->setVerticalHeaderLabels(rowNames);
  for (int c = 0; c < static_cast<int>(m_preview.Columns); ++c) {
    const bool named = header && c < static_cast<int>(first.size()) && !first[static_cast<std::size_t>(c)].empty();
    grid->setHorizontalHeaderItem(
        c, new QTableWidgetItem(named ? ToQ(first[static_cast<std::size_t>(c)]) : QStringLiteral("Spalte %1").arg(c + 1)));
    if (mapRow) {
      auto* combo = new QComboBox(grid);
      combo->setObjectName(QStringLiteral("FieldCombo%1").arg(c + 1));
      combo->addItem(QStringLiteral("(nicht importieren)"), TImportMapping::kSkip);
      for (std::size_t f = 0; f < fields.size(); ++f) combo->addItem(ToQ(fields[f]), static_cast<int>(f));
      combo->setCurrentIndex(combo->findData(mapping.FieldOf(static_cast<std::size_t>(c))));
      grid->setCellWidget(0, c, combo);
      m_combos.push_back(combo);
    }
    for (int r = 0; r < shown; ++r) {
      const auto& row = rows[static_cast<std::size_t>(r + skip)];
      if (c < static_cast<int>(row.size()))
        grid->setItem(r + mapRow, c, new QTableWidgetItem(ToQ(row[static_cast<std::size_t>(c)])));
    }
  }
  grid->resizeColumnsToContents();
  for (int c = 0; c < grid->columnCount(); ++c) grid->setColumnWidth(c, std::min(grid->columnWidth(c), 240));
}

int TImportAddressesForm::FieldOfColumn(int column) const {
  if (column < 0 || column >= static_cast<int>(m_combos.size())) return TImportMapping::kSkip;
  return m_combos[static_cast<std::size_t>(column)]->currentData().toInt();
}

TMainState::TFileImport TImportAddressesForm::Choice() const {
  TMainState::TFileImport choice;
  choice.Path = PathFromQ(m_path);
  choice.Rows = RowsOptions();
  choice.HeaderRow = ui.HeaderCheck->isChecked();
  choice.SkipDuplicates = ui.SkipDuplicatesCheck->isChecked();
  for (int c = 0; c < static_cast<int>(m_combos.size()); ++c)
    choice.Mapping.Set(static_cast<std::size_t>(c), FieldOfColumn(c));
  return choice;
}

void TImportAddressesForm::ImportClick() {
  const TMainState::TFileImport choice = Choice();
  std::optional<TImportReport> report;
  if (m_mode == TMode::NewTable) {
    report = m_state.NewDatabaseFromFile(choice, m_state.Table1.FileName());
  } else {
    const std::optional<TImportReport> check = m_state.CheckAddressFile(choice);
    if (!check) return;
    if (!check->CutValues.empty()) {
      // Nothing is cut without the user's word.
      std::string text = std::to_string(check->CutRows) +
                         (check->CutRows == 1 ? " Zeile hat" : " Zeilen haben") +
                         " Werte, die l\xE4nger als ihr Feld sind und gek\xFCrzt w\xFCrden:\n";
      std::size_t listed = 0;
      for (const TCutValue& cut : check->CutValues) {
        if (++listed > 10) break;
        text += "Zeile " + std::to_string(cut.Row) + ", Feld " + cut.Field + ": " + std::to_string(cut.Length) +
                " Zeichen, Platz f\xFCr " + std::to_string(cut.Width) + "\n";
      }
      text += "\nIn eine neue Datenbank importieren, deren Felder passen? (Nein: hier importieren und k\xFCrzen)";
      const TMsgResult answer = Messages().Ask(text, "Adressen importieren", TMsgButtons::YesNoCancel,
                                               TMsgIcon::Warning, TMsgResult::Yes);
      if (answer == TMsgResult::Cancel) return;
      if (answer == TMsgResult::Yes) {
        const QFileInfo source(m_path);
        const QString proposed =
            QFileInfo(PathToQ(m_state.Table1.FileName())).dir().filePath(source.completeBaseName() + ".dbf");
        const QString target = AskTableFile(proposed);
        if (target.isEmpty()) return;
        report = m_state.NewDatabaseFromFile(choice, PathFromQ(target));
        if (report) ShowReport(*report);
        return;
      }
    }
    report = m_state.ImportAddressFile(choice);
  }
  if (report) ShowReport(*report);
}

void TImportAddressesForm::ShowReport(const TImportReport& report) {
  m_imported = true;
  QString text = ToQ(report.Text());
  if (text.endsWith('\n')) text.chop(1);
  ui.ReportEdit->setPlainText(text);
  ui.ReportEdit->show();
  ui.ImportBtn->hide();
  ui.CancelBtn->setText(QStringLiteral("Schließen"));
  ui.CancelBtn->setDefault(true);
  for (QWidget* w : {static_cast<QWidget*>(ui.HeaderCheck), static_cast<QWidget*>(ui.SkipDuplicatesCheck),
                     static_cast<QWidget*>(ui.DelimiterCombo), static_cast<QWidget*>(ui.EncodingCombo),
                     static_cast<QWidget*>(ui.SheetCombo)})
    w->setEnabled(false);
  // The preview stays readable (and scrollable) beside the report.
  for (QComboBox* combo : m_combos) combo->setEnabled(false);
}

} // namespace postello
