#include "TWriteMailForm.h"

#include "QtDesignDocument.h"
#include "QtText.h"

#include "core/StoredDateTime.h"
#include "editor/MemoText.h"

#include <QPlainTextEdit>
#include <QScreen>
#include <QSignalBlocker>
#include <QStyle>
#include <QTextDocument>

namespace postello {
namespace {

constexpr int kConversionPause = 1000; // ms of typing pause before the HTML is rebuilt

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

  // The controls start as for a new mail; nothing waits for conversion
  // before the first opening.
  m_state.NewMail({});
  StopTimer();
}

void TWriteMailForm::Commit(TMailRecFields& mail) { m_state.Commit(mail, NowDateTime()); }

void TWriteMailForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (const QScreen* screen = this->screen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
  m_state.FormShow();
}

// A conversion left pending by a closed window has nothing to update; the
// next opening loads everything anew.
void TWriteMailForm::hideEvent(QHideEvent* event) {
  Timer1->stop();
  QDialog::hideEvent(event);
}

void TWriteMailForm::reject() {
  switch (m_state.CloseQuery()) {
  case TMsgResult::Yes: accept(); break;
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
