// The send page asks before a password goes to a server without TLS or
// over a certificate that fails the check, remembers Yes, and its
// "Abbrechen" ends a stalled session at once. Real servers: aiosmtpd and
// the hostile test server.
#include "TMainForm.h"
#include "QtText.h"
#include "UiTestSupport.h"

#include "core/TKontoStore.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <QElapsedTimer>

using namespace postello;
using postello::test::ScriptedSink;

class SendSecurityTest : public postello::test::TWindowTest {
  Q_OBJECT

  QTemporaryDir m_spool;
  QTemporaryDir m_certs;
  QProcess m_server;

  // Starts a test server script from tests/data/send; returns its port.
  int StartServer(const QString& script, const QStringList& args) {
    m_server.setProgram("/usr/bin/python3");
    m_server.setArguments(QStringList{QString(POSTELLO_TEST_DATA) + "/send/" + script, "--spool", m_spool.path()} +
                          args);
    m_server.start();
    if (!m_server.waitForStarted() || !m_server.waitForReadyRead(20000)) return 0;
    const QByteArray line = m_server.readLine();
    return line.startsWith("PORT ") ? line.mid(5).trimmed().toInt() : 0;
  }

  // A self-signed certificate (in no trust store), made out for another
  // name than the one connected to.
  bool MakeCertificate() {
    const QString cmd = "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2"
                        " -subj /CN=postello-test -addext subjectAltName=DNS:mail.example.org -keyout '" +
                        m_certs.filePath("key.pem") + "' -out '" + m_certs.filePath("cert.pem") + "' 2>/dev/null";
    return std::system(cmd.toLocal8Bit().constData()) == 0;
  }

  QString Fingerprint() {
    QProcess p;
    p.start("openssl", {"x509", "-noout", "-fingerprint", "-sha256", "-in", m_certs.filePath("cert.pem")});
    p.waitForFinished();
    const QByteArray out = p.readAllStandardOutput().trimmed();
    return QString::fromLatin1(out.mid(out.indexOf('=') + 1));
  }

  // The test server asking for hans's password "geheim" without TLS.
  static QStringList ClearTextArgs() { return QStringList{"--auth-in-clear"} + PasswordArgs(); }

  // The test server asking for hans's password "geheim".
  static QStringList PasswordArgs() { return {"--auth-required", "--user", "hans", "--password", "geheim"}; }

  // The test server offering STARTTLS with MakeCertificate's certificate.
  QStringList CertificateArgs() const {
    return {"--starttls", "--cert", m_certs.filePath("cert.pem"), "--key", m_certs.filePath("key.pem")};
  }

  // Starts script with args, creates the window and prepares its send
  // page for recipients addresses on that server; questions after that
  // are answered with answer. The port, 0 when the server did not come up.
  int Open(TMainState& state, TMainForm& form, const QString& script, const QStringList& args, int recipients,
           TMsgResult answer = TMsgResult::Yes) {
    const int port = StartServer(script, args);
    if (port == 0) return 0;
    form.FormCreate(Dir());
    Prepare(state, form, port, recipients, answer);
    return port;
  }

  // A table of n addresses, one account with a password on the server and
  // one text mail; the send page is shown.
  void Prepare(TMainState& state, TMainForm& form, int port, int recipients, TMsgResult answer) {
    m_sink.answer = TMsgResult::Ok;
    QVERIFY(state.NewDatabase(2));
    QByteArray csv;
    for (int k = 1; k <= recipients; ++k) csv += "r" + QByteArray::number(k) + "@example.org;Name;Vorname\r\n";
    postello::test::ImportCsv(form, m_dir, csv);
    TKontoRec konto;
    konto.Absender = "Verein";
    konto.Email = "verein@example.org";
    konto.Server = "127.0.0.1:" + std::to_string(port);
    konto.User = "hans";
    konto.Password = "geheim";  // AddKonto scrambles it
    state.AddKonto(konto);
    postello::test::AddMailAndOpenSendPage(state, form, "Hallo");
    m_sink = ScriptedSink{};
    m_sink.answer = answer;
  }

  // The error lines, without the dated line each run starts with.
  QString Log(TMainForm& form) {
    QStringList lines = form.findChild<QPlainTextEdit*>("ErrorLog")->toPlainText().split('\n');
    lines.removeIf([](const QString& line) { return line.startsWith("--- "); });
    return lines.join('\n');
  }
  QString Status(TMainForm& form) { return form.findChild<QLabel*>("statlabel")->text(); }
  void Send(TMainForm& form) { QTest::mouseClick(form.findChild<QPushButton*>("SendBtn"), Qt::LeftButton); }

  int Stored() const { return QDir(m_spool.path()).entryList({"msg-*.eml"}).size(); }

private slots:
  void init() {
    InitTest();
    postello::test::EmptyFolder(m_spool);
  }
  void cleanup() {
    m_server.terminate();
    m_server.waitForFinished();
    CleanupTest();
  }

  void clearTextPasswordAskedOnceAndYesIsRemembered() {
    TMainState state;
    TMainForm form(state);
    const int port = Open(state, form, "smtp_test_server.py", ClearTextArgs(), 2, TMsgResult::Yes);
    QVERIFY(port != 0);
    Send(form);
    const QString server = "127.0.0.1:" + QString::number(port);
    QCOMPARE(m_sink.texts.size(), size_t(1));
    QCOMPARE(ToQ(m_sink.texts[0]), "Der Server " + server +
                                       " bietet keine Verschl\u00FCsselung an. Soll das Passwort trotzdem "
                                       "unverschl\u00FCsselt gesendet werden?");
    // Enter alone must not send the password in clear.
    QCOMPARE(m_sink.defaults, std::vector<TMsgResult>{TMsgResult::No});
    QCOMPARE(Log(form), QString());
    QCOMPARE(Status(form), QString("2 Mails von 2 verarbeitet 0 fehlgeschlagen."));
    QCOMPARE(Stored(), 2);
    QCOMPARE(postello::test::FileBytes(m_dir.filePath("sicherheit.dat")),
             QByteArray("Postello sicherheit.dat 1\n") + server.toLatin1() + " klartext\n");
    // The next run asks nothing.
    Send(form);
    QCOMPARE(m_sink.texts.size(), size_t(1));
    QCOMPARE(Stored(), 4);
  }

