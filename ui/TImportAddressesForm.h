#pragma once
#include "ui_TImportAddressesForm.h"

#include "app/TMainState.h"

#include <QDialog>
#include <QString>
#include <functional>
#include <optional>

class QComboBox;

namespace postello {

// "Adressen importieren": the file's first rows, per column the field it
// goes into, the reading options; after the import the report, which
// can be selected and copied. In NewTable mode the fields are named after
// the columns instead (no choice per column) and the database is replaced.
class TImportAddressesForm : public QDialog {
  Q_OBJECT
public:
  enum class TMode { IntoTable, NewTable };

  TImportAddressesForm(TMainState& state, const QString& path, TMode mode, QWidget* parent = nullptr);

  // Reads the first rows; false (the user was told why) when the file
  // cannot be read.
  bool Load();

  // Asks for the file of a new table fitted to the import file, offered
  // when values are too long for their fields; empty: cancelled.
  std::function<QString(const QString& proposed)> AskTableFile;

  // True once something was imported (the address page must reload).
  bool Imported() const { return m_imported; }
  // The field chosen for a column (-1: not imported).
  int FieldOfColumn(int column) const;

  Ui::TImportAddressesForm ui;

private:
  TAddressRowsOptions RowsOptions() const;
  void Reload();
  void ShowPreview();
  void ImportClick();
  void ShowReport(const TImportReport& report);
  TMainState::TFileImport Choice() const;

  TMainState& m_state;
  QString m_path;
  TMode m_mode;
  TAddressPreview m_preview;
  std::vector<QComboBox*> m_combos;
  bool m_imported = false;
};

} // namespace postello
