// Reading replies: line ends in every form, pieces split anywhere, codes,
// multi-line replies, and peers that misbehave.
#include "smtp/TSMTPSend.h"
#include "smtp/ScriptedSmtpSocket.h"

#include <gtest/gtest.h>

using namespace postello;
using postello::test::TScriptState;
using postello::test::TScriptedSmtpSocket;

namespace {

// A session connected to a server that sends the given pieces, one per
// receive call, and nothing else.
struct TReader {
  std::shared_ptr<TScriptState> State = std::make_shared<TScriptState>();
  TSMTPSend Session;
  explicit TReader(std::vector<std::string> pieces)
      : Session(std::make_unique<TScriptedSmtpSocket>(State)) {
    State->Steps = {{"", std::move(pieces)}};
    Session.Sock().Connect("h", "25");
  }
};

} // namespace

TEST(SmtpReply, EveryLineEndFormEndsALine) {
  TReader r({"a\r\nb\n\rc\rd\ne\r\n"});
  TBlockSocket& s = r.Session.Sock();
  EXPECT_EQ(s.RecvLine(100), "a");
  EXPECT_EQ(s.RecvLine(100), "b");
  EXPECT_EQ(s.RecvLine(100), "c");
  EXPECT_EQ(s.RecvLine(100), "d");
  EXPECT_EQ(s.RecvLine(100), "e");
  EXPECT_EQ(s.LastError(), 0);
  EXPECT_EQ(s.RecvLine(100), "");
  EXPECT_EQ(s.LastError(), TBlockSocket::ErrTimedOut);
}

TEST(SmtpReply, TwoLineEndsInARowGiveAnEmptyLine) {
  TReader r({"a\r\n\r\nb\n\nc\r\rd\r\n"});
  TBlockSocket& s = r.Session.Sock();
  for (const char* want : {"a", "", "b", "", "c", "", "d"}) EXPECT_EQ(s.RecvLine(100), want);
  EXPECT_EQ(s.LastError(), 0);
}

TEST(SmtpReply, LinesComeOutTheSameWhereverThePiecesAreCut) {
  const std::string wire = "250-one\r\n250-two\n\r250-three\r250-four\n250 five\r\n";
  const std::vector<std::string> want = {"250-one", "250-two", "250-three", "250-four", "250 five"};
  for (size_t cut1 = 1; cut1 < wire.size(); ++cut1) {
    for (size_t cut2 = cut1 + 1; cut2 <= wire.size(); cut2 += 3) {
      std::vector<std::string> pieces = {wire.substr(0, cut1), wire.substr(cut1, cut2 - cut1)};
      if (cut2 < wire.size()) pieces.push_back(wire.substr(cut2));
      TReader r(pieces);
      EXPECT_EQ(r.Session.ReadReply(), 250) << cut1 << "/" << cut2;
      EXPECT_EQ(r.Session.ReplyLines, want) << cut1 << "/" << cut2;
      EXPECT_EQ(r.Session.Sock().LastError(), 0);
    }
  }
}

TEST(SmtpReply, CrLfSplitBetweenTwoReadsIsOneLineEnd) {
  TReader r({"220 hello\r", "\n250 next\r\n"});
  EXPECT_EQ(r.Session.ReadReply(), 220);
  EXPECT_EQ(r.Session.ReadReply(), 250);
  EXPECT_EQ(r.Session.LastReplyLine, "250 next");
  EXPECT_EQ(r.Session.ReplyLines.size(), 1u);
}

TEST(SmtpReply, MultiLineReplyGoesOnWhileTheFirstDashIsTheFourthCharacter) {
  TReader r({"250-a-b\r\n250-\r\n2-0-x\r\n251 z\r\n"});
  EXPECT_EQ(r.Session.ReadReply(), 250);
  EXPECT_EQ(r.Session.ReplyLines, (std::vector<std::string>{"250-a-b", "250-", "2-0-x"}));
  EXPECT_EQ(r.Session.LastReplyLine, "2-0-x");
  EXPECT_EQ(r.Session.ReadReply(), 251);
}

TEST(SmtpReply, CodeIsTheFirstThreeDigitsOrZero) {
  const struct {
    const char* line;
    int code;
  } rows[] = {{"220", 220}, {"220 x", 220}, {"2200", 220}, {"354x", 354}, {"22", 0},
              {"", 0},      {"abc", 0},     {"2a0 x", 0},  {" 25 x", 0},  {"-25 x", 0},
              {"+25 x", 0}};
  for (const auto& row : rows) {
    TReader r({std::string(row.line) + "\r\n"});
    EXPECT_EQ(r.Session.ReadReply(), row.code) << '"' << row.line << '"';
    EXPECT_EQ(r.Session.ReplyCode, row.code);
    EXPECT_EQ(r.Session.LastReplyLine, row.line);
  }
}

TEST(SmtpReply, MultiLineReplyTakesItsCodeFromTheFirstLine) {
  TReader r({"250-first\r\n550 last\r\n"});
  EXPECT_EQ(r.Session.ReadReply(), 250);
  EXPECT_EQ(r.Session.LastReplyLine, "550 last");
}

TEST(SmtpReply, SilenceAndClosedConnectionReadAsCodeZero) {
  TReader silent({});
  EXPECT_EQ(silent.Session.ReadReply(), 0);
  EXPECT_EQ(silent.Session.Sock().LastError(), TBlockSocket::ErrTimedOut);
  EXPECT_EQ(silent.Session.ReplyLines, std::vector<std::string>{""});

  // The server closes in the middle of a multi-line reply.
  TReader cut({"250-one\r\n250-tw"});
  cut.State->Steps.push_back({"", {}});
  EXPECT_EQ(cut.Session.ReadReply(), 250);
  EXPECT_NE(cut.Session.Sock().LastError(), 0);
  EXPECT_EQ(cut.Session.ReplyLines, (std::vector<std::string>{"250-one", ""}));
}

TEST(SmtpReply, LineOfExactlyTheLimitIsRead) {
  const std::string line = "250 " + std::string(TBlockSocket::MaxLineLength - 4, 'x');
  TReader r({line.substr(0, 30000), line.substr(30000), "\r\n"});
  EXPECT_EQ(r.Session.ReadReply(), 250);
  EXPECT_EQ(r.Session.LastReplyLine, line);
}

TEST(SmtpReply, LineOverTheLimitClosesTheConnection) {
  // With and without a line end in sight: the answer must not depend on
  // whether the end arrives in the same piece.
  const std::string line = "250 " + std::string(TBlockSocket::MaxLineLength - 3, 'x');
  for (const std::vector<std::string>& pieces :
       {std::vector<std::string>{line + "\r\n"}, std::vector<std::string>{line, "\r\n"},
        std::vector<std::string>{std::string(1 << 20, 'y')}}) {
    TReader r(pieces);
    EXPECT_EQ(r.Session.ReadReply(), 0);
    EXPECT_EQ(r.Session.Sock().LastError(), TBlockSocket::ErrLineTooLong);
    EXPECT_EQ(r.Session.LastReplyLine, "");
    EXPECT_TRUE(r.State->Closed);
  }
}

TEST(SmtpReply, BytesAfterAReplyWaitForTheNextOne) {
  TReader r({"220 a\r\n250-b\r\n", "250 c\r\n354 d\r\n"});
  EXPECT_EQ(r.Session.ReadReply(), 220);
  EXPECT_EQ(r.Session.ReadReply(), 250);
  EXPECT_EQ(r.Session.ReplyLines, (std::vector<std::string>{"250-b", "250 c"}));
  EXPECT_EQ(r.Session.ReadReply(), 354);
}
