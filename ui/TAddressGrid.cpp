#include "TAddressGrid.h"

#include "QtText.h"
#include "TDbfTableModel.h"

#include "addressdb/TDbf.h"
#include "core/TMessageSink.h"

#include <QAbstractButton>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTimer>
#include <algorithm>
#include <exception>
#include <functional>

namespace postello {
namespace {

// The grid's cell editor: takes no more characters than a text field holds
// (the table would cut the rest silently) and reports that editing starts.
class TGridDelegate : public QStyledItemDelegate {
public:
  TGridDelegate(const TDbf& table, std::function<void(int)> opened, QObject* parent)
      : QStyledItemDelegate(parent), m_table(table), m_opened(std::move(opened)) {}

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const override {
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    auto* line = qobject_cast<QLineEdit*>(editor);
    if (line && m_table.Active() && index.column() < m_table.FieldCount() &&
        m_table.Field(index.column()).Type == 'C') {
      line->setMaxLength(m_table.Field(index.column()).Width);
    }
    m_opened(index.row());
    return editor;
  }

private:
  const TDbf& m_table;
  std::function<void(int)> m_opened;
};

} // namespace

TAddressGrid::TAddressGrid(QTableView* grid, TDbf& table, QObject* parent)
    : QObject(parent), m_grid(grid), m_model(new TDbfTableModel(table, this)) {
  m_grid->setModel(m_model);
  m_grid->setItemDelegate(new TGridDelegate(table, [this](int row) { EditorOpened(row); }, this));
  m_grid->setSelectionBehavior(QAbstractItemView::SelectItems);
  m_grid->setSelectionMode(QAbstractItemView::SingleSelection);
  m_grid->verticalHeader()->setDefaultSectionSize(m_grid->fontMetrics().height() + 6);
  connect(m_model, &TDbfTableModel::WriteFailed, this, [](const QString& message) { ShowError(FromQ(message)); });
  connect(m_model, &TDbfTableModel::TableMoved, this, &TAddressGrid::Sync);
  connect(m_model, &QAbstractItemModel::dataChanged, this, &TAddressGrid::UpdateNavigator);
  connect(m_grid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) {
            if (!m_selecting && current.isValid()) RowEntered(current.row());
          });
  m_grid->installEventFilter(this);
  // A click on the row already highlighted changes no current row, but it
  // is the user pointing at that record all the same.
  connect(m_grid, &QAbstractItemView::pressed, this, [this](const QModelIndex& index) {
    if (index.isValid()) RowEntered(index.row());
  });
}

// Rows removed under the grid's current row make the grid choose another
// current row; while the grid follows the table, that is not the user's
// move.
void TAddressGrid::Reload() {
  const bool outer = !m_selecting;
  m_selecting = true;
  m_model->Reload();
  FitColumns();
  SelectCurrentRow();
  if (outer) m_selecting = false;
}

// Each column as wide as the longest of its first rows' values and its
// title, but at least kMinChars and at most kMaxChars characters (and never
// wider than the field can hold). Widths are set once per table and field
// list, so a filter keeps the widths the user dragged; widenOnly (after an
// import) widens the columns whose new content needs it.
void TAddressGrid::FitColumns(bool widenOnly) {
  constexpr int kMinChars = 8;
  constexpr int kMaxChars = 40;
  constexpr int kRowsMeasured = 200;
  const TDbf& table = m_model->Source().DataSet();
  QStringList layout;
  if (table.Active()) {
    layout << PathToQ(table.FileName());
    for (int k = 0; k < table.FieldCount(); ++k)
      layout << ToQ(table.Field(k).Name) + QLatin1Char(':') + QString::number(table.Field(k).Width);
  }
  const bool newLayout = layout != m_columnLayout;
  if (!newLayout && !widenOnly) return;
  m_columnLayout = layout;
  if (!table.Active()) return;
  QHeaderView* header = m_grid->horizontalHeader();
  header->setSectionResizeMode(QHeaderView::Interactive);
  const QFontMetrics cells(m_grid->font());
  const QFontMetrics titles(header->font());
  // An average character of addresses and names: lower-case letters and digits.
  const QString sample = QStringLiteral("abcdefghijklmnopqrstuvwxyz0123456789@.");
  const int perChar = (cells.horizontalAdvance(sample) + sample.size() - 1) / sample.size();
  const int padding = 2 * m_grid->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, m_grid) + 10;
  const int rows = std::min(m_model->rowCount(), kRowsMeasured);
  for (int k = 0; k < table.FieldCount(); ++k) {
    const int chars = static_cast<int>(table.Field(k).Width);
    int content = 0;
    for (int r = 0; r < rows; ++r)
      content = std::max(content, cells.horizontalAdvance(m_model->index(r, k).data().toString()));
    const int low = std::min(chars, kMinChars) * perChar;
    const int high = std::min(chars, kMaxChars) * perChar;
    const int title = titles.horizontalAdvance(ToQ(table.Field(k).Name)) + 2 * padding;
    const int width = std::max(std::clamp(content, low, high) + padding, title);
    if (newLayout || width > m_grid->columnWidth(k)) m_grid->setColumnWidth(k, width);
  }
}

bool TAddressGrid::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_grid && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete &&
      static_cast<QKeyEvent*>(event)->modifiers() == Qt::NoModifier &&
      !m_grid->indexWidget(m_grid->currentIndex())) {
    Navigate(nbDelete);
    return true;
  }
  return QObject::eventFilter(watched, event);
}

