#pragma once
// Shared helpers of the window tests: a message sink that answers from a
// script, a temporary program folder, a way to answer modal dialogs, typed
// text, and the set-ups of the tests that send: the aiosmtpd test server,
// the send page, and a program folder for postello-cli.
#include "TMainForm.h"
#include "TWriteMailForm.h"
#include "send/SendRunSupport.h"
#include "support/ScriptedSink.h"

#include "core/TOptions.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

namespace postello::test {

// The windows of the tests rate no message with SpamAssassin, which would
// add a second or two to every run; the test of that check turns it on.
inline const bool kWindowsWithoutSpamCheck = (TMainForm::DefaultSpamProgram().clear(), true);

// The hooks of WhenModalShown that no dialog has answered yet.
inline std::vector<QPointer<QTimer>>& PendingModalHooks() {
  static std::vector<QPointer<QTimer>> hooks;
  return hooks;
}

// Runs action on the next modal dialog as soon as it is shown. A hook no
// dialog answered stays until CancelModalHooks: call that in cleanup(), or
// the hook answers the next test's first dialog with this test's action
// (and with references to this test's locals).
inline void WhenModalShown(std::function<void(QDialog*)> action) {
  auto* timer = new QTimer;
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, action] {
    if (auto* dlg = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
      timer->stop();
      timer->deleteLater();
      action(dlg);
    }
  });
  PendingModalHooks().push_back(timer);
  timer->start();
}

// Drops the hooks no dialog has answered and returns how many there were.
inline int CancelModalHooks() {
  int pending = 0;
  for (const QPointer<QTimer>& timer : PendingModalHooks()) {
    if (timer && timer->isActive()) {
      ++pending;
      delete timer.data();
    }
  }
  PendingModalHooks().clear();
  return pending;
}

// A widget that gets less than it asks for cuts its text.
inline void CheckNotSqueezed(QWidget* w) {
  QVERIFY2(w->height() >= w->sizeHint().height(),
           qPrintable(w->objectName() + QStringLiteral(": %1 < %2").arg(w->height()).arg(w->sizeHint().height())));
  QVERIFY2(w->width() >= w->minimumSizeHint().width(), qPrintable(w->objectName()));
}

// Types text as key presses; QTest::keyClicks knows only ASCII.
inline void TypeText(QWidget* widget, const QString& text) {
  for (const QChar c : text) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
    QApplication::sendEvent(widget, &release);
  }
}

// Starts the aiosmtpd test server (tests/data/send/smtp_test_server.py)
// spooling into spool, with extra arguments; its port, 0 when it did not
// come up.
inline int StartSendPeer(QProcess& server, const QString& spool, const QStringList& extra = {}) {
  server.setProgram("/usr/bin/python3");
  server.setArguments(QStringList{QString(POSTELLO_TEST_DATA) + "/send/smtp_test_server.py", "--spool", spool} + extra);
  server.start();
  if (!server.waitForStarted() || !server.waitForReadyRead(20000)) return 0;
  const QByteArray line = server.readLine();
  return line.startsWith("PORT ") ? line.mid(5).trimmed().toInt() : 0;
}

inline void StopSendPeer(QProcess& server) {
  server.terminate();
  server.waitForFinished();
}

// Writes csv as liste.csv in dir and imports it into the window's table.
// Imports a file as the import dialog offers it (columns as detected).
inline void ImportThroughDialog(TMainForm& form, const QString& path) {
  WhenModalShown([](QDialog* dlg) {
    if (auto* import = dlg->findChild<QPushButton*>("ImportBtn")) import->click();
    dlg->findChild<QPushButton*>("CancelBtn")->click();
  });
  form.ImportFile(path);
}

inline void ImportCsv(TMainForm& form, const QTemporaryDir& dir, const QByteArray& csv) {
  QFile f(dir.filePath("liste.csv"));
  QVERIFY(f.open(QIODevice::WriteOnly));
  f.write(csv);
  f.close();
  ImportThroughDialog(form, f.fileName());
}

// Stores these mails (or accounts) as the program folder dir's mails.dat
// (konten.dat) and the options files beside.
inline void StoreMails(const std::string& dir, const std::vector<TMailRec>& mails) {
  TMailList list;
  for (const TMailRec& m : mails) *list.Add() = m;
  TMailStore::Save(dir, list);
}

inline void StoreKonten(const std::string& dir, const std::vector<TKontoRec>& konten) {
  TKontoList list;
  for (const TKontoRec& k : konten) *list.Add() = k;
  TKontoStore::Save(dir, list);
}

inline TMailList RereadMails(const std::string& dir) {
  TMailList mails;
  TMailStore::Open(dir, mails);
  return mails;
}

// Runs action inside the editor window once it is shown; a failed check
// inside must not leave the modal window open for ever.
inline void InEditor(std::function<void(TWriteMailForm*)> action) {
  WhenModalShown([action](QDialog* dlg) {
    auto* editor = qobject_cast<TWriteMailForm*>(dlg);
    QVERIFY(editor);
    action(editor);
    if (editor->isVisible()) editor->done(QDialog::Rejected);
  });
}

