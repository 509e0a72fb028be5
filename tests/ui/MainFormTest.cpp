// The main window on the offscreen platform, driven by object names.
#include "SetUpApplication.h"
#include "TAboutBox.h"
#include "TEditKontenForm.h"
#include "TMainForm.h"
#include "UiTestSupport.h"

#include "core/StoredDateTime.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTreeWidget>
#include <QRadioButton>

using namespace postello;
using postello::test::FileBytes;
using postello::test::WhenModalShown;

class MainFormTest : public postello::test::TWindowTest {
  Q_OBJECT

  void WriteMails(const std::vector<std::string>& subjects) {
    TMailList mails;
    int n = 0;
    for (const std::string& s : subjects) {
      TMailRec* m = mails.Add();
      m->Subject = s;
      m->PlainText = "Text von " + s;
      m->Date = EncodeDateTime(2026, 12, 1 + n++, 9, 30, 0);
    }
    TMailStore::Save(Dir(), mails);
  }

  static QStringList Column(QTreeWidget* list, int col) {
    QStringList out;
    for (int k = 0; k < list->topLevelItemCount(); ++k) out << list->topLevelItem(k)->text(col);
    return out;
  }

private slots:
  void init() { InitTest(); }
  void cleanup() { CleanupTest(); }

  void windowHasItsCaptionsAndStartsOnTheDatabasePage() {
    TMainState state;
    TMainForm form(state);
    form.FormCreate(Dir());
    QCOMPARE(form.windowTitle(), QString("Omvex Postello 1.2"));
    // One version everywhere: message boxes and the window class take the
    // application's name, the Info box names the program.
    SetUpApplication(*qApp);
    QCOMPARE(QApplication::applicationName(), QString("Postello 1.2"));
    TAboutBox about;
    QCOMPARE(about.ui.ProductName->text(), QString("<b>Omvex Postello 1.2</b>"));
    QCOMPARE(form.size(), QSize(760, 700));
    auto* tabs = form.findChild<QTabWidget*>("PageControl2");
    QCOMPARE(tabs->count(), 4);
    QCOMPARE(tabs->tabText(0), QString("eMail-Datenbank "));
    QCOMPARE(tabs->tabText(1), QString("eMails schreiben"));
    QCOMPARE(tabs->tabText(2), QString("eMail Konten"));
    QCOMPARE(tabs->tabText(3), QString("eMails senden"));
    QCOMPARE(tabs->currentIndex(), 0);
    QCOMPARE(form.findChild<QLineEdit*>("FilenameEdit1")->text(), m_dir.filePath("mailaddies.dbf"));
    QCOMPARE(form.findChild<QSpinBox*>("bccCountEd")->value(), 20);
    QVERIFY(form.findChild<QRadioButton*>("PersonalCheck")->isChecked());
    QCOMPARE(form.findChild<QLabel*>("statlabel")->text(), QString("0 Mails von 0 verarbeitet 0 fehlgeschlagen."));
    QVERIFY(!form.findChild<QPushButton*>("DelBtn")->isEnabled());
    QVERIFY(m_sink.texts.empty());
    QVERIFY(!QFile::exists(File("options.dat")));
  }

  void mailListShowsSubjectsDatesAndPreview() {
    WriteMails({"Erste", "Gr\xFC\xDF" "e"});
    TMainState state;
    TMainForm form(state);
    form.FormCreate(Dir());
    auto* list = form.findChild<QTreeWidget*>("ListView1");
    QCOMPARE(Column(list, 1), (QStringList{"Erste", QString::fromUtf8("Grüße")}));
    QCOMPARE(Column(list, 2), (QStringList{"01.12.2026 09:30:00", "02.12.2026 09:30:00"}));
    auto* preview = form.findChild<QTextEdit*>("RichEdit1");
    QCOMPARE(preview->toPlainText(), QString::fromUtf8("Keine Nachricht ausgewählt."));
    list->topLevelItem(1)->setSelected(true);
    QCOMPARE(form.findChild<QLabel*>("Label9Betreff")->text(), QString::fromUtf8("Grüße"));
    QCOMPARE(preview->toPlainText(), QString::fromUtf8("Text von Grüße"));
    QVERIFY(form.findChild<QPushButton*>("DelBtn")->isEnabled());
    // Several rows marked: the first of them is previewed.
    list->topLevelItem(0)->setSelected(true);
    QCOMPARE(preview->toPlainText(), QString("Text von Erste"));
  }

