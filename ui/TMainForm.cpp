#include "TMainForm.h"

#include "QtText.h"
#include "ScreenRoom.h"
#include "TAboutBox.h"
#include "TAddressGrid.h"
#include "TBlockListForm.h"
#include "TBouncesForm.h"
#include "TDbfTableModel.h"
#include "TEditKontenForm.h"
#include "TPreSendCheckForm.h"
#include "TSendJournalPanel.h"
#include "TRecipientPreviewForm.h"
#include "TWriteMailForm.h"

#include "addressdb/AddressDb.h"
#include "core/ProgramVersion.h"
#include "core/StoredDateTime.h"
#include "send/PreSendCheck.h"
#include "send/RunLogLine.h"
#include "imap/TImapMailbox.h"
#include "send/ReplyMailboxLogin.h"
#include "send/TBlockList.h"
#include "send/TBounceReading.h"
#include "send/TReadOnlyTrust.h"
#include "send/TSendPool.h"
#include "send/TSpamCheckJob.h"
#include "smtp/TStoredServerTrust.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QColor>
#include <memory>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>
#include <QStyle>
#include <algorithm>
#include <optional>
#include <thread>

namespace postello {
namespace {
constexpr int kSendPage = 3;
// The starting size of the window: the send page then shows more than
// kMinRecipientRows rows of its list, and every box in full.
constexpr int kStartWidth = 760;
constexpr int kStartHeight = 700;
constexpr int kMinRecipientRows = 6;
constexpr int kMinLogLines = 3;
// Pictures of the pages' side panels, all drawn at this size.
constexpr int kPictureSize = 48;

// A standard icon drawn at exactly size x size: some styles hold a
// smaller picture for some icons and would hand that out unscaled.
QPixmap PictureOf(const QIcon& icon, int size) {
  QPixmap pixmap = icon.pixmap(size, size);
  if (pixmap.isNull() || pixmap.deviceIndependentSize().toSize() == QSize(size, size)) return pixmap;
  const qreal ratio = pixmap.devicePixelRatio();
  pixmap = pixmap.scaled(QSize(size, size) * ratio, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  pixmap.setDevicePixelRatio(ratio);
  return pixmap;
}
}

TMainForm::TMainForm(TMainState& state, QWidget* parent)
    : QMainWindow(parent), m_state(state), m_run(state.Msg, state.Table1) {
  ui.setupUi(this);
  setWindowTitle(QStringLiteral("Omvex Postello %1").arg(QLatin1String(kProgramVersion)));
  // Two sunken panels, on which the program shows nothing.
  for (int k = 0; k < 2; ++k) {
    m_statusPanels[k] = new QLabel(this);
    m_statusPanels[k]->setObjectName(QStringLiteral("StatusPanel%1").arg(k));
    m_statusPanels[k]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_statusPanels[k]->setFixedWidth(k == 0 ? 250 : 50);
    ui.StatusBar1->addWidget(m_statusPanels[k]);
  }
  ui.StatusBar1->setSizeGripEnabled(true);

  // Page decoration: bold instructions, large titles, pictures.
  const QStyle::StandardPixmap pictures[] = {QStyle::SP_DriveHDIcon, QStyle::SP_FileDialogContentsView,
                                             QStyle::SP_DirHomeIcon, QStyle::SP_ArrowForward};
  QLabel* headers[] = {ui.HeaderLabel1, ui.HeaderLabel2, ui.HeaderLabel3, ui.HeaderLabel4};
  QLabel* titles[] = {ui.TitleLabel1, ui.TitleLabel2, ui.TitleLabel3, ui.TitleLabel4};
  QLabel* images[] = {ui.Image1, ui.Image2, ui.Image3, ui.Image4};
  for (int k = 0; k < 4; ++k) {
    QFont bold = headers[k]->font();
    bold.setBold(true);
    headers[k]->setFont(bold);
    QFont big = titles[k]->font();
    big.setPointSize(big.pointSize() + 3);
    big.setBold(true);
    titles[k]->setFont(big);
    titles[k]->setMaximumWidth(110);
    const QIcon icon = style()->standardIcon(pictures[k]);
    images[k]->setPixmap(PictureOf(icon, kPictureSize));
    images[k]->setMinimumSize(kPictureSize, kPictureSize);
    ui.PageControl2->setTabIcon(k, icon);
  }
  ui.PageControl2->tabBar()->setAttribute(Qt::WA_Hover);
  // The side panels are equally wide, so the pages' contents do not jump
  // sideways when the tab changes.
  QFrame* sides[] = {ui.SidePanel1, ui.SidePanel2, ui.SidePanel3, ui.SidePanel4};
  int sideWidth = 0;
  for (QFrame* side : sides) sideWidth = std::max(sideWidth, side->sizeHint().width());
  for (QFrame* side : sides) side->setFixedWidth(sideWidth);

  const int chars = fontMetrics().averageCharWidth();
  ui.ListView1->setColumnWidth(0, 18);
  ui.ListView1->setColumnWidth(1, 40 * chars);
  ui.ListView1->setColumnWidth(2, 20 * chars);
  ui.ListView2->setColumnWidth(0, 22 * chars);
  ui.ListView2->setColumnWidth(1, 30 * chars);
  ui.ListView2->setColumnWidth(2, 24 * chars);
  ui.ListView3->setColumnWidth(0, 50 * chars);
  ui.RichEdit1->setPlainText(QString::fromUtf8("Keine Nachricht ausgewählt."));

  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName("PopupMenu1");
  ffnen1 = PopupMenu1->addAction(QString::fromUtf8("Öffnen"));
  ffnen1->setObjectName("ffnen1");
  Lschen1 = PopupMenu1->addAction(QString::fromUtf8("Löschen"));
  Lschen1->setObjectName("Lschen1");
  connect(ffnen1, &QAction::triggered, this, [this] { ListView1DblClick(); });
  connect(Lschen1, &QAction::triggered, this, &TMainForm::DelBtnClick);
  ui.ListView1->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(ui.ListView1, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
    if (!ui.ListView1->selectedItems().isEmpty()) PopupMenu1->popup(ui.ListView1->viewport()->mapToGlobal(pos));
  });

