// The account dialog's OAuth group and TOAuthForm: sign-in against the
// fake provider of tests/data/send/oauth_test_server.py with the browser
// played by Python's urllib, the refusals shown in the dialog, sign-out,
// and a send from the main window over XOAUTH2 with the grant.
#include "TEditKontenForm.h"
#include "TMainForm.h"
#include "TOAuthForm.h"
#include "UiTestSupport.h"

#include "oauth/TFileGrantStore.h"
#include "send/TOAuthTokens.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>

#include <sys/stat.h>

using namespace postello;
using namespace postello::test;

class OAuthFormTest : public TWindowTest {
  Q_OBJECT

  QTemporaryDir m_spool;
  QTemporaryDir m_certs;
  QProcess m_server;
  int m_smtpPort = 0;
  QString m_http;

  std::string Server() const { return "127.0.0.1:" + std::to_string(m_smtpPort); }

  // The browser: fetches the address and follows the provider's redirect.
  static void Browse(const std::string& address) {
    QProcess::startDetached("python3", {"-c",
                                        "import sys, urllib.request; urllib.request.build_opener("
                                        "urllib.request.ProxyHandler({})).open(sys.argv[1], timeout=20).read()",
                                        QString::fromStdString(address)});
  }

  void Control(const QString& query) {
    QProcess p;
    p.start("python3", {"-c",
                        "import sys, urllib.request; urllib.request.build_opener("
                        "urllib.request.ProxyHandler({})).open(sys.argv[1], timeout=20).read()",
                        m_http + "/control?" + query});
    QVERIFY(p.waitForFinished(20000));
    QCOMPARE(p.exitCode(), 0);
  }

  // Shows the form for the test account, then signs in as below.
  void ShowAndStart(TOAuthForm* form, TOAuthTokens* tokens, bool browse = true) {
    form->SetAccount(tokens, "versand@example.org", Server());
    form->show();
    FillAndStart(form, browse);
  }

  // Fills TOAuthForm for the fake provider and starts the sign-in.
  void FillAndStart(TOAuthForm* form, bool browse = true) {
    form->ui.ProviderCombo->setCurrentIndex(2);
    form->ui.AuthorizeUrlEd->setText(m_http + "/authorize");
    form->ui.TokenUrlEd->setText(m_http + "/token");
    form->ui.ScopeEd->setText("smtp");
    form->ui.ClientIdEd->setText("postello-test-client");
    form->OpenBrowser = browse ? &Browse : std::function<void(const std::string&)>([](const std::string&) {});
    QTest::mouseClick(form->ui.SignInBtn, Qt::LeftButton);
  }

  TKontoRec Konto() const {
    TKontoRec k;
    k.Absender = "Verein";
    k.Email = "versand@example.org";
    k.Server = Server();
    return k;
  }

private slots:
  void initTestCase() {
    const QString cmd = "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2"
                        " -subj /CN=postello-test -addext subjectAltName=IP:127.0.0.1 -keyout '" +
                        m_certs.filePath("key.pem") + "' -out '" + m_certs.filePath("cert.pem") + "' 2>/dev/null";
    QCOMPARE(std::system(cmd.toLocal8Bit().constData()), 0);
    qputenv("SSL_CERT_FILE", m_certs.filePath("cert.pem").toLocal8Bit());
    m_server.setProgram("/usr/bin/python3");
    m_server.setArguments({QString(POSTELLO_TEST_DATA) + "/send/oauth_test_server.py", "--spool", m_spool.path(),
                           "--cert", m_certs.filePath("cert.pem"), "--key", m_certs.filePath("key.pem")});
    m_server.start();
    QVERIFY(m_server.waitForStarted() && m_server.waitForReadyRead(20000));
    const QList<QByteArray> words = m_server.readLine().trimmed().split(' ');
    QCOMPARE(words.size(), 3);
    m_smtpPort = words[1].toInt();
    m_http = "http://127.0.0.1:" + QString::fromLatin1(words[2]);
  }
  void cleanupTestCase() {
    m_server.terminate();
    m_server.waitForFinished();
  }
  void init() { InitTest(); }
  void cleanup() { CleanupTest(); }

  void withoutStoreTheGroupIsHidden() {
    TEditKontenForm dialog;
    dialog.SetFields(Konto());
    dialog.show();
    QVERIFY(!dialog.ui.OAuthGroup->isVisible());
  }

