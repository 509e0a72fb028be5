#pragma once
// The address table as rows and columns for the grid DBGrid2: one row per
// record that passes the filter, one column per field, titled with the
// stored field name. Editing a cell writes the record at once.
#include <QAbstractTableModel>

namespace postello {

class TDbf;

class TDbfTableModel : public QAbstractTableModel {
  Q_OBJECT
public:
  explicit TDbfTableModel(TDbf& table, QObject* parent = nullptr);

  // The table changed under the model (opened, closed, filtered, moved
  // records): rows and columns are read afresh.
  void Reload();

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;

signals:
  // A cell could not be written; message is Windows-1252.
  void WriteFailed(const QString& message);

private:
  TDbf& m_table;
  int m_rows = 0;
  int m_columns = 0;
};

} // namespace postello