  void clearTextPasswordRefusedIsAskedAgainNextRun() {
    TMainState state;
    TMainForm form(state);
    const int port = Open(state, form, "smtp_test_server.py", ClearTextArgs(), 2, TMsgResult::No);
    QVERIFY(port != 0);
    Send(form);
    QCOMPARE(m_sink.texts.size(), size_t(1));  // once for the whole run
    QCOMPARE(Status(form), QString("2 Mails von 2 verarbeitet 2 fehlgeschlagen."));
    const QString why = ": Der Server bietet keine Verschl\u00FCsselung an; Nachricht mit Anmeldedaten nicht gesendet";
    QCOMPARE(Log(form), "Fehler beim Senden der Nachricht an r1@example.org" + why +
                            "\nFehler beim Senden der Nachricht an r2@example.org" + why);
    QVERIFY(!QFile::exists(m_dir.filePath("sicherheit.dat")));
    QCOMPARE(Stored(), 0);
    Send(form);
    QCOMPARE(m_sink.texts.size(), size_t(2));
  }

  void untrustedCertificateShownAndPinnedOnYes() {
    QVERIFY(MakeCertificate());
    TMainState state;
    TMainForm form(state);
    const int port = Open(state, form, "smtp_test_server.py", CertificateArgs() + PasswordArgs(), 2,
                          TMsgResult::Yes);
    QVERIFY(port != 0);
    Send(form);
    const QString server = "127.0.0.1:" + QString::number(port);
    const QString fingerprint = Fingerprint();
    QCOMPARE(fingerprint.size(), 95);
    QCOMPARE(m_sink.texts.size(), size_t(1));
    QCOMPARE(ToQ(m_sink.texts[0]),
             "Der Server " + server + " legt ein Zertifikat vor, das nicht best\u00E4tigt werden kann: Zertifikat nicht "
             "vertrauensw\u00FCrdig.\n\nSHA-256-Fingerabdruck:\n" + fingerprint +
             "\n\nSoll genau diesem Zertifikat f\u00FCr diesen Server vertraut werden?");
    QCOMPARE(m_sink.defaults, std::vector<TMsgResult>{TMsgResult::No});
    QCOMPARE(Status(form), QString("2 Mails von 2 verarbeitet 0 fehlgeschlagen."));
    QCOMPARE(Stored(), 2);
    const QByteArray file = postello::test::FileBytes(m_dir.filePath("sicherheit.dat"));
    QVERIFY2(file.contains(server.toLatin1() + " zertifikat " +
                           fingerprint.toLower().remove(':').toLatin1() + "\n"), file.constData());
  }

  void untrustedCertificateRefusedFailsWithTheReason() {
    QVERIFY(MakeCertificate());
    TMainState state;
    TMainForm form(state);
    const int port = Open(state, form, "smtp_test_server.py", CertificateArgs(), 1, TMsgResult::No);
    QVERIFY(port != 0);
    Send(form);
    QCOMPARE(Log(form), QString("Fehler beim Senden der Nachricht an r1@example.org: Zertifikat nicht "
                                "vertrauensw\u00FCrdig"));
    QCOMPARE(Stored(), 0);
  }

  void abbrechenEndsAStalledSessionAtOnce() {
    TMainState state;
    TMainForm form(state);
    const int port = Open(state, form, "hostile_smtp_server.py", {"--mode", "stall"}, 3);
    QVERIFY(port != 0);
    auto* button = form.findChild<QPushButton*>("SendBtn");
    QTimer::singleShot(500, button, [button] {
      QCOMPARE(button->text(), QString("Abbrechen"));
      button->click();
    });
    QElapsedTimer took;
    took.start();
    Send(form);
    QVERIFY2(took.elapsed() < 5000, QByteArray::number(took.elapsed()).constData());
    QCOMPARE(Status(form), QString("1 Mail von 3 verarbeitet 1 fehlgeschlagen."));
    QCOMPARE(Log(form), QString("Fehler beim Senden der Nachricht an r1@example.org: vom Benutzer abgebrochen\n"
                                "Versand abgebrochen."));
    QCOMPARE(button->text(), QString("Mails senden..."));
  }

  void damagedSecurityFileIsReportedAndAllowsNothing() {
    TMainState state;
    TMainForm form(state);
    const int port = Open(state, form, "smtp_test_server.py", ClearTextArgs(), 1, TMsgResult::No);
    QVERIFY(port != 0);
    QFile f(m_dir.filePath("sicherheit.dat"));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("Postello sicherheit.dat 1\n127.0.0.1:" + QByteArray::number(port) + " klartext\nkaputt");
    f.close();
    Send(form);
    QCOMPARE(m_sink.texts.size(), size_t(2));
    QVERIFY2(m_sink.texts[0].find("ist besch\xE4" "digt (Zeile 3)") != std::string::npos, m_sink.texts[0].c_str());
    QVERIFY(m_sink.texts[1].find("bietet keine Verschl\xFCsselung an") != std::string::npos);
    QCOMPARE(Stored(), 0);
  }
};

QTEST_MAIN(SendSecurityTest)
#include "SendSecurityTest.moc"
