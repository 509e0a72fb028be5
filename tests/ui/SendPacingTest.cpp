// The window's run with the account's sending rate: the pacer's wait
// shown in statlabel's place, a rate-limit reply paused for and retried,
// on a fake clock; a refused login stopping the run.
#include "TMainForm.h"
#include "UiTestSupport.h"

#include <QComboBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <atomic>
#include <mutex>

using namespace postello;
using namespace postello::test;

class SendPacingTest : public TWindowTest {
  Q_OBJECT

  // Deliver stands in for the server: port 9 is never reached.
  void Prepare(TMainState& state, TMainForm& form, int recipients, const TKontoRec& options) {
    m_sink.answer = TMsgResult::Ok;
    PrepareSendPage(state, form, m_dir, recipients, 9, "Liebe(r) [%Name]", 0, options);
  }

private slots:
  void init() { InitTest(); }
  void cleanup() { CleanupTest(); }

  void pacedRunShowsTheWaitAndRetriesAfterARateLimit() {
    TMainState state;
    TMainForm form(state);
    form.FormCreate(Dir());
    TKontoRec options;
    options.RatePerMinute = 30;  // one message every two seconds
    Prepare(state, form, 4, options);
    auto* stat = form.findChild<QLabel*>("statlabel");

    // The pacer's clock only moves when it sleeps.
    std::mutex lock;
    TSendPacer::TTime now{};
    std::vector<QString> shown;  // statlabel at each sleep
    form.SetUpPacer = [&](TSendPacer& pacer) {
      pacer.Now = [&] {
        std::lock_guard<std::mutex> hold(lock);
        return now;
      };
      pacer.Sleep = [&](TSendPacer::TMs slice) {
        // What the window shows by now (the update was posted before).
        QString text;
        QMetaObject::invokeMethod(stat, [&] { text = stat->text(); }, Qt::BlockingQueuedConnection);
        std::lock_guard<std::mutex> hold(lock);
        shown.push_back(text);
        now += slice;
      };
    };
    int limited = 0;
    form.Deliver = [&](const TOutgoingMail& mail) -> TSendResult {
      if (mail.Index == 2 && limited++ == 0) return TSendResult::Refused(421, "421 4.7.0 Too many messages, try again later");
      return true;
    };
    QTest::mouseClick(form.findChild<QPushButton*>("SendBtn"), Qt::LeftButton);

    QCOMPARE(limited, 2);  // refused once, then taken
    QCOMPARE(stat->text(), QString("4 Mails von 4 verarbeitet 0 fehlgeschlagen."));
    QVERIFY(!form.findChild<QPlainTextEdit*>("ErrorLog")->toPlainText().contains("Fehler"));
    QVERIFY(!shown.empty());
    QCOMPARE(shown.front(), QString("Warte 2 s"));
    // The pause after the rate-limit reply: a minute, counted down.
    QVERIFY(std::find(shown.begin(), shown.end(), QString("Warte 60 s")) != shown.end());
    QVERIFY(std::find(shown.begin(), shown.end(), QString("Warte 1 s")) != shown.end());
    for (const QString& text : shown) QVERIFY2(text.startsWith("Warte "), qPrintable(text));
    QCOMPARE(form.findChild<QPushButton*>("SendBtn")->text(), QString("Mails senden..."));
  }

  // A refused login stops the window's run too: the rest stay unsent.
  void refusedLoginStopsTheRun() {
    TMainState state;
    TMainForm form(state);
    form.FormCreate(Dir());
    Prepare(state, form, 5, TKontoRec());
    form.Deliver = [&](const TOutgoingMail& mail) -> TSendResult {
      if (mail.Index == 0) return true;
      TSendResult r = TSendResult::Refused(530, "Anmeldung abgelehnt (535 nein); 530 5.7.0 Authentication required");
      r.LoginRefused = true;
      return r;
    };
    QTest::mouseClick(form.findChild<QPushButton*>("SendBtn"), Qt::LeftButton);
    QCOMPARE(form.findChild<QLabel*>("statlabel")->text(), QString("2 Mails von 5 verarbeitet 1 fehlgeschlagen."));
    QVERIFY(form.findChild<QPlainTextEdit*>("ErrorLog")
                ->toPlainText()
                .endsWith(": Anmeldung abgelehnt (535 nein); 530 5.7.0 Authentication required\n"
                          "Versand angehalten: Anmeldung abgelehnt (535 nein); 530 5.7.0 Authentication required"));
  }
};

QTEST_MAIN(SendPacingTest)
#include "SendPacingTest.moc"
