// The sending options in the windows, on the offscreen platform: the
// account dialog's options go to kontooptionen.dat exactly when OK saves
// konten.dat, and the editor's options below the subject line go to
// mailoptionen.dat exactly when Yes saves mails.dat. Cancel and No store
// nothing, byte for byte.
#include "TEditKontenForm.h"
#include "TMainForm.h"
#include "TWriteMailForm.h"
#include "UiTestSupport.h"

#include "core/Cp1252.h"
#include "core/StoredDateTime.h"
#include "core/TKontoOptionsStore.h"
#include "core/TMailOptionsStore.h"
#include "core/TPostfachStore.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTreeWidget>

using namespace postello;
using namespace postello::test;

namespace {

TKontoRec Konto(const char* name) {
  TKontoRec k;
  k.Absender = name;
  k.Email = std::string(name) + "@example.org";
  k.Server = "smtp.example.org";
  return k;
}

TMailRec Mail(const char* subject, int day) {
  TMailRec m;
  m.Subject = subject;
  m.PlainText = std::string("Text von ") + subject;
  m.MailType = 2;
  m.Date = EncodeDateTime(2026, 11, day, 9, 0, 0);
  return m;
}

// The account dialog's three option boxes.
struct TOptionBoxes {
  QSpinBox* Reuse;
  QSpinBox* Parallel;
  QSpinBox* Rate;
};

TOptionBoxes Boxes(QDialog* dlg) {
  return {dlg->findChild<QSpinBox*>("ReuseEd"), dlg->findChild<QSpinBox*>("ParallelEd"),
          dlg->findChild<QSpinBox*>("RateEd")};
}

} // namespace

class OptionsWindowsTest : public TWindowTest {
  Q_OBJECT

  // The main window on the test's folder with its account dialog and its
  // editor window.
  struct TWindows {
    TMainState state;
    TMainForm form{state};
    TEditKontenForm konten{&form};
    TWriteMailForm editor{&form};
    explicit TWindows(const std::string& dir) {
      form.SetEditKontenForm(&konten);
      form.SetWriteMailForm(&editor);
      form.FormCreate(dir);
    }
  };

  // Opens the editor on the stored mail in row 0 and runs action in it.
  static void EditFirstMail(TMainForm& form, std::function<void(TWriteMailForm*)> action) {
    InEditor(std::move(action));
    form.ui.ListView1->clearSelection();
    form.ui.ListView1->topLevelItem(0)->setSelected(true);
    form.ListView1DblClick();
  }

  static void ClickAccountButton(TMainForm& form, const char* name) {
    QTest::mouseClick(form.findChild<QPushButton*>(name), Qt::LeftButton);
  }

private slots:
  void init() { InitTest(); }
  void cleanup() { CleanupTest(); }

  // The captions are the ones postello-cli account-options prints, so a
  // user finds the same option under the same name in both.
  void accountDialogCaptionsAreTheCommandLines() {
    StoreKonten(Dir(), {Konto("Anna")});
    QProcess cli;
    cli.start(QStringLiteral(POSTELLO_BIN_DIR "/postello-cli"),
              {"account-options", "--account", "0", "--dir", m_dir.path()});
    QVERIFY(cli.waitForFinished(30000));
    QCOMPARE(cli.exitCode(), 0);
    const QStringList lines = QString::fromUtf8(cli.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 4);
    TEditKontenForm dialog;
    const char* labels[] = {"Label7", "Label8", "Label9"};
    for (int k = 0; k < 3; ++k) {
      auto* label = dialog.findChild<QLabel*>(labels[k]);
      QVERIFY(label);
      QCOMPARE(label->text(), lines[k + 1].section(':', 0, 0) + ":");
    }
    QCOMPARE(Boxes(&dialog).Parallel->minimum(), 1);
    QCOMPARE(Boxes(&dialog).Parallel->maximum(), TKontoOptionsStore::MaxParallel);
    QCOMPARE(Boxes(&dialog).Reuse->minimum(), 0);
    QCOMPARE(Boxes(&dialog).Rate->minimum(), 0);
    // 0 says what it means instead of a bare number.
    QCOMPARE(Boxes(&dialog).Reuse->specialValueText(), QString("0 (eine Verbindung pro Mail)"));
    QCOMPARE(Boxes(&dialog).Rate->specialValueText(), QString("0 (keine Grenze)"));
  }

