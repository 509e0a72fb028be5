#include "TPalixColorComboBox.h"

#include "QtText.h"

#include <QAbstractItemView>
#include <QColorDialog>
#include <QPainter>
#include <QStyleOptionComboBox>
#include <QStyledItemDelegate>
#include <QStylePainter>

#include <algorithm>

namespace postello {

namespace {

constexpr int SwatchLeft = 4;
constexpr int SwatchWidth = 24;
constexpr int NameLeft = 30;

TPalixColorComboBox::TColorChooser& Chooser() {
  static TPalixColorComboBox::TColorChooser chooser;
  return chooser;
}

QColor ToQColor(std::uint32_t v) { return QColor(v & 0xFF, (v >> 8) & 0xFF, (v >> 16) & 0xFF); }

std::uint32_t FromQColor(const QColor& c) {
  return std::uint32_t(c.red()) | std::uint32_t(c.green()) << 8 | std::uint32_t(c.blue()) << 16;
}

// Draws one entry the way both the list and the closed box show it.
void PaintEntry(QPainter& p, const QRect& r, const QColor& swatch, const QString& name, bool selected,
                const QPalette& pal, bool enabled) {
  p.save();
  p.fillRect(r, selected ? pal.brush(QPalette::Highlight) : pal.brush(QPalette::Base));
  const QRect sw(r.left() + SwatchLeft, r.top() + 1, SwatchWidth, r.height() - 2);
  p.fillRect(sw, swatch);
  p.setPen(Qt::black);
  p.setBrush(Qt::NoBrush);
  p.drawRect(sw.adjusted(0, 0, -1, -1));
  const QPalette::ColorGroup group = enabled ? QPalette::Normal : QPalette::Disabled;
  p.setPen(pal.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
  const QRect text(r.left() + NameLeft, r.top(), r.width() - NameLeft, r.height());
  p.drawText(text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, name);
  p.restore();
}

class TEntryDelegate : public QStyledItemDelegate {
public:
  explicit TEntryDelegate(TPalixColorComboBox* box) : QStyledItemDelegate(box), FBox(box) {}

  void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    const bool selected = option.state & QStyle::State_Selected;
    PaintEntry(*p, option.rect, ToQColor(FBox->EntryColor(index.row())), index.data().toString(), selected,
               option.palette, option.state & QStyle::State_Enabled);
  }

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    const QFontMetrics fm(option.font);
    return QSize(NameLeft + fm.horizontalAdvance(index.data().toString()) + 6, fm.height() + 4);
  }

private:
  TPalixColorComboBox* FBox;
};

} // namespace

TPalixColorComboBox::TPalixColorComboBox(QWidget* parent) : QComboBox(parent) {
  setItemDelegate(new TEntryDelegate(this));
  for (int i = 0; i < TPalixColorModel::EntryCount; ++i) addItem(QString());
  ShowNames();
  ShowSelection();
  resize(120, sizeHint().height());
  connect(this, &QComboBox::activated, this, &TPalixColorComboBox::EntryActivated);
}

std::uint32_t TPalixColorComboBox::RgbValue() const { return FModel.SwatchColor(CustomEntry); }

std::uint32_t TPalixColorComboBox::EntryColor(int entry) const { return FModel.SwatchColor(entry); }

QSize TPalixColorComboBox::sizeHint() const {
  const QSize hint = QComboBox::sizeHint();
  return QSize(std::max(120, hint.width() + NameLeft), hint.height());
}

QSize TPalixColorComboBox::minimumSizeHint() const {
  const QSize hint = QComboBox::minimumSizeHint();
  return QSize(hint.width() + NameLeft, hint.height());
}

void TPalixColorComboBox::SetColorValue(std::uint32_t v) {
  FModel.SetColorValue(v);
  ShowSelection();
}

void TPalixColorComboBox::SetHTMLcolor(const std::string& text) {
  FModel.SetHTMLcolor(text);
  ShowSelection();
}

void TPalixColorComboBox::SetLanguage(TPalixLanguage language) {
  FModel.SetLanguage(language);
  ShowNames();
}

void TPalixColorComboBox::ShowNames() {
  for (int i = 0; i < count(); ++i) setItemText(i, ToQ(FModel.ItemName(i)));
  // The list may be wider than the box so no name is cut off.
  view()->setMinimumWidth(view()->sizeHintForColumn(0));
  update();
}

void TPalixColorComboBox::ShowSelection() {
  setCurrentIndex(FModel.ItemIndex());
  update(); // the custom swatch may show a new colour at the same index
}

TPalixColorComboBox::TColorChooser TPalixColorComboBox::SetColorChooser(TColorChooser chooser) {
  TColorChooser previous = std::move(Chooser());
  Chooser() = std::move(chooser);
  return previous;
}

void TPalixColorComboBox::EntryActivated(int entry) {
  if (FModel.UserSelect(entry)) {
    std::optional<std::uint32_t> chosen;
    if (Chooser()) {
      chosen = Chooser()(FModel.ColorValue(), this);
    } else {
      // Qt's own dialog rather than the desktop's, so it speaks German
      // whatever the desktop's language.
      const QColor c = QColorDialog::getColor(ToQColor(RgbValue()), this, QString(),
                                              QColorDialog::DontUseNativeDialog);
      if (c.isValid()) chosen = FromQColor(c);
    }
    // A cancelled question keeps the colour; the custom entry stays
    // selected and shows that colour.
    if (chosen) FModel.SetColorValue(*chosen);
  }
  ShowSelection();
  emit Change();
}

void TPalixColorComboBox::paintEvent(QPaintEvent*) {
  QStylePainter p(this);
  QStyleOptionComboBox opt;
  initStyleOption(&opt);
  opt.currentText.clear();
  opt.currentIcon = QIcon();
  p.drawComplexControl(QStyle::CC_ComboBox, opt);
  if (currentIndex() < 0) return;
  const QRect field = style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, this);
  const bool focused = hasFocus() && !view()->isVisible();
  PaintEntry(p, field, ToQColor(EntryColor(currentIndex())), currentText(), focused, palette(), isEnabled());
}

} // namespace postello
