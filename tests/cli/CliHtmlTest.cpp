// postello-cli html-text and import-html, run as the real program.
#include "core/TMailStore.h"
#include "../core/TestBytes.h"
#include "CliRun.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/wait.h>

using namespace postello;
using postello::test::ReadFile;
using postello::test::TempDir;
using postello::test::WriteFile;

namespace {

using postello::test::Result;

// Runs postello-cli in folder cwd with args (already shell-quoted).
Result Cli(const std::string& args, const std::string& cwd = ".") {
  return postello::test::Cli(args, "cd '" + cwd + "' && ");
}

TEST(CliHtmlText, PrintsTheDerivedTextInUtf8) {
  TempDir dir;
  WriteFile(dir.file("n.htm"), "<html><body>\r\n<p>Gr\xFC\xDF</p>e<br>zwei &amp; drei\r\n<td valign=top >x</body>");
  const Result r = Cli("html-text " + dir.file("n.htm"));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "\nGr\xC3\xBC\xC3\x9F" "e\nzwei & drei\nx\n");
}

TEST(CliHtmlText, ReadsUtf8BytesAsWindows1252) {
  TempDir dir;
  WriteFile(dir.file("u.htm"), "\xC3\xA4");
  const Result r = Cli("html-text " + dir.file("u.htm"));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "\xC3\x83\xC2\xA4\n");
}

TEST(CliHtmlText, MissingFileIsRefused) {
  TempDir dir;
  const Result r = Cli("html-text " + dir.file("fehlt.htm"));
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("fehlt.htm\" konnte nicht gelesen werden"), std::string::npos) << r.err;
}

// A mail store with an HTML mail (0, automatic text, one attachment) and a
// design mail (1).
void SaveTwoMails(const TempDir& dir) {
  TMailList mails;
  TMailRec* m = mails.Add();
  m->Subject = "HTML";
  m->MailType = 1;
  m->AutoText = true;
  m->HtmlText = "<p>alt</p>";
  m->PlainText = "alt";
  *m->Attachments.Add() = TAttachRec{"/vorher/preise.pdf", ""};
  m = mails.Add();
  m->Subject = "Design";
  m->MailType = 0;
  TMailStore::Save(dir.path(), mails);
}

TMailList LoadMails(const TempDir& dir) {
  TMailList mails;
  TMailStore::Open(dir.path(), mails);
  return mails;
}

TEST(CliImportHtml, RewritesSourceAppendsRowsAndDerivesText) {
  TempDir dir;
  SaveTwoMails(dir);
  std::filesystem::create_directories(dir.file("seite/bilder"));
  WriteFile(dir.file("seite/bilder/logo.gif"), "GIF89a");
  WriteFile(dir.file("seite/Foto.PNG"), "PNG");
  // UTF-8 with a byte order mark, as many editors save.
  WriteFile(dir.file("seite/n.htm"),
            "\xEF\xBB\xBF<html><body><img src=\"bilder/logo.gif\">\r\n"
            "<p>Gr\xC3\xBC\xC3\x9F\xE2\x86\x92<img\r\nsrc=\"Foto.PNG\" alt=\"\"><img src=\"fehlt.gif\"></body></html>\r\n");
  const Result r = Cli("import-html --dir " + dir.path() + " --mail 0 seite/n.htm", dir.path());
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string logo = dir.file("seite/bilder/logo.gif");
  const std::string foto = dir.file("seite/Foto.PNG");
  EXPECT_EQ(r.out, "LOGO.GIF\t" + logo + "\nFOTO.PNG\t" + foto + "\n");

  TMailList mails = LoadMails(dir);
  ASSERT_EQ(mails.Count(), 2u);
  const TMailRec& m = mails[0];
  EXPECT_EQ(m.HtmlText,
            "<html><body><img src=\"cid:LOGO.GIF\">\r\n"
            "<p>Gr\xFC\xDF&#8594;<img\r\nsrc=\"cid:FOTO.PNG\" alt=\"\"><img src=\"fehlt.gif\"></body></html>");
  ASSERT_EQ(m.Attachments.Count(), 3u);
  EXPECT_EQ(m.Attachments[0].FileName, "/vorher/preise.pdf");
  EXPECT_EQ(m.Attachments[1].FileName, logo);
  EXPECT_EQ(m.Attachments[1].ContentId, "LOGO.GIF");
  EXPECT_EQ(m.Attachments[2].FileName, foto);
  EXPECT_EQ(m.Attachments[2].ContentId, "FOTO.PNG");
  EXPECT_EQ(m.PlainText, "\r\nGr\xFC\xDF->");
  EXPECT_EQ(m.MailType, 1);
  EXPECT_GT(m.Date, 0);
  EXPECT_EQ(mails[1].Subject, "Design");
}

TEST(CliImportHtml, HandWrittenTextStaysWhenNotAutomatic) {
  TempDir dir;
  TMailList mails;
  TMailRec* m = mails.Add();
  m->MailType = 1;
  m->AutoText = false;
  m->PlainText = "von Hand";
  TMailStore::Save(dir.path(), mails);
  WriteFile(dir.file("n.htm"), "<p>neu");
  const Result r = Cli("import-html --dir " + dir.path() + " --mail 0 " + dir.file("n.htm"));
  ASSERT_EQ(r.status, 0) << r.err;
  const TMailList after = LoadMails(dir);
  EXPECT_EQ(after[0].HtmlText, "<p>neu");
  EXPECT_EQ(after[0].PlainText, "von Hand");
}

TEST(CliImportHtml, RefusalsChangeNothing) {
  TempDir dir;
  SaveTwoMails(dir);
  WriteFile(dir.file("n.htm"), "<p>x</p>");
  const std::string before = ReadFile(dir.file("mails.dat"));

  Result r = Cli("import-html --dir " + dir.path() + " --mail 1 " + dir.file("n.htm"));
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("Mail 1 ist keine HTML-Mail (Art 0)"), std::string::npos) << r.err;

  r = Cli("import-html --dir " + dir.path() + " --mail 2 " + dir.file("n.htm"));
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("Es gibt keine Mail Nummer 2 (gespeichert: "), std::string::npos) << r.err;

  r = Cli("import-html --dir " + dir.path() + " --mail -1 " + dir.file("n.htm"));
  EXPECT_EQ(r.status, 2);

  r = Cli("import-html --dir " + dir.path() + " " + dir.file("n.htm"));
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("--mail fehlt"), std::string::npos) << r.err;

  r = Cli("import-html --dir " + dir.path() + " --mail 0 " + dir.file("fehlt.htm"));
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("konnte nicht gelesen werden"), std::string::npos) << r.err;

  EXPECT_EQ(ReadFile(dir.file("mails.dat")), before);
}

TEST(CliImportHtml, NoMailStoreIsRefused) {
  TempDir dir;
  WriteFile(dir.file("n.htm"), "<p>x</p>");
  const Result r = Cli("import-html --dir " + dir.path() + " --mail 0 " + dir.file("n.htm"));
  EXPECT_EQ(r.status, 2);
  EXPECT_FALSE(std::filesystem::exists(dir.file("mails.dat")));
}

} // namespace