  void deletingThreeOfFiveMailsAfterYes() {
    WriteMails({"A", "B", "C", "D", "E"});
    const QByteArray before = FileBytes(File("mails.dat"));
    TMainState state;
    TMainForm form(state);
    form.FormCreate(Dir());
    auto* list = form.findChild<QTreeWidget*>("ListView1");
    for (int row : {0, 2, 4}) list->topLevelItem(row)->setSelected(true);

    m_sink.answer = TMsgResult::No;
    QTest::mouseClick(form.findChild<QPushButton*>("DelBtn"), Qt::LeftButton);
    QCOMPARE(m_sink.texts.size(), size_t(1));
    QCOMPARE(Column(list, 1), (QStringList{"A", "B", "C", "D", "E"}));
    QCOMPARE(FileBytes(File("mails.dat")), before);

    m_sink.answer = TMsgResult::Yes;
    QTest::mouseClick(form.findChild<QPushButton*>("DelBtn"), Qt::LeftButton);
    QCOMPARE(m_sink.texts.size(), size_t(2));
    QCOMPARE(QString::fromStdString(m_sink.captions.back()), QString("L\xF6schen"));
    QCOMPARE(Column(list, 1), (QStringList{"B", "D"}));
    TMailList reread;
    TMailStore::Open(Dir(), reread);
    QCOMPARE(reread.Count(), 2u);
    QCOMPARE(reread[0].Subject, std::string("B"));
    QCOMPARE(reread[1].Subject, std::string("D"));
    QVERIFY(!form.findChild<QPushButton*>("DelBtn")->isEnabled());
  }

  void deleteKeyWithoutSelectionAsksNothing() {
    WriteMails({"A"});
    TMainState state;
    TMainForm form(state);
    form.FormCreate(Dir());
    auto* list = form.findChild<QTreeWidget*>("ListView1");
    QTest::keyClick(list, Qt::Key_Delete);
    QVERIFY(m_sink.texts.empty());
    list->topLevelItem(0)->setSelected(true);
    m_sink.answer = TMsgResult::Yes;
    QTest::keyClick(list, Qt::Key_Delete);
    QCOMPARE(list->topLevelItemCount(), 0);
  }

  void optionChangesAreSavedAndRestored() {
    {
      TMainState state;
      TMainForm form(state);
      form.FormCreate(Dir());
      QVERIFY(!QFile::exists(File("options.dat")));
      form.findChild<QSpinBox*>("bccCountEd")->setValue(25);
      QVERIFY(QFile::exists(File("options.dat")));
      QTest::mouseClick(form.findChild<QRadioButton*>("bccCheck"), Qt::LeftButton);
      // A value in InfoAnzEd saves, but is not restored.
      form.findChild<QSpinBox*>("InfoAnzEd")->setValue(5);
    }
    const QByteArray bytes = FileBytes(File("options.dat"));
    QCOMPARE(bytes.mid(4, 4), QByteArray("\x19\0\0\0", 4));
    QCOMPARE(bytes.mid(20, 4), QByteArray("\x01\0\0\0", 4));
    TMainState state;
    TMainForm form(state);
    form.FormCreate(Dir());
    QCOMPARE(form.findChild<QSpinBox*>("bccCountEd")->value(), 25);
    QVERIFY(form.findChild<QRadioButton*>("bccCheck")->isChecked());
    QCOMPARE(form.findChild<QSpinBox*>("InfoAnzEd")->value(), 2);
    QCOMPARE(FileBytes(File("options.dat")), bytes);
  }