  connect(ui.PageControl2, &QTabWidget::currentChanged, this, &TMainForm::PageControl2Change);
  connect(ui.ListView1, &QTreeWidget::itemSelectionChanged, this, &TMainForm::ListView1Change);
  connect(ui.ListView1, &QTreeWidget::itemDoubleClicked, this, [this] { ListView1DblClick(); });
  connect(ui.DelBtn, &QPushButton::clicked, this, &TMainForm::DelBtnClick);
  connect(ui.NewBtn, &QPushButton::clicked, this, &TMainForm::NewBtnClick);
  connect(ui.ListView2, &QTreeWidget::itemSelectionChanged, this, &TMainForm::ListView2Change);
  connect(ui.ListView2, &QTreeWidget::itemDoubleClicked, this, &TMainForm::EditKontoBtnClick);
  connect(ui.NewKontoBtn, &QPushButton::clicked, this, &TMainForm::NewKontoBtnClick);
  connect(ui.EditKontoBtn, &QPushButton::clicked, this, &TMainForm::EditKontoBtnClick);
  connect(ui.DelKontoBtn, &QPushButton::clicked, this, &TMainForm::DelKontoBtnClick);
  connect(ui.AboutBtn, &QPushButton::clicked, this, &TMainForm::AboutBtnClick);
  connect(ui.QuitBtn, &QPushButton::clicked, this, &QWidget::close);
  connect(ui.FilenameEdit1, &QLineEdit::editingFinished, this, &TMainForm::FilenameEdit1Change);
  connect(ui.FilenameEdit1Btn, &QToolButton::clicked, this, &TMainForm::FilenameEdit1Browse);
  connect(ui.MailFieldEd, &QSpinBox::valueChanged, this, &TMainForm::MailFieldEdChange);
  connect(ui.InfoAnzEd, &QSpinBox::valueChanged, this, &TMainForm::MailFieldEdChange);
  connect(ui.bccCountEd, &QSpinBox::valueChanged, this, &TMainForm::bccCountEdChange);
  connect(ui.PersonalCheck, &QRadioButton::clicked, this, &TMainForm::PersonalCheckClick);
  connect(ui.bccCheck, &QRadioButton::clicked, this, &TMainForm::bccCheckClick);
  connect(ui.AbsenderCombo, &QComboBox::currentIndexChanged, this, &TMainForm::AbsenderComboChange);

  m_grid = new TAddressGrid(ui.DBGrid2, m_state.Table1, this);
  connect(ui.NewDBBtn, &QPushButton::clicked, this, &TMainForm::Button1Click);
  connect(ui.FilterBtn, &QPushButton::clicked, this, &TMainForm::FilterBtnClick);
  connect(ui.ImportBtn, &QPushButton::clicked, this, &TMainForm::ImportBtnClick);
  connect(ui.SperrlisteBtn, &QPushButton::clicked, this, &TMainForm::SperrlisteBtnClick);
  connect(ui.BouncesBtn, &QPushButton::clicked, this, &TMainForm::BouncesBtnClick);
  connect(ui.NewDBFromFileBtn, &QPushButton::clicked, this, &TMainForm::NewDBFromFileBtnClick);
  connect(ui.ExportBtn, &QPushButton::clicked, this, &TMainForm::ExportBtnClick);
  connect(ui.FilterEd, &QLineEdit::textChanged, this, [this](const QString& text) { m_state.FilterText = FromQ(text); });
  // Enter in the filter box does what "Filtern..." does.
  connect(ui.FilterEd, &QLineEdit::returnPressed, this, &TMainForm::FilterBtnClick);
  QToolButton* nav[] = {ui.NavFirst, ui.NavPrior, ui.NavNext, ui.NavLast, ui.NavInsert,
                        ui.NavDelete, ui.NavEdit, ui.NavPost, ui.NavCancel, ui.NavRefresh};
  // The icons of the desktop's theme, else the style's own; the German
  // tooltips of the form name each button.
  const struct {
    const char* theme;      // freedesktop name (KDE's first where the desktops differ)
    const char* otherTheme; // GNOME's name, or nullptr
    QStyle::StandardPixmap fallback;
  } navIcons[] = {
      {"go-first", nullptr, QStyle::SP_MediaSkipBackward},
      {"go-previous", nullptr, QStyle::SP_ArrowLeft},
      {"go-next", nullptr, QStyle::SP_ArrowRight},
      {"go-last", nullptr, QStyle::SP_MediaSkipForward},
      {"list-add", nullptr, QStyle::SP_FileDialogNewFolder},
      {"list-remove", nullptr, QStyle::SP_TrashIcon},
      {"document-edit", nullptr, QStyle::SP_FileDialogDetailedView},
      {"dialog-ok-apply", "object-select", QStyle::SP_DialogApplyButton},
      {"dialog-cancel", "process-stop", QStyle::SP_DialogCancelButton},
      {"view-refresh", nullptr, QStyle::SP_BrowserReload},
  };
  for (int k = 0; k < 10; ++k) {
    QIcon icon = style()->standardIcon(navIcons[k].fallback);
    if (navIcons[k].otherTheme) icon = QIcon::fromTheme(QString::fromLatin1(navIcons[k].otherTheme), icon);
    nav[k]->setIcon(QIcon::fromTheme(QString::fromLatin1(navIcons[k].theme), icon));
    nav[k]->setToolButtonStyle(Qt::ToolButtonIconOnly);
    nav[k]->setAutoRaise(false);
  }
  for (int k = 0; k < 10; ++k) {
    connect(nav[k], &QToolButton::clicked, this, [this, k] { NavigatorClick(k); });
  }
  m_grid->SetNavigator({nav[0], nav[1], nav[2], nav[3], nav[4], nav[5], nav[6], nav[7], nav[8], nav[9]});

