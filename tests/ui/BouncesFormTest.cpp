// "Rückläufer abholen" on the send page: enabled for an account with a
// reply mailbox; the reading behind its progress dialog, the result
// table, and "Übernehmen" blocking the bounced address and moving only
// the report, against a folder in memory holding real messages.
#include "TBouncesForm.h"
#include "TMainForm.h"
#include "UiTestSupport.h"

#include "send/TBlockList.h"
#include "smtp/TStoredServerTrust.h"
#include "support/FakeMailFolder.h"

#include <QComboBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>

using namespace postello;
using namespace postello::test;

namespace {

std::string Sample(const char* name) {
  QFile f(QString(POSTELLO_TEST_DATA) + "/inbox/" + name);
  if (!f.open(QIODevice::ReadOnly)) return {};
  // As the server hands it out: lines end in CR LF.
  return f.readAll().replace("\r\n", "\n").replace("\n", "\r\n").toStdString();
}

} // namespace

class BouncesFormTest : public TWindowTest {
  Q_OBJECT

private slots:
  void init() { InitTest(); }
  void cleanup() { CleanupTest(); }

  void readShowAndTakeOver() {
    TKontoRec withBox, without;
    withBox.Absender = "Versand";
    withBox.Email = "newsletter@postello-test.example";
    withBox.Server = "127.0.0.1:25";
    withBox.Mailbox.Server = "127.0.0.1:993";
    withBox.Mailbox.User = "postfach";
    without = withBox;
    without.Email = "andere@postello-test.example";
    without.Mailbox = {};
    StoreKonten(Dir(), {withBox, without});
    TMainState state;
    TMainForm form(state);
    form.FormCreate(Dir());
    TFakeMailFolder folder;
    folder.Messages = {{1, Sample("postfix-unknown-user.eml")}, {2, Sample("customer-reply.eml")},
                       {3, Sample("out-of-office.eml")}};
    std::string openedFor;
    // The reading asks about the password in clear, the taking over about
    // a certificate; each Yes fails to be saved: sicherheit.dat is a folder.
    // STARTTLS seen while reading is not written, so it fails nothing.
    QVERIFY(QDir(m_dir.path()).mkpath("sicherheit.dat/x"));
    const TPeerCertificate cert{true, std::string(64, 'a'), TCertProblem::Untrusted};
    form.OpenReplyFolder = [&](const TKontoRec& konto, TServerTrust& trust, const std::atomic<bool>* cancel) {
      if (openedFor.empty()) trust.NoteStartTls("127.0.0.1:993");
      const bool allowed = openedFor.empty() ? trust.AllowPlainAuth("127.0.0.1:993")
                                             : trust.TrustCertificate("127.0.0.1:993", cert);
      openedFor = konto.Mailbox.User + (cancel != nullptr ? " with cancel" : "") + (allowed ? "" : " refused");
      return std::shared_ptr<TMailFolder>(&folder, [](TMailFolder*) {});
    };
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    m_sink.answer = TMsgResult::Ok;
    QTest::mouseClick(form.findChild<QPushButton*>("NewDBBtn"), Qt::LeftButton);
    ImportCsv(form, m_dir, "niemand@postello-test.example;A\r\nr2@example.org;B\r\n");
    form.findChild<QTabWidget*>("PageControl2")->setCurrentIndex(3);
    auto* button = form.findChild<QPushButton*>("BouncesBtn");
    auto* konten = form.findChild<QComboBox*>("AbsenderCombo");
    konten->setCurrentIndex(1);
    QVERIFY(!button->isEnabled());
    konten->setCurrentIndex(0);
    QVERIFY(button->isEnabled());

    QStringList rows;
    QString counts, done;
    std::function<void(QDialog*)> inForm = [&](QDialog* d) {
      auto* bounces = qobject_cast<TBouncesForm*>(d);
      if (bounces == nullptr) {  // the progress dialog before it
        WhenModalShown(inForm);
        return;
      }
      for (int r = 0; r < bounces->ui.ResultView->topLevelItemCount(); ++r) {
        const QTreeWidgetItem* item = bounces->ui.ResultView->topLevelItem(r);
        rows << item->text(0) + " | " + item->text(1) + " | " + item->text(2);
      }
      counts = bounces->ui.CountsLabel->text();
      QTest::mouseClick(bounces->ui.ApplyBtn, Qt::LeftButton);
      done = bounces->ui.CountsLabel->text();
      QVERIFY(!bounces->ui.ApplyBtn->isEnabled());
      QTest::mouseClick(bounces->ui.CloseBtn, Qt::LeftButton);
    };
    WhenModalShown(inForm);
    m_sink = ScriptedSink{};
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(openedFor, std::string("postfach with cancel"));
    const std::string file = Dir() + "sicherheit.dat", failed = "\"" + file + "\" konnte nicht";
    QCOMPARE(m_sink.texts.size(), std::size_t(5));
    QCOMPARE(m_sink.texts, (std::vector<std::string>{
                               "Die Datei \"" + file + "\" ist keine gew\xF6hnliche Datei. Sie gilt als leer: "
                               "f\xFCr keinen Server ist etwas erlaubt oder gespeichert.",
                               TStoredServerTrust::PlainAuthQuestion("127.0.0.1:993"), m_sink.texts.at(2),
                               TStoredServerTrust::CertificateQuestion("127.0.0.1:993", cert), m_sink.texts.at(4)}));
    QVERIFY2(m_sink.texts[2].find(failed) != std::string::npos, m_sink.texts[2].c_str());
    QVERIFY2(m_sink.texts[4].find(failed) != std::string::npos, m_sink.texts[4].c_str());
    QCOMPARE(rows, (QStringList{QString::fromUtf8("niemand@postello-test.example | Harter Rückläufer | wird gesperrt"),
                                QString::fromUtf8("Hans Kunde <hans@kunden.example> | Sonstige | bleibt liegen"),
                                rows.value(2)}));
    QVERIFY2(rows.value(2).endsWith(QString::fromUtf8("Automatische Antwort | bleibt liegen")), qPrintable(rows.value(2)));
    QCOMPARE(counts, QString::fromUtf8("3 Nachrichten gelesen: Harter Rückläufer: 1, Automatische Antwort: 1, Sonstige: 1."));
    QCOMPARE(done, QString::fromUtf8("1 Adresse auf die Sperrliste gesetzt, 1 Nachricht nach \"Postello/Verarbeitet\" verschoben."));
    std::vector<std::string> changes;
    for (const std::string& call : folder.Calls)
      if (!call.starts_with("prefixes")) changes.push_back(call);
    QCOMPARE(changes, (std::vector<std::string>{"ensure Postello/Verarbeitet", "move 1 Postello/Verarbeitet"}));
    QCOMPARE(TBlockList::Load(Dir()).Size(), std::size_t(1));
    QVERIFY(TBlockList::Load(Dir()).Contains("niemand@postello-test.example"));
    QCOMPARE(form.findChild<QTreeWidget*>("ListView3")->headerItem()->text(0),
             QString::fromUtf8("eMail-Adresse – 1 Empfänger steht auf der Sperrliste und wird übersprungen."));
  }
};

QTEST_MAIN(BouncesFormTest)
#include "BouncesFormTest.moc"