void TAddressGrid::Sync() {
  const bool outer = !m_selecting;
  m_selecting = true;
  m_model->Refresh();
  SelectCurrentRow();
  if (outer) m_selecting = false;
}

void TAddressGrid::SelectCurrentRow() {
  int row = -1;
  try {
    row = m_model->Source().CurrentRow();
  } catch (const std::exception&) {
  }
  const QModelIndex current = m_grid->currentIndex();
  QItemSelectionModel* selection = m_grid->selectionModel();
  const bool outer = !m_selecting;
  m_selecting = true;
  if (row < 0 || row >= m_model->rowCount()) {
    selection->clear();
  } else {
    const QModelIndex target = m_model->index(row, std::max(0, current.column()));
    if (current != target || !selection->isSelected(target)) m_grid->setCurrentIndex(target);
    // The current record is always in sight, as in data-aware grids. The
    // scroll range must first take in rows just added.
    m_grid->doItemsLayout();
    m_grid->scrollTo(target);
  }
  if (outer) m_selecting = false;
  UpdateNavigator();
}

void TAddressGrid::SetNavigator(const std::array<QAbstractButton*, 10>& buttons) {
  m_nav = buttons;
  UpdateNavigator();
}

void TAddressGrid::UpdateNavigator() {
  bool on[10] = {};
  try {
    TDataSource& source = m_model->Source();
    const TDbf& table = source.DataSet();
    if (table.Active()) {
      const int row = source.CurrentRow();
      const int rows = source.RowCount();
      const bool editing = table.State() == TDbfState::Edit || table.State() == TDbfState::Insert;
      const bool writable = !table.ReadOnly();
      on[nbFirst] = on[nbPrior] = row > 0;
      on[nbNext] = on[nbLast] = row >= 0 && row < rows - 1;
      on[nbInsert] = writable;
      on[nbDelete] = writable && row >= 0;
      on[nbEdit] = writable && row >= 0 && !editing;
      on[nbPost] = on[nbCancel] = editing;
      on[nbRefresh] = true;
    }
  } catch (const std::exception&) {
  }
  for (int k = 0; k < 10; ++k) {
    if (m_nav[k]) m_nav[k]->setEnabled(on[k]);
  }
}

void TAddressGrid::EditorOpened(int row) {
  TDataSource& source = m_model->Source();
  try {
    if (source.CurrentRow() == row) source.Edit();
  } catch (const std::exception& e) {
    ShowError(e.what());
  }
  UpdateNavigator();
}

void TAddressGrid::RowEntered(int row) {
  TDataSource& source = m_model->Source();
  bool follow = false;
  try {
    const TDbfState state = source.DataSet().State();
    follow = state == TDbfState::Edit || state == TDbfState::Insert;  // the row titles change
    follow = source.GoToRow(row) || follow;
  } catch (const std::exception& e) {
    ShowError(e.what());
    follow = true;
  }
  int now = -1;
  try {
    now = source.CurrentRow();
  } catch (const std::exception&) {
  }
  // Rows shifted, or the table stayed elsewhere: the grid follows once the
  // click that moved it is handled (changing rows inside it would let the
  // click select a cell of the new layout).
  if (follow || now != row) QueueSync();
  UpdateNavigator();
}

void TAddressGrid::QueueSync() {
  if (m_syncQueued) return;
  m_syncQueued = true;
  QTimer::singleShot(0, this, [this] {
    m_syncQueued = false;
    Sync();
  });
}

void TAddressGrid::CloseEditor(bool commit) {
  const QModelIndex index = m_grid->currentIndex();
  if (!index.isValid()) return;
  QWidget* editor = m_grid->indexWidget(index);
  QAbstractItemDelegate* delegate = m_grid->itemDelegateForIndex(index);
  if (!editor || !delegate) return;
  if (commit) delegate->setModelData(editor, m_model, index);
  emit delegate->closeEditor(editor, QAbstractItemDelegate::NoHint);
}

void TAddressGrid::CommitEditor() { CloseEditor(true); }

void TAddressGrid::Navigate(int button) {
  TDataSource& source = m_model->Source();
  TDbf& table = source.DataSet();
  if (!table.Active()) return;
  // Cancel throws away what is being typed; everything else keeps it.
  CloseEditor(button != nbCancel);
  bool edit = false;
  try {
    switch (button) {
    case nbFirst: table.First(); break;
    case nbPrior: table.Prior(); break;
    case nbNext: table.Next(); break;
    case nbLast: table.Last(); break;
    case nbInsert:
      source.Insert();
      edit = true;
      break;
    case nbDelete:
      if (source.CurrentRow() < 0) return;
      if (Messages().Show("Datensatz l\xF6schen?", "", TMsgButtons::OkCancel, TMsgIcon::Information) !=
          TMsgResult::Ok) {
        return;
      }
      source.Delete();
      break;
    case nbEdit:
      source.Edit();
      edit = true;
      break;
    case nbPost: source.Post(); break;
    case nbCancel: source.Cancel(); break;
    case nbRefresh: table.Refresh(); break;
    }
  } catch (const std::exception& e) {
    ShowError(e.what());
    edit = false;
  }
  Sync();
  if (edit && m_grid->currentIndex().isValid()) m_grid->edit(m_grid->currentIndex());
}

} // namespace postello
