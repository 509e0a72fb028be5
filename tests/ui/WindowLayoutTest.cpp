// The main window's layout at its starting size and after resizing, the
// fixed dialogs, the status bar, the pictures, the grid's columns, the
// navigator and the filter box, on the offscreen platform.
#include "TAboutBox.h"
#include "TEditKontenForm.h"
#include "TMainForm.h"
#include "TOAuthForm.h"
#include "UiTestSupport.h"

#include "oauth/TFileGrantStore.h"
#include "send/TOAuthTokens.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTableView>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

using namespace postello;
using postello::test::CheckNotSqueezed;

class WindowLayoutTest : public postello::test::TWindowTest {
  Q_OBJECT

  // A table of n addresses, an account and a mail with the long texts
  // real ones have, and the window shown on the send page.
  void Prepare(TMainState& state, TMainForm& form, int n) {
    form.FormCreate(Dir());
    m_sink.answer = TMsgResult::Ok;
    QVERIFY(state.NewDatabase(2));
    QByteArray csv;
    for (int k = 1; k <= n; ++k)
      csv += "kundenbetreuung" + QByteArray::number(k) + "@beispielfirma-gmbh.de;Name" + QByteArray::number(k) + "\r\n";
    postello::test::ImportCsv(form, m_dir, csv);
    TKontoRec konto;
    konto.Absender = "Musterfirma Versand";
    konto.Email = "newsletter@musterfirma.de";
    state.AddKonto(konto);
    TMailRec* mail = state.Mails.Add();
    mail->Subject = "Einladung zum Sommerfest";
    state.SaveMails();
    form.ListMails();
    form.ListKonten();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.findChild<QTabWidget*>("PageControl2")->setCurrentIndex(3);
    QCoreApplication::processEvents();
  }

  // Turns to the address page; its grid.
  static QTableView* ShowGrid(TMainForm& form) {
    form.findChild<QTabWidget*>("PageControl2")->setCurrentIndex(0);
    return form.findChild<QTableView*>("DBGrid2");
  }

  // Rows of the list that are wholly in sight.
  static int VisibleRows(QTreeWidget* list) {
    const int row = list->visualItemRect(list->topLevelItem(0)).height();
    return row > 0 ? list->viewport()->height() / row : 0;
  }

private slots:
  void init() { InitTest(); }
  void cleanup() { CleanupTest(); }

