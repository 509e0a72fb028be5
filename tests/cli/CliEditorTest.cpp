// postello-cli show and design-html, run as the real program.
#include "core/StoredDateTime.h"
#include "core/TMailStore.h"
#include "CliRun.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

using namespace postello;
using postello::test::TempDir;

namespace {

using postello::test::Cli;
using postello::test::Result;

std::string Sample(const std::string& name) { return std::string(POSTELLO_TEST_DATA) + "/editor/" + name; }

// Two stored mails; the second carries every text and two attachments.
void SaveMails(const TempDir& dir) {
  TMailList mails;
  TMailRec* m = mails.Add();
  m->Subject = "Erste";
  m->MailType = 2;
  m->PlainText = "nur Text";
  m = mails.Add();
  m->Subject = "Gr\xFC\xDF" "e\tan alle";
  m->Date = EncodeDateTime(2026, 12, 9, 10, 5, 0);
  m->MailType = 0;
  m->AutoText = true;
  m->NewsDesign = true;
  m->DesignHtml = "<html><body bgcolor=#FFFFFF>\r\n<div align=left>M\xE4rz\r\n</body></html>";
  m->HtmlText = "<p>\xA9</p>";
  m->PlainText = "Zeile 1\r\nZeile 2\r\n";
  m->DesignRtf = "{\\rtf1 M\\'e4rz\\par}";
  m->Attachments.Add()->FileName = "/home/anna/Preisliste.pdf";
  TAttachRec* pic = m->Attachments.Add();
  pic->FileName = "/home/anna/logo.png";
  pic->ContentId = "LOGO.PNG";
  TMailStore::Save(dir.path(), mails);
}

} // namespace

TEST(CliShow, SummaryOfAMail) {
  TempDir dir;
  SaveMails(dir);
  const Result r = Cli("show --mail 1 --dir " + dir.path());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "Mail: 1\n"
            "Betreff: Gr\xC3\xBC\xC3\x9F" "e an alle\n"
            "Datum: 09.12.2026 10:05:00\n"
            "Art: 0 (Design)\n"
            "Reiner Text automatisch: ja\n"
            "Newsletter-Design: ja\n"
            "RTF: 19 Bytes\n"
            "Anh\xC3\xA4nge: 2\n"
            "  /home/anna/Preisliste.pdf\n"
            "  /home/anna/logo.png (CID LOGO.PNG)\n"
            "\n--- Generiertes HTML ---\n"
            "<html><body bgcolor=#FFFFFF>\n<div align=left>M\xC3\xA4rz\n</body></html>\n"
            "\n--- HTML-Quelltext ---\n"
            "<p>\xC2\xA9</p>\n"
            "\n--- Reiner Text ---\n"
            "Zeile 1\nZeile 2\n");
}

TEST(CliShow, OnePart) {
  TempDir dir;
  SaveMails(dir);
  const std::vector<std::pair<std::string, std::string>> parts = {
      {"design", "<html><body bgcolor=#FFFFFF>\n<div align=left>M\xC3\xA4rz\n</body></html>\n"},
      {"html", "<p>\xC2\xA9</p>\n"},
      {"text", "Zeile 1\nZeile 2\n"},
      {"rtf", "{\\rtf1 M\\'e4rz\\par}\n"}};
  for (const auto& [part, expected] : parts) {
    const Result r = Cli("show --mail 1 --part " + part + " --dir " + dir.path());
    EXPECT_EQ(r.status, 0) << part << r.err;
    EXPECT_EQ(r.out, expected) << part;
  }
  const Result empty = Cli("show --mail 0 --part design --dir " + dir.path());
  EXPECT_EQ(empty.status, 0);
  EXPECT_EQ(empty.out, "");
}

TEST(CliShow, RefusesWhatItCannotShow) {
  TempDir dir;
  SaveMails(dir);
  for (const std::string args : {"show --mail 2", "show --mail -1", "show", "show --mail x", "show --mail 0 --part pdf"}) {
    const Result r = Cli(args + " --dir " + dir.path());
    EXPECT_EQ(r.status, 2) << args;
    EXPECT_EQ(r.out, "") << args;
    EXPECT_NE(r.err, "") << args;
  }
  EXPECT_NE(Cli("show --mail 2 --dir " + dir.path()).err.find("Es gibt keine Mail Nummer 2 (gespeichert: 2 Mails, gez\xC3\xA4hlt ab 0)."), std::string::npos);
  // No mails.dat: there is no mail to show, and nothing is written.
  TempDir none;
  EXPECT_EQ(Cli("show --mail 0 --dir " + none.path()).status, 2);
  EXPECT_FALSE(std::filesystem::exists(none.file("mails.dat")));
}