  void cancellingTheNewAccountDialogWritesNothing() {
    TMainState state;
    TMainForm form(state);
    form.FormCreate(Dir());
    TEditKontenForm dialog(&form);
    form.SetEditKontenForm(&dialog);
    WhenModalShown([](QDialog* dlg) {
      QCOMPARE(dlg->windowTitle(), QString("Absender Konto bearbeiten"));
      QCOMPARE(QApplication::focusWidget()->objectName(), QString("AbsenderEd"));
      dlg->findChild<QLineEdit*>("AbsenderEd")->setText("Nie");
      dlg->findChild<QPushButton*>("CancelBtn")->click();
    });
    QTest::mouseClick(form.findChild<QPushButton*>("NewKontoBtn"), Qt::LeftButton);
    QCOMPARE(state.Konten.Count(), 0u);
    QVERIFY(!QFile::exists(File("konten.dat")));
  }

  void newEditAndDeleteAccountsThroughTheDialog() {
    TMainState state;
    TMainForm form(state);
    form.FormCreate(Dir());
    TEditKontenForm dialog(&form);
    form.SetEditKontenForm(&dialog);
    auto* list = form.findChild<QTreeWidget*>("ListView2");
    for (const char* name : {"Anna", "Bernd", "Clara"}) {
      WhenModalShown([name](QDialog* dlg) {
        dlg->findChild<QLineEdit*>("AbsenderEd")->setText(QString(name));
        dlg->findChild<QLineEdit*>("EmailEd")->setText(QString(name).toLower() + "@example.org");
        dlg->findChild<QLineEdit*>("ServerEd")->setText("smtp.example.org");
        dlg->findChild<QLineEdit*>("PasswordEd")->setText(QString::fromUtf8("pässwort"));
        dlg->findChild<QPushButton*>("OKBtn")->click();
      });
      QTest::mouseClick(form.findChild<QPushButton*>("NewKontoBtn"), Qt::LeftButton);
    }
    QCOMPARE(Column(list, 0), (QStringList{"Anna", "Bernd", "Clara"}));
    QCOMPARE(Column(list, 2), (QStringList{"smtp.example.org", "smtp.example.org", "smtp.example.org"}));
    QCOMPARE(state.Konten[0].Password, CodePassw("p\xE4sswort"));
    const QByteArray saved = FileBytes(File("konten.dat"));

    // OK on an unchanged edit shows the clear password and rewrites the
    // same bytes.
    list->topLevelItem(1)->setSelected(true);
    QVERIFY(form.findChild<QPushButton*>("EditKontoBtn")->isEnabled());
    QString shownPassword;
    WhenModalShown([&shownPassword](QDialog* dlg) {
      shownPassword = dlg->findChild<QLineEdit*>("PasswordEd")->text();
      dlg->findChild<QPushButton*>("OKBtn")->click();
    });
    QTest::keyClick(list, Qt::Key_Return);
    QCOMPARE(shownPassword, QString::fromUtf8("pässwort"));
    QCOMPARE(FileBytes(File("konten.dat")), saved);

    // Two marked rows go after one question (the edit refilled the list,
    // so nothing is marked before).
    QVERIFY(list->selectedItems().isEmpty());
    list->topLevelItem(1)->setSelected(true);
    list->topLevelItem(2)->setSelected(true);
    m_sink.answer = TMsgResult::Yes;
    QTest::mouseClick(form.findChild<QPushButton*>("DelKontoBtn"), Qt::LeftButton);
    QCOMPARE(m_sink.texts.size(), size_t(1));
    QCOMPARE(m_sink.texts[0], std::string("Wollen Sie alle markierten Konten unwiderruflich l\xF6schen?"));
    QCOMPARE(Column(list, 0), QStringList{"Anna"});
    TKontoList reread;
    TKontoStore::Open(Dir(), reread);
    QCOMPARE(reread.Count(), 1u);
    QCOMPARE(reread[0].Absender, std::string("Anna"));
    QVERIFY(!form.findChild<QPushButton*>("DelKontoBtn")->isEnabled());
  }

  void accountDialogBoxesRefuseWhatTheFileCannotHold() {
    TEditKontenForm dialog;
    QCOMPARE(dialog.findChild<QLineEdit*>("AbsenderEd")->maxLength(), 255);
    QCOMPARE(dialog.findChild<QLineEdit*>("PasswordEd")->maxLength(), 127);
    QCOMPARE(dialog.findChild<QLineEdit*>("PasswordEd")->echoMode(), QLineEdit::Password);
  }
};

QTEST_MAIN(MainFormTest)
#include "MainFormTest.moc"