  connect(ui.SendBtn, &QPushButton::clicked, this, &TMainForm::SendBtnClick);
  connect(ui.RecipientPreviewBtn, &QPushButton::clicked, this, [this] {
    const int index = ui.MailCombo->currentIndex();
    if (index >= 0 && static_cast<std::uint32_t>(index) < m_state.Mails.Count())
      ShowRecipientPreview(m_state.Mails[static_cast<std::uint32_t>(index)]);
  });
  // The journal's part of the send page, between the status and the log.
  m_journalPanel = new TSendJournalPanel(m_state, ui.TabSheet4);
  ui.vl16->insertWidget(ui.vl16->indexOf(ui.ErrorLog), m_journalPanel);
  // The panel's room comes out of the log, not out of the recipient list.
  ui.ListView3->setMinimumHeight(ui.ListView3->fontMetrics().height() * 7);
  ui.ErrorLog->setMinimumHeight(ui.ErrorLog->fontMetrics().height() * 3);
  m_journalPanel->MailIndex = [this] { return ui.MailCombo->currentIndex(); };
  m_journalPanel->KontoIndex = [this] { return ui.AbsenderCombo->currentIndex(); };
  m_journalPanel->Recipients = [this]() -> const TRecipientList& { return m_recipients; };
  m_journalPanel->CurrentRow = [this] {
    const std::vector<int> rows = SelectedRows(ui.ListView3);
    return rows.empty() ? -1 : rows.front();
  };
  m_journalPanel->Send = [this](const TSendChoice& choice) { SendChoice(choice); };
  connect(ui.MailCombo, &QComboBox::currentIndexChanged, m_journalPanel, &TSendJournalPanel::ShowState);
  connect(ui.MailCombo, &QComboBox::currentIndexChanged, this, [this](int index) { m_state.SendMailIndex = index; });
  connect(ui.AbsenderCombo, &QComboBox::currentIndexChanged, m_journalPanel, &TSendJournalPanel::ShowState);
  connect(ui.AbsenderCombo, &QComboBox::currentIndexChanged, this, [this] {
    m_probedServer.clear();
    ProbeChosenServer();
  });
  QPalette logPalette = ui.ErrorLog->palette();
  logPalette.setColor(QPalette::Base, logPalette.color(QPalette::ToolTipBase));
  logPalette.setColor(QPalette::Text, logPalette.color(QPalette::ToolTipText));
  ui.ErrorLog->setPalette(logPalette);
  ui.ErrorLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  m_run.OnIdle = [] { QApplication::processEvents(QEventLoop::AllEvents); };
  m_run.OnErrorLog = [this](const std::string& line) { ui.ErrorLog->appendPlainText(ToQ(line)); };
  m_run.OnProgress = [this] { ShowRunProgress(); };

  // The recipient list keeps six rows in sight and the error log three
  // lines; the window cannot be made smaller than that, and it starts a
  // little larger, centred on the screen.
  {
    auto* probe = new QTreeWidgetItem(ui.ListView3, QStringList{QStringLiteral("x@example.org")});
    const int row = std::max(ui.ListView3->sizeHintForRow(0), ui.ListView3->fontMetrics().height());
    delete probe;
    const int frame = 2 * ui.ListView3->frameWidth();
    ui.ListView3->setMinimumHeight(ui.ListView3->header()->sizeHint().height() + kMinRecipientRows * row + frame);
    const int lines = kMinLogLines * ui.ErrorLog->fontMetrics().lineSpacing();
    ui.ErrorLog->setMinimumHeight(lines + 2 * ui.ErrorLog->frameWidth() +
                                  2 * static_cast<int>(ui.ErrorLog->document()->documentMargin()));
  }
  // The send page holds the most; on a small screen (800 x 600) it scrolls
  // instead of making the whole window taller than the screen.
  {
    ui.hl37->removeItem(ui.vl16);
    ui.vl16->setParent(nullptr);
    auto* content = new QWidget;
    content->setObjectName(QStringLiteral("SendPageContent"));
    content->setLayout(ui.vl16);
    ui.vl16->setContentsMargins(0, 0, 0, 0);  // as it had inside the page's layout
    auto* scroll = new QScrollArea(ui.TabSheet4);
    scroll->setObjectName(QStringLiteral("SendPageScroll"));
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidget(content);
    scroll->setMinimumWidth(content->minimumSizeHint().width());
    ui.hl37->addWidget(scroll, 1);
  }
  // The starting size, or less on a screen that has not the room (with a
  // frame of up to kFrameRoom around the window).
  QSize start = QSize(kStartWidth, kStartHeight).expandedTo(minimumSizeHint());
  if (const QScreen* screen = this->screen()) {
    start = ShrunkToScreen(start, *this, *screen);
  }
  resize(start);
  if (const QScreen* screen = this->screen()) {
    move(screen->availableGeometry().center() - rect().center());
  }

