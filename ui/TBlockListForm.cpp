#include "TBlockListForm.h"

#include "QtText.h"

#include "core/Cp1252.h"
#include "core/SafeFile.h"
#include "core/TMessageSink.h"

#include <QFileDialog>

#include <filesystem>
#include <system_error>

namespace postello {
namespace {

// A file of addresses larger than this is no list a person made.
constexpr std::uintmax_t kMaxImportBytes = 32 * 1024 * 1024;

} // namespace

TBlockListForm::TBlockListForm(const std::string& dataDir, QWidget* parent) : QDialog(parent), m_dir(dataDir) {
  ui.setupUi(this);
  connect(ui.AddBtn, &QPushButton::clicked, this, &TBlockListForm::AddTyped);
  connect(ui.AddressEd, &QLineEdit::returnPressed, this, &TBlockListForm::AddTyped);
  connect(ui.RemoveBtn, &QPushButton::clicked, this, &TBlockListForm::RemoveSelected);
  connect(ui.CloseBtn, &QPushButton::clicked, this, &QDialog::accept);
  connect(ui.ImportBtn, &QPushButton::clicked, this, [this] {
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Adressen importieren"), QString(),
                                                      QStringLiteral("Text- und CSV-Dateien (*.txt *.csv);;Alle Dateien (*)"));
    if (!path.isEmpty()) ImportFrom(PathFromQ(path));
  });
  connect(ui.ExportBtn, &QPushButton::clicked, this, [this] {
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Sperrliste exportieren"), QString(),
                                                      QStringLiteral("CSV-Dateien (*.csv)"));
    if (!path.isEmpty()) ExportTo(PathFromQ(path));
  });
}

bool TBlockListForm::Load() {
  try {
    m_list = TBlockList::Load(m_dir);
  } catch (const EBlockListError& e) {
    ShowError(e.what());
    return false;
  }
  ShowList();
  return true;
}

void TBlockListForm::ShowList() {
  ui.ListView->clear();
  for (const TBlockEntry& e : m_list.Entries())
    ui.ListView->addTopLevelItem(new QTreeWidgetItem(QStringList{ToQ(e.Address), ToQ(e.Reason), ToQ(e.Date), ToQ(e.Source)}));
  for (int c = 0; c < 4; ++c) ui.ListView->resizeColumnToContents(c);
}

bool TBlockListForm::SaveList() {
  try {
    m_list.Save(m_dir);
  } catch (const EBlockListError& e) {
    ShowError(e.what());
    return false;
  }
  ShowList();
  return true;
}

void TBlockListForm::AddTyped() {
  const std::string address = FromQ(ui.AddressEd->text());
  if (!m_list.Add({address, FromQ(ui.ReasonEd->text()), "", "Hand"})) {
    ShowError(m_list.Contains(address) ? "\"" + address + "\" steht bereits auf der Sperrliste."
                                       : "Bitte geben Sie eine Adresse ein.");
    return;
  }
  if (SaveList()) {
    ui.AddressEd->clear();
    ui.ReasonEd->clear();
  }
}

void TBlockListForm::RemoveSelected() {
  bool changed = false;
  for (QTreeWidgetItem* item : ui.ListView->selectedItems()) changed |= m_list.Remove(FromQ(item->text(0)));
  if (changed) SaveList();
}

void TBlockListForm::ImportFrom(const std::string& path) {
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(path, ec);
  const std::optional<std::string> bytes = ec || size > kMaxImportBytes ? std::nullopt : ReadWholeFile(path);
  if (!bytes) {
    ShowError("Die Datei \"" + Utf8ToCp1252(path) + "\" kann nicht gelesen werden" +
              (!ec && size > kMaxImportBytes ? " (gr\xF6\xDF" "er als 32 MB)." : "."));
    return;
  }
  int added = 0;
  for (const std::string& a : TBlockList::AddressesFromText(*bytes))
    if (m_list.Add({a, "", "", "Import"})) ++added;
  if (added > 0 && !SaveList()) return;
  Messages().Show(std::to_string(added) + (added == 1 ? " Adresse" : " Adressen") + " neu auf der Sperrliste.",
                  "Importieren", TMsgButtons::Ok, TMsgIcon::Information);
}

void TBlockListForm::ExportTo(const std::string& path) {
  try {
    SaveFileSafely(path, m_list.Csv(), 0600);
  } catch (const ESaveError& e) {
    ShowError(e.what());
  }
}

} // namespace postello
