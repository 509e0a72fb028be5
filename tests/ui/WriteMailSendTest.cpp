// From the editor window to a recipient's mailbox: a design mail is typed
// and formatted in the window, committed with Yes, then sent by
// postello-cli to the aiosmtpd test server; Python's email package reads
// what arrived.
#include "TMainForm.h"
#include "TWriteMailForm.h"
#include "UiTestSupport.h"

#include "core/TOptions.h"
#include "send/SendRunSupport.h"

#include <QPushButton>
#include <QTest>
#include <QTextCursor>
#include <QTextEdit>
#include <QTextList>

using namespace postello;
using postello::test::ScriptedSink;
using postello::test::WhenModalShown;

namespace {

void TypeText(QWidget* widget, const QString& text) {
  for (const QChar c : text) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
    QApplication::sendEvent(widget, &release);
  }
}

// The text of the first part of the given type in one message block.
std::string PartText(const std::string& block, const std::string& type) {
  const std::size_t part = block.find(" " + type + " ");
  if (part == std::string::npos) return "(no " + type + " part)";
  const std::size_t text = block.find("\n  text: ", part);
  if (text == std::string::npos) return "(no text)";
  const std::size_t end = block.find('\n', text + 9);
  return block.substr(text + 9, end - text - 9);
}

} // namespace

class WriteMailSendTest : public QObject {
  Q_OBJECT

  ScriptedSink m_sink;

private slots:
  void init() { SetMessageSink(&m_sink); }
  void cleanup() { SetMessageSink(nullptr); }

  void designMailWrittenInTheWindowArrivesFormatted() {
    postello::test::TTempDir dir;
    const std::string folder = dir.Path().string() + "/";
    postello::test::TSmtpTestServer server({});
    QVERIFY(server.Port() != 0);

    TOptions options;
    options.DatabaseFile = folder + "adr.dbf";
    postello::test::WriteBytes(folder + "options.dat", options.Encode());
    TKontoList konten;
    TKontoRec* k = konten.Add();
    k->Absender = "Versand";
    k->Email = "versand@example.org";
    k->Server = "127.0.0.1:" + std::to_string(server.Port());
    TKontoStore::Save(folder, konten);
    {
      TDbf table;
      postello::test::MakeAddressTable(table, options.DatabaseFile,
                                       {{"erna@example.org", "M\xFCller", "Erna", "", "", ""},
                                        {"otto@example.org", "Schulze", "Otto", "", "", ""}});
      table.Close();
    }

    {
      TMainState state;
      TMainForm form(state);
      TWriteMailForm editor(&form);
      form.SetWriteMailForm(&editor);
      form.FormCreate(folder);
      QVERIFY(state.Table1.Active());
      m_sink.answer = TMsgResult::Yes;
      WhenModalShown([](QDialog* dlg) {
        auto* e = qobject_cast<TWriteMailForm*>(dlg);
        QVERIFY(e);
        QVERIFY(e->ui.FelderCombo->findText("NAME") >= 0);
        TypeText(e->ui.Edit1, "Einladung");
        QTextEdit* rich = e->ui.RichEdit1;
        rich->setFocus();
        // Formatting as the toolbar applies it: to what is typed next.
        TypeText(rich, "Guten Tag ");
        rich->setFontWeight(QFont::Bold);
        TypeText(rich, "Welt");
        rich->setFontWeight(QFont::Normal);
        TypeText(rich, " und ");
        rich->setTextColor(QColor(255, 0, 0));
        TypeText(rich, "rot");
        rich->setTextColor(QColor(0, 0, 0));
        QTest::keyClick(rich, Qt::Key_Return);
        rich->setAlignment(Qt::AlignHCenter);
        TypeText(rich, "Mitte");
        QTest::keyClick(rich, Qt::Key_Return);
        rich->setAlignment(Qt::AlignLeft | Qt::AlignAbsolute);
        rich->textCursor().createList(QTextListFormat::ListDisc);
        TypeText(rich, "Punkt");
        QTest::keyClick(rich, Qt::Key_Return);
        QTextCursor c = rich->textCursor();
        c.currentList()->remove(c.block());
        QTextBlockFormat plain = c.blockFormat();
        plain.setIndent(0);
        c.setBlockFormat(plain);
        TypeText(rich, QString::fromUtf8("Für [%Name]"));
        QTest::mouseClick(e->ui.SpeedButton1, Qt::LeftButton);
      });
      QTest::mouseClick(form.ui.NewBtn, Qt::LeftButton);
      QCOMPARE(state.Mails.Count(), 1u);
    }

    const std::string cmd = std::string(POSTELLO_BIN_DIR) + "/postello-cli send --mail 0 --account 0 --personal --dir '" +
                            folder + "' >'" + folder + "out' 2>&1";
    const int rc = std::system(cmd.c_str());
    const std::string out = postello::test::ReadFileBytes(folder + "out");
    QVERIFY2(WIFEXITED(rc) && WEXITSTATUS(rc) == 0, out.c_str());
    QCOMPARE(out, std::string("2 Mails von 2 verarbeitet 0 fehlgeschlagen.\n"));
    QCOMPARE(server.Count(), 2);

    std::vector<std::filesystem::path> files;
    for (int n = 1; n <= 2; ++n) {
      const std::string base = folder + "msg-" + std::to_string(n);
      postello::test::WriteBytes(base + ".eml", server.Message(n));
      postello::test::WriteBytes(base + ".json", server.Notes(n));
      files.push_back(base + ".eml");
    }
    const std::string all = postello::test::DescribeSent(files);
    const char* const names[] = {"M\xFCller", "Schulze"};
    for (int n = 0; n < 2; ++n) {
      const std::string block = postello::test::Block(all, "msg-" + std::to_string(n + 1) + ".eml");
      QVERIFY2(!block.empty(), all.c_str());
      QCOMPARE(postello::test::Line(block, "subject"), std::string("Einladung"));
      QCOMPARE(postello::test::Line(block, "defects"), std::string("0"));
      const std::string html = PartText(block, "text/html");
      const std::string expectLines[] = {
          "<div align=left><font face=Arial size=2 color=#000000>Guten Tag <b>Welt</b> und "
          "<font face=Arial size=2 color=#FF0000>rot\\r\\n",
          "<div align=center><font face=Arial size=2 color=#000000>Mitte\\r\\n",
          "<div align=left><ul><li><font face=Arial size=2 color=#000000>Punkt</li></ul>\\r\\n",
          "<div align=left><font face=Arial size=2 color=#000000>F\xFCr " + std::string(names[n]) + "\\r\\n",
      };
      for (const std::string& line : expectLines) {
        QVERIFY2(html.find(line) != std::string::npos, (line + "\nnot in\n" + html).c_str());
      }
      QVERIFY2(html.find("[%") == std::string::npos, html.c_str());
      // The plain text derived from the HTML, merged as well.
      const std::string text = PartText(block, "text/plain");
      QVERIFY2(text.find("Guten Tag Welt und rot") != std::string::npos, text.c_str());
      QVERIFY2(text.find("F\xFCr " + std::string(names[n])) != std::string::npos, text.c_str());
    }
  }
};

QTEST_MAIN(WriteMailSendTest)
#include "WriteMailSendTest.moc"
