#pragma once
// The address table as rows and columns for the grid DBGrid2: the rows of
// TDataSource (the records that pass the filter, and the insert row while a
// record is inserted), one column per field, titled with the stored field
// name. An edited cell goes into the pending record; the file gets it when
// the record is posted.
#include "addressdb/TDataSource.h"

#include <QAbstractTableModel>

#include <functional>
#include <string>

namespace postello {

class TDbf;

class TDbfTableModel : public QAbstractTableModel {
  Q_OBJECT
public:
  explicit TDbfTableModel(TDbf& table, QObject* parent = nullptr);

  TDataSource& Source() { return m_source; }

  // The table was opened, closed or replaced: columns and rows are read
  // afresh (open editors close).
  void Reload();
  // The rows may have changed (records posted, dropped, deleted, the cursor
  // moved): rows are added or removed at the end to match, then every cell
  // and row title is read again. Columns and open editors stay; a changed
  // set of columns reloads.
  void Refresh();
  // Rows whose address (field addressField) blocked names are drawn in
  // grey; an empty function greys nothing.
  void SetGreyed(std::function<bool(const std::string&)> blocked, int addressField);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;

signals:
  // A cell could not be changed; message is Windows-1252.
  void WriteFailed(const QString& message);
  // A change made through setData moved the table to another record or
  // changed the rows (leaving a pending record): the grid must Refresh()
  // and follow the table.
  void TableMoved();

private:
  // data() and headerData() are const for Qt but reading may collect more
  // of the table's view.
  TDataSource& Src() const { return const_cast<TDataSource&>(m_source); }

  TDataSource m_source;
  int m_rows = 0;
  int m_columns = 0;
  std::function<bool(const std::string&)> m_blocked;
  int m_addressField = -1;
};

} // namespace postello
