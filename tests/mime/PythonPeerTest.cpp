// Composed messages of every structure read back by Python's email package.
#include "mime/ZIzorAvarivi2000.h"

#include "MimeTestSupport.h"
#include "mime/MakeBoundary.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>

using namespace postello;
using namespace postello::mimetest;

namespace {

struct TLeaf {
  std::string Payload;
  std::string FileName; // as a reader should decode it; empty for texts
  std::string ContentId;
};

class PythonPeer : public ::testing::Test {
protected:
  void SetUp() override {
    if (!std::filesystem::exists("/usr/bin/python3")) GTEST_SKIP() << "no /usr/bin/python3";
    SeedBoundaries(2026);
    Manifest = "";
  }

  static std::string RandomBytes(std::size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::string s(n, '\0');
    for (char& c : s) c = static_cast<char>(gen() & 0xFF);
    return s;
  }

  // Starts a message as the send run does.
  void Begin(ZIzorAvarivi2000& msg) {
    msg.ClearMessage();
    msg.SetSender(Sender, "s@example.org");
    msg.SetReplyAddress("Vertrieb S\xFC" "d", "a@example.org");
    msg.SetSubjectLine(Subject);
    msg.SetSendDate(TMailDateTime::Now());
    msg.ToRecipients.RemoveAll();
    msg.ToRecipients.AddAddress("", "r@example.org");
    msg.BccRecipients.RemoveAll();
  }

  void Record(ZIzorAvarivi2000& msg, const std::string& name, const std::string& tree,
              const std::vector<TLeaf>& leaves) {
    msg.ComposeBody();
    const std::string eml = Dir.Path(name + ".eml");
    WriteFile(eml, msg.MessageText());
    Manifest += "message\t" + eml + "\t" + tree + "\t" + Subject + "\t" + Sender + "\n";
    for (std::size_t i = 0; i < leaves.size(); ++i) {
      const std::string payload = Dir.Path(name + "." + std::to_string(i) + ".bin");
      WriteFile(payload, leaves[i].Payload);
      Manifest += "part\t" + payload + "\t" + leaves[i].FileName + "\t" + leaves[i].ContentId + "\n";
    }
  }

  // Runs the checker; returns its exit status and fills `output`.
  int RunChecker(std::string& output) {
    const std::string manifest = Dir.Path("manifest.txt");
    WriteFile(manifest, Manifest);
    const std::string command = "/usr/bin/python3 " + std::string(POSTELLO_TEST_DATA) +
                                "/mime/check_messages.py " + manifest + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return -1;
    char buffer[4096];
    std::size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, got);
    const int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  TTempDir Dir;
  std::string Manifest;
  std::string Subject = "Angebot f\xFCr Sie: 50% & mehr?";
  std::string Sender = "Vertrieb S\xFC" "d";
};

} // namespace

