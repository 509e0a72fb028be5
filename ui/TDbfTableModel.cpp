#include "TDbfTableModel.h"

#include <QColor>

#include "QtText.h"

#include "addressdb/TDbf.h"

#include <exception>

namespace postello {

TDbfTableModel::TDbfTableModel(TDbf& table, QObject* parent) : QAbstractTableModel(parent), m_source(table) {
  Reload();
}

void TDbfTableModel::Reload() {
  beginResetModel();
  try {
    m_rows = m_source.RowCount();
    m_columns = m_source.DataSet().Active() ? m_source.DataSet().FieldCount() : 0;
  } catch (const std::exception&) {
    m_rows = 0;
    m_columns = 0;
  }
  endResetModel();
}

void TDbfTableModel::Refresh() {
  const TDbf& table = m_source.DataSet();
  const int columns = table.Active() ? table.FieldCount() : 0;
  if (columns != m_columns) return Reload();
  int rows = 0;
  try {
    rows = m_source.RowCount();
  } catch (const std::exception&) {
    return Reload();
  }
  if (rows > m_rows) {
    beginInsertRows(QModelIndex(), m_rows, rows - 1);
    m_rows = rows;
    endInsertRows();
  } else if (rows < m_rows) {
    beginRemoveRows(QModelIndex(), rows, m_rows - 1);
    m_rows = rows;
    endRemoveRows();
  }
  if (m_rows > 0 && m_columns > 0) {
    emit dataChanged(index(0, 0), index(m_rows - 1, m_columns - 1));
    emit headerDataChanged(Qt::Vertical, 0, m_rows - 1);
  }
}

int TDbfTableModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : m_rows; }

int TDbfTableModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : m_columns; }

void TDbfTableModel::SetGreyed(std::function<bool(const std::string&)> blocked, int addressField) {
  m_blocked = std::move(blocked);
  m_addressField = addressField;
  if (m_rows > 0 && m_columns > 0) emit dataChanged(index(0, 0), index(m_rows - 1, m_columns - 1), {Qt::ForegroundRole});
}

QVariant TDbfTableModel::data(const QModelIndex& index, int role) const {
  if (index.isValid() && role == Qt::ForegroundRole) {
    if (!m_blocked || m_addressField < 0 || m_addressField >= m_columns) return {};
    try {
      if (m_blocked(Src().Value(index.row(), m_addressField))) return QColor(Qt::gray);
    } catch (const std::exception&) {
    }
    return {};
  }
  if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole)) return {};
  try {
    return ToQ(Src().Value(index.row(), index.column()));
  } catch (const std::exception&) {
    return {};
  }
}

QVariant TDbfTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole) return {};
  const TDbf& table = m_source.DataSet();
  if (orientation == Qt::Vertical) {
    // The pending record is marked, as data-aware grids do: "*" for the
    // record being inserted (it has no number yet), a pencil for changed
    // values not yet written.
    try {
      if (Src().IsPending(section)) {
        if (table.State() == TDbfState::Insert) return QStringLiteral("*");
        return QString::fromUtf8("\u270E %1").arg(section + 1);
      }
    } catch (const std::exception&) {
    }
    return section + 1;
  }
  if (!table.Active() || section >= table.FieldCount()) return {};
  return ToQ(table.Field(section).Name);
}

Qt::ItemFlags TDbfTableModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags f = QAbstractTableModel::flags(index);
  const TDbf& table = m_source.DataSet();
  if (index.isValid() && table.Active() && !table.ReadOnly() && index.column() < table.FieldCount() &&
      table.Field(index.column()).Type != 'M') {
    f |= Qt::ItemIsEditable;
  }
  return f;
}

bool TDbfTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid() || role != Qt::EditRole) return false;
  bool rowsChanged = false;
  int before = -1;
  try {
    before = m_source.CurrentRow();
    const std::string text = FromQ(value.toString());
    // An unchanged cell leaves the record as it is (not pending).
    if (index.row() == before && text == m_source.Value(index.row(), index.column())) return true;
    rowsChanged = m_source.SetValue(index.row(), index.column(), text);
  } catch (const std::exception& e) {
    emit WriteFailed(ToQ(e.what()));
    // Leaving the row before the refusal may have moved the cursor.
    emit TableMoved();
    return false;
  }
  emit dataChanged(this->index(index.row(), 0), this->index(index.row(), m_columns - 1));
  emit headerDataChanged(Qt::Vertical, index.row(), index.row());
  if (rowsChanged || m_source.CurrentRow() != before) emit TableMoved();
  return true;
}

} // namespace postello
