#include "TWriteMailForm.h"

#include "QtDesignDocument.h"
#include "QtText.h"
#include "ScreenRoom.h"
#include "TEditorDialogs.h"
#include "TWebPreview.h"

#include "core/ProgDir.h"
#include "core/TMessageSink.h"
#include "editor/TSpellChoice.h"
#include "ui/TSpellHighlighter.h"
#include "ui/TSpellLineChecker.h"
#include "core/SafeFile.h"
#include "core/StoredDateTime.h"
#include "editor/EditorToolbar.h"
#include "editor/InsertAtCaret.h"
#include "editor/MemoText.h"
#include "send/ListUnsubscribe.h"

#include <QFontDatabase>
#include <QKeyEvent>
#include <QShortcut>
#include <QLineEdit>
#include <QPainter>
#include <QBoxLayout>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSignalBlocker>
#include <QStyle>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <QUrl>

namespace postello {
namespace {

constexpr int kConversionPause = 1000; // ms of typing pause before the HTML is rebuilt
// Lines of text the texts being written keep in sight however small the
// window is made.
constexpr int kMinTextLines = 8;

std::vector<std::string> MemoLines(const QPlainTextEdit* memo) {
  // Raw text keeps non-breaking spaces, which toPlainText() would turn
  // into blanks.
  QString text = memo->document()->toRawText();
  text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
  return SplitMemoLines(FromQ(text));
}

void SetMemoLines(QPlainTextEdit* memo, const std::vector<std::string>& lines) {
  QString text;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) text += QLatin1Char('\n');
    text += ToQ(lines[i]);
  }
  memo->setPlainText(text);
}

// The lines of a text widget's document as the caret counts them: Qt's
// empty document (one empty block) is a target without lines.
std::vector<std::string> DocumentLines(const QTextDocument& doc) {
  std::vector<std::string> lines;
  if (doc.isEmpty()) return lines;
  for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) lines.push_back(FromQ(b.text()));
  return lines;
}

// Inserts text into edit's document where the editor's caret rule puts
// it, keeping the formatting of the characters around it, and places the
// caret after it (or leaves it, when the text became a new last line).
template <class Edit> void InsertIntoEdit(Edit* edit, const std::string& text) {
  QTextDocument* doc = edit->document();
  const std::vector<std::string> lines = DocumentLines(*doc);
  const std::size_t caret = CaretFromQtPosition(lines, static_cast<std::size_t>(edit->textCursor().selectionStart()));
  const TCaretInsert result = InsertAtCaret(lines, caret, text);
  QTextCursor c(doc);
  if (result.Appended) {
    c.movePosition(QTextCursor::End);
    if (!lines.empty()) c.insertBlock();
  } else {
    c.setPosition(static_cast<int>(QtPositionFromCaret(lines, caret)));
  }
  c.insertText(ToQ(text));
  QTextCursor after(doc);
  after.setPosition(static_cast<int>(QtPositionFromCaret(result.Lines, result.Caret)));
  edit->setTextCursor(after);
  edit->setFocus();
}

// Small drawn icons for the toolbar buttons that have no caption.
QIcon AlignIcon(Qt::Alignment align) {
  QPixmap pm(16, 16);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setPen(QPen(Qt::black, 1));
  const int widths[] = {14, 9, 14, 9, 14};
  for (int k = 0; k < 5; ++k) {
    const int w = widths[k];
    const int left = align & Qt::AlignHCenter ? (16 - w) / 2 : align & Qt::AlignRight ? 15 - w : 1;
    p.drawLine(left, 2 + 3 * k, left + w - 1, 2 + 3 * k);
  }
  return QIcon(pm);
}

QIcon ColorIcon(const QColor& color, bool letter) {
  QPixmap pm(16, 16);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  if (letter) {
    QFont f = p.font();
    f.setBold(true);
    f.setPixelSize(11);
    p.setFont(f);
    p.setPen(Qt::black);
    p.drawText(QRect(0, 0, 16, 12), Qt::AlignCenter, QStringLiteral("A"));
    p.fillRect(QRect(1, 12, 14, 3), color);
  } else {
    p.fillRect(QRect(1, 1, 14, 14), color);
    p.setPen(Qt::black);
    p.drawRect(QRect(1, 1, 13, 13));
  }
  return QIcon(pm);
}

QIcon BulletIcon() {
  QPixmap pm(16, 16);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  for (int k = 0; k < 3; ++k) {
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawEllipse(QPointF(3, 3 + 5 * k), 1.6, 1.6);
    p.setPen(QPen(Qt::black, 1));
    p.drawLine(7, 3 + 5 * k, 15, 3 + 5 * k);
  }
  return QIcon(pm);
}