  ui.ListView1->installEventFilter(this);
  ui.ListView2->installEventFilter(this);
  ui.RichEdit1->installEventFilter(this);
  SetPreviewHeaderFocused(false);
}

TMainForm::~TMainForm() {
  m_probeCancel = true;
  if (m_probe.joinable()) m_probe.join();
  // Text still in a cell editor belongs to the record posted at shutdown.
  m_grid->CommitEditor();
  m_state.FormDestroy();
}

void TMainForm::FormCreate(const std::string& progDir) {
  m_state.FormCreate(progDir);
  ShowOptions();
  ShowTable();
  ListMails();
  ListKonten();
  PageControl2Change();
}

// The loaded settings go into their controls without running the change
// handlers: loading must not write options.dat.
void TMainForm::ShowOptions() {
  const QSignalBlocker b1(ui.MailFieldEd), b2(ui.bccCountEd), b3(ui.bccCheck), b4(ui.PersonalCheck),
      b5(ui.FilenameEdit1);
  ui.FilenameEdit1->setText(PathToQ(m_state.Options.DatabaseFile));
  ui.MailFieldEd->setValue(m_state.Options.MailField);
  ui.bccCountEd->setValue(m_state.Options.BccCount);
  if (m_state.Options.Bcc) {
    ui.bccCheck->setChecked(true);
  } else {
    ui.PersonalCheck->setChecked(true);
  }
}

void TMainForm::ListMails() {
  const QSignalBlocker block(ui.ListView1);
  ui.ListView1->clear();
  QList<QTreeWidgetItem*> rows;
  rows.reserve(static_cast<int>(m_state.Mails.Count()));
  for (const TMailRec& m : m_state.Mails) {
    rows.append(new QTreeWidgetItem(QStringList{QString(), ToQ(m.Subject), ToQ(DateTimeToText(m.Date))}));
  }
  ui.ListView1->addTopLevelItems(rows);
  WidenColumnsToContents(ui.ListView1);
  ListView1Change();
}

void TMainForm::ListKonten() {
  const QSignalBlocker block(ui.ListView2);
  ui.ListView2->clear();
  for (const TKontoRec& k : m_state.Konten) {
    ui.ListView2->addTopLevelItem(new QTreeWidgetItem(QStringList{ToQ(k.Absender), ToQ(k.Email), ToQ(k.Server)}));
  }
  WidenColumnsToContents(ui.ListView2);
  ListView2Change();
}

// A column is widened (never narrowed, so the user's widths stay) until
// its longest text fits, up to half the window; the last column takes
// the rest anyway.
void TMainForm::WidenColumnsToContents(QTreeWidget* list) {
  const int limit = std::max(list->viewport()->width(), width()) / 2;
  const QFontMetrics metrics(list->font());
  for (int c = 0; c + 1 < list->columnCount(); ++c) {
    int longest = 0;
    for (int r = 0; r < list->topLevelItemCount(); ++r)
      longest = std::max(longest, metrics.horizontalAdvance(list->topLevelItem(r)->text(c)));
    const int needed = std::min(longest + 16, limit);
    if (needed > list->columnWidth(c)) list->setColumnWidth(c, needed);
  }
}

std::vector<int> TMainForm::SelectedRows(const QTreeWidget* list) {
  std::vector<int> rows;
  for (QTreeWidgetItem* item : list->selectedItems()) rows.push_back(list->indexOfTopLevelItem(item));
  std::sort(rows.begin(), rows.end());
  return rows;
}

void TMainForm::PageControl2Change() {
  if (ui.PageControl2->currentIndex() != kSendPage) return;
  m_grid->CommitEditor();
  ui.ListView3->setUpdatesEnabled(false);
  ui.ListView3->clear();
  m_skipped.clear();
  m_recipients = ReadRecipientList(m_state.Table1, m_state.Options.MailField, &m_skipped);
  // The list leaves the table on its last record; the grid shows that.
  m_grid->Sync();
  QList<QTreeWidgetItem*> rows;
  rows.reserve(static_cast<int>(m_recipients.size()));
  const TBlockList blockList = BlockListOrEmpty();
  int blocked = 0;
  for (const TRecipientRow& row : m_recipients) {
    rows.append(new QTreeWidgetItem(QStringList{ToQ(row.Address)}));
    if (blockList.Size() > 0 && blockList.Contains(row.Address)) {
      rows.back()->setForeground(0, QColor(Qt::gray));
      ++blocked;
    }
  }
  ui.ListView3->addTopLevelItems(rows);
  ui.ListView3->setUpdatesEnabled(true);
  // The filter of the address page thins this list and the block list
  // skips some of it: its title says so.
  std::string title = "eMail-Adresse";
  if (const std::string filterNote = FilterNote(m_state.FilterText); !filterNote.empty()) title += " \x96 " + filterNote;
  if (blocked > 0) title += " \x96 " + BlockedNote(blocked);
  ui.ListView3->headerItem()->setText(0, ToQ(title));
  {
    const QSignalBlocker block(ui.AbsenderCombo);
    ui.AbsenderCombo->clear();
    for (const TKontoRec& k : m_state.Konten) ui.AbsenderCombo->addItem(ToQ(k.Absender + " " + k.Email));
    const int index = m_state.Options.KontoIndex;
    ui.AbsenderCombo->setCurrentIndex(index >= 0 && index < ui.AbsenderCombo->count() ? index : 0);
  }
  ShowBouncesBtn();
  {
    // The journal panel reads the chosen mail's journal once, below.
    const QSignalBlocker block(ui.MailCombo);
    ui.MailCombo->clear();
    for (const TMailRec& m : m_state.Mails) ui.MailCombo->addItem(ToQ(m.Subject + " " + DateTimeToText(m.Date)));
    ui.MailCombo->setCurrentIndex(m_state.ChosenSendMail());
  }
  m_journalPanel->ShowState();
  m_probedServer.clear();  // a server that could not be reached is asked again
  ProbeChosenServer();
}

void TMainForm::ListView1Change() {
  const std::vector<int> rows = SelectedRows(ui.ListView1);
  ui.DelBtn->setEnabled(!rows.empty());
  if (!rows.empty()) {
    const TMailRec* m = m_state.Mails.Select(rows.front());
    ui.Label9Betreff->setText(ToQ(m->Subject));
    ui.RichEdit1->setPlainText(ToQ(m->PlainText));
  } else {
    ui.Label9Betreff->clear();
    ui.RichEdit1->setPlainText(QString::fromUtf8("Keine Nachricht ausgewählt."));
  }
}

void TMainForm::DelBtnClick() {
  if (m_state.DeleteMails(SelectedRows(ui.ListView1))) ListMails();
}

std::vector<std::string> TMainForm::FieldNames() const {
  if (!m_state.Table1.Active()) return {};
  return FieldNamesOf(m_state.Table1);
}

void TMainForm::NewBtnClick() {
  if (!m_writeMail) return;
  m_writeMail->NewMail(FieldNames());
  EditMail(-1);
}

void TMainForm::ListView1DblClick() {
  const std::vector<int> rows = SelectedRows(ui.ListView1);
  if (rows.empty() || !m_writeMail) return;
  m_writeMail->LoadMail(*m_state.Mails.Select(rows.front()), FieldNames());
  EditMail(rows.front());
}

void TMainForm::SetWriteMailForm(TWriteMailForm* form) {
  m_writeMail = form;
  if (form) form->OnRecipientPreview = [this](const TMailRecFields& mail) { ShowRecipientPreview(mail); };
}

void TMainForm::ShowRecipientPreview(const TMailRecFields& mail) {
  m_grid->CommitEditor();
  TRecipientPreviewForm form(mail, m_state.Table1, ReadRecipientList(m_state.Table1, m_state.Options.MailField),
                             QApplication::activeWindow() ? QApplication::activeWindow() : this);
  form.exec();
  // The preview moved the table from record to record.
  m_grid->Sync();
}

void TMainForm::EditMail(int row) {
  // Each save (Strg+S, or Yes on closing) writes the same record: a new
  // mail is added by its first save, a stored one is changed in place and
  // keeps its row.
  const auto save = [this, &row] {
    if (row < 0) {
      m_state.Mails.Add();
      row = static_cast<int>(m_state.Mails.Count()) - 1;
      m_state.MailAdded(row);
    }
    m_writeMail->Commit(*m_state.Mails.Select(row));
    ListMails();
    m_state.SaveMails();
  };
  m_writeMail->OnSave = save;
  const bool accepted = m_writeMail->exec() == QDialog::Accepted;
  m_writeMail->OnSave = nullptr;
  if (accepted) save();
}

void TMainForm::ListView2Change() {
  const bool any = !ui.ListView2->selectedItems().isEmpty();
  ui.EditKontoBtn->setEnabled(any);
  ui.DelKontoBtn->setEnabled(any);
}

void TMainForm::NewKontoBtnClick() {
  if (!m_editKonten) return;
  m_editKonten->SetFields(TKontoRec{});
  if (m_editKonten->exec() != QDialog::Accepted) return;
  m_state.AddKonto(m_editKonten->Fields());
  ListKonten();
}

void TMainForm::EditKontoBtnClick() {
  const std::vector<int> rows = SelectedRows(ui.ListView2);
  if (rows.empty() || !m_editKonten) return;
  m_editKonten->SetFields(m_state.KontoForEdit(rows.front()));
  if (m_editKonten->exec() != QDialog::Accepted) return;
  m_state.ReplaceKonto(rows.front(), m_editKonten->Fields());
  ListKonten();
}

void TMainForm::DelKontoBtnClick() {
  if (m_state.DeleteKonten(SelectedRows(ui.ListView2))) ListKonten();
}

void TMainForm::AboutBtnClick() {
  TAboutBox box(this);
  box.exec();
}

// Runs when the user has finished the name (Enter, leaving the box, or a
// choice in the dialog), not on every keystroke: each intermediate name
// would otherwise become a stray table file.
void TMainForm::FilenameEdit1Change() {
  const std::string path = PathFromQ(ui.FilenameEdit1->text().trimmed());
  if (path.empty()) return;
  if (path == m_state.Options.DatabaseFile && m_state.Table1.Active()) return;
  m_grid->CommitEditor();
  m_state.OpenDatabaseFile(path, false);
  ShowTable();
}

void TMainForm::ShowTable() {
  m_grid->Reload();
  // Importing needs a table to append to, exporting one to read.
  ui.ImportBtn->setEnabled(m_state.Table1.Active());
  // The open table tells how many info fields it has; showing that writes nothing.
  if (m_state.Table1.Active()) {
    const QSignalBlocker block(ui.InfoAnzEd);
    ui.InfoAnzEd->setValue(InfoFieldCount(m_state.Table1));
  }
  ui.ExportBtn->setEnabled(m_state.Table1.Active());
  ShowBlocked();
}

TBlockList TMainForm::BlockListOrEmpty() const {
  try {
    return TBlockList::Load(m_state.ProgDir);
  } catch (const EBlockListError&) {
    // A list that cannot be read is reported when a run or the dialog
    // needs it; until then nobody is greyed.
    return {};
  }
}

void TMainForm::ShowBlocked() {
  const auto list = std::make_shared<const TBlockList>(BlockListOrEmpty());
  if (list->Size() == 0) {
    m_grid->Model()->SetGreyed({}, -1);
    return;
  }
  m_grid->Model()->SetGreyed([list](const std::string& a) { return list->Contains(a); },
                             static_cast<int>(m_state.Options.MailField));
}

void TMainForm::SperrlisteBtnClick() {
  m_grid->CommitEditor();
  TBlockListForm form(m_state.ProgDir, this);
  if (!form.Load()) return;
  form.exec();
  ShowBlocked();
}

void TMainForm::Button1Click() {
  if (m_state.NewDatabase(ui.InfoAnzEd->value())) ShowTable();
}

void TMainForm::FilterBtnClick() {
  m_grid->CommitEditor();
  m_state.FilterText = FromQ(ui.FilterEd->text());
  m_state.ApplyFilter();
  ShowTable();
}

namespace {

// The address files the readers know, for the open dialogs.
const QStringList kAddressFileFilters = {
    QStringLiteral("Adressdateien (*.csv *.txt *.tsv *.xlsx *.ods *.vcf)"),
    QStringLiteral("TXT und CSV Dateien (*.txt *.csv *.tsv)"), QStringLiteral("Alle Dateien (*.*)")};

} // namespace

void TMainForm::ImportBtnClick() {
  QFileDialog dialog(this);
  dialog.setObjectName("OpenDialog1");
  dialog.setFileMode(QFileDialog::ExistingFiles);
  dialog.setNameFilters(kAddressFileFilters);
  dialog.setDefaultSuffix(QStringLiteral("txt"));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  ImportFile(dialog.selectedFiles().first());
}

void TMainForm::ImportFile(const QString& path) { RunImportDialog(path, TImportAddressesForm::TMode::IntoTable); }

void TMainForm::NewDBFromFileBtnClick() {
  const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Neue Datenbank aus Datei"), QString(),
                                                    kAddressFileFilters.join(QStringLiteral(";;")));
  if (!path.isEmpty()) NewDatabaseFromFile(path);
}

