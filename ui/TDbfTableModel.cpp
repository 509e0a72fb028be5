#include "TDbfTableModel.h"

#include "QtText.h"

#include "addressdb/TDbf.h"

#include <exception>

namespace postello {

TDbfTableModel::TDbfTableModel(TDbf& table, QObject* parent) : QAbstractTableModel(parent), m_table(table) {
  Reload();
}

void TDbfTableModel::Reload() {
  beginResetModel();
  if (m_table.Active()) {
    m_rows = static_cast<int>(m_table.ViewCount());
    m_columns = m_table.FieldCount();
  } else {
    m_rows = 0;
    m_columns = 0;
  }
  endResetModel();
}

int TDbfTableModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : m_rows; }

int TDbfTableModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : m_columns; }

QVariant TDbfTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole) || !m_table.Active()) return {};
  try {
    return ToQ(m_table.ValueAt(static_cast<std::uint32_t>(index.row()), index.column()));
  } catch (const std::exception&) {
    return {};
  }
}

QVariant TDbfTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole) return {};
  if (orientation == Qt::Vertical) return section + 1;
  if (!m_table.Active() || section >= m_table.FieldCount()) return {};
  return ToQ(m_table.Field(section).Name);
}

Qt::ItemFlags TDbfTableModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags f = QAbstractTableModel::flags(index);
  if (index.isValid() && m_table.Active() && !m_table.ReadOnly() && m_table.Field(index.column()).Type != 'M') {
    f |= Qt::ItemIsEditable;
  }
  return f;
}

bool TDbfTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid() || role != Qt::EditRole || !m_table.Active()) return false;
  try {
    m_table.MoveTo(static_cast<std::uint32_t>(index.row()));
    m_table.Edit();
    m_table.SetAsString(index.column(), FromQ(value.toString()));
    m_table.Post();
  } catch (const std::exception& e) {
    try {
      m_table.Cancel();
    } catch (const std::exception&) {
    }
    emit WriteFailed(ToQ(e.what()));
    return false;
  }
  // The record may no longer pass the filter; it stays in view until the
  // next reload, as the table keeps it current.
  emit dataChanged(index, index);
  return true;
}

} // namespace postello