TEditorDialogs::TFileQuestion PictureQuestion() {
  return {{{QStringLiteral("JPG, GIF, PNG-Grafiken (*.jpg,*.jpeg,*.gif,*.png)"),
            QStringLiteral("*.jpg *.jpeg *.gif *.png *.JPG *.JPEG *.GIF *.PNG")}},
          QStringLiteral("GIF"),
          false};
}

} // namespace

TWriteMailForm::TWriteMailForm(QWidget* parent) : QDialog(parent), m_state(*this) {
  ui.setupUi(this);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  setWindowFlag(Qt::WindowMaximizeButtonHint, true);

  // The editor's default font; whatever the user types without choosing
  // another gets it.
  QFont editorFont(QStringLiteral("Arial"));
  editorFont.setPointSize(10);
  ui.RichEdit1->document()->setDefaultFont(editorFont);
  ui.RichEdit1->setFont(editorFont);
  ui.RichEdit1->setLineWrapMode(QTextEdit::NoWrap);
  ui.PicBtn2->setIcon(style()->standardIcon(QStyle::SP_FileDialogContentsView));
  ui.PicBtn->setIcon(style()->standardIcon(QStyle::SP_FileDialogContentsView));
  SetUpToolbar();
  // Enter belongs to the control that has the focus (a size typed into the
  // size list, a line of the subject), never to a button of the window.
  for (QPushButton* button : findChildren<QPushButton*>()) {
    button->setAutoDefault(false);
    button->setDefault(false);
  }
  m_designForm = new TNewsDesignForm(this);

  for (QAbstractScrollArea* text : std::initializer_list<QAbstractScrollArea*>{ui.RichEdit1, ui.Memo1, ui.Memo2, ui.Memo3}) {
    text->setMinimumHeight(kMinTextLines * text->fontMetrics().lineSpacing() + 2 * text->frameWidth() + 8);
  }

  ui.ListView1->setColumnWidth(0, 300);
  ui.ListView1->setColumnWidth(1, 100);

  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setSingleShot(true);
  Timer1->setInterval(kConversionPause);

  connect(Timer1, &QTimer::timeout, this, [this] { m_state.TimerFired(); });
  connect(ui.RichEdit1->document(), &QTextDocument::contentsChanged, this, [this] { m_state.DocumentChanged(); });
  connect(ui.Memo1, &QPlainTextEdit::textChanged, this, [this] { m_state.HtmlChanged(); });
  connect(ui.Memo3, &QPlainTextEdit::textChanged, this, [this] { m_state.HtmlChanged(); });
  connect(ui.PageControl1, &QTabWidget::currentChanged, this, [this] { m_state.MainPageChanged(); });
  connect(ui.PageControl2, &QTabWidget::currentChanged, this,
          [this](int page) { m_state.DesignSubPageChanged(static_cast<TDesignSubPage>(page)); });
  connect(ui.MailTyp1, &QRadioButton::clicked, this, [this] { m_state.MailTypClick(0); });
  connect(ui.MailTyp2, &QRadioButton::clicked, this, [this] { m_state.MailTypClick(1); });
  connect(ui.MailTyp3, &QRadioButton::clicked, this, [this] { m_state.MailTypClick(2); });
  connect(ui.AutoCreateCheck, &QCheckBox::clicked, this, [this](bool on) { m_state.AutoCreateClick(on); });
  connect(ui.NewsCheck, &QRadioButton::clicked, this, [this] { m_state.NewsDesignClick(true); });
  connect(ui.NormalCheck, &QRadioButton::clicked, this, [this] { m_state.NewsDesignClick(false); });
  connect(ui.SpeedButton1, &QPushButton::clicked, this, &TWriteMailForm::SpeedButton1Click);
  connect(ui.RecipientPreviewBtn, &QPushButton::clicked, this, &TWriteMailForm::RecipientPreviewBtnClick);
  connect(ui.PageControl2, &QTabWidget::currentChanged, this, [this](int page) {
    if (page == dpPreview) ShowPreview(ui.WebBrowser1, GeneratedHtml());
  });
  connect(ui.PageControl3, &QTabWidget::currentChanged, this, [this](int page) {
    if (page == hpPreview) ShowPreview(ui.WebBrowser2, HtmlSource());
  });

  connect(ui.InsertFieldBtn, &QPushButton::clicked, this, &TWriteMailForm::InsertFieldClick);
  connect(ui.AttachBtn, &QPushButton::clicked, this, &TWriteMailForm::AttachBtnClick);
  connect(ui.DelAttachBtn, &QPushButton::clicked, this, &TWriteMailForm::DelAttachBtnClick);
  connect(ui.DelAllAttachBtn, &QPushButton::clicked, this, &TWriteMailForm::DelAllAttachBtnClick);
  connect(ui.ListView1, &QTreeWidget::itemSelectionChanged, this,
          [this] { ui.DelAttachBtn->setEnabled(!ui.ListView1->selectedItems().isEmpty()); });
  connect(ui.PicBtn, &QToolButton::clicked, this, &TWriteMailForm::PicBtnClick);
  connect(ui.PicBtn2, &QToolButton::clicked, this, &TWriteMailForm::PicBtnClick);
  connect(ui.ImportBtn, &QPushButton::clicked, this, &TWriteMailForm::ImportBtnClick);
  connect(ui.HTMLImportBtn, &QPushButton::clicked, this, &TWriteMailForm::HTMLImportClick);
  connect(ui.EditBtn, &QPushButton::clicked, this, &TWriteMailForm::EditBtnClick);
  connect(ui.NewsConfigBtn, &QPushButton::clicked, this, &TWriteMailForm::NewsConfigBtnClick);

  connect(ui.RichEdit1, &QTextEdit::cursorPositionChanged, this, &TWriteMailForm::RichEdit1SelectionChange);
  connect(ui.RichEdit1, &QTextEdit::selectionChanged, this, &TWriteMailForm::RichEdit1SelectionChange);
  connect(ui.BoldBtn, &QToolButton::clicked, this, &TWriteMailForm::BoldBtnClick);
  connect(ui.ItalicBtn, &QToolButton::clicked, this, &TWriteMailForm::ItalicBtnClick);
  connect(ui.UnderlineBtn, &QToolButton::clicked, this, &TWriteMailForm::UnderlineBtnClick);
  connect(ui.FColorBtn, &QToolButton::clicked, this, &TWriteMailForm::FColorBtnClick);
  connect(ui.BkColorBtn, &QToolButton::clicked, this, &TWriteMailForm::BkColorBtnClick);
  // A pick from the list, or Enter after typing (the list does not report
  // a typed text it does not hold, nor an empty one).
  connect(ui.FontName, &QComboBox::textActivated, this, &TWriteMailForm::FontNameChange);
  connect(ui.FontName->lineEdit(), &QLineEdit::returnPressed, this, &TWriteMailForm::FontNameChange);
  connect(ui.FontSize, &QComboBox::textActivated, this, &TWriteMailForm::FontSizeChange);
  connect(ui.FontSize->lineEdit(), &QLineEdit::returnPressed, this, &TWriteMailForm::FontSizeChange);
  connect(ui.PLeftBtn, &QToolButton::clicked, this, &TWriteMailForm::PLeftBtnClick);
  connect(ui.PCenterBtn, &QToolButton::clicked, this, &TWriteMailForm::PCenterBtnClick);
  connect(ui.PRightBtn, &QToolButton::clicked, this, &TWriteMailForm::PRightBtnClick);
  connect(ui.NumberingBtn, &QToolButton::clicked, this, &TWriteMailForm::NumberingBtnClick);

  // Bold, italic and underline by key while the design document has the
  // focus; Strg+S anywhere in the window.
  ui.RichEdit1->installEventFilter(this);
  // Tab after the subject's options goes into the text being written.
  ui.BccToCheck->installEventFilter(this);
  auto* save = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_S), this);
  save->setObjectName(QStringLiteral("SaveShortcut"));
  connect(save, &QShortcut::activated, this, [this] { SaveNow(); });

  // The controls start as for a new mail; nothing waits for conversion
  // before the first opening.
  m_state.NewMail({});
  StopTimer();
  // FormCreate: the toolbar follows the (empty) document.
  RichEdit1SelectionChange();
}

