// The journal on the send page: "Versand fortsetzen" after a cancelled
// run, the question about uncertain messages, the check before a run with
// "Trotzdem senden" and "Abbrechen", the failed ones sent again and
// exported, and the test mail; against a real SMTP server (aiosmtpd).
#include "TMainForm.h"
#include "TWriteMailForm.h"
#include "UiTestSupport.h"

#include "QtText.h"
#include "send/PreSendCheck.h"
#include "send/TSendJournal.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <map>

#include <csignal>

using namespace postello;
using postello::test::WhenModalShown;

class SendJournalPageTest : public postello::test::TSendPeerTest {
  Q_OBJECT

  // n addresses r1 ... rn, one account on the test server, one text mail.
  void Prepare(TMainState& state, TMainForm& form, int n, const std::string& text = "Liebe(r) [%Name]",
               int port = 0) {
    m_sink.answer = TMsgResult::Ok;
    postello::test::PrepareSendPage(state, form, m_dir, n, port != 0 ? port : m_port, text, 45000.25);
    m_sink.texts.clear();
    m_sink.captions.clear();
  }

  // How often each address arrived at the server since the test began.
  std::map<QString, int> Arrivals() const {
    std::map<QString, int> count;
    for (const QString& name : QDir(m_spool.path()).entryList({"msg-*.json"}, QDir::Files)) {
      QFile f(m_spool.filePath(name));
      if (!f.open(QIODevice::ReadOnly)) continue;
      for (const QJsonValue& v : QJsonDocument::fromJson(f.readAll()).object()["rcpt_tos"].toArray())
        ++count[v.toString()];
    }
    return count;
  }

  std::vector<std::string> Journals() const { return ListJournals(Dir()); }

  QPushButton* Button(TMainForm& form, const char* name) { return form.findChild<QPushButton*>(name); }
  QString JournalText(TMainForm& form) { return form.findChild<QLabel*>("JournalLabel")->text(); }

  // From now on every message succeeds and its recipients are added to
  // delivered.
  static void RecordDeliveries(TMainForm& form, std::vector<std::string>& delivered) {
    form.Deliver = [&delivered](const TOutgoingMail& mail) {
      delivered.push_back(mail.Recipients);
      return TSendResult(true);
    };
  }

private slots:
  void initTestCase() { StartPeer(); }
  void cleanupTestCase() { StopPeer(); }
  void init() {
    InitTest();
    for (const QString& name : QDir(m_spool.path()).entryList(QDir::Files)) QFile::remove(m_spool.filePath(name));
  }
  void cleanup() { CleanupTest(); }

  void resumeAfterACancelledRun() {
    TMainState state;
    TMainForm form(state);
    form.FormCreate(Dir());
    Prepare(state, form, 10, "Liebe(r) [%Name]");
    QCOMPARE(JournalText(form), QString("Diese Mail wurde noch nicht versandt."));
    QVERIFY(!Button(form, "ResumeBtn")->isEnabled());
    auto* send = Button(form, "SendBtn");
    const TSendRun::TDeliver real = [](const TOutgoingMail& mail) { return DeliverMail(mail); };
    form.Deliver = [&](const TOutgoingMail& mail) {
      if (mail.Index == 3) {
        // "Abbrechen" while the fourth message is on its way; it still goes.
        QMetaObject::invokeMethod(send, [&] { send->click(); }, Qt::BlockingQueuedConnection);
      }
      return real(mail);
    };
    QTest::mouseClick(send, Qt::LeftButton);
    QCOMPARE(form.findChild<QLabel*>("statlabel")->text(), QString("4 Mails von 10 verarbeitet 1 fehlgeschlagen."));
    QVERIFY(Button(form, "ResumeBtn")->isEnabled());
    QVERIFY(JournalText(form).contains(
        QString("wurde nicht beendet: 3 von 10 Nachrichten gesendet, 1 fehlgeschlagen, 0 unsicher.")));
    QVERIFY(!Button(form, "ResumeBtn")->isHidden());

    form.Deliver = real;
    m_sink.texts.clear();
    QTest::mouseClick(Button(form, "ResumeBtn"), Qt::LeftButton);
    // r2 is refused again, the six not reached went now; nobody got it twice.
    QCOMPARE(form.findChild<QLabel*>("statlabel")->text(), QString("7 Mails von 7 verarbeitet 1 fehlgeschlagen."));
    std::map<QString, int> expected;
    for (int k = 1; k <= 10; ++k)
      if (k != 2) expected["r" + QString::number(k) + "@example.org"] = 1;
    QCOMPARE(Arrivals(), expected);
    QVERIFY(m_sink.texts.empty());  // nothing uncertain, nothing missing: no question
    QCOMPARE(Journals().size(), size_t(2));
    const TJournalRun resumed = ReadJournal(Journals()[1]);
    QCOMPARE(int(resumed.Info.Kind), int(TJournalRunKind::Resume));
    QCOMPARE(resumed.Plan.size(), size_t(7));
    QVERIFY(!Button(form, "ResumeBtn")->isEnabled());
    QVERIFY(Button(form, "RetryBtn")->isEnabled());
    QVERIFY(JournalText(form).startsWith("Letzter Versand dieser Mail ("));
  }

