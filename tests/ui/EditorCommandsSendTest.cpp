// From the editor's commands to a recipient's mailbox: a newsletter design
// mail with two pictures inserted by the picture button, and an HTML mail
// made by importing an HTML file with two pictures, are committed in the
// window, sent by postello-cli to the aiosmtpd test server and read by
// Python's email package. The pictures must arrive as embedded parts whose
// content ids are the ones the HTML refers to.
#include "TEditorDialogs.h"
#include "TMainForm.h"
#include "TWriteMailForm.h"
#include "UiTestSupport.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTextEdit>

#include <deque>
#include <regex>
#include <set>

using namespace postello;
using postello::test::PartText;
using postello::test::TypeText;
using postello::test::WhenModalShown;

namespace {

// Content id -> "bytes: <count> <sha256>" of every embedded part.
std::map<std::string, std::string> EmbeddedParts(const std::string& block) {
  std::map<std::string, std::string> parts;
  const std::regex part(R"(part \d+ (\S+) name=\S* cid=<([^>]+)> disposition=inline\n  (bytes: .*))");
  for (auto it = std::sregex_iterator(block.begin(), block.end(), part); it != std::sregex_iterator(); ++it) {
    parts[(*it)[2]] = (*it)[1].str() + " " + (*it)[3].str();
  }
  return parts;
}

std::set<std::string> CidReferences(const std::string& html) {
  std::set<std::string> ids;
  const std::regex ref("src=\"cid:([^\"]+)");
  for (auto it = std::sregex_iterator(html.begin(), html.end(), ref); it != std::sregex_iterator(); ++it) {
    ids.insert((*it)[1]);
  }
  return ids;
}

} // namespace

class EditorCommandsSendTest : public postello::test::TWindowTest {
  Q_OBJECT

  std::deque<QStringList> m_files;

private slots:
  void init() {
    InitTest();
    TEditorDialogs::SetFileChooser([this](const TEditorDialogs::TFileQuestion&, QWidget*) {
      if (m_files.empty()) return QStringList();
      QStringList f = m_files.front();
      m_files.pop_front();
      return f;
    });
  }
  void cleanup() {
    TEditorDialogs::SetFileChooser({});
    CleanupTest();
  }