void TWriteMailForm::SetUpToolbar() {
  QStringList families = QFontDatabase::families();
  families.sort(Qt::CaseInsensitive);
  ui.FontName->addItems(families);
  for (std::string_view size : kFontSizeEntries) ui.FontSize->addItem(QString::fromLatin1(size.data(), size.size()));
  ui.FontSize->setCurrentIndex(kStartFontSizeEntry);
  ui.PLeftBtn->setIcon(AlignIcon(Qt::AlignLeft));
  ui.PCenterBtn->setIcon(AlignIcon(Qt::AlignHCenter));
  ui.PRightBtn->setIcon(AlignIcon(Qt::AlignRight));
  ui.PLeftBtn->setChecked(true);
  ui.FColorBtn->setIcon(ColorIcon(Qt::red, true));
  ui.BkColorBtn->setIcon(ColorIcon(Qt::yellow, false));
  ui.NumberingBtn->setIcon(BulletIcon());
}

std::string TWriteMailForm::ProgDir() const {
  return m_progDir.empty() ? ResolveProgDir(ProgramFileDir()) : m_progDir;
}

// The dialog hands its settings to the state whenever it closes, so the
// state holds what the commit stores.
void TWriteMailForm::Commit(TMailRecFields& mail) { m_state.Commit(mail, NowDateTime()); }

