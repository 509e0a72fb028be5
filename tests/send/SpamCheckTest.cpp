// The spam check: SpamAssassin's verdict read from its real output, the
// program run for real on a message made to hit known rules, and the note
// when it is not there.
#include "send/SpamCheck.h"
#include "send/SendRunSupport.h"
#include "send/TSpamCheckJob.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <fstream>
#include <sstream>

using namespace postello;

namespace {

std::string DataFile(const std::string& name) {
  std::ifstream f(std::string(POSTELLO_TEST_DATA) + "/send/" + name, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

// A stand-in for the program that answers with fixed output.
struct TFixedOutput : TChildProcess {
  std::string Output;
  std::vector<std::string> Argv;
  TChildResult Run(const std::vector<std::string>& argv, std::string_view, std::chrono::milliseconds,
                   std::size_t) override {
    Argv = argv;
    TChildResult r;
    r.Started = true;
    r.ExitCode = 0;
    r.Output = Output;
    return r;
  }
};

} // namespace

TEST(SpamCheck, ReportOfSpamAssassinIsReadRuleByRule) {
  // Captured once from "spamassassin --local --test-mode" as TSpamCheck runs it.
  const TSpamReport r = ParseSpamReport(DataFile("spamassassin_report.eml"));
  ASSERT_TRUE(r.Found);
  EXPECT_DOUBLE_EQ(r.Score, 10.0);
  EXPECT_DOUBLE_EQ(r.Threshold, 5.0);
  struct TCase {
    const char* Name;
    double Points;
    const char* Description;
  };
  const TCase expected[] = {
      {"MISSING_DATE", 2.7, "Missing Date: header"},
      {"NO_RECEIVED", -0.0, "Informational: message has no Received headers"},
      {"MISSING_MID", 0.6, "Missing Message-Id: header"},
      {"SUBJ_ALL_CAPS", 0.5, "Subject is all capitals"},
      {"MISSING_HEADERS", 0.9, "Missing To: header"},
      {"NO_RELAYS", -0.0, "Informational: message was not relayed via SMTP"},
      {"HTML_MESSAGE", 0.0, "BODY: HTML included in message"},
      {"HTML_IMAGE_RATIO_02", 0.0, "BODY: HTML has a low ratio of text to image area"},
      {"MIME_HTML_ONLY", 0.1, "BODY: Message only has text/html MIME parts"},
      {"HTML_IMAGE_ONLY_04", 1.7, "BODY: HTML: images with 0-400 bytes of words"},
      {"REPLYTO_WITHOUT_TO_CC", 2.4, "No description available."},
      {"NO_HEADERS_MESSAGE", 0.0, "Message appears to be missing most RFC-822 headers"},
      {"MIME_HEADER_CTYPE_ONLY", 0.1, "'Content-Type' found without required MIME headers"},
      {"T_REMOTE_IMAGE", 0.0, "Message contains an external image"},
      {"TO_NO_BRKTS_HTML_ONLY", 1.0, "To: lacks brackets and HTML only"},
  };
  ASSERT_EQ(r.Rules.size(), std::size(expected));
  for (std::size_t i = 0; i < r.Rules.size(); ++i) {
    EXPECT_EQ(r.Rules[i].Name, expected[i].Name);
    EXPECT_DOUBLE_EQ(r.Rules[i].Points, expected[i].Points) << expected[i].Name;
    EXPECT_EQ(r.Rules[i].Description, expected[i].Description);
  }
  // The message's own text cannot pass for a verdict.
  EXPECT_FALSE(ParseSpamReport("Subject: x\r\n\r\nX-Spam-Status: Yes, score=99.0 required=5.0\r\n").Found);

  TFixedOutput fixed;
  fixed.Output = DataFile("spamassassin_report.eml");
  const TSpamVerdict v = TSpamCheck(fixed, "sa").Check("x");
  EXPECT_EQ(fixed.Argv.front(), "sa");
  EXPECT_TRUE(v.Spam);
  // Every rule but the two every unsent message hits, explained in German
  // where the rule is a common one.
  const std::vector<std::string> lines = {
      "Die erste Mail gilt als Spam (SpamAssassin): 10,0 Punkte, Grenze 5,0.",
      "  2,7 MISSING_DATE: Die Mail hat kein Datum (Date).",
      "  0,6 MISSING_MID: Die Mail hat keine Message-ID.",
      "  0,5 SUBJ_ALL_CAPS: Der Betreff steht ganz in Gro\xDF" "buchstaben.",
      "  0,9 MISSING_HEADERS: Die Mail hat keine An-Zeile (To).",
      "  0,0 HTML_MESSAGE: Die Mail enth\xE4lt HTML (f\xFCr sich allein unbedenklich).",
      "  0,0 HTML_IMAGE_RATIO_02: Gro\xDF" "e Bilder, wenig Text: die Bildfl\xE4" "che \xFC" "berwiegt.",
      "  0,1 MIME_HTML_ONLY: Die Mail besteht nur aus HTML, ohne reinen Text.",
      "  1,7 HTML_IMAGE_ONLY_04: Die HTML-Mail hat Bilder, aber kaum Text.",
      "  2,4 REPLYTO_WITHOUT_TO_CC: Die Mail hat eine Antwortadresse, aber keine An- oder Cc-Zeile.",
      "  0,0 NO_HEADERS_MESSAGE: Message appears to be missing most RFC-822 headers",
      "  0,1 MIME_HEADER_CTYPE_ONLY: 'Content-Type' found without required MIME headers",
      "  0,0 T_REMOTE_IMAGE: Message contains an external image",
      "  1,0 TO_NO_BRKTS_HTML_ONLY: To: lacks brackets and HTML only",
  };
  EXPECT_EQ(v.Lines, lines);
}

TEST(SpamCheck, WithoutTheProgramTheCheckSaysSo) {
  TChildProcess runner;
  const TSpamVerdict v = TSpamCheck(runner, "/nonexistent/spamassassin").Check("Subject: x\r\n\r\nx\r\n");
  EXPECT_FALSE(v.Spam);
  EXPECT_EQ(v.Lines, std::vector<std::string>{kSpamCheckMissing});
  EXPECT_EQ(std::string(kSpamCheckMissing), "Spam-Pr\xFC" "fung nicht verf\xFCgbar (SpamAssassin ist nicht installiert)");
}

TEST(SpamCheck, RealSpamAssassinListsTheRulesAMessageHits) {
  TChildProcess runner;
  const std::string message = "From: Versand <versand@example.org>\r\nReply-To: versand@example.org\r\n"
                              "Subject: GROSSE NEUIGKEITEN HEUTE\r\nContent-Type: text/plain\r\n\r\nHallo\r\n";
  const TSpamVerdict v = TSpamCheck(runner).Check(message);
  if (v.Lines == std::vector<std::string>{kSpamCheckMissing}) GTEST_SKIP() << "SpamAssassin ist nicht installiert";
  std::string all;
  for (const std::string& line : v.Lines) all += line + "\n";
  for (const char* expected : {"MISSING_HEADERS: Die Mail hat keine An-Zeile (To).",
                               "MISSING_DATE: Die Mail hat kein Datum (Date).", "MISSING_MID: Die Mail hat keine Message-ID.",
                               "SUBJ_ALL_CAPS: Der Betreff steht ganz in Gro\xDF" "buchstaben.",
                               "REPLYTO_WITHOUT_TO_CC: Die Mail hat eine Antwortadresse"})
    EXPECT_NE(all.find(expected), std::string::npos) << expected << "\n" << all;
  EXPECT_EQ(all.find("NO_RECEIVED"), std::string::npos) << all;
}

// The runner behind the check: input in, output back, bounded in size and
// time, and a missing program told apart.
TEST(ChildProcess, OutputTimeAndMissingProgram) {
  TChildProcess runner;
  const std::string big(300000, 'x');
  TChildResult r = runner.Run({"cat"}, big, std::chrono::seconds(10), 1000);
  EXPECT_TRUE(r.Started);
  EXPECT_EQ(r.ExitCode, 0);
  EXPECT_EQ(r.Output, big.substr(0, 1000));
  EXPECT_TRUE(r.Truncated);

  const auto start = std::chrono::steady_clock::now();
  r = runner.Run({"sleep", "20"}, "", std::chrono::milliseconds(300), 1000);
  EXPECT_TRUE(r.TimedOut);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));

  r = runner.Run({"/nonexistent/program"}, "x", std::chrono::seconds(10), 1000);
  EXPECT_FALSE(r.Started);
  EXPECT_EQ(r.StartErrno, ENOENT);
}

// A spam check dropped while SpamAssassin works kills it at once and
// reports nothing.
TEST(SpamCheckJob, DroppedJobKillsTheProgram) {
  test::TTempDir dir;
  const std::string slow = (dir.Path() / "langsam").string(), pidFile = (dir.Path() / "pid").string();
  test::WriteBytes(slow, "#!/bin/sh\necho $$ >" + pidFile + "\nexec sleep 20\n");
  std::filesystem::permissions(slow, std::filesystem::perms::owner_all);
  bool called = false;
  const auto start = std::chrono::steady_clock::now();
  {
    TSpamCheckJob job(slow, "x", [&](const TSpamVerdict&) { called = true; });
    while (test::ReadFileBytes(pidFile).empty() && std::chrono::steady_clock::now() - start < std::chrono::seconds(10))
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
  EXPECT_FALSE(called);
  EXPECT_NE(::kill(std::stoi(test::ReadFileBytes(pidFile)), 0), 0);  // killed and reaped
}