void TMainForm::NewDatabaseFromFile(const QString& path) {
  if (m_state.Table1.FileName().empty()) m_state.Table1.SetFileName(m_state.Options.DatabaseFile);
  RunImportDialog(path, TImportAddressesForm::TMode::NewTable);
}

void TMainForm::RunImportDialog(const QString& path, TImportAddressesForm::TMode mode) {
  m_grid->CommitEditor();
  TImportAddressesForm form(m_state, path, mode, this);
  if (!form.Load()) return;
  form.exec();
  if (!form.Imported()) return;
  // A fitted table may have replaced the database: its options, fields and count.
  ShowOptions();
  ShowTable();
  m_grid->WidenColumns();
}

void TMainForm::ExportBtnClick() {
  m_grid->CommitEditor();
  QString filter;
  const QString path =
      QFileDialog::getSaveFileName(this, QStringLiteral("Exportieren"), QString(),
                                   QStringLiteral("CSV-Dateien (*.csv);;Excel-Tabellen (*.xlsx)"), &filter);
  if (path.isEmpty()) return;
  QString target = path;
  if (QFileInfo(target).suffix().isEmpty()) target += filter.contains("xlsx") ? ".xlsx" : ".csv";
  bool filteredOnly = false;
  if (!m_state.FilterText.empty()) {
    const TMsgResult answer =
        Messages().Show("Nur die gefilterten Datens\xE4tze exportieren? (Nein: alle Datens\xE4tze)", "Exportieren",
                        TMsgButtons::YesNoCancel, TMsgIcon::Question);
    if (answer == TMsgResult::Cancel) return;
    filteredOnly = answer == TMsgResult::Yes;
  }
  if (const auto n = m_state.ExportTable(PathFromQ(target), filteredOnly))
    Messages().Show(std::to_string(*n) + (*n == 1 ? " Datensatz" : " Datens\xE4tze") + " exportiert.", "Exportieren",
                    TMsgButtons::Ok, TMsgIcon::Information);
  ShowTable();
}