  void savingTheMailInTheEditorKeepsItsRunForResume() {
    TMainState state;
    TMainForm form(state);
    TWriteMailForm editor(&form);
    editor.SetProgDir(Dir());
    form.SetWriteMailForm(&editor);
    form.FormCreate(Dir());
    Prepare(state, form, 6);
    auto* send = Button(form, "SendBtn");
    std::vector<std::string> delivered;
    form.Deliver = [&](const TOutgoingMail& mail) {
      if (mail.Index == 2) QMetaObject::invokeMethod(send, [&] { send->click(); }, Qt::BlockingQueuedConnection);
      delivered.push_back(mail.Recipients);
      return TSendResult(true);
    };
    QTest::mouseClick(send, Qt::LeftButton);
    QCOMPARE(delivered.size(), size_t(3));
    QVERIFY(Button(form, "ResumeBtn")->isEnabled());

    // Opened from the list, changed, closed with "Ja": a new date.
    auto* pages = form.findChild<QTabWidget*>("PageControl2");
    pages->setCurrentIndex(0);
    const double dated = state.Mails[0].Date;
    m_sink.answer = TMsgResult::Yes;
    postello::test::InEditor([](TWriteMailForm* e) {
      postello::test::TypeText(e->ui.Memo2, " und mehr");
      QTest::mouseClick(e->ui.SpeedButton1, Qt::LeftButton);
    });
    auto* list = form.findChild<QTreeWidget*>("ListView1");
    list->setCurrentItem(list->topLevelItem(0));
    list->topLevelItem(0)->setSelected(true);
    QTest::keyClick(list, Qt::Key_Return);
    QVERIFY(state.Mails[0].Date != dated);
    pages->setCurrentIndex(3);  // back to the send page, which reads the journal afresh

    QVERIFY(JournalText(form).contains("wurde nicht beendet: 3 von 6 Nachrichten gesendet"));
    QVERIFY(Button(form, "ResumeBtn")->isEnabled());
    delivered.clear();
    RecordDeliveries(form, delivered);
    QTest::mouseClick(Button(form, "ResumeBtn"), Qt::LeftButton);
    QCOMPARE(delivered, (std::vector<std::string>{"r4@example.org", "r5@example.org", "r6@example.org"}));
  }

  void uncertainMessagesAreSentAgainOnlyWhenAsked() {
    TMainState state;
    TMainForm form(state);
    form.FormCreate(Dir());
    Prepare(state, form, 5);
    auto* send = Button(form, "SendBtn");
    form.Deliver = [&](const TOutgoingMail& mail) -> TSendResult {
      if (mail.Index == 2) {
        QMetaObject::invokeMethod(send, [&] { send->click(); }, Qt::BlockingQueuedConnection);
        // The end of the data went out; the answer never came.
        if (!mail.BeforeDataEnd()) return false;
        TSendResult lost = TSendResult::Failed("Server hat die Verbindung beendet");
        lost.Uncertain = true;
        return lost;
      }
      return true;
    };
    QTest::mouseClick(send, Qt::LeftButton);
    QVERIFY(JournalText(form).contains("1 unsicher"));

    std::vector<std::string> delivered;
    RecordDeliveries(form, delivered);
    m_sink.answer = TMsgResult::No;
    QTest::mouseClick(Button(form, "ResumeBtn"), Qt::LeftButton);
    QCOMPARE(m_sink.texts.size(), size_t(1));
    QVERIFY(QString::fromStdString(m_sink.texts[0]).contains("r3@example.org"));
    QCOMPARE(QString::fromStdString(m_sink.captions[0]), QString("Versand fortsetzen"));
    QCOMPARE(delivered, (std::vector<std::string>{"r4@example.org", "r5@example.org"}));
  }