  void signsInShowsTheStateAndSignsOut() {
    TFileGrantStore store(Dir());
    TOAuthTokens tokens(store);
    TEditKontenForm dialog;
    dialog.SetOAuthTokens(&tokens);
    dialog.SetFields(Konto());
    dialog.show();
    QVERIFY(dialog.ui.OAuthGroup->isVisible());
    QCOMPARE(dialog.ui.OAuthBtn->text(), QString("Anmelden mit Microsoft 365 / Google / anderem Anbieter..."));
    QCOMPARE(dialog.ui.OAuthStateLabel->text(),
             QString("Nicht angemeldet: das Konto sendet mit Benutzername und Passwort."));
    QVERIFY(!dialog.ui.OAuthSignOutBtn->isEnabled());

    bool sawAddress = false;
    QString account;
    postello::test::WhenModalShown([&](QDialog* d) {
      auto* form = qobject_cast<TOAuthForm*>(d);
      if (form == nullptr) {
        d->reject();
        return;
      }
      account = form->ui.AccountLabel->text();
      FillAndStart(form);
      sawAddress = form->ui.AddressEd->text().startsWith(m_http + "/authorize?response_type=code&");
    });
    QTest::mouseClick(dialog.ui.OAuthBtn, Qt::LeftButton);
    QVERIFY(sawAddress);
    QCOMPARE(account, QString::fromUtf8("Konto versand@example.org \u00FCber ") + QString::fromStdString(Server()) +
                          QString(". Sie brauchen die Client-ID einer App-Registrierung Ihrer Organisation beim "
                                  "Anbieter."));
    QCOMPARE(dialog.ui.OAuthStateLabel->text(),
             QString("Angemeldet bei einem anderen Anbieter: das Konto sendet mit OAuth (XOAUTH2), das Passwort "
                     "wird nicht benutzt."));
    QVERIFY(dialog.ui.OAuthSignOutBtn->isEnabled());
    struct stat st {};
    QCOMPARE(::stat((Dir() + "oauth.dat").c_str(), &st), 0);
    QCOMPARE(st.st_mode & 0777, 0600u);
    QVERIFY(TFileGrantStore(Dir()).Load("versand@example.org " + Server()).has_value());

    // Another server is another account: not signed in.
    dialog.ui.ServerEd->setText("mail.example.org");
    QVERIFY(dialog.ui.OAuthStateLabel->text().startsWith("Nicht angemeldet"));
    dialog.ui.ServerEd->setText(QString::fromStdString(Server()));
    QVERIFY(dialog.ui.OAuthStateLabel->text().startsWith("Angemeldet"));

    QTest::mouseClick(dialog.ui.OAuthSignOutBtn, Qt::LeftButton);
    QVERIFY(dialog.ui.OAuthStateLabel->text().startsWith("Nicht angemeldet"));
    QVERIFY(!TFileGrantStore(Dir()).Load("versand@example.org " + Server()).has_value());
    QVERIFY(m_sink.texts.empty());
  }

