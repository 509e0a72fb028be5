#pragma once
#include "ui_TBlockListForm.h"

#include "send/TBlockList.h"

#include <QDialog>
#include <string>

namespace postello {

// Shows and changes the block list of a data folder. Every change is saved
// at once; a list that cannot be read is reported and cannot be changed
// here, so that nothing overwrites it.
class TBlockListForm : public QDialog {
  Q_OBJECT
public:
  TBlockListForm(const std::string& dataDir, QWidget* parent = nullptr);

  // False (after the message) when the list cannot be read.
  bool Load();
  // What the buttons do after their file dialogs; path is UTF-8.
  void ImportFrom(const std::string& path);
  void ExportTo(const std::string& path);
  void AddTyped();
  void RemoveSelected();
  const TBlockList& List() const { return m_list; }

  Ui::TBlockListForm ui;

private:
  void ShowList();
  bool SaveList();

  std::string m_dir;
  TBlockList m_list;
};

} // namespace postello