  void uncertainMessagesGoAgainOnYes() {
    TMainState state;
    TMainForm form(state);
    form.FormCreate(Dir());
    Prepare(state, form, 4);
    auto* send = Button(form, "SendBtn");
    form.Deliver = [&](const TOutgoingMail& mail) -> TSendResult {
      if (mail.Index == 1) {
        QMetaObject::invokeMethod(send, [&] { send->click(); }, Qt::BlockingQueuedConnection);
        mail.BeforeDataEnd();
        TSendResult lost = TSendResult::Failed("keine Antwort");
        lost.Uncertain = true;
        return lost;
      }
      return true;
    };
    QTest::mouseClick(send, Qt::LeftButton);
    std::vector<std::string> delivered;
    RecordDeliveries(form, delivered);
    m_sink.answer = TMsgResult::Yes;
    QTest::mouseClick(Button(form, "ResumeBtn"), Qt::LeftButton);
    QCOMPARE(delivered, (std::vector<std::string>{"r2@example.org", "r3@example.org", "r4@example.org"}));
  }

  void failedOnesAreExportedAndSentAgain() {
    TMainState state;
    TMainForm form(state);
    form.FormCreate(Dir());
    Prepare(state, form, 3);
    QTest::mouseClick(Button(form, "SendBtn"), Qt::LeftButton);
    QVERIFY(Button(form, "RetryBtn")->isEnabled());
    QVERIFY(Button(form, "ExportFailedBtn")->isEnabled());
    QVERIFY(!Button(form, "ResumeBtn")->isEnabled());

    const QString target = m_dir.filePath("fehler.csv");
    WhenModalShown([&](QDialog* dlg) {
      auto* files = qobject_cast<QFileDialog*>(dlg);
      QVERIFY(files != nullptr);
      QCOMPARE(files->objectName(), QString("SaveDialog1"));
      // Typed into the name box, as a user would. selectFile() keeps the
      // suggested name whenever the box already has the focus, which
      // depends on timing (the tests before, the last folder every Qt
      // program remembers in QtProject.conf), and the export then went to
      // fehlgeschlagen.csv beside it.
      auto* name = files->findChild<QLineEdit*>("fileNameEdit");
      QVERIFY(name != nullptr);
      QCOMPARE(name->text(), QString("fehlgeschlagen.csv"));
      name->setText(target);
      QCOMPARE(files->selectedFiles(), QStringList{target});
      QMetaObject::invokeMethod(files, "accept");
    });
    QTest::mouseClick(Button(form, "ExportFailedBtn"), Qt::LeftButton);
    QCOMPARE(postello::test::CancelModalHooks(), 0);
    QCOMPARE(postello::test::FileBytes(target),
             QByteArray("\xEF\xBB\xBF" "Adresse;Zeile;Grund\r\n"
                        "r2@example.org;2;550 5.1.1 <r2@example.org>: Recipient address rejected\r\n"));

    std::vector<std::string> delivered;
    RecordDeliveries(form, delivered);
    QTest::mouseClick(Button(form, "RetryBtn"), Qt::LeftButton);
    QCOMPARE(delivered, std::vector<std::string>{"r2@example.org"});
    QCOMPARE(int(ReadJournal(Journals().back()).Info.Kind), int(TJournalRunKind::Retry));
    QVERIFY(!Button(form, "RetryBtn")->isEnabled());
  }

  void checkBeforeTheRunWithTrotzdemSendenAndAbbrechen() {
    TMainState state;
    TMainForm form(state);
    form.FormCreate(Dir());
    Prepare(state, form, 3, "Hallo [%Nmae]");
    QString shown;
    WhenModalShown([&](QDialog* dlg) {
      QCOMPARE(dlg->windowTitle(), QString::fromUtf8("Prüfung vor dem Versand"));
      shown = dlg->findChild<QPlainTextEdit*>("CheckList")->toPlainText();
      dlg->findChild<QPushButton*>("CancelBtn")->click();
    });
    QTest::mouseClick(Button(form, "SendBtn"), Qt::LeftButton);
    QVERIFY2(shown.startsWith("Der Platzhalter [%Nmae] nennt kein Feld der Tabelle.\n"
                              "Felder der Tabelle: EMAIL, NAME, VORNAME, ANREDE, INFO 1, INFO 2\n"
                              "3 Nachrichten an 3 Empf"),
             qPrintable(shown));
    QVERIFY(Arrivals().empty());
    QVERIFY(Journals().empty());
    QCOMPARE(form.findChild<QLabel*>("statlabel")->text(), QString("0 Mails von 0 verarbeitet 0 fehlgeschlagen."));

    WhenModalShown([](QDialog* dlg) { dlg->findChild<QPushButton*>("SendAnywayBtn")->click(); });
    QTest::mouseClick(Button(form, "SendBtn"), Qt::LeftButton);
    QCOMPARE(form.findChild<QLabel*>("statlabel")->text(), QString("3 Mails von 3 verarbeitet 1 fehlgeschlagen."));
    QCOMPARE(Arrivals().size(), size_t(2));
  }