// Adds the text mail "Hallo" with text, dated date (0: none), lists the
// mails and accounts and turns to the send page.
inline void AddMailAndOpenSendPage(TMainState& state, TMainForm& form, const std::string& text, double date = 0) {
  TMailRec* mail = state.Mails.Add();
  mail->Subject = "Hallo";
  mail->Date = date;
  mail->MailType = 2;
  mail->PlainText = text;
  state.SaveMails();
  form.ListMails();
  form.ListKonten();
  form.findChild<QTabWidget*>("PageControl2")->setCurrentIndex(3);
}

// The send page ready for a run: a table of n addresses r1@example.org
// ... with the names Name1 ..., one account "Verein" on the test server at
// port (with the sending options of options), and one text mail "Hallo"
// with text, dated date (0: none).
inline void PrepareSendPage(TMainState& state, TMainForm& form, const QTemporaryDir& dir, int n, int port,
                            const std::string& text, double date = 0, const TKontoRec& options = {}) {
  QVERIFY(state.NewDatabase(2));
  QByteArray csv;
  for (int k = 1; k <= n; ++k) csv += "r" + QByteArray::number(k) + "@example.org;Name" + QByteArray::number(k) + ";V\r\n";
  ImportCsv(form, dir, csv);
  TKontoRec konto = options;
  konto.Absender = "Verein";
  konto.Email = "verein@example.org";
  konto.Server = "127.0.0.1:" + std::to_string(port);
  state.AddKonto(konto);
  AddMailAndOpenSendPage(state, form, text, date);
}

// A program folder for postello-cli runs: options.dat naming adr.dbf with
// these addresses, and the account "Versand" on the test server at port.
inline void PrepareCliFolder(const std::string& folder, int port, const std::vector<TAddress>& addresses) {
  TOptions options;
  options.DatabaseFile = folder + "adr.dbf";
  WriteBytes(folder + "options.dat", options.Encode());
  TKontoList konten;
  TKontoRec* k = konten.Add();
  k->Absender = "Versand";
  k->Email = "versand@example.org";
  k->Server = "127.0.0.1:" + std::to_string(port);
  TKontoStore::Save(folder, konten);
  TDbf table;
  MakeAddressTable(table, options.DatabaseFile, addresses);
  table.Close();
}

// Runs postello-cli send on mail to every address of folder's table,
// personalised; its output (both streams), and ok when it exited 0.
inline std::string CliSendPersonal(const std::string& folder, int mail, bool& ok) {
  const std::string cmd = std::string(POSTELLO_BIN_DIR) + "/postello-cli send --mail " + std::to_string(mail) +
                          " --account 0 --personal --dir '" + folder + "' >'" + folder + "out' 2>&1";
  const int rc = std::system(cmd.c_str());
  ok = WIFEXITED(rc) && WEXITSTATUS(rc) == 0;
  return ReadFileBytes(folder + "out");
}

// Keeps the server's message n (from 1) and its notes as folder/msg-n.eml
// and .json, where DescribeSent reads them; returns the .eml's path.
inline std::filesystem::path KeepMessage(const TSmtpTestServer& server, const std::string& folder, int n) {
  const std::string base = folder + "msg-" + std::to_string(n);
  WriteBytes(base + ".eml", server.Message(n));
  WriteBytes(base + ".json", server.Notes(n));
  return base + ".eml";
}

// The text of the first part of the given type in one message block of
// DescribeSent.
inline std::string PartText(const std::string& block, const std::string& type) {
  const std::size_t part = block.find(" " + type + " ");
  if (part == std::string::npos) return "(no " + type + " part)";
  const std::size_t text = block.find("\n  text: ", part);
  if (text == std::string::npos) return "(no text)";
  const std::size_t end = block.find('\n', text + 9);
  return block.substr(text + 9, end - text - 9);
}

// Empties the test's program folder before each test.
inline void EmptyFolder(const QTemporaryDir& dir) {
  QDir(dir.path()).removeRecursively();
  QDir().mkpath(dir.path());
}

inline QByteArray FileBytes(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  return f.readAll();
}

// What a window test holds: a program folder emptied before each test,
// and a fresh message sink (a ScriptedSink unless the test needs another)
// installed for it. The test's init() and cleanup() slots call InitTest()
// and CleanupTest().
template <class Sink>
class TWindowTestWith : public QObject {
protected:
  QTemporaryDir m_dir;
  Sink m_sink;

  std::string Dir() const { return m_dir.path().toStdString() + "/"; }
  QString File(const char* name) const { return m_dir.filePath(name); }

  void InitTest() {
    QVERIFY(m_dir.isValid());
    EmptyFolder(m_dir);
    m_sink = Sink{};
    SetMessageSink(&m_sink);
  }
  // A hook no dialog answered fails the test that left it.
  void CleanupTest() {
    SetMessageSink(nullptr);
    QCOMPARE(CancelModalHooks(), 0);
  }
};

using TWindowTest = TWindowTestWith<ScriptedSink>;

// A window test that sends to the aiosmtpd test server, which refuses
// r2@example.org and spools into m_spool. The test's initTestCase() and
// cleanupTestCase() slots call StartPeer() and StopPeer().
class TSendPeerTest : public TWindowTest {
protected:
  QTemporaryDir m_spool;
  QProcess m_server;
  int m_port = 0;

  void StartPeer() {
    QVERIFY(m_spool.isValid());
    m_port = StartSendPeer(m_server, m_spool.path(), {"--refuse", "r2@example.org"});
    QVERIFY(m_port != 0);
  }
  void StopPeer() { StopSendPeer(m_server); }
};

} // namespace postello::test