void TMainForm::NavigatorClick(int button) { m_grid->Navigate(button); }

void TMainForm::FilenameEdit1Browse() {
  const QString chosen = QFileDialog::getSaveFileName(
      this, QString(), ui.FilenameEdit1->text(), QStringLiteral("DBASE-Datenbanken (*.dbf);;Alle Dateien (*.*)"),
      nullptr, QFileDialog::DontConfirmOverwrite);
  if (chosen.isEmpty()) return;
  ui.FilenameEdit1->setText(chosen);
  FilenameEdit1Change();
}

void TMainForm::MailFieldEdChange() {
  m_state.Options.MailField = ui.MailFieldEd->value();
  m_state.SaveOptions();
}

void TMainForm::bccCountEdChange() {
  m_state.Options.BccCount = ui.bccCountEd->value();
  m_state.SaveOptions();
}

void TMainForm::PersonalCheckClick() {
  m_state.Options.Bcc = ui.bccCheck->isChecked();
  m_state.SaveOptions();
}

void TMainForm::bccCheckClick() {
  m_state.Options.Bcc = ui.bccCheck->isChecked();
  m_state.SaveOptions();
}

void TMainForm::AbsenderComboChange() {
  m_state.Options.KontoIndex = ui.AbsenderCombo->currentIndex();
  m_state.SaveOptions();
  ShowBouncesBtn();
}

void TMainForm::ShowBouncesBtn() {
  const int k = ui.AbsenderCombo->currentIndex();
  ui.BouncesBtn->setEnabled(!m_bouncesBlocked && k >= 0 && static_cast<std::uint32_t>(k) < m_state.Konten.Count() &&
                            !m_state.Konten[static_cast<std::size_t>(k)].Mailbox.Server.empty());
}

void TMainForm::BouncesBtnClick() {
  const int k = ui.AbsenderCombo->currentIndex();
  if (k < 0 || static_cast<std::uint32_t>(k) >= m_state.Konten.Count()) return;
  const TKontoRec konto = m_state.Konten[static_cast<std::size_t>(k)];
  if (konto.Mailbox.Server.empty()) return;
  // One set of server decisions for the reading and the taking over, told
  // about as for a send run: a damaged file before, failed saves after each.
  TStoredServerTrust trust(m_state.ProgDir);
  if (!trust.LoadError().empty()) ShowError(trust.LoadError());
  trust.Ask = [this](const std::string& question) { return AskFromSession(question); };
  // The reading writes nothing, not even that the server offers STARTTLS;
  // only a Yes of the user is kept at once.
  TReadOnlyTrust readOnly(trust);
  bool applying = false;
  TBouncesForm::TOpenFolder open = [this, konto, &trust, &readOnly, &applying](const std::atomic<bool>* cancel) {
    TServerTrust& used = applying ? static_cast<TServerTrust&>(trust) : readOnly;
    return OpenReplyFolder ? OpenReplyFolder(konto, used, cancel) : OpenImapFolder(konto, used, cancel);
  };
  TBouncesForm form(TBounceReading(m_state.ProgDir, TBounceReading::ContextOf(m_state.Mails)), konto.Mailbox.DoneFolder,
                    open, this);
  form.AfterWork = [&trust] {
    for (const std::string& problem : trust.TakeProblems()) ShowError(problem);
  };
  if (!form.Read()) return;
  applying = true;
  form.exec();
  // Addresses taken over are greyed in the grid and in the recipient list.
  ShowBlocked();
  PageControl2Change();
}