  void sendPageShowsSixRecipientsAndWholeBoxesAtTheStartingSize() {
    TMainState state;
    TMainForm form(state);
    Prepare(state, form, 30);
    auto* list = form.findChild<QTreeWidget*>("ListView3");
    QCOMPARE(list->topLevelItemCount(), 30);
    QVERIFY2(VisibleRows(list) >= 6, qPrintable(QString::number(VisibleRows(list))));
    for (const char* name : {"AbsenderCombo", "MailCombo"}) {
      auto* combo = form.findChild<QComboBox*>(name);
      QVERIFY(combo->count() > 0);
      CheckNotSqueezed(combo);
      // The whole text of the chosen entry fits beside the arrow.
      QStyleOptionComboBox option;
      option.initFrom(combo);
      const QRect text = combo->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo);
      QVERIFY2(text.width() >= combo->fontMetrics().horizontalAdvance(combo->currentText()),
               qPrintable(combo->currentText()));
    }
    for (const char* name : {"bccCountEd", "EmpfEd", "SendBtn", "ProgressBar1", "statlabel"})
      CheckNotSqueezed(form.findChild<QWidget*>(name));
    for (const char* name : {"AlleEmpfCheck", "OneEmpfCheck", "SelectedEmpfCheck", "PersonalCheck", "bccCheck"})
      CheckNotSqueezed(form.findChild<QWidget*>(name));
    QVERIFY(form.findChild<QPlainTextEdit*>("ErrorLog")->height() >= 3 * form.fontMetrics().height());
  }

  void extraSpaceGoesToTheRecipientListAndTheErrorLog() {
    TMainState state;
    TMainForm form(state);
    Prepare(state, form, 30);
    auto* list = form.findChild<QTreeWidget*>("ListView3");
    auto* log = form.findChild<QPlainTextEdit*>("ErrorLog");
    auto* spin = form.findChild<QSpinBox*>("bccCountEd");
    auto* combo = form.findChild<QComboBox*>("AbsenderCombo");
    const QSize spinBefore = spin->size();
    const int listBefore = list->height(), logBefore = log->height(), comboHeight = combo->height();
    const int comboWidth = combo->width();
    form.resize(form.width() + 300, form.height() + 200);
    QCoreApplication::processEvents();
    QCOMPARE(spin->size(), spinBefore);
    QCOMPARE(combo->height(), comboHeight);
    QVERIFY(combo->width() > comboWidth);
    QVERIFY(list->height() > listBefore);
    QVERIFY(log->height() > logBefore);
    // All 200 pixels went to the two of them.
    QCOMPARE((list->height() - listBefore) + (log->height() - logBefore), 200);
  }

  void accountDialogAndInfoBoxAreFixedWithoutMinimiseOrMaximise() {
    TEditKontenForm konten;
    // With the OAuth group, as the program shows it.
    TFileGrantStore store(Dir());
    TOAuthTokens tokens(store);
    konten.SetOAuthTokens(&tokens);
    TAboutBox about;
    for (QDialog* dialog : std::initializer_list<QDialog*>{&konten, &about}) {
      dialog->show();
      QVERIFY(QTest::qWaitForWindowExposed(dialog));
      QVERIFY2(!(dialog->windowFlags() & Qt::WindowMinimizeButtonHint), qPrintable(dialog->windowTitle()));
      QVERIFY2(!(dialog->windowFlags() & Qt::WindowMaximizeButtonHint), qPrintable(dialog->windowTitle()));
      QVERIFY(dialog->windowFlags() & Qt::WindowCloseButtonHint);
      QCOMPARE(dialog->minimumSize(), dialog->maximumSize());
      QCOMPARE(dialog->size(), dialog->minimumSize());
      // Nothing inside is squeezed below what it asks for. (A spin box
      // places its own text box inside its frame; the box itself is
      // checked. A wrapping label needs the height of its lines at its width.)
      for (QWidget* w : dialog->findChildren<QWidget*>()) {
        if (!w->isVisible() || w->inherits("QDialogButtonBox") || qobject_cast<QAbstractSpinBox*>(w->parentWidget()))
          continue;
        if (auto* label = qobject_cast<QLabel*>(w); label && label->wordWrap())
          QVERIFY2(label->height() >= label->heightForWidth(label->width()), qPrintable(label->objectName()));
        else
          CheckNotSqueezed(w);
      }
    }
    // With the reply mailbox group it still fits a screen of 800 x 600,
    // title bar included.
    QVERIFY2(konten.width() <= 800 && konten.height() <= 560, qPrintable(QString::number(konten.height())));
    QCOMPARE(konten.windowTitle(), QString("Absender Konto bearbeiten"));
    QCOMPARE(about.windowTitle(), QString("Info"));
  }

  // The OAuth sign-in buttons keep two characters of room beside their
  // captions, so no style cuts them.
  void signInButtonsHaveRoomBesideTheirCaptions() {
    TEditKontenForm konten;
    TFileGrantStore store(Dir());
    TOAuthTokens tokens(store);
    konten.SetOAuthTokens(&tokens);
    TOAuthForm oauth;
    for (auto [dialog, button] : {std::pair<QDialog*, QPushButton*>{&konten, konten.ui.OAuthBtn},
                                  std::pair<QDialog*, QPushButton*>{&oauth, oauth.ui.SignInBtn}}) {
      dialog->show();
      QVERIFY(QTest::qWaitForWindowExposed(dialog));
      const QFontMetrics metrics(button->font());
      const int caption = metrics.horizontalAdvance(button->text().remove('&'));
      QVERIFY2(button->width() >= caption + 4 * metrics.averageCharWidth(), qPrintable(button->text()));
    }
  }

  void statusBarHasTwoPanelsOf250And50Pixels() {
    TMainState state;
    TMainForm form(state);
    form.FormCreate(Dir());
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    auto* bar = form.findChild<QStatusBar*>("StatusBar1");
    QVERIFY(bar->isVisible());
    QList<QLabel*> panels = bar->findChildren<QLabel*>(QRegularExpression("^StatusPanel"));
    std::sort(panels.begin(), panels.end(), [](QLabel* a, QLabel* b) { return a->x() < b->x(); });
    QCOMPARE(panels.size(), 2);
    QCOMPARE(panels[0]->width(), 250);
    QCOMPARE(panels[1]->width(), 50);
    QVERIFY(panels[0]->isVisible() && panels[1]->isVisible());
    QVERIFY(panels[0]->frameShape() != QFrame::NoFrame);
    QVERIFY(panels[0]->text().isEmpty() && panels[1]->text().isEmpty());
  }

  void everyPagePictureHasTheSameSize() {
    TMainState state;
    TMainForm form(state);
    for (const char* name : {"Image1", "Image2", "Image3", "Image4"}) {
      const QPixmap pixmap = form.findChild<QLabel*>(name)->pixmap();
      QVERIFY2(!pixmap.isNull(), name);
      QCOMPARE(pixmap.deviceIndependentSize().toSize(), QSize(48, 48));
    }
  }

  void gridColumnsShowAWholeAddressAndStayResizable() {
    TMainState state;
    TMainForm form(state);
    Prepare(state, form, 3);
    auto* grid = ShowGrid(form);
    const QString address = grid->model()->index(0, 0).data().toString();
    QCOMPARE(address, QString("kundenbetreuung1@beispielfirma-gmbh.de"));
    QVERIFY2(grid->columnWidth(0) > grid->fontMetrics().horizontalAdvance(address),
             qPrintable(QString::number(grid->columnWidth(0))));
    // A short field is no wider than it needs, and its title fits.
    for (int c = 1; c < grid->model()->columnCount(); ++c) {
      const QString title = grid->model()->headerData(c, Qt::Horizontal).toString();
      QVERIFY2(grid->columnWidth(c) >= grid->horizontalHeader()->fontMetrics().horizontalAdvance(title), qPrintable(title));
    }
    QCOMPARE(grid->horizontalHeader()->sectionResizeMode(0), QHeaderView::Interactive);
    // The user's width survives filtering and importing.
    grid->setColumnWidth(1, 333);
    form.FilterBtnClick();
    QCOMPARE(grid->columnWidth(1), 333);
    // Longer values imported into a table already shown widen their column.
    postello::test::ImportCsv(form, m_dir, "x@y.de;Ein Name, der weit l\xE4nger ist als jeder vorher\r\n");
    QCOMPARE(grid->columnWidth(1), 333);
    grid->setColumnWidth(0, 40);
    postello::test::ImportCsv(form, m_dir, "x@y.de;kurz\r\n");
    QVERIFY2(grid->columnWidth(0) > grid->fontMetrics().horizontalAdvance(address), qPrintable(QString::number(grid->columnWidth(0))));
  }

  void navigatorShowsIconsWithGermanTooltips() {
    TMainState state;
    TMainForm form(state);
    const std::pair<const char*, const char*> buttons[] = {
        {"NavFirst", "Erster Datensatz"},         {"NavPrior", "Vorheriger Datensatz"},
        {"NavNext", "N\xC3\xA4" "chster Datensatz"}, {"NavLast", "Letzter Datensatz"},
        {"NavInsert", "Datensatz einf\xC3\xBCgen"},  {"NavDelete", "Datensatz l\xC3\xB6schen"},
        {"NavEdit", "Datensatz bearbeiten"},       {"NavPost", "\xC3\x84nderungen speichern"},
        {"NavCancel", "\xC3\x84nderungen verwerfen"}, {"NavRefresh", "Daten aktualisieren"},
    };
    QList<qint64> icons;
    for (const auto& [name, tip] : buttons) {
      auto* button = form.findChild<QToolButton*>(name);
      QVERIFY2(button, name);
      QCOMPARE(button->toolTip(), QString::fromUtf8(tip));
      QVERIFY2(!button->icon().isNull(), name);
      QCOMPARE(button->toolButtonStyle(), Qt::ToolButtonIconOnly);
      icons << button->icon().cacheKey();
    }
    // Ten different pictures, not one repeated.
    std::sort(icons.begin(), icons.end());
    QCOMPARE(std::unique(icons.begin(), icons.end()) - icons.begin(), 10);
  }

  void enterInTheFilterBoxAppliesTheFilter() {
    TMainState state;
    TMainForm form(state);
    Prepare(state, form, 12);
    auto* grid = ShowGrid(form);
    auto* filter = form.findChild<QLineEdit*>("FilterEd");
    QCOMPARE(grid->model()->rowCount(), 12);
    filter->setFocus();
    QTest::keyClicks(filter, "name1");
    QCOMPARE(grid->model()->rowCount(), 12);  // typing alone filters nothing
    QTest::keyClick(filter, Qt::Key_Return);
    // name1, name10, name11, name12
    QCOMPARE(grid->model()->rowCount(), 4);
    filter->clear();
    QTest::keyClick(filter, Qt::Key_Enter);
    QCOMPARE(grid->model()->rowCount(), 12);
    QVERIFY(m_sink.texts.size() <= 1);  // only the "Neue Datenbank" question
  }

  void importIsOnlyOfferedWhileATableIsOpen() {
    TMainState state;
    TMainForm form(state);
    form.FormCreate(Dir());
    auto* import = form.findChild<QPushButton*>("ImportBtn");
    QVERIFY(!state.Table1.Active());
    QVERIFY(!import->isEnabled());
    m_sink.answer = TMsgResult::Ok;
    QTest::mouseClick(form.findChild<QPushButton*>("NewDBBtn"), Qt::LeftButton);
    QVERIFY(state.Table1.Active());
    QVERIFY(import->isEnabled());
    // A file that is no table closes it again.
    QFile bad(m_dir.filePath("kaputt.dbf"));
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write("Hallo;Welt\r\n");
    bad.close();
    auto* name = form.findChild<QLineEdit*>("FilenameEdit1");
    name->setText(bad.fileName());
    form.FilenameEdit1Change();
    QVERIFY(!state.Table1.Active());
    QVERIFY(!import->isEnabled());
  }
};

QTEST_MAIN(WindowLayoutTest)
#include "WindowLayoutTest.moc"