  void newsletterAndImportedHtmlArriveWithTheirPictures() {
    postello::test::TTempDir dir;
    const std::string folder = dir.Path().string() + "/";
    postello::test::TSmtpTestServer server({});
    QVERIFY(server.Port() != 0);

    postello::test::PrepareCliFolder(folder, server.Port(), {{"erna@example.org", "M\xFCller", "Erna", "", "", ""}});

    // The pictures: two for the newsletter, two beside the HTML file.
    std::filesystem::create_directories(folder + "bilder");
    const std::string pictures[] = {folder + "Kopf.gif", folder + "foto.png", folder + "bilder/logo.gif",
                                    folder + "bilder/Karte 2.jpg"};
    std::map<std::string, std::string> bytes;
    for (int n = 0; n < 4; ++n) {
      bytes[pictures[n]] = postello::test::RandomBytes(3000 + 1000 * n, 7 + n);
      postello::test::WriteBytes(pictures[n], bytes[pictures[n]]);
    }
    postello::test::WriteBytes(folder + "seite.htm",
                               "<html><body><p>Gr\xFC\xDF" "e, [%Name]!</p>\r\n"
                               "<img src=\"bilder/logo.gif\" alt=\"Logo\"><br>\r\n"
                               "<img src=\"bilder/Karte 2.jpg\" width=100><img src=\"" + folder + "options.dat\">\r\n"
                               "</body></html>\r\n");

    {
      TMainState state;
      TMainForm form(state);
      TWriteMailForm editor(&form);
      editor.SetProgDir(folder);
      form.SetWriteMailForm(&editor);
      form.FormCreate(folder);
      QVERIFY(state.Table1.Active());
      m_sink.answer = TMsgResult::Yes;

      // A newsletter: text, two pictures by the picture button.
      m_files = {{QString::fromStdString(pictures[0])}, {QString::fromStdString(pictures[1])}};
      WhenModalShown([](QDialog* dlg) {
        auto* e = qobject_cast<TWriteMailForm*>(dlg);
        QVERIFY(e);
        QVERIFY(e->ui.NewsCheck->isChecked());
        TypeText(e->ui.Edit1, "Newsletter");
        QTextEdit* rich = e->ui.RichEdit1;
        rich->setFocus();
        TypeText(rich, "Hallo [%Name]");
        QTest::keyClick(rich, Qt::Key_Return);
        QTest::mouseClick(e->ui.PicBtn, Qt::LeftButton);
        QTest::keyClick(rich, Qt::Key_End);
        TypeText(rich, " und ");
        QTest::mouseClick(e->ui.PicBtn, Qt::LeftButton);
        QTest::mouseClick(e->ui.SpeedButton1, Qt::LeftButton);
      });
      QTest::mouseClick(form.ui.NewBtn, Qt::LeftButton);
      QCOMPARE(state.Mails.Count(), 1u);

      // An HTML mail by importing the file.
      m_files = {{QString::fromStdString(folder + "seite.htm")}};
      WhenModalShown([](QDialog* dlg) {
        auto* e = qobject_cast<TWriteMailForm*>(dlg);
        QVERIFY(e);
        TypeText(e->ui.Edit1, "Importiert");
        QTest::mouseClick(e->ui.MailTyp2, Qt::LeftButton);
        QTest::mouseClick(e->ui.HTMLImportBtn, Qt::LeftButton);
        QTest::mouseClick(e->ui.SpeedButton1, Qt::LeftButton);
      });
      QTest::mouseClick(form.ui.NewBtn, Qt::LeftButton);
      QCOMPARE(state.Mails.Count(), 2u);
    }

    std::vector<std::filesystem::path> files;
    for (int mail = 0; mail < 2; ++mail) {
      bool ok = false;
      const std::string out = postello::test::CliSendPersonal(folder, mail, ok);
      QVERIFY2(ok, out.c_str());
      QCOMPARE(out, std::string("1 Mail von 1 verarbeitet 0 fehlgeschlagen.\n"));
      files.push_back(postello::test::KeepMessage(server, folder, mail + 1));
    }
    QCOMPARE(server.Count(), 2);
    const std::string all = postello::test::DescribeSent(files);

    const struct {
      const char* subject;
      std::map<std::string, std::string> parts; // content id -> file
      const char* htmlHas;
    } expected[] = {
        {"Newsletter",
         {{"KOPF.GIF", pictures[0]}, {"FOTO.PNG", pictures[1]}},
         "<table align=center width=550 bgcolor=#000000 cellpadding=0 cellspacing=0><tr></tr>"},
        {"Importiert",
         {{"LOGO.GIF", pictures[2]}, {"KARTE 2.JPG", pictures[3]}},
         // Not a picture: stays a reference to the file, and is not sent.
         "options.dat\">"},
    };
    for (int n = 0; n < 2; ++n) {
      const std::string block = postello::test::Block(all, "msg-" + std::to_string(n + 1) + ".eml");
      QVERIFY2(!block.empty(), all.c_str());
      QCOMPARE(postello::test::Line(block, "subject"), std::string(expected[n].subject));
      QCOMPARE(postello::test::Line(block, "defects"), std::string("0"));
      const std::string html = PartText(block, "text/html");
      QVERIFY2(html.find(expected[n].htmlHas) != std::string::npos, html.c_str());
      QVERIFY2(html.find("M\xFCller") != std::string::npos, html.c_str());
      std::set<std::string> wanted;
      for (const auto& [cid, file] : expected[n].parts) wanted.insert(cid);
      QCOMPARE(CidReferences(html), wanted);
      const std::map<std::string, std::string> parts = EmbeddedParts(block);
      QCOMPARE(parts.size(), std::size_t(2));
      for (const auto& [cid, file] : expected[n].parts) {
        const auto it = parts.find(cid);
        QVERIFY2(it != parts.end(), (cid + " not embedded in\n" + block).c_str());
        const std::string& b = bytes[file];
        const std::string type = file.ends_with(".gif") ? "image/gif" : file.ends_with(".png") ? "image/png" : "image/jpeg";
        QCOMPARE(it->second, type + " bytes: " + std::to_string(b.size()) + " " + postello::test::Sha256Hex(b));
      }
      QVERIFY2(block.find("disposition=attachment") == std::string::npos, block.c_str());
    }
  }
};

QTEST_MAIN(EditorCommandsSendTest)
#include "EditorCommandsSendTest.moc"