  // SpamAssassin rates the first message while the window goes on: the
  // check form says it is at work, a spam verdict becomes its finding,
  // "Abbrechen" stops a check at once, and a clean verdict starts the run.
  void spamCheckRunsBesideTheWindow() {
    TMainState state;
    TMainForm form(state);
    form.FormCreate(Dir());
    Prepare(state, form, 3);
    const QString script = m_dir.filePath("spamassassin"), pidFile = m_dir.filePath("pid");
    auto fake = [&](const QByteArray& body) {
      QFile f(script);
      QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
      f.write("#!/bin/sh\necho $$ >" + pidFile.toUtf8() + "\ncat >/dev/null\n" + body);
      f.close();
      f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    };
    form.SpamProgram = script.toStdString();
    auto list = [](QDialog* dlg) { return dlg->findChild<QPlainTextEdit*>("CheckList")->toPlainText(); };

    fake("sleep 1\nprintf 'X-Spam-Status: Yes, score=7.5 required=5.0 tests=MISSING_HEADERS\\n"
         "X-Spam-Report: \\n\\t*  0.9 MISSING_HEADERS Missing To: header\\n\\nText\\n'\n");
    QString running, shown;
    int ticks = 0;
    WhenModalShown([&](QDialog* dlg) {
      running = list(dlg);
      QTimer tick;
      QObject::connect(&tick, &QTimer::timeout, [&] { ++ticks; });
      tick.start(10);
      QTRY_VERIFY_WITH_TIMEOUT(!list(dlg).endsWith(QString::fromUtf8("Spam-Prüfung läuft ...")), 20000);
      shown = list(dlg);
      dlg->findChild<QPushButton*>("CancelBtn")->click();
    });
    QTest::mouseClick(Button(form, "SendBtn"), Qt::LeftButton);
    QVERIFY2(running.endsWith(QString::fromUtf8("\nSpam-Prüfung läuft ...")), qPrintable(running));
    QVERIFY2(ticks > 20, qPrintable(QString::number(ticks)));  // the window's events went on meanwhile
    QVERIFY2(shown.startsWith("Die erste Mail gilt als Spam (SpamAssassin): 7,5 Punkte, Grenze 5,0.\n"), qPrintable(shown));
    QVERIFY2(shown.endsWith("\n  0,9 MISSING_HEADERS: Die Mail hat keine An-Zeile (To)."), qPrintable(shown));

    fake("exec sleep 60\n");
    QFile::remove(pidFile);
    QElapsedTimer clock;
    clock.start();
    WhenModalShown([&](QDialog* dlg) {
      QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(pidFile).size() > 0, 10000);
      dlg->findChild<QPushButton*>("CancelBtn")->click();
    });
    QTest::mouseClick(Button(form, "SendBtn"), Qt::LeftButton);
    QVERIFY(clock.elapsed() < 30000);
    QFile pid(pidFile);
    QVERIFY(pid.open(QIODevice::ReadOnly));
    QVERIFY(::kill(pid.readAll().trimmed().toInt(), 0) != 0);  // killed, not left behind
    QVERIFY(Arrivals().empty());

