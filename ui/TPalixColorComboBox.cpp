#include "TPalixColorComboBox.h"

#include "QtText.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QColorDialog>
#include <QPainter>
#include <QStyleOptionComboBox>
#include <QStyledItemDelegate>
#include <QStylePainter>

#include <array>

namespace postello {

namespace {

struct TEntry {
  std::uint32_t Color; // 0x00BBGGRR
  const char* Names[3]; // English, German, French; Windows-1252
};

const std::array<TEntry, 17> Entries{{
    {0x000000, {"Black", "Schwarz", "Noir"}},
    {0x000080, {"Maroon", "Dunkelrot", "Rouge fonc\xE9"}},
    {0x008000, {"Green", "Gr\xFCn", "Vert"}},
    {0x008080, {"Olive", "Oliv", "Marron clair"}},
    {0x800000, {"Navy", "Dunkelblau", "Bleu fonc\xE9"}},
    {0x800080, {"Purple", "Purpur", "Violet"}},
    {0x808000, {"Teal", "Gr\xFCnblau", "Bleu-vert"}},
    {0x808080, {"Gray", "Grau", "Gris"}},
    {0xC0C0C0, {"Silver", "Silber", "Argent\xE9"}},
    {0x0000FF, {"Red", "Rot", "Rouge"}},
    {0x00FF00, {"Lime", "Hellgr\xFCn", "Vert"}},
    {0x00FFFF, {"Yellow", "Gelb", "Jaune"}},
    {0xFF0000, {"Blue", "Blau", "Bleu"}},
    {0xFF00FF, {"Fuchsia", "Rosa", "Fuchsia"}},
    {0xFFFF00, {"Aqua", "Hellblau", "Vert d'eau"}},
    {0xFFFFFF, {"White", "Wei\xDF", "Blanc"}},
    {0x000000, {"More...", "Mehr...", "Autres...."}},
}};

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

// A system colour reference (high byte 0x80, a Windows colour index in the
// low byte) as the colour the desktop shows for that role; nothing for an
// index Windows does not know.
std::optional<std::uint32_t> ResolveSystemColor(std::uint32_t v) {
  if ((v >> 24) != 0x80) return v & 0xFFFFFF;
  const QPalette pal = QApplication::palette();
  QPalette::ColorRole role;
  QPalette::ColorGroup group = QPalette::Active;
  switch (v & 0xFFFFFF) {
  case 0: role = QPalette::Mid; break;              // scroll bar
  case 1: role = QPalette::Dark; break;             // desktop
  case 2: role = QPalette::Highlight; break;        // active caption
  case 3: role = QPalette::Mid; break;              // inactive caption
  case 4: role = QPalette::Window; break;           // menu
  case 5: role = QPalette::Base; break;             // window
  case 6: role = QPalette::Shadow; break;           // window frame
  case 7: role = QPalette::WindowText; break;       // menu text
  case 8: role = QPalette::Text; break;             // window text
  case 9: role = QPalette::HighlightedText; break;  // caption text
  case 10: role = QPalette::Button; break;          // active border
  case 11: role = QPalette::Button; break;          // inactive border
  case 12: role = QPalette::Dark; break;            // application work space
  case 13: role = QPalette::Highlight; break;
  case 14: role = QPalette::HighlightedText; break;
  case 15: role = QPalette::Button; break;          // button face
  case 16: role = QPalette::Dark; break;            // button shadow
  case 17: role = QPalette::Text; group = QPalette::Disabled; break; // grey text
  case 18: role = QPalette::ButtonText; break;
  case 19: role = QPalette::WindowText; group = QPalette::Inactive; break;
  case 20: role = QPalette::Light; break;           // button highlight
  case 21: role = QPalette::Shadow; break;          // 3D dark shadow
  case 22: role = QPalette::Midlight; break;        // 3D light
  case 23: role = QPalette::ToolTipText; break;
  case 24: role = QPalette::ToolTipBase; break;
  case 26: role = QPalette::Link; break;            // hot-tracked item
  case 27: role = QPalette::Highlight; break;       // caption gradient
  case 28: role = QPalette::Mid; break;
  case 29: role = QPalette::Highlight; break;       // menu highlight
  case 30: role = QPalette::Window; break;          // menu bar
  default: return std::nullopt;
  }
  return FromQColor(pal.color(group, role));
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
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
  for (std::size_t i = 0; i < Entries.size(); ++i) addItem(QString());
  ShowNames();
  setCurrentIndex(0);
  resize(120, sizeHint().height());
  // The list may be wider than the box so no name is cut off.
  view()->setMinimumWidth(view()->sizeHintForColumn(0));
  connect(this, &QComboBox::activated, this, &TPalixColorComboBox::EntryActivated);
}

std::uint32_t TPalixColorComboBox::RgbValue() const {
  return ResolveSystemColor(FColorValue).value_or(FColorValue & 0xFFFFFF);
}

std::uint32_t TPalixColorComboBox::EntryColor(int entry) const {
  if (entry >= 0 && entry < CustomEntry) return Entries[entry].Color;
  return RgbValue();
}

QSize TPalixColorComboBox::sizeHint() const {
  const QSize hint = QComboBox::sizeHint();
  return QSize(std::max(120, hint.width() + NameLeft), hint.height());
}

QSize TPalixColorComboBox::minimumSizeHint() const {
  const QSize hint = QComboBox::minimumSizeHint();
  return QSize(hint.width() + NameLeft, hint.height());
}

void TPalixColorComboBox::SetColorValue(std::uint32_t v) {
  const std::optional<std::uint32_t> rgb = ResolveSystemColor(v);
  if (!rgb) return;
  int entry = CustomEntry;
  for (int i = 0; i < CustomEntry; ++i) {
    if (Entries[i].Color == v) {
      entry = i;
      break;
    }
  }
  FColorValue = v;
  static const char hex[] = "0123456789ABCDEF";
  std::string html = "#";
  for (int shift : {0, 8, 16}) {
    const unsigned byte = (*rgb >> shift) & 0xFF;
    html += hex[byte >> 4];
    html += hex[byte & 0xF];
  }
  FHTMLcolor = html;
  setCurrentIndex(entry);
  update(); // the custom swatch may show a new colour at the same index
}

void TPalixColorComboBox::SetHTMLcolor(const std::string& text) {
  std::string t = text.substr(0, 255);
  for (char& c : t) {
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
  }
  if (t.empty()) t = "#000000";
  if (t.size() < 7) return;
  std::uint32_t v = 0;
  for (int i = 0; i < 3; ++i) {
    const int hi = HexDigit(t[1 + 2 * i]);
    const int lo = HexDigit(t[2 + 2 * i]);
    if (hi < 0 || lo < 0) return;
    v |= std::uint32_t(hi * 16 + lo) << (8 * i);
  }
  if (v != FColorValue) SetColorValue(v);
  FHTMLcolor = t;
}

void TPalixColorComboBox::SetLanguage(TLanguage language) {
  FLanguage = language;
  ShowNames();
}

void TPalixColorComboBox::ShowNames() {
  for (int i = 0; i < count() && i < int(Entries.size()); ++i) {
    setItemText(i, ToQ(Entries[i].Names[FLanguage]));
  }
  view()->setMinimumWidth(view()->sizeHintForColumn(0));
  update();
}

TPalixColorComboBox::TColorChooser TPalixColorComboBox::SetColorChooser(TColorChooser chooser) {
  TColorChooser previous = std::move(Chooser());
  Chooser() = std::move(chooser);
  return previous;
}

void TPalixColorComboBox::EntryActivated(int entry) {
  if (entry >= 0 && entry < CustomEntry) {
    SetColorValue(Entries[entry].Color);
  } else if (entry == CustomEntry) {
    std::optional<std::uint32_t> chosen;
    if (Chooser()) {
      chosen = Chooser()(FColorValue, this);
    } else {
      // Qt's own dialog rather than the desktop's, so it speaks German
      // whatever the desktop's language.
      const QColor c = QColorDialog::getColor(ToQColor(RgbValue()), this, QString(),
                                              QColorDialog::DontUseNativeDialog);
      if (c.isValid()) chosen = FromQColor(c);
    }
    // A cancelled question keeps the colour; the custom entry stays
    // selected and shows that colour.
    if (chosen) SetColorValue(*chosen);
  }
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
  QRect field = style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, this);
  const bool focused = hasFocus() && !view()->isVisible();
  PaintEntry(p, field, ToQColor(EntryColor(currentIndex())), currentText(), focused, palette(), isEnabled());
}

} // namespace postello