void TWriteMailForm::RecipientPreviewBtnClick() {
  if (!OnRecipientPreview) return;
  FinishConversion();
  TMailRecFields mail;
  m_state.Commit(mail, NowDateTime());
  OnRecipientPreview(mail);
}

void TWriteMailForm::LoadMail(const TMailRecFields& mail, const std::vector<std::string>& fieldNames) {
  m_state.Load(mail, fieldNames);
  m_designForm->SetDesign(m_state.Design);
}

void TWriteMailForm::InsertAt(TInsertTarget target, const std::string& text) {
  switch (target) {
  case itDocument: InsertIntoEdit(ui.RichEdit1, text); break;
  case itHtmlSource: InsertIntoEdit(ui.Memo1, text); break;
  case itPlainText: InsertIntoEdit(ui.Memo2, text); break;
  case itNone: break;
  }
}

TInsertTarget TWriteMailForm::VisibleTarget(bool picture) const {
  const auto main = static_cast<TMailPage>(ui.PageControl1->currentIndex());
  const auto design = static_cast<TDesignSubPage>(ui.PageControl2->currentIndex());
  const auto html = static_cast<THtmlSubPage>(ui.PageControl3->currentIndex());
  return picture ? TWriteMailState::PictureTarget(main, design, html)
                 : TWriteMailState::InsertTarget(main, design, html);
}

void TWriteMailForm::InsertFieldClick() {
  if (ui.FelderCombo->currentIndex() < 0) return;
  InsertAt(VisibleTarget(false), TWriteMailState::Placeholder(FromQ(ui.FelderCombo->currentText())));
}

void TWriteMailForm::AttachBtnClick() {
  const QStringList files = TEditorDialogs::OpenFiles({{}, {}, true}, this);
  std::vector<std::string> paths;
  for (const QString& f : files) paths.push_back(PathFromQ(f));
  m_state.AttachBtnClick(paths);
}

void TWriteMailForm::DelAttachBtnClick() {
  std::vector<std::size_t> rows;
  for (QTreeWidgetItem* item : ui.ListView1->selectedItems()) {
    rows.push_back(static_cast<std::size_t>(ui.ListView1->indexOfTopLevelItem(item)));
  }
  m_state.DelAttachBtnClick(rows);
  ui.DelAttachBtn->setEnabled(!ui.ListView1->selectedItems().isEmpty());
}

void TWriteMailForm::DelAllAttachBtnClick() {
  m_state.DelAllAttachBtnClick();
  ui.DelAttachBtn->setEnabled(false);
}

void TWriteMailForm::PicBtnClick() {
  const QStringList files = TEditorDialogs::OpenFiles(PictureQuestion(), this);
  if (files.isEmpty()) return;
  InsertAt(VisibleTarget(true), m_state.PicBtnClick(PathFromQ(files.first())));
}

void TWriteMailForm::ImportBtnClick() {
  const QStringList files = TEditorDialogs::OpenFiles(
      {{{QStringLiteral("RTF-Dateien (*.RTF)"), QStringLiteral("*.RTF *.rtf *.Rtf")}}, QStringLiteral("RTF"), false},
      this);
  if (files.isEmpty()) return;
  m_state.ImportBtnClick(PathFromQ(files.first()));
}

void TWriteMailForm::HTMLImportClick() {
  const QStringList files = TEditorDialogs::OpenFiles(
      {{{QStringLiteral("HTML-Dateien (*.htm;*.html)"), QStringLiteral("*.html *.htm *.HTML *.HTM")},
        {QStringLiteral("Alle Dateien (*.*)"), QStringLiteral("*")}},
       QStringLiteral("HTM"),
       false},
      this);
  if (files.isEmpty()) return;
  m_state.HTMLImportClick(PathFromQ(files.first()), [this](int percent) { ui.ProgressBar1->setValue(percent); });
}