    fake("printf 'X-Spam-Status: No, score=1.0 required=5.0\\n\\n'\n");
    QTest::mouseClick(Button(form, "SendBtn"), Qt::LeftButton);
    QCOMPARE(form.findChild<QLabel*>("statlabel")->text(), QString("3 Mails von 3 verarbeitet 1 fehlgeschlagen."));
  }

  void testMailGoesToTheTypedAddressAndLeavesTheStateAlone() {
    TMainState state;
    TMainForm form(state);
    form.FormCreate(Dir());
    Prepare(state, form, 3);
    QVERIFY(Button(form, "TestMailBtn")->isEnabled());
    QString offered;
    WhenModalShown([&](QDialog* dlg) {
      QCOMPARE(dlg->windowTitle(), QString("Testmail senden"));
      offered = dlg->findChild<QLineEdit*>("TestAddressEd")->text();
      auto* records = dlg->findChild<QComboBox*>("RecordCombo");
      QCOMPARE(records->count(), 3);
      QCOMPARE(records->currentIndex(), 0);
      records->setCurrentIndex(2);
      dlg->findChild<QLineEdit*>("TestAddressEd")->setText("ich@example.org");
      dlg->findChild<QPushButton*>("SendTestBtn")->click();
    });
    QTest::mouseClick(Button(form, "TestMailBtn"), Qt::LeftButton);
    QCOMPARE(offered, QString("verein@example.org"));
    QCOMPARE(Arrivals(), (std::map<QString, int>{{"ich@example.org", 1}}));
    QFile f(m_spool.filePath(QDir(m_spool.path()).entryList({"msg-*.eml"}).first()));
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray message = f.readAll();
    QVERIFY(message.contains("Subject: =?iso-8859-1?Q?[Test]=20Hallo?=") || message.contains("Subject: [Test] Hallo"));
    const int body = message.indexOf("\r\n\r\n");
    QVERIFY(QByteArray::fromBase64(message.mid(body + 4)).contains("Liebe(r) Name3"));
    // A test is no run of the mail.
    QCOMPARE(JournalText(form), QString("Diese Mail wurde noch nicht versandt."));
    QCOMPARE(Journals().size(), size_t(1));
  }

  // A test mail is checked first, as a run is: a subject placeholder that
  // is never replaced is shown, and "Abbrechen" sends nothing.
  void testMailIsCheckedFirst() {
    TMainState state;
    TMainForm form(state);
    form.FormCreate(Dir());
    Prepare(state, form, 2);
    state.Mails[state.Mails.Count() - 1].Subject = "Hallo [%Vorname]";
    QString shown;
    WhenModalShown([&](QDialog* test) {
      WhenModalShown([&](QDialog* check) {
        shown = check->findChild<QPlainTextEdit*>("CheckList")->toPlainText();
        check->findChild<QPushButton*>("CancelBtn")->click();
      });
      test->findChild<QLineEdit*>("TestAddressEd")->setText("ich@example.org");
      test->findChild<QPushButton*>("SendTestBtn")->click();
    });
    QTest::mouseClick(Button(form, "TestMailBtn"), Qt::LeftButton);
    QVERIFY2(shown.startsWith(ToQ(kSubjectPlaceholderNote)), qPrintable(shown));
    QVERIFY(Arrivals().empty());
  }

  void theServersSizeLimitIsAskedInTheBackground() {
    QTemporaryDir spool;
    QProcess small;
    const int port = postello::test::StartSendPeer(small, spool.path(), {"--size", "300"});
    QVERIFY(port != 0);
    TMainState state;
    TMainForm form(state);
    form.FormCreate(Dir());
    Prepare(state, form, 2, "Hallo [%Name]", port);
    // Showing the page asked the server (EHLO only) without holding up the window.
    QTRY_COMPARE(form.KnownSizeLimit("127.0.0.1:" + std::to_string(port)), std::int64_t(300));
    QString shown;
    WhenModalShown([&](QDialog* dlg) {
      shown = dlg->findChild<QPlainTextEdit*>("CheckList")->toPlainText();
      dlg->findChild<QPushButton*>("CancelBtn")->click();
    });
    QTest::mouseClick(Button(form, "SendBtn"), Qt::LeftButton);
    QVERIFY2(shown.contains(QString::fromUtf8("ist größer, als der Server annimmt (300 Bytes).")), qPrintable(shown));
    QCOMPARE(QDir(spool.path()).entryList({"msg-*"}).size(), 0);
    postello::test::StopSendPeer(small);
  }

  void noJournalNoRun() {
    TMainState state;
    TMainForm form(state);
    form.FormCreate(Dir());
    Prepare(state, form, 2);
    QFile blocker(m_dir.filePath("versand"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QTest::mouseClick(Button(form, "SendBtn"), Qt::LeftButton);
    QCOMPARE(m_sink.texts.size(), size_t(1));
    QVERIFY(QString::fromStdString(m_sink.texts[0]).contains(QString::fromStdString("\"" + Dir() + "versand/\"")));
    QVERIFY(Arrivals().empty());
    QCOMPARE(Button(form, "SendBtn")->text(), QString("Mails senden..."));
  }
};

QTEST_MAIN(SendJournalPageTest)
#include "SendJournalPageTest.moc"
