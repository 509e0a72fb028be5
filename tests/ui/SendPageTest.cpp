// The send page of the running window against a real SMTP server
// (aiosmtpd), and cancellation through the same button.
#include "TMainForm.h"
#include "UiTestSupport.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QRegularExpression>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTreeWidget>
#include <atomic>

using namespace postello;

class SendPageTest : public postello::test::TSendPeerTest {
  Q_OBJECT

  // A table of addresses, one account on the test server and one mail with
  // a placeholder.
  void Prepare(TMainState& state, TMainForm& form, int recipients) {
    m_sink.answer = TMsgResult::Ok;
    postello::test::PrepareSendPage(state, form, m_dir, recipients, m_port, "Liebe(r) [%Name],\r\nwillkommen.");
  }

private slots:
  void initTestCase() { StartPeer(); }
  void cleanupTestCase() { StopPeer(); }
  void init() { InitTest(); }
  void cleanup() { CleanupTest(); }

  void personalisedRunReportsTheRefusedRecipient() {
    TMainState state;
    TMainForm form(state);
    form.FormCreate(Dir());
    Prepare(state, form, 3);
    QCOMPARE(form.findChild<QTreeWidget*>("ListView3")->topLevelItemCount(), 3);
    QCOMPARE(form.findChild<QComboBox*>("AbsenderCombo")->currentText(), QString("Verein verein@example.org"));
    auto* stat = form.findChild<QLabel*>("statlabel");
    QCOMPARE(stat->text(), QString("0 Mails von 0 verarbeitet 0 fehlgeschlagen."));
    const int before = QDir(m_spool.path()).entryList({"msg-*.eml"}).size();

    QTest::mouseClick(form.findChild<QPushButton*>("SendBtn"), Qt::LeftButton);

    QCOMPARE(stat->text(), QString("3 Mails von 3 verarbeitet 1 fehlgeschlagen."));
    // Each run's errors follow a dated line; the bar stays full.
    const QStringList log = form.findChild<QPlainTextEdit*>("ErrorLog")->toPlainText().split('\n');
    QCOMPARE(log.size(), 2);
    QVERIFY2(QRegularExpression("^--- Versand am \\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d:\\d\\d ---$").match(log[0]).hasMatch(),
             qPrintable(log[0]));
    QCOMPARE(log[1], QString("Fehler beim Senden der Nachricht an r2@example.org: 550 5.1.1 <r2@example.org>: "
                             "Recipient address rejected"));
    QCOMPARE(form.findChild<QProgressBar*>("ProgressBar1")->value(), 100);
    QCOMPARE(form.findChild<QPushButton*>("SendBtn")->text(), QString("Mails senden..."));
    const QStringList stored = QDir(m_spool.path()).entryList({"msg-*.eml"}, QDir::Files, QDir::Name);
    QCOMPARE(stored.size() - before, 2);
    // The merge reached the server: the third recipient's name is in a
    // message (base64 body, so look at the decoded text).
    bool found = false;
    for (const QString& name : stored) {
      QFile f(m_spool.filePath(name));
      QVERIFY(f.open(QIODevice::ReadOnly));
      const QByteArray all = f.readAll();
      const int body = all.indexOf("\r\n\r\n");
      if (QByteArray::fromBase64(all.mid(body + 4)).contains("Liebe(r) Name3,")) found = true;
    }
    QVERIFY(found);
  }

  void refusalsAreShownAndNothingIsSent() {
    TMainState state;
    TMainForm form(state);
    form.FormCreate(Dir());
    form.findChild<QTabWidget*>("PageControl2")->setCurrentIndex(3);
    form.findChild<QRadioButton*>("OneEmpfCheck")->setChecked(true);
    form.findChild<QLineEdit*>("EmpfEd")->setText("   ");
    QTest::mouseClick(form.findChild<QPushButton*>("SendBtn"), Qt::LeftButton);
    QCOMPARE(m_sink.texts.size(), size_t(1));
    QCOMPARE(QString::fromStdString(m_sink.texts[0]), QString("Es sind keine Empf\xE4nger vorhanden!"));
    form.findChild<QLineEdit*>("EmpfEd")->setText("x@example.org");
    QTest::mouseClick(form.findChild<QPushButton*>("SendBtn"), Qt::LeftButton);
    QCOMPARE(QString::fromStdString(m_sink.texts.back()), QString("Es ist kein Absender-Konto ausgew\xE4hlt!"));
    QVERIFY(form.findChild<QTabWidget*>("PageControl2")->isTabVisible(0));
  }