void TWriteMailForm::EditBtnClick() { m_state.EditBtnClick(); }

void TWriteMailForm::NewsConfigBtnClick() {
  m_designForm->SetDesign(m_state.Design);
  if (m_designForm->exec() != QDialog::Accepted) return;  // "Abbrechen" keeps the mail's design
  m_state.Design = m_designForm->Design();
  m_state.DesignDialogClosed();
}

void TWriteMailForm::ShowPreview(QTextBrowser* browser, const std::vector<std::string>& html) {
  const std::string path = m_state.WritePreview(html, ProgDir());
  if (path.empty()) return;
  // The file is Windows-1252 and says so nowhere; the browser would take
  // it as UTF-8, so it is read and converted here.
  const std::optional<std::string> bytes = ReadWholeFile(path);
  browser->clear();
  if (!bytes) return;
  ShowPreviewHtml(browser, ToQ(*bytes), QUrl::fromLocalFile(PathToQ(path)));
}

void TWriteMailForm::RichEdit1SelectionChange() {
  if (m_state.ConversionGuard) return;
  const TWriteMailState::TGuard sync(m_state.SyncGuard);
  QTextEdit* rich = ui.RichEdit1;
  // The selection's attributes, or in an empty document the ones typed
  // text will get.
  const TCharFormat source = CharFormatFromQ(rich->currentCharFormat(), rich->document()->defaultFont());
  ui.BoldBtn->setChecked(source.Bold);
  ui.ItalicBtn->setChecked(source.Italic);
  ui.UnderlineBtn->setChecked(source.Underline);
  const int sizeEntry = FontSizeEntry(source.Size);
  if (sizeEntry >= 0) ui.FontSize->setCurrentIndex(sizeEntry);
  ui.FontName->setCurrentText(ToQ(source.Face));
  const QTextCursor cursor = rich->textCursor();
  const Qt::Alignment h = cursor.blockFormat().alignment() & Qt::AlignHorizontal_Mask;
  if (h & Qt::AlignHCenter) {
    ui.PCenterBtn->setChecked(true);
  } else if (h & (Qt::AlignRight | Qt::AlignTrailing)) {
    ui.PRightBtn->setChecked(true);
  } else {
    ui.PLeftBtn->setChecked(true);
  }
  // Also while the document holds text, so the toggle always tells the
  // truth about the caret's paragraph.
  ui.NumberingBtn->setChecked(cursor.currentList() != nullptr);
}

void TWriteMailForm::MergeCurrText(const QTextCharFormat& format) {
  QTextEdit* rich = ui.RichEdit1;
  rich->mergeCurrentCharFormat(format);
  if (rich->document()->isEmpty()) {
    // The empty document's own format, so the first character typed gets
    // it wherever the caret was put.
    QTextCursor c = rich->textCursor();
    c.mergeBlockCharFormat(format);
  }
}

void TWriteMailForm::BoldBtnClick() {
  if (m_state.SyncGuard) return;
  QTextCharFormat f;
  f.setFontWeight(ui.BoldBtn->isChecked() ? QFont::Bold : QFont::Normal);
  MergeCurrText(f);
}

void TWriteMailForm::ItalicBtnClick() {
  if (m_state.SyncGuard) return;
  QTextCharFormat f;
  f.setFontItalic(ui.ItalicBtn->isChecked());
  MergeCurrText(f);
}

void TWriteMailForm::UnderlineBtnClick() {
  if (m_state.SyncGuard) return;
  QTextCharFormat f;
  f.setFontUnderline(ui.UnderlineBtn->isChecked());
  MergeCurrText(f);
}

void TWriteMailForm::FColorBtnClick() {
  if (m_state.SyncGuard) return;
  const TCharFormat current = CharFormatFromQ(ui.RichEdit1->currentCharFormat(), ui.RichEdit1->document()->defaultFont());
  const std::optional<std::uint32_t> color = TEditorDialogs::ChooseColor(current.Color, this);
  if (!color) return;
  QTextCharFormat f;
  f.setForeground(ColorToQ(*color));
  MergeCurrText(f);
}

void TWriteMailForm::FontNameChange() {
  if (m_state.SyncGuard) return;
  const QString face = ui.FontName->currentText().trimmed();
  if (!face.isEmpty()) {
    QTextCharFormat f;
    f.setFontFamilies(QStringList{face});
    MergeCurrText(f);
  }
  ui.RichEdit1->setFocus();
}