  void newAccountWithOptionsIsSavedBesideKontenDat() {
    TWindows w(Dir());
    TMainForm& form = w.form;
    WhenModalShown([](QDialog* dlg) {
      const TOptionBoxes boxes = Boxes(dlg);
      // A new account starts with the defaults.
      QCOMPARE(boxes.Reuse->value(), 0);
      QCOMPARE(boxes.Parallel->value(), 1);
      QCOMPARE(boxes.Rate->value(), 0);
      dlg->findChild<QLineEdit*>("AbsenderEd")->setText("Anna");
      dlg->findChild<QLineEdit*>("EmailEd")->setText("Anna@example.org");
      dlg->findChild<QLineEdit*>("ServerEd")->setText("smtp.example.org");
      boxes.Reuse->setValue(50);
      boxes.Parallel->setValue(4);
      boxes.Rate->setValue(120);
      dlg->findChild<QPushButton*>("OKBtn")->click();
    });
    ClickAccountButton(form, "NewKontoBtn");

    TKontoList expected;
    TKontoRec* k = expected.Add();
    *k = Konto("Anna");
    k->Password = CodePassw("");
    // konten.dat holds what the older program reads, options or not.
    QCOMPARE(FileBytes(File("konten.dat")).toStdString(), TKontoStore::Encode(expected));
    k->Reuse = 50;
    k->Parallel = 4;
    k->RatePerMinute = 120;
    QCOMPARE(FileBytes(File("kontooptionen.dat")).toStdString(), TKontoOptionsStore::Encode(expected));
    TKontoList reread;
    QVERIFY(TKontoStore::Open(Dir(), reread).Error.empty());
    QCOMPARE(reread.Count(), 1u);
    QCOMPARE(reread[0].Reuse, 50);
    QCOMPARE(reread[0].Parallel, 4);
    QCOMPARE(reread[0].RatePerMinute, 120);
  }

  // The dialog shows the stored options; setting them back to the
  // defaults leaves an options file without entries.
  void editedAccountShowsItsOptionsAndOkStoresTheChange() {
    TKontoRec anna = Konto("Anna"), bernd = Konto("Bernd");
    bernd.Reuse = 10;
    bernd.Parallel = 3;
    bernd.RatePerMinute = 30;
    StoreKonten(Dir(), {anna, bernd});
    TWindows w(Dir());
    TMainState& state = w.state;
    TMainForm& form = w.form;
    auto* list = form.findChild<QTreeWidget*>("ListView2");
    QCOMPARE(list->topLevelItemCount(), 2);
    const QByteArray kontenBefore = FileBytes(File("konten.dat"));

    int shown[3] = {-1, -1, -1};
    WhenModalShown([&shown](QDialog* dlg) {
      const TOptionBoxes boxes = Boxes(dlg);
      shown[0] = boxes.Reuse->value();
      shown[1] = boxes.Parallel->value();
      shown[2] = boxes.Rate->value();
      boxes.Reuse->setValue(0);
      boxes.Parallel->setValue(1);
      boxes.Rate->setValue(0);
      dlg->findChild<QPushButton*>("OKBtn")->click();
    });
    list->topLevelItem(1)->setSelected(true);
    ClickAccountButton(form, "EditKontoBtn");
    QCOMPARE(shown[0], 10);
    QCOMPARE(shown[1], 3);
    QCOMPARE(shown[2], 30);
    QCOMPARE(FileBytes(File("konten.dat")), kontenBefore);
    QCOMPARE(FileBytes(File("kontooptionen.dat")), QByteArray("PKO1\0\0\0\0", 8));
    QCOMPARE(state.Konten[1].Parallel, 1);
  }