TEST(CliShow, DamagedFileIsReportedAndNotCopied) {
  TempDir dir;
  postello::test::WriteFile(dir.file("mails.dat"), postello::test::Bytes().i32(1).lstr("abc").data);
  const Result r = Cli("show --mail 0 --dir " + dir.path());
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("besch\xC3\xA4" "digt"), std::string::npos) << r.err;
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), std::filesystem::directory_iterator()), 1);
}

TEST(CliDesignHtml, PlainMailFromARichEditFile) {
  const Result r = Cli("design-html " + Sample("richedit_bullets.rtf"));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out,
            "<html><body bgcolor=#FFFFFF>\n"
            "<div align=left><font face=Arial size=2 color=#000000>Unsere Angebote:\n"
            "<div align=left><ul><li><font face=Arial size=2 color=#000000>K\xC3\xA4se</li></ul>\n"
            "<div align=left><ul><li><font face=Arial size=2 color=#000000><b>Br\xC3\xB6tchen</b></li></ul>\n"
            "<div align=left><ul><li><br></li></ul>\n"
            "<div align=center><ul><li><font face=Arial size=2 color=#000000>zentriert</li></ul>\n"
            "<div align=left><br>\n"
            "<div align=left><font face=Arial size=2 color=#000000>Ende\n"
            "</body></html>\n");
}

TEST(CliDesignHtml, NewsletterFrameInTheDefaultDesign) {
  const Result r = Cli("design-html --newsletter " + Sample("richedit_formats.rtf"));
  EXPECT_EQ(r.status, 0) << r.err;
  std::vector<std::string> lines;
  for (std::size_t at = 0, nl; (nl = r.out.find('\n', at)) != std::string::npos; at = nl + 1) {
    lines.push_back(r.out.substr(at, nl - at));
  }
  ASSERT_EQ(lines.size(), 17u) << r.out;
  EXPECT_EQ(lines[0], "<html><body bgcolor=#808080>");
  EXPECT_EQ(lines[1], "<table align=center width=550 bgcolor=#000000 cellpadding=0 cellspacing=0><tr></tr>");
  EXPECT_NE(lines[2].find("<font face=\"Arial Black\" color=#FFFFFF size=4>Newsletter</td>"), std::string::npos);
  EXPECT_NE(lines[3].find("Height=400 width=100% bgcolor=#FFFFFF"), std::string::npos);
  EXPECT_EQ(lines[7], "<div align=center><font face=Arial size=4 color=#FF0000><b>Gro\xC3\x9F" "e Aktion</b>");
  EXPECT_EQ(lines[8], "<div align=right><font face=\"Times New Roman\" size=3 color=#000000><i>rechtsb\xC3\xBCndig</i>");
  EXPECT_EQ(lines[10], "<div align=left><font face=Arial size=2 color=#000000>Preis:\t12,50 \xE2\x82\xAC");
  EXPECT_EQ(lines[11], "");
  EXPECT_EQ(lines[13], "<font face=\"Arial\" color=#FFFFFF size=1>");
  EXPECT_EQ(lines[14].substr(0, 2), "\xC2\xA9");
  EXPECT_EQ(lines[16], "</body></html>");
}

TEST(CliDesignHtml, UnreadableFilesGiveStatusTwo) {
  TempDir dir;
  postello::test::WriteFile(dir.file("kein.rtf"), "Hallo Welt");
  postello::test::WriteFile(dir.file("halb.rtf"), "{\\rtf1 Hallo {\\b Welt");
  postello::test::WriteFile(dir.file("leer.rtf"), "");
  for (const std::string name : {"kein.rtf", "halb.rtf", "leer.rtf", "fehlt.rtf"}) {
    const Result r = Cli("design-html " + dir.file(name));
    EXPECT_EQ(r.status, 2) << name;
    EXPECT_EQ(r.out, "") << name;
    EXPECT_NE(r.err.find(name), std::string::npos) << r.err;
  }
  EXPECT_NE(Cli("design-html " + dir.file("kein.rtf")).err.find("kein RTF-Dokument"), std::string::npos);
  EXPECT_NE(Cli("design-html " + dir.file("halb.rtf")).err.find("unvollst\xC3\xA4ndig"), std::string::npos);
  EXPECT_EQ(Cli("design-html").status, 2);
}