void TWriteMailForm::FontSizeChange() {
  if (m_state.SyncGuard) return;
  QTextCharFormat f;
  f.setFontPointSize(FontSizeFromText(FromQ(ui.FontSize->currentText())));
  MergeCurrText(f);
  ui.RichEdit1->setFocus();
}

void TWriteMailForm::SetParagraphAlignment(Qt::Alignment alignment) {
  if (m_state.SyncGuard) return;
  ui.RichEdit1->setAlignment(alignment);
}

void TWriteMailForm::PLeftBtnClick() { SetParagraphAlignment(Qt::AlignLeft | Qt::AlignAbsolute); }
void TWriteMailForm::PCenterBtnClick() { SetParagraphAlignment(Qt::AlignHCenter); }
void TWriteMailForm::PRightBtnClick() { SetParagraphAlignment(Qt::AlignRight | Qt::AlignAbsolute); }

void TWriteMailForm::NumberingBtnClick() {
  if (m_state.SyncGuard) return;
  QTextCursor c = ui.RichEdit1->textCursor();
  if (ui.NumberingBtn->isChecked()) {
    if (!c.currentList()) c.createList(QTextListFormat::ListDisc);
    return;
  }
  // Every paragraph of the selection leaves its list.
  const int begin = c.selectionStart();
  const int end = c.selectionEnd();
  QTextBlock block = ui.RichEdit1->document()->findBlock(begin);
  c.beginEditBlock();
  while (block.isValid() && block.position() <= end) {
    if (QTextList* list = block.textList()) {
      list->remove(block);
      QTextCursor bc(block);
      QTextBlockFormat plain = bc.blockFormat();
      plain.setIndent(0);
      bc.setBlockFormat(plain);
    }
    block = block.next();
  }
  c.endEditBlock();
}

void TWriteMailForm::BkColorBtnClick() {
  // Not held back while the toolbar follows the caret: the background is
  // no attribute of the text.
  const std::optional<std::uint32_t> color = TEditorDialogs::ChooseColor(m_state.DesignColor, this);
  if (!color) return;
  m_state.BackColorChosen(*color);
}

void TWriteMailForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  ui.RecipientPreviewBtn->setVisible(static_cast<bool>(OnRecipientPreview));
  if (const QScreen* screen = this->screen()) {
    // No larger than the screen has room for, frame included.
    const QSize room = ScreenRoom(*screen);
    if (width() > room.width() || height() > room.height()) resize(ShrunkToScreen(size(), *this, *screen));
    move(screen->availableGeometry().center() - rect().center());
  }
  m_state.FormShow();
  StartSpellCheck();
}

void TWriteMailForm::StartSpellCheck() {
  // Loading a dictionary takes a moment, so it happens when the window is
  // first shown, not for every window made.
  if (m_spellStarted) return;
  m_spellStarted = true;
  const std::vector<std::string> installed = TSpellChecker::InstalledDictionaries();
  const std::string name = TSpellChoice::Load(ProgDir(), installed);
  if (!installed.empty()) {
    m_spellBox = new QComboBox(this);
    m_spellBox->setObjectName(QStringLiteral("SpellDictBox"));
    m_spellBox->setToolTip(QStringLiteral("Wörterbuch der Rechtschreibprüfung"));
    m_spellBox->setFocusPolicy(Qt::NoFocus);
    for (const std::string& n : installed) m_spellBox->addItem(QString::fromStdString(n));
    m_spellBox->setCurrentText(QString::fromStdString(name));
    if (auto* row = qobject_cast<QBoxLayout*>(ui.ImportBtn->parentWidget()->layout())) {
      const int at = row->indexOf(ui.ImportBtn);
      if (at >= 0) row->insertWidget(at + 1, m_spellBox);
    }
    connect(m_spellBox, &QComboBox::currentTextChanged, this, [this](const QString& chosen) {
      try {
        TSpellChoice::Save(ProgDir(), chosen.toStdString());
      } catch (const ESaveError& e) {
        Messages().Show(e.what(), "", TMsgButtons::Ok, TMsgIcon::Error);
      }
      UseDictionary(chosen.toStdString());
    });
  }
  UseDictionary(name);
}