std::shared_ptr<TMailFolder> TMainForm::OpenImapFolder(const TKontoRec& konto, TServerTrust& trust,
                                                      const std::atomic<bool>* cancel) {
  return OpenReplyMailbox(konto, trust, m_smtp.Tokens, cancel);
}

void TMainForm::SendBtnClick() {
  if (m_run.Sending()) {
    m_run.RequestCancel();
    return;
  }
  TSendChoice choice;
  choice.BatchMode = ui.bccCheck->isChecked();
  choice.BccCount = ui.bccCountEd->value();
  if (ui.AlleEmpfCheck->isChecked()) {
    choice.Recipients = TRecipientChoice::All;
  } else if (ui.SelectedEmpfCheck->isChecked()) {
    choice.Recipients = TRecipientChoice::Selected;
    for (int row : SelectedRows(ui.ListView3)) choice.SelectedRows.push_back(static_cast<std::size_t>(row));
  } else {
    choice.Recipients = TRecipientChoice::One;
    choice.TypedAddress = FromQ(ui.EmpfEd->text());
  }
  choice.KontoIndex = ui.AbsenderCombo->currentIndex();
  choice.MailIndex = ui.MailCombo->currentIndex();
  SendChoice(choice);
}

bool TMainForm::CheckBeforeRun(const TSendChoice& choice) {
  std::int64_t limit = -1;
  if (choice.KontoIndex >= 0 && static_cast<std::uint32_t>(choice.KontoIndex) < m_state.Konten.Count())
    limit = KnownSizeLimit(m_state.Konten[static_cast<std::size_t>(choice.KontoIndex)].Server);
  TPreSendReport report;
  std::optional<std::string> spamMessage;
  try {
    // Merging every record to find the largest message takes a moment on
    // a long table; SpamAssassin comes after, beside the window.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const struct TRestoreCursor {
      ~TRestoreCursor() { QApplication::restoreOverrideCursor(); }
    } restore;
    report = CheckRun(m_state.Msg, m_state.Table1, choice, m_recipients, m_skipped, m_state.Konten, m_state.Mails,
                      limit, m_state.Options.MailField, nullptr, m_state.ProgDir);
    if (!SpamProgram.empty())
      spamMessage = FirstMessageText(m_state.Msg, m_state.Table1, choice, m_recipients, m_state.Konten, m_state.Mails);
  } catch (const ESendRefused&) {
    return true;  // the run itself says why it cannot start
  }
  m_grid->Sync();
  if (!spamMessage && report.Clean()) return true;
  TPreSendCheckForm form(this);
  // SpamAssassin takes a second or two: the form shows that it is at work
  // meanwhile, and closing it stops the check (the job goes first).
  std::unique_ptr<TSpamCheckJob> job;
  if (!spamMessage) {
    form.SetReport(report.Text(20));
  } else {
    form.SetReport(report.Text(20) + kSpamCheckRunning + "\n", !report.Clean());
    job = std::make_unique<TSpamCheckJob>(SpamProgram, std::move(*spamMessage), [&form, &report](const TSpamVerdict& verdict) {
      QMetaObject::invokeMethod(
          &form,
          [&form, &report, verdict] {
            AddSpamVerdict(report, verdict);
            // Nothing to ask about: the run starts as after a clean check.
            if (report.Clean()) form.accept();
            else form.SetReport(report.Text(20), true);
          },
          Qt::QueuedConnection);
    });
  }
  const bool accepted = form.exec() == QDialog::Accepted;
  job.reset();
  return accepted;
}

std::int64_t TMainForm::KnownSizeLimit(const std::string& server) const {
  const auto it = m_sizeLimits.find(server);
  return it == m_sizeLimits.end() ? -1 : it->second;
}

void TMainForm::ProbeChosenServer() {
  const int konto = ui.AbsenderCombo->currentIndex();
  if (m_probing || konto < 0 || static_cast<std::uint32_t>(konto) >= m_state.Konten.Count()) return;
  const std::string server = m_state.Konten[static_cast<std::size_t>(konto)].Server;
  if (server.empty() || m_sizeLimits.count(server) > 0 || server == m_probedServer) return;
  if (m_probe.joinable()) m_probe.join();
  m_probing = true;
  m_probedServer = server;
  // In the background: a server that is slow to answer must not hold up
  // the window or the start of a run.
  m_probe = std::thread([this, server] {
    TSMTPSendOptions options;
    options.MessageTimeLimit = 15000;
    options.Cancel = &m_probeCancel;
    TServerProbe probe;
    try {
      probe = ProbeServer(server, options);
    } catch (...) {
    }
    QMetaObject::invokeMethod(
        this,
        [this, server, probe] {
          m_probing = false;
          if (probe.Reached) m_sizeLimits[server] = probe.SizeLimit;
          ProbeChosenServer();  // the account may have changed meanwhile
        },
        Qt::QueuedConnection);
  });
}

void TMainForm::SendChoice(TSendChoice choice) {
  if (m_run.Sending()) return;
  choice.FilterText = m_state.FilterText;
  choice.DatabaseFile = m_state.Table1.FileName();
  if (!CheckBeforeRun(choice)) return;
  m_run.JournalDir = m_state.ProgDir;

  SetRunning(true);
  std::optional<TStoredServerTrust> trust;
  try {
    m_run.Start(choice, m_recipients, m_state.Konten, m_state.Mails);
    // Each run's errors under a dated line of their own, apart from those
    // of earlier runs; the bar starts empty.
    ui.ErrorLog->appendPlainText(ToQ(RunLogLine(choice.Kind, NowDateTime())));
    ui.ProgressBar1->setValue(0);
    trust.emplace(m_state.ProgDir);
    if (!trust->LoadError().empty()) ShowError(trust->LoadError());
    trust->Ask = [this](const std::string& question) { return AskFromSession(question); };
    m_smtp.Trust = &*trust;
    m_smtp.Cancel = m_run.CancelFlag();
    DeliverOffThread(m_state.Konten[static_cast<std::size_t>(choice.KontoIndex)]);
  } catch (const ESendRefused& e) {
    ShowError(e.what());
  } catch (const std::exception& e) {
    if (m_run.Sending()) m_run.Abort(e.what());
    ShowError(e.what());
  }
  m_smtp.Trust = nullptr;
  if (trust)
    for (const std::string& problem : trust->TakeProblems()) ShowError(problem);
  SetRunning(false);
  // The merge leaves the table on the last merged record; the grid shows it.
  m_grid->Sync();
  ShowRunProgress();
  m_journalPanel->ShowState();
  if (m_closeAfterRun) close();
}