  void cancelDuringTheThirdOfTenMessages() {
    TMainState state;
    TMainForm form(state);
    form.FormCreate(Dir());
    m_sink.answer = TMsgResult::Ok;
    TKontoRec withReplyMailbox;
    withReplyMailbox.Mailbox.Server = "127.0.0.1:993";
    postello::test::PrepareSendPage(state, form, m_dir, 10, m_port, "Hallo", 0, withReplyMailbox);
    auto* button = form.findChild<QPushButton*>("SendBtn");
    auto* bounces = form.findChild<QPushButton*>("BouncesBtn");
    auto* tabs = form.findChild<QTabWidget*>("PageControl2");
    QVERIFY(bounces->isEnabled());
    std::atomic<int> delivered{0};
    QString captionDuringRun;
    bool tabsHidden = false, bouncesDuringRun = true;
    form.Deliver = [&](const TOutgoingMail& mail) {
      if (mail.Index == 2) {
        // The user clicks "Abbrechen" while the third message is on its way.
        QMetaObject::invokeMethod(button, [&] {
          captionDuringRun = button->text();
          tabsHidden = !tabs->isTabVisible(0) && !tabs->isTabVisible(1) && !tabs->isTabVisible(2);
          bouncesDuringRun = bounces->isEnabled();
          button->click();
        }, Qt::BlockingQueuedConnection);
      }
      ++delivered;
      return true;
    };
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(delivered.load(), 3);
    QCOMPARE(captionDuringRun, QString("Abbrechen"));
    QVERIFY(tabsHidden);
    QVERIFY(!bouncesDuringRun && bounces->isEnabled());
    QCOMPARE(form.findChild<QLabel*>("statlabel")->text(), QString("3 Mails von 10 verarbeitet 0 fehlgeschlagen."));
    QCOMPARE(form.findChild<QProgressBar*>("ProgressBar1")->value(), 30);
    QCOMPARE(button->text(), QString("Mails senden..."));
    QVERIFY(tabs->isTabVisible(0) && tabs->isTabVisible(1) && tabs->isTabVisible(2));
  }

  // "Beenden" during a run asks; No lets the run go on, Yes cancels it and
  // the window closes once the run has stopped.
  void quittingDuringARunAsksThenCancelsAndCloses() {
    TMainState state;
    TMainForm form(state);
    form.FormCreate(Dir());
    Prepare(state, form, 10);
    form.show();
    const std::size_t before = m_sink.texts.size();
    std::atomic<int> delivered{0};
    form.Deliver = [&](const TOutgoingMail& mail) {
      if (mail.Index == 2 || mail.Index == 4) {
        QMetaObject::invokeMethod(&form, [&, index = mail.Index] {
          m_sink.answer = index == 2 ? TMsgResult::No : TMsgResult::Yes;
          form.findChild<QPushButton*>("QuitBtn")->click();
        }, Qt::BlockingQueuedConnection);
      }
      ++delivered;
      return true;
    };
    QTest::mouseClick(form.findChild<QPushButton*>("SendBtn"), Qt::LeftButton);
    QCOMPARE(delivered.load(), 5);
    QCOMPARE(m_sink.texts.size(), before + 2);
    QCOMPARE(m_sink.texts.back(), std::string("Es l\xE4uft gerade ein Versand. Soll er abgebrochen und das Programm "
                                              "danach beendet werden?"));
    QCOMPARE(m_sink.defaults.back(), TMsgResult::No);
    QVERIFY(!form.isVisible());
  }
};

QTEST_MAIN(SendPageTest)
#include "SendPageTest.moc"