void TWriteMailForm::UseDictionary(const std::string& name) {
  for (QObject* h : m_spellHighlighters) delete h;
  m_spellHighlighters.clear();
  static bool told = false;
  try {
    if (name.empty()) throw ESpellError("Es ist kein deutsches W\xF6rterbuch installiert (Paket hunspell-de-de).");
    auto checker = std::make_shared<TSpellChecker>(name, ProgDir() + TSpellChoice::kPersonalListName);
    auto* design = TSpellHighlighter::Attach(ui.RichEdit1, checker);
    auto* plain = TSpellHighlighter::Attach(ui.Memo2, checker);
    auto* subject = TSpellLineChecker::Attach(ui.Edit1, checker);
    m_spellHighlighters = {design, plain, subject};
    // A word added in one place is known in the others at once.
    const auto recheckAll = [design, plain, subject] {
      design->rehighlight();
      plain->rehighlight();
      subject->Recheck();
    };
    connect(design, &TSpellHighlighter::WordAdded, this, recheckAll);
    connect(plain, &TSpellHighlighter::WordAdded, this, recheckAll);
    connect(subject, &TSpellLineChecker::WordAdded, this, recheckAll);
  } catch (const ESpellError& e) {
    if (told) return;
    told = true;
    Messages().Show(std::string(e.what()) + "\nDie Rechtschreibpr\xFC" "fung ist ausgeschaltet.", "", TMsgButtons::Ok,
                    TMsgIcon::Information);
  }
}

// A conversion left pending by a closed window has nothing to update; the
// next opening loads everything anew.
void TWriteMailForm::hideEvent(QHideEvent* event) {
  Timer1->stop();
  QDialog::hideEvent(event);
}

// Targets that no List-Unsubscribe header could carry are not stored: the
// window stays open on them.
bool TWriteMailForm::UnsubscribeAcceptable() {
  const std::string bad = CheckUnsubscribeText(Unsubscribe());
  if (bad.empty()) return true;
  ShowError(bad);
  ui.UnsubscribeEd->setFocus();
  return false;
}

void TWriteMailForm::FinishConversion() {
  if (TimerActive()) m_state.TimerFired();
}

bool TWriteMailForm::SaveNow() {
  if (!OnSave || !UnsubscribeAcceptable()) return false;
  FinishConversion();
  OnSave();
  m_state.Saved();
  return true;
}