bool TMainForm::AskFromSession(const std::string& question) {
  bool yes = false;
  const auto ask = [&] {
    // Both questions (a password in clear, an unknown certificate) weaken
    // the protection: Enter alone must not say Yes.
    yes = Messages().Ask(question, "", TMsgButtons::YesNo, TMsgIcon::Warning, TMsgResult::No) == TMsgResult::Yes;
  };
  if (QThread::currentThread() == thread())
    ask();
  else
    QMetaObject::invokeMethod(this, ask, Qt::BlockingQueuedConnection);
  return yes;
}

void TMainForm::DeliverOffThread(const TKontoRec& konto) {
  TSendPacer pacer(konto.RatePerMinute);
  pacer.Cancel = m_run.CancelFlag();
  // The pacer waits on a session's thread; the window shows the time left
  // where the status text stands, and the status again when it is over.
  pacer.OnWait = [this](TSendPacer::TMs left) {
    QMetaObject::invokeMethod(
        this,
        [this, left] {
          if (!m_run.Sending()) return;
          ui.statlabel->setText(left.count() > 0 ? QStringLiteral("Warte %1 s").arg((left.count() + 999) / 1000)
                                                 : ToQ(m_run.StatusText()));
        },
        Qt::QueuedConnection);
  };
  if (SetUpPacer) SetUpPacer(pacer);
  const TSMTPSendOptions smtp = m_smtp;
  const int reuse = konto.Reuse;
  TSendPool pool(
      std::clamp(konto.Parallel, 1, 8), [smtp, reuse] { return std::make_unique<TSmtpSession>(smtp, reuse); },
      [this, &pacer](TSmtpSession& session, const TOutgoingMail& mail) {
        return pacer.Deliver(mail, [this, &session](const TOutgoingMail& m) {
          return Deliver ? Deliver(m) : session.Deliver(m);
        });
      });
  pool.OnDone = [this] {
    QMetaObject::invokeMethod(
        this,
        [this] {
          if (m_waitLoop) m_waitLoop->quit();
        },
        Qt::QueuedConnection);
  };
  const std::function<void()> wait = [this] {
    QEventLoop loop;
    m_waitLoop = &loop;
    // A result that came before the loop started has already asked it to
    // quit; the timer only guards against a wake-up lost some other way.
    QTimer::singleShot(200, &loop, &QEventLoop::quit);
    loop.exec();
    m_waitLoop = nullptr;
  };
  struct TStopSessions {
    TSendPool& Pool;
    const std::function<void()>& Wait;
    // The sessions say QUIT while the window goes on answering.
    ~TStopSessions() {
      Pool.Stop();
      while (!Pool.Stopped()) Wait();
    }
  } stop{pool, wait};
  RunOnPool(m_run, pool, wait);
}

// While a run lasts only the send page is reachable and the button cancels.
void TMainForm::SetRunning(bool running) {
  for (int page = 0; page < kSendPage; ++page) ui.PageControl2->setTabVisible(page, !running);
  ui.SendBtn->setText(running ? QStringLiteral("Abbrechen") : QStringLiteral("Mails senden..."));
  m_journalPanel->SetRunning(running);
  // A reading would run inside the run's idle calls and hold it up.
  m_bouncesBlocked = running;
  ShowBouncesBtn();
}

void TMainForm::ShowRunProgress() {
  ui.ProgressBar1->setValue(m_run.Progress());
  ui.statlabel->setText(ToQ(m_run.StatusText()));
}

void TMainForm::closeEvent(QCloseEvent* event) {
  // Closing during a run would destroy what the run is using: once the
  // user agrees, the run stops after the current message and the window
  // closes then.
  if (m_run.Sending()) {
    event->ignore();
    if (m_closeAfterRun || !TMainState::ConfirmQuitDuringRun()) return;
    if (m_run.Sending()) {
      m_closeAfterRun = true;
      m_run.RequestCancel();
    } else {
      QTimer::singleShot(0, this, &QWidget::close);  // the run ended while the user was asked
    }
    return;
  }
  QMainWindow::closeEvent(event);
}

void TMainForm::SetPreviewHeaderFocused(bool focused) {
  QPalette pal = ui.Panel19->palette();
  const QColor back = focused ? QColor(49, 106, 197) : palette().color(QPalette::Button);
  pal.setColor(QPalette::Window, back);
  ui.Panel19->setPalette(pal);
  for (QLabel* label : {ui.Label8, ui.Label9Betreff}) {
    QPalette lp = label->palette();
    lp.setColor(QPalette::WindowText, focused ? Qt::white : Qt::black);
    label->setPalette(lp);
  }
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == ui.RichEdit1) {
    if (event->type() == QEvent::FocusIn) SetPreviewHeaderFocused(true);
    if (event->type() == QEvent::FocusOut) SetPreviewHeaderFocused(false);
    return false;
  }
  if (event->type() != QEvent::KeyPress) return false;
  const int key = static_cast<QKeyEvent*>(event)->key();
  const bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;
  if (watched == ui.ListView1) {
    if (enter) {
      ListView1DblClick();
      return true;
    }
    if (key == Qt::Key_Delete) {
      DelBtnClick();
      return true;
    }
  } else if (watched == ui.ListView2) {
    if (enter) {
      EditKontoBtnClick();
      return true;
    }
    if (key == Qt::Key_Delete) {
      DelKontoBtnClick();
      return true;
    }
  }
  return false;
}

} // namespace postello