  // The mailbox group shows the stored mailbox with its password in
  // clear; a server text without port keeps the dialog open with the
  // reason; OAuth greys the password out; OK stores the group in
  // postfaecher.dat, password scrambled, konten.dat keeping its bytes.
  void mailboxGroupIsShownCheckedAndSavedWithTheAccount() {
    TKontoRec anna = Konto("Anna");
    anna.Mailbox = {"imap.example.org:993", "anna", CodePassw("geheim"), false, "INBOX", "Postello/Verarbeitet"};
    StoreKonten(Dir(), {anna});
    const QByteArray konten = FileBytes(File("konten.dat"));
    TWindows w(Dir());
    QStringList shown;
    bool greyed = false, stayedOpen = false;
    WhenModalShown([&](QDialog* dlg) {
      const auto box = [dlg](const char* name) { return dlg->findChild<QLineEdit*>(name); };
      for (const char* name : {"ImapServerEd", "ImapUserEd", "ImapPasswordEd", "ImapFolderEd", "ImapDoneFolderEd"})
        shown << box(name)->text();
      box("ImapServerEd")->setText("imap.example.org");
      dlg->findChild<QPushButton*>("OKBtn")->click();
      stayedOpen = dlg->isVisible();
      box("ImapServerEd")->setText("[2001:db8::1]:143");
      dlg->findChild<QCheckBox*>("ImapOAuthCheck")->setChecked(true);
      greyed = !box("ImapPasswordEd")->isEnabled();
      dlg->findChild<QCheckBox*>("ImapOAuthCheck")->setChecked(false);
      greyed = greyed && box("ImapPasswordEd")->isEnabled();
      box("ImapDoneFolderEd")->setText("Erledigt");
      dlg->findChild<QPushButton*>("OKBtn")->click();
    });
    w.form.findChild<QTreeWidget*>("ListView2")->topLevelItem(0)->setSelected(true);
    ClickAccountButton(w.form, "EditKontoBtn");
    QCOMPARE(shown, QStringList({"imap.example.org:993", "anna", "geheim", "INBOX", "Postello/Verarbeitet"}));
    QVERIFY(stayedOpen);
    QCOMPARE(m_sink.texts, std::vector<std::string>{"Posteingang f\xFCr R\xFC" "ckl\xE4ufer: IMAP-Server "
                                                    "\"imap.example.org\": der Port fehlt (HOST:PORT, z. B. "
                                                    "imap.example.org:993)."});
    QVERIFY(greyed);
    QCOMPARE(FileBytes(File("konten.dat")), konten);
    TKontoList expected;
    *expected.Add() = Konto("Anna");
    expected[0].Mailbox = {"[2001:db8::1]:143", "anna", CodePassw("geheim"), false, "INBOX", "Erledigt"};
    QCOMPARE(FileBytes(File("postfaecher.dat")).toStdString(), TPostfachStore::Encode(expected));
  }

  void cancelledAccountDialogStoresNoOption() {
    TKontoRec anna = Konto("Anna");
    anna.Parallel = 2;
    StoreKonten(Dir(), {anna});
    const QByteArray konten = FileBytes(File("konten.dat")), options = FileBytes(File("kontooptionen.dat"));
    QVERIFY(!options.isEmpty());
    TWindows w(Dir());
    TMainState& state = w.state;
    TMainForm& form = w.form;
    WhenModalShown([](QDialog* dlg) {
      Boxes(dlg).Parallel->setValue(8);
      Boxes(dlg).Reuse->setValue(5);
      dlg->findChild<QPushButton*>("CancelBtn")->click();
    });
    form.findChild<QTreeWidget*>("ListView2")->topLevelItem(0)->setSelected(true);
    ClickAccountButton(form, "EditKontoBtn");
    QCOMPARE(FileBytes(File("konten.dat")), konten);
    QCOMPARE(FileBytes(File("kontooptionen.dat")), options);
    QCOMPARE(state.Konten[0].Parallel, 2);
    QCOMPARE(state.Konten[0].Reuse, 0);

    // A new account cancelled: no options file appears where none was.
    QVERIFY(QFile::remove(File("kontooptionen.dat")));
    WhenModalShown([](QDialog* dlg) {
      Boxes(dlg).Rate->setValue(60);
      dlg->findChild<QPushButton*>("CancelBtn")->click();
    });
    ClickAccountButton(form, "NewKontoBtn");
    QVERIFY(!QFile::exists(File("kontooptionen.dat")));
    QCOMPARE(FileBytes(File("konten.dat")), konten);
  }

