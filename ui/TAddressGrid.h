#pragma once
// Binds the grid DBGrid2 and the navigator DBNavigator2 to the address
// table. The grid's current row is the table's current record at all
// times: whatever moves the table (the navigator, the recipient list, a send
// run, a filter, an import) is followed by the grid, and whatever the user
// does in the grid moves the table. The pending record logic is
// TDataSource's; this class only wires widgets to it.
#include <QObject>
#include <QStringList>
#include <array>

class QAbstractButton;
class QTableView;
class QWidget;

namespace postello {

class TDbf;
class TDbfTableModel;

class TAddressGrid : public QObject {
  Q_OBJECT
public:
  // Buttons of DBNavigator2, in their order on the bar.
  enum TNavButton { nbFirst, nbPrior, nbNext, nbLast, nbInsert, nbDelete, nbEdit, nbPost, nbCancel, nbRefresh };

  // grid gets the table's model; both must outlive this object.
  TAddressGrid(QTableView* grid, TDbf& table, QObject* parent = nullptr);

  TDbfTableModel* Model() const { return m_model; }

  // The navigator's buttons in TNavButton order. They are enabled as a
  // data-aware navigator enables them: post and cancel only while a record
  // is being edited or inserted, moves only where there is somewhere to go,
  // changes only on a writable table. Clicks stay the caller's to connect.
  void SetNavigator(const std::array<QAbstractButton*, 10>& buttons);

  // The table was opened, created, filtered or imported into: everything is
  // read afresh and the grid put on the current record.
  void Reload();
  // Records were imported: a column narrower than its new content is
  // widened (none is narrowed, so the widths the user dragged stay).
  void WidenColumns() { FitColumns(true); }
  // The table may have moved or posted behind the grid's back: rows are
  // read again and the grid put on the current record.
  void Sync();
  // Hands the text of an open cell editor to the pending record, so that
  // whatever acts on the table next (posting, closing) sees it.
  void CommitEditor();
  // One navigator button (TNavButton).
  void Navigate(int button);

protected:
  // Entf on the grid (no cell being edited) deletes the record, as the
  // navigator's button does.
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void SelectCurrentRow();
  void FitColumns(bool widenOnly = false);
  void UpdateNavigator();
  // A cell editor opens on row: its record is being edited from now on.
  void EditorOpened(int row);
  // The user put the grid on row (click, keys).
  void RowEntered(int row);
  void QueueSync();
  void CloseEditor(bool commit);

  QTableView* m_grid;
  TDbfTableModel* m_model;
  // Set while the grid is moved to the table, so that the move is not
  // taken for the user's.
  bool m_selecting = false;
  bool m_syncQueued = false;
  // Table file and fields the column widths were set for.
  QStringList m_columnLayout;
  std::array<QAbstractButton*, 10> m_nav{};
};

} // namespace postello