  void refusalIsShownAndNothingStored() {
    Control("authorize=deny");
    TFileGrantStore store(Dir());
    TOAuthTokens tokens(store);
    TOAuthForm form;
    ShowAndStart(&form, &tokens);
    QVERIFY(form.Waiting());
    QVERIFY(!form.ui.SignInBtn->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(form.ui.SignInBtn->isEnabled(), 20000);
    QCOMPARE(form.ui.InfoLabel->text(),
             QString("Anmeldung abgelehnt oder abgebrochen (access_denied): The user said no; nichts gespeichert"));
    QVERIFY(form.isVisible());
    QVERIFY(!QFile::exists(m_dir.filePath("oauth.dat")));
    Control("authorize=ok");
  }

  void cancelEndsTheWait() {
    TFileGrantStore store(Dir());
    TOAuthTokens tokens(store);
    TOAuthForm form;
    ShowAndStart(&form, &tokens, false);
    QVERIFY(form.Waiting());
    QElapsedTimer timer;
    timer.start();
    QTest::mouseClick(form.ui.CancelBtn, Qt::LeftButton);
    QVERIFY(!form.Waiting());
    QVERIFY(timer.elapsed() < 5000);
    QVERIFY(!form.isVisible());
    QVERIFY(!QFile::exists(m_dir.filePath("oauth.dat")));
  }

  // With "Mit OAuth anmelden" ticked for the reply mailbox, the sign-in
  // the account dialog opens asks Microsoft for IMAP access too.
  void mailboxWithOAuthAsksMicrosoftForImap() {
    TFileGrantStore store(Dir());
    TOAuthTokens tokens(store);
    TEditKontenForm dialog;
    dialog.SetOAuthTokens(&tokens);
    dialog.SetFields(Konto());
    dialog.ui.ImapServerEd->setText("outlook.office365.com:993");
    dialog.ui.ImapOAuthCheck->setChecked(true);
    dialog.show();
    QString address;
    WhenModalShown([&address](QDialog* dlg) {
      auto* form = qobject_cast<TOAuthForm*>(dlg);
      form->ui.ProviderCombo->setCurrentIndex(0);
      form->ui.ClientIdEd->setText("x");
      form->OpenBrowser = [](const std::string&) {};
      QTest::mouseClick(form->ui.SignInBtn, Qt::LeftButton);
      address = form->ui.AddressEd->text();
      QTest::mouseClick(form->ui.CancelBtn, Qt::LeftButton);
    });
    QTest::mouseClick(dialog.ui.OAuthBtn, Qt::LeftButton);
    QVERIFY2(address.contains("&scope=https%3A%2F%2Foutlook.office.com%2FSMTP.Send%20https%3A%2F%2Foutlook.office.com%2F"
                              "IMAP.AccessAsUser.All%20offline_access&"),
             qPrintable(address));
  }

  void providerChoiceShowsItsFields() {
    TOAuthForm form;
    form.show();
    form.ui.ProviderCombo->setCurrentIndex(0);
    QVERIFY(form.ui.TenantEd->isVisible());
    QVERIFY(!form.ui.TokenUrlEd->isVisible());
    form.ui.ProviderCombo->setCurrentIndex(1);
    QVERIFY(!form.ui.TenantEd->isVisible());
    QVERIFY(!form.ui.AuthorizeUrlEd->isVisible());
    form.ui.ProviderCombo->setCurrentIndex(2);
    QVERIFY(form.ui.AuthorizeUrlEd->isVisible() && form.ui.TokenUrlEd->isVisible() && form.ui.ScopeEd->isVisible());
    // A token address in clear on the network is refused before anything.
    TFileGrantStore store(Dir());
    TOAuthTokens tokens(store);
    form.SetAccount(&tokens, "versand@example.org", Server());
    form.ui.AuthorizeUrlEd->setText("https://login.example.org/authorize");
    form.ui.TokenUrlEd->setText("http://login.example.org/token");
    form.ui.ScopeEd->setText("smtp");
    form.ui.ClientIdEd->setText("x");
    QTest::mouseClick(form.ui.SignInBtn, Qt::LeftButton);
    QVERIFY(!form.Waiting());
    QCOMPARE(form.ui.InfoLabel->text(), QString("Anmeldung: die Token-Adresse muss mit https:// beginnen"));
  }

  void mainWindowSendsWithTheGrant() {
    TFileGrantStore store(Dir());
    TOAuthTokens tokens(store);
    {
      TOAuthForm form;
      ShowAndStart(&form, &tokens);
      QTRY_VERIFY_WITH_TIMEOUT(!form.isVisible(), 20000);
      QCOMPARE(form.result(), int(QDialog::Accepted));
    }
    TMainState state;
    TMainForm window(state);
    window.FormCreate(Dir());
    window.SetOAuthTokens(&tokens);
    m_sink.answer = TMsgResult::Ok;
    QVERIFY(state.NewDatabase(2));
    ImportCsv(window, m_dir, "r1@example.org;Name;Vorname\r\n");
    state.AddKonto(Konto());
    AddMailAndOpenSendPage(state, window, "Hallo");
    m_sink = ScriptedSink{};
    m_sink.answer = TMsgResult::Ok;
    QTest::mouseClick(window.findChild<QPushButton*>("SendBtn"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(QDir(m_spool.path()).entryList({"msg-*.eml"}).size(), 1, 20000);
    QVERIFY(!window.findChild<QPlainTextEdit*>("ErrorLog")->toPlainText().contains("Fehler"));
    QFile notes(m_spool.filePath("msg-1.json"));
    QVERIFY(notes.open(QIODevice::ReadOnly));
    QVERIFY(notes.readAll().contains("\"mechanism\": \"XOAUTH2\""));
  }
};

QTEST_MAIN(OAuthFormTest)
#include "OAuthFormTest.moc"