  void editorOptionsAreShownAndYesStoresThemBesideMailsDat() {
    StoreMails(Dir(), {Mail("Hallo [%Vorname]", 1), Mail("Zweite", 2)});
    const QByteArray mailsBefore = FileBytes(File("mails.dat"));
    QVERIFY(!QFile::exists(File("mailoptionen.dat")));
    TWindows w(Dir());
    TMainForm& form = w.form;
    TWriteMailForm& editor = w.editor;
    m_sink.answer = TMsgResult::Yes;
    const QString targets = QString::fromUtf8("mailto:ab@example.org?subject=[%Name], https://example.org/ab?ü=[%EMAIL]");
    EditFirstMail(form, [&targets](TWriteMailForm* e) {
      QCOMPARE(e->ui.UnsubscribeEd->text(), QString());
      QVERIFY(!e->ui.MergeSubjectCheck->isChecked());
      QVERIFY(e->ui.BccToCheck->isChecked());
      e->ui.UnsubscribeEd->setText(targets);
      QTest::mouseClick(e->ui.MergeSubjectCheck, Qt::LeftButton);
      QTest::mouseClick(e->ui.BccToCheck, Qt::LeftButton);
      e->close();
    });
    QCOMPARE(m_sink.texts.size(), size_t(1));
    QCOMPARE(m_sink.captions[0], std::string("Speichern"));
    QVERIFY(!editor.isVisible());
    QVERIFY(FileBytes(File("mails.dat")) != mailsBefore);  // Yes dates the mail anew

    const TMailList mails = RereadMails(Dir());
    QCOMPARE(mails.Count(), 2u);
    QCOMPARE(mails[0].Unsubscribe, Utf8ToCp1252(targets.toStdString()));
    QVERIFY(mails[0].MergeSubject);
    QVERIFY(!mails[0].BccToLine);
    QCOMPARE(mails[1].Unsubscribe, std::string());
    QVERIFY(!mails[1].MergeSubject);
    QVERIFY(mails[1].BccToLine);
    QCOMPARE(FileBytes(File("mailoptionen.dat")).toStdString(), TMailOptionsStore::Encode(mails));

    // Opened again, the window shows what was stored.
    m_sink.answer = TMsgResult::No;
    QString shown;
    bool checked = false, bccTo = true;
    EditFirstMail(form, [&](TWriteMailForm* e) {
      shown = e->ui.UnsubscribeEd->text();
      checked = e->ui.MergeSubjectCheck->isChecked();
      bccTo = e->ui.BccToCheck->isChecked();
      e->close();
    });
    QCOMPARE(shown, targets);
    QVERIFY(checked);
    QVERIFY(!bccTo);
  }

  void editorNoLeavesMailsAndOptionsByteForByte() {
    TMailRec first = Mail("Erste", 1);
    first.Unsubscribe = "https://example.org/ab?u=[%EMAIL]";
    first.MergeSubject = true;
    StoreMails(Dir(), {first, Mail("Zweite", 2)});
    const QByteArray mails = FileBytes(File("mails.dat")), options = FileBytes(File("mailoptionen.dat"));
    QVERIFY(!options.isEmpty());
    TWindows w(Dir());
    TMainState& state = w.state;
    TMainForm& form = w.form;
    TWriteMailForm& editor = w.editor;
    m_sink.answer = TMsgResult::No;
    EditFirstMail(form, [](TWriteMailForm* e) {
      e->ui.UnsubscribeEd->setText("mailto:anders@example.org");
      QTest::mouseClick(e->ui.MergeSubjectCheck, Qt::LeftButton);
      QVERIFY(!e->ui.MergeSubjectCheck->isChecked());
      QTest::keyClick(e, Qt::Key_Escape);
    });
    QCOMPARE(m_sink.texts.size(), size_t(1));
    QVERIFY(!editor.isVisible());
    QCOMPARE(FileBytes(File("mails.dat")), mails);
    QCOMPARE(FileBytes(File("mailoptionen.dat")), options);
    QCOMPARE(state.Mails[0].Unsubscribe, first.Unsubscribe);
    QVERIFY(state.Mails[0].MergeSubject);

    // A new mail with options, then No: no options file appears.
    QVERIFY(QFile::remove(File("mailoptionen.dat")));
    InEditor([](TWriteMailForm* e) {
      QCOMPARE(e->ui.UnsubscribeEd->text(), QString());  // nothing left from the mail before
      e->ui.UnsubscribeEd->setText("mailto:neu@example.org");
      e->ui.MergeSubjectCheck->setChecked(true);
      e->close();
    });
    QTest::mouseClick(form.ui.NewBtn, Qt::LeftButton);
    QCOMPARE(state.Mails.Count(), 2u);
    QVERIFY(!QFile::exists(File("mailoptionen.dat")));
    QCOMPARE(FileBytes(File("mails.dat")), mails);
  }