TEST_F(PythonPeer, EveryStructureParsesWithTheComposedPayloads) {
  std::string longLine;
  for (int i = 0; i < 40; ++i) longLine += "Wort" + std::to_string(i) + " \xE4\xF6\xFC ";
  const std::string plain = "Sehr geehrte Damen und Herren,\r\n\r\n" + longLine + "\r\n=?_ Ende\r\n";
  const std::string html = "<html><body><p>Gr\xFC\xDF" "e</p><img src=\"cid:LOGO.GIF\">" + longLine +
                           "</body></html>";
  const std::string picture = "GIF89a" + RandomBytes(20 * 1024, 1);
  const std::string picture2 = "\x89PNG\r\n" + RandomBytes(3000, 2);
  std::string document;
  for (int round = 0; round < 400; ++round)
    for (int b = 0; b < 256; ++b) document += static_cast<char>(b);
  const std::string document2 = RandomBytes(4097, 3);

  const std::string pdfPath = Dir.Path("Preis Liste \xE4.pdf");
  const std::string zipPath = Dir.Path("daten.zip");
  const std::string gifPath = Dir.Path("logo.gif");
  const std::string pngPath = Dir.Path("foto.png");
  WriteFile(pdfPath, document);
  WriteFile(zipPath, document2);
  WriteFile(gifPath, picture);
  WriteFile(pngPath, picture2);
  const TLeaf plainLeaf{plain, "", ""}, htmlLeaf{html, "", ""};
  const TLeaf gifLeaf{picture, "", "<LOGO.GIF>"}, pngLeaf{picture2, "", "<FOTO.PNG>"};
  const TLeaf pdfLeaf{document, "Preis Liste \xE4.pdf", ""}, zipLeaf{document2, "daten.zip", ""};

  ZIzorAvarivi2000 msg;
  msg.ApplyFormSettings();

  Begin(msg);
  msg.SetPlainBody(plain);
  Record(msg, "single-text", "text/plain", {plainLeaf});

  Begin(msg);
  msg.SetHtmlBody(html);
  msg.SetPlainBody(plain);
  Record(msg, "alternative", "multipart/alternative(text/plain,text/html)", {plainLeaf, htmlLeaf});

  Begin(msg);
  msg.SetHtmlBody(html);
  msg.SetPlainBody(plain);
  msg.AddAttachmentFile(gifPath, "", true);
  msg.AddAttachmentFile(pngPath, "", true);
  Record(msg, "related", "multipart/related(multipart/alternative(text/plain,text/html),image/gif,image/png)",
         {plainLeaf, htmlLeaf, gifLeaf, pngLeaf});

  Begin(msg);
  msg.SetPlainBody(plain);
  msg.AddAttachmentFile(gifPath, "", true);
  Record(msg, "related-single-text", "multipart/related(text/plain,image/gif)", {plainLeaf, gifLeaf});

  Begin(msg);
  msg.SetHtmlBody(html);
  msg.SetPlainBody(plain);
  msg.AddAttachmentFile(pdfPath, "", false);
  msg.AddAttachmentFile(zipPath, "", false);
  Record(msg, "mixed", "multipart/mixed(multipart/alternative(text/plain,text/html),application/pdf,application/zip)",
         {plainLeaf, htmlLeaf, pdfLeaf, zipLeaf});

  Begin(msg);
  msg.SetPlainBody(plain);
  msg.AddAttachmentFile(pdfPath, "", false);
  Record(msg, "mixed-single-text", "multipart/mixed(text/plain,application/pdf)", {plainLeaf, pdfLeaf});

  Begin(msg);
  msg.SetHtmlBody(html);
  msg.SetPlainBody(plain);
  msg.AddAttachmentFile(pdfPath, "", false);
  msg.AddAttachmentFile(gifPath, "", true);
  Record(msg, "mixed-related",
         "multipart/mixed(multipart/related(multipart/alternative(text/plain,text/html),image/gif),application/pdf)",
         {plainLeaf, htmlLeaf, gifLeaf, pdfLeaf});

  Begin(msg);
  msg.AddAttachmentFile(pdfPath, "", false);
  Record(msg, "single-attachment", "application/pdf", {pdfLeaf});

  Begin(msg);
  msg.AddAttachmentFile(pdfPath, "", false);
  msg.AddAttachmentFile(zipPath, "", false);
  Record(msg, "two-attachments", "multipart/mixed(application/pdf,application/zip)", {pdfLeaf, zipLeaf});

  Begin(msg);
  msg.AddAttachmentFile(gifPath, "", true);
  msg.AddAttachmentFile(pngPath, "", true);
  Record(msg, "pictures", "multipart/related(image/gif,image/png)", {gifLeaf, pngLeaf});

  std::string output;
  EXPECT_EQ(RunChecker(output), 0) << output;
  EXPECT_NE(output.find("checked 10 messages, 0 problems"), std::string::npos) << output;
}

// Windows-1252 characters that Latin-1 lacks come back as themselves in the
// subject and the sender's name (both long enough for several encoded
// words) and the text; the HTML beside them holds Latin-1 only.
TEST_F(PythonPeer, WindowsCharactersReadBackAsThemselves) {
  Subject = "\x84Winteraktion\x93 \x96 nur heute 20 \x80 Rabatt auf alle Artikel im Gesch\xE4" "ft\x85";
  Sender = "M\xFCller & S\xF6hne \x84Vertrieb S\xFC" "d\x93 \x96 Kundenservice \x80";
  const std::string plain = "Preis: 20 \x80 \x96 \x84g\xFCnstig\x93\r\n";
  const std::string html = "<p>Gr\xFC\xDF" "e</p>";
  ZIzorAvarivi2000 msg;
  msg.ApplyFormSettings();
  Begin(msg);
  msg.SetHtmlBody(html);
  msg.SetPlainBody(plain);
  Record(msg, "windows", "multipart/alternative(text/plain,text/html)", {{plain, "", ""}, {html, "", ""}});
  std::string output;
  EXPECT_EQ(RunChecker(output), 0) << output;
}

// The checker must notice a wrong tree, a changed payload and a wrong name,
// or the test above would prove nothing.
TEST_F(PythonPeer, CheckerRejectsWrongExpectations) {
  const std::string gifPath = Dir.Path("logo.gif");
  WriteFile(gifPath, "GIF89a-data");
  ZIzorAvarivi2000 msg;
  msg.ApplyFormSettings();
  Begin(msg);
  msg.SetPlainBody("Text");
  msg.AddAttachmentFile(gifPath, "", true);
  Record(msg, "wrong", "multipart/mixed(text/plain,image/gif)", {{"Text!", "", ""}, {"GIF89a-data", "x.gif", "<LOGO>"}});
  std::string output;
  EXPECT_EQ(RunChecker(output), 1) << output;
  EXPECT_NE(output.find("tree multipart/related(text/plain,image/gif)"), std::string::npos) << output;
  EXPECT_NE(output.find("part 0: 4 decoded bytes differ from the 5 composed"), std::string::npos) << output;
  EXPECT_NE(output.find("part 1: file name ''"), std::string::npos) << output;
  EXPECT_NE(output.find("content id '<LOGO.GIF>'"), std::string::npos) << output;
}
