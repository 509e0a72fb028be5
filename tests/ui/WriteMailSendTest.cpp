// From the editor window to a recipient's mailbox: a design mail is typed
// and formatted in the window, committed with Yes, then sent by
// postello-cli to the aiosmtpd test server; Python's email package reads
// what arrived.
#include "TMainForm.h"
#include "TWriteMailForm.h"
#include "UiTestSupport.h"

#include <QPushButton>
#include <QTest>
#include <QTextCursor>
#include <QTextEdit>
#include <QTextList>

using namespace postello;
using postello::test::PartText;
using postello::test::TypeText;
using postello::test::WhenModalShown;

class WriteMailSendTest : public postello::test::TWindowTest {
  Q_OBJECT

private slots:
  void init() { InitTest(); }
  void cleanup() { CleanupTest(); }

  void designMailWrittenInTheWindowArrivesFormatted() {
    postello::test::TTempDir dir;
    const std::string folder = dir.Path().string() + "/";
    postello::test::TSmtpTestServer server({});
    QVERIFY(server.Port() != 0);

    postello::test::PrepareCliFolder(folder, server.Port(),
                                     {{"erna@example.org", "M\xFCller", "Erna", "", "", ""},
                                      {"otto@example.org", "Schulze", "Otto", "", "", ""}});

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

    bool ok = false;
    const std::string out = postello::test::CliSendPersonal(folder, 0, ok);
    QVERIFY2(ok, out.c_str());
    QCOMPARE(out, std::string("2 Mails von 2 verarbeitet 0 fehlgeschlagen.\n"));
    QCOMPARE(server.Count(), 2);

    std::vector<std::filesystem::path> files;
    for (int n = 1; n <= 2; ++n) files.push_back(postello::test::KeepMessage(server, folder, n));
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