  // Targets no List-Unsubscribe header could carry are refused on Yes:
  // the window stays open and nothing is stored.
  void yesWithAnUnusableTargetKeepsTheWindowOpen() {
    StoreMails(Dir(), {Mail("Erste", 1)});
    const QByteArray mails = FileBytes(File("mails.dat"));
    TWindows w(Dir());
    TMainForm& form = w.form;
    TWriteMailForm& editor = w.editor;
    bool stayedOpen = false;
    QWidget* focus = nullptr;
    EditFirstMail(form, [&](TWriteMailForm* e) {
      e->ui.UnsubscribeEd->setText("http://example.org/ab");
      m_sink.answer = TMsgResult::Yes;
      e->close();
      stayedOpen = e->isVisible();
      focus = e->focusWidget();
      m_sink.answer = TMsgResult::No;
      e->close();
    });
    QVERIFY(stayedOpen);
    QCOMPARE(focus, editor.ui.UnsubscribeEd);
    QCOMPARE(m_sink.texts.size(), size_t(3));
    QCOMPARE(m_sink.texts[1], std::string("Abmelde-Adresse muss mit mailto: oder https:// beginnen: http://example.org/ab"));
    QCOMPARE(FileBytes(File("mails.dat")), mails);
    QVERIFY(!QFile::exists(File("mailoptionen.dat")));
  }

  // The new row below the subject takes its room from the pages, not from
  // the window: the starting size stays, and every control in it gets
  // what it asks for.
  void editorKeepsItsStartingSizeWithTheNewRow() {
    TWriteMailForm editor;
    QCOMPARE(editor.size(), QSize(760, 580));
    editor.show();
    QVERIFY(QTest::qWaitForWindowExposed(&editor));
    QCOMPARE(editor.size(), QSize(760, 580));
    QCOMPARE(editor.ui.UnsubscribeLabel->text(), QString("Abmelde-Link (List-Unsubscribe):"));
    QCOMPARE(editor.ui.MergeSubjectCheck->text(), QString("Platzhalter im Betreff ersetzen"));
    QCOMPARE(editor.ui.BccToCheck->text(), QString::fromUtf8("An-Zeile für Bcc-Mails"));
    for (QWidget* w : std::initializer_list<QWidget*>{editor.ui.Label1, editor.ui.Edit1, editor.ui.UnsubscribeLabel,
                                                      editor.ui.UnsubscribeEd, editor.ui.MergeSubjectCheck,
                                                      editor.ui.BccToCheck})
      CheckNotSqueezed(w);
    // Below the subject line, the box as wide as the room beside the check
    // box allows, and starting at the subject box's left edge.
    QVERIFY(editor.ui.UnsubscribeEd->y() > editor.ui.Edit1->y());
    QCOMPARE(editor.ui.UnsubscribeEd->x(), editor.ui.Edit1->x());
    QVERIFY(editor.ui.UnsubscribeEd->width() >= 300);
    QVERIFY(editor.ui.BccToCheck->y() > editor.ui.MergeSubjectCheck->geometry().bottom());
    QCOMPARE(editor.ui.BccToCheck->x(), editor.ui.MergeSubjectCheck->x());
    QVERIFY(editor.ui.PageControl1->y() > editor.ui.BccToCheck->geometry().bottom());
  }
};

QTEST_MAIN(OptionsWindowsTest)
#include "OptionsWindowsTest.moc"