bool TWriteMailForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == ui.BccToCheck && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    QWidget* texts[] = {nullptr, ui.RichEdit1, ui.Memo1, ui.Memo2};  // TInsertTarget order
    QWidget* text = texts[VisibleTarget(false)];
    if (key->key() == Qt::Key_Tab && !(key->modifiers() & ~Qt::KeypadModifier) && text) {
      text->setFocus(Qt::TabFocusReason);
      return true;
    }
  }
  if (watched == ui.RichEdit1 && (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride)) {
    const auto* key = static_cast<QKeyEvent*>(event);
    const Qt::KeyboardModifiers mods = key->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier);
    for (const TFormatKey& k : kFormatKeys) {
      const Qt::KeyboardModifiers wanted = Qt::ControlModifier | (k.Shift ? Qt::ShiftModifier : Qt::NoModifier);
      if (key->key() != Qt::Key_A + (k.Letter - 'A') || mods != wanted) continue;
      // The text edit would take some of these keys for its own (Strg+K
      // deletes to the end of the line on some desktops): the toggle wins.
      event->accept();
      if (event->type() == QEvent::KeyPress) {
        QToolButton* buttons[] = {ui.BoldBtn, ui.ItalicBtn, ui.UnderlineBtn};
        buttons[k.Toggle]->click();
      }
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void TWriteMailForm::reject() {
  switch (m_state.CloseQuery()) {
  case TMsgResult::Yes:
    if (!UnsubscribeAcceptable()) break;
    accept();
    break;
  case TMsgResult::No: QDialog::reject(); break;
  default: break; // Cancel: the window stays open
  }
}

void TWriteMailForm::SpeedButton1Click() {
  m_state.SpeedButton1Click();
  close();
}

std::string TWriteMailForm::Subject() const { return FromQ(ui.Edit1->text()); }

void TWriteMailForm::SetSubject(const std::string& subject) { ui.Edit1->setText(ToQ(subject)); }

std::string TWriteMailForm::Unsubscribe() const { return FromQ(ui.UnsubscribeEd->text()); }

void TWriteMailForm::SetUnsubscribe(const std::string& targets) { ui.UnsubscribeEd->setText(ToQ(targets)); }

bool TWriteMailForm::MergeSubject() const { return ui.MergeSubjectCheck->isChecked(); }

void TWriteMailForm::SetMergeSubject(bool merge) { ui.MergeSubjectCheck->setChecked(merge); }

bool TWriteMailForm::BccToLine() const { return ui.BccToCheck->isChecked(); }

void TWriteMailForm::SetBccToLine(bool on) { ui.BccToCheck->setChecked(on); }

TDesignDocument TWriteMailForm::Document() const { return DesignFromQt(*ui.RichEdit1->document()); }

void TWriteMailForm::SetDocument(const TDesignDocument& doc) {
  DesignToQt(doc, *ui.RichEdit1->document());
  ui.RichEdit1->moveCursor(QTextCursor::Start);
  SetDocumentBackColor(doc.BackColor);
}

void TWriteMailForm::SetDocumentBackColor(std::uint32_t color) {
  QPalette pal = ui.RichEdit1->palette();
  pal.setColor(QPalette::Base, ColorToQ(color));
  ui.RichEdit1->setPalette(pal);
}

std::vector<std::string> TWriteMailForm::GeneratedHtml() const { return MemoLines(ui.Memo3); }
void TWriteMailForm::SetGeneratedHtml(const std::vector<std::string>& lines) { SetMemoLines(ui.Memo3, lines); }
std::vector<std::string> TWriteMailForm::HtmlSource() const { return MemoLines(ui.Memo1); }
void TWriteMailForm::SetHtmlSource(const std::vector<std::string>& lines) { SetMemoLines(ui.Memo1, lines); }
std::vector<std::string> TWriteMailForm::PlainText() const { return MemoLines(ui.Memo2); }
void TWriteMailForm::SetPlainText(const std::vector<std::string>& lines) { SetMemoLines(ui.Memo2, lines); }

void TWriteMailForm::ShowMailType(int mailType, bool autoText, const TMailPages& pages) {
  {
    const QSignalBlocker b1(ui.MailTyp1), b2(ui.MailTyp2), b3(ui.MailTyp3), b4(ui.AutoCreateCheck);
    QRadioButton* buttons[] = {ui.MailTyp1, ui.MailTyp2, ui.MailTyp3};
    buttons[mailType >= 0 && mailType <= 2 ? mailType : 2]->setChecked(true);
    ui.AutoCreateCheck->setChecked(autoText);
    ui.AutoCreateCheck->setEnabled(pages.AutoTextEnabled);
  }
  // A page hidden while it is the current one hands over to a shown one;
  // that change is the program's, not the user's, and starts nothing.
  const QSignalBlocker block(ui.PageControl1);
  const bool shown[] = {pages.Design, pages.Html, pages.Text};
  for (int k = 0; k < 3; ++k) {
    if (shown[k]) ui.PageControl1->setTabVisible(k, true);
  }
  for (int k = 0; k < 3; ++k) {
    if (!shown[k]) ui.PageControl1->setTabVisible(k, false);
  }
  if (!shown[ui.PageControl1->currentIndex()]) {
    for (int k = 0; k < 3; ++k) {
      if (shown[k]) {
        ui.PageControl1->setCurrentIndex(k);
        break;
      }
    }
  }
}

void TWriteMailForm::ShowNewsDesign(bool newsDesign) {
  const QSignalBlocker b1(ui.NewsCheck), b2(ui.NormalCheck);
  (newsDesign ? ui.NewsCheck : ui.NormalCheck)->setChecked(true);
}

void TWriteMailForm::ShowAttachments(const std::vector<TAttachRec>& rows) {
  ui.ListView1->clear();
  QList<QTreeWidgetItem*> items;
  for (const TAttachRec& a : rows) {
    items.append(new QTreeWidgetItem(QStringList{PathToQ(a.FileName), ToQ(a.ContentId)}));
  }
  ui.ListView1->addTopLevelItems(items);
}

void TWriteMailForm::ShowFields(const std::vector<std::string>& names) {
  ui.FelderCombo->clear();
  for (const std::string& name : names) ui.FelderCombo->addItem(ToQ(name));
  if (!names.empty()) ui.FelderCombo->setCurrentIndex(0);
}

void TWriteMailForm::SelectPages(TMailPage main, TDesignSubPage design, THtmlSubPage html) {
  const QSignalBlocker b1(ui.PageControl1), b2(ui.PageControl2), b3(ui.PageControl3);
  ui.PageControl1->setCurrentIndex(main);
  ui.PageControl2->setCurrentIndex(design);
  ui.PageControl3->setCurrentIndex(html);
}

void TWriteMailForm::FocusSubject() { ui.Edit1->setFocus(); }

void TWriteMailForm::StartTimer() { Timer1->start(); }
void TWriteMailForm::StopTimer() { Timer1->stop(); }
bool TWriteMailForm::TimerActive() const { return Timer1->isActive(); }

} // namespace postello
