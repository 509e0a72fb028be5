// The mailbox against a scripted server: the exact bytes it sends, and
// what it does when the server misbehaves.
#include "imap/TImapFolderName.h"
#include "imap/TImapMailbox.h"
#include "smtp/ScriptedSmtpSocket.h"
#include "smtp/TTCPBlockSocket.h"
#include "smtp/TestServerTrust.h"
#include "support/LoopbackPort.h"

#include <sys/resource.h>

#include <thread>

#include <gtest/gtest.h>

namespace postello {
namespace {

using test::TScriptStep;

struct TRun {
  std::shared_ptr<test::TScriptState> State = std::make_shared<test::TScriptState>();
  test::TTestServerTrust Trust;
  std::string Error;

  // Signs in (and runs then) and returns the error text, "" when none.
  std::string Play(std::vector<TScriptStep> steps, TImapLogin login, TImapLimits limits = {},
                   const std::function<void(TImapMailbox&)>& then = {}) {
    State->Steps = std::move(steps);
    TImapMailbox box(std::make_unique<test::TScriptedSmtpSocket>(State), Trust, limits);
    try {
      box.Open(login);
      if (then) then(box);
    } catch (const EImapError& e) {
      Error = e.what();
    }
    return Error;
  }
};

TImapLogin Login(const std::string& server, const std::string& password = "geheim", const std::string& token = "") {
  TImapLogin login = TImapLogin::FromServer(server);
  login.User = "anna@example.org";
  login.Password = password;
  login.BearerToken = token;
  return login;
}

// Greeting over TLS, LOGIN, CAPABILITY (caps after the sign-in) and
// SELECT INBOX (exists messages), then more.
std::vector<TScriptStep> SignedIn(const std::string& caps, int exists, std::vector<TScriptStep> more) {
  std::vector<TScriptStep> steps = {
      {"<TLS>", {"* OK [CAPABILITY IMAP4rev1 AUTH=PLAIN] ready\r\n"}},
      {"1 LOGIN \"anna@example.org\" geheim\r\n", {"1 OK in\r\n"}},
      {"2 CAPABILITY\r\n", {"* CAPABILITY IMAP4rev1 " + caps + "\r\n2 OK done\r\n"}},
      {"3 SELECT INBOX\r\n",
       {"* " + std::to_string(exists) + " EXISTS\r\n* OK [UIDVALIDITY 77] x\r\n3 OK [READ-WRITE] done\r\n"}}};
  steps.insert(steps.end(), more.begin(), more.end());
  return steps;
}

TEST(ImapDialogue, MovesByMoveElseCopiesAndExpungesOnlyThoseMessages) {
  const std::string list = "4 LIST \"\" \"\"\r\n";
  const std::vector<std::string> listed = {"* LIST (\\Noselect) \".\" \"\"\r\n4 OK done\r\n"};
  const std::string copy = "5 UID COPY 2:4,9 \"Postello.Verarbeitet\"\r\n";
  const std::string store = "6 UID STORE 2:4,9 +FLAGS.SILENT (\\Deleted)\r\n";
  const struct {
    std::string Caps;
    std::vector<TScriptStep> Steps;
  } cases[] = {
      {"MOVE UIDPLUS", {{list, listed}, {"5 UID MOVE 2:4,9 \"Postello.Verarbeitet\"\r\n", {"5 OK done\r\n"}}}},
      {"UIDPLUS",
       {{list, listed},
        {copy, {"5 OK done\r\n"}},
        {store, {"6 OK done\r\n"}},
        {"7 UID EXPUNGE 2:4,9\r\n", {"* 2 EXPUNGE\r\n7 OK done\r\n"}}}},
      // Without UIDPLUS an EXPUNGE would take other clients' deleted
      // messages too: these stay marked.
      {"", {{list, listed}, {copy, {"5 OK done\r\n"}}, {store, {"6 OK done\r\n"}}}},
  };
  for (const auto& c : cases) {
    TRun run;
    std::vector<TScriptStep> steps = SignedIn(c.Caps, 5, c.Steps);
    const std::string tag = std::to_string(steps.size());
    steps.push_back({tag + " LOGOUT\r\n", {"* BYE\r\n" + tag + " OK done\r\n"}});
    EXPECT_EQ(run.Play(steps, Login("imap.example.org"), {}, [](TImapMailbox& box) {
      box.Select("INBOX");
      EXPECT_EQ(box.Count(), 5u);
      EXPECT_EQ(box.UidValidity(), 77u);
      box.Move({4, 2, 3, 9}, "Postello/Verarbeitet");
      box.Close();
    }), "") << c.Caps;
    run.State->ExpectFinished();
  }
}

TEST(ImapDialogue, SignInGuardsCredentials) {
  const std::string cap = "2 CAPABILITY\r\n";
  const std::string tlsCaps = "* CAPABILITY IMAP4rev1 AUTH=PLAIN\r\n2 OK done\r\n";
  const std::string plain = "* OK [CAPABILITY IMAP4rev1 AUTH=PLAIN] ready\r\n";
  const std::string noTls = "Anmeldung am Postfach imap.example.org:143 abgelehnt: Der Server bietet keine "
                            "Verschl\xFCsselung an";
  const struct {
    const char* Name;
    TImapLogin Login;
    std::vector<TScriptStep> Steps;
    std::string Error;
    std::string Calls;  // what the trust was asked, in order
    bool Seen = false, PlainAllowed = false, Untrusted = false;
    std::string Unanswered = "";  // client bytes after the last step
  } cases[] = {
      {"xoauth2",
       Login("imap.example.org", "", "tok123"),
       {{"<TLS>", {"* OK [CAPABILITY IMAP4rev1 AUTH=XOAUTH2] ready\r\n"}},
        {"1 AUTHENTICATE XOAUTH2 dXNlcj1hbm5hQGV4YW1wbGUub3JnAWF1dGg9QmVhcmVyIHRvazEyMwEB\r\n", {"1 OK in\r\n"}},
        {cap, {tlsCaps}},
        {"3 LOGOUT\r\n", {"3 OK bye\r\n"}}},
       "",
       ""},
      {"xoauth2 refused: the error challenge is answered empty",
       Login("imap.example.org", "", "tok123"),
       {{"<TLS>", {"* OK [CAPABILITY IMAP4rev1 AUTH=XOAUTH2] ready\r\n"}},
        {"1 AUTHENTICATE XOAUTH2 dXNlcj1hbm5hQGV4YW1wbGUub3JnAWF1dGg9QmVhcmVyIHRvazEyMwEB\r\n",
         {"+ eyJzdGF0dXMiOiI0MDAifQ==\r\n"}},
        {"\r\n", {"1 NO [AUTHENTICATIONFAILED] Invalid credentials\r\n"}}},
       "Anmeldung am Postfach imap.example.org:993 abgelehnt: Invalid credentials",
       ""},
      {"xoauth2 not offered: no token sent",
       Login("imap.example.org", "", "tok123"),
       {{"<TLS>", {plain}}},
       "Anmeldung am Postfach imap.example.org:993 abgelehnt: der Server bietet keine Anmeldung mit OAuth (XOAUTH2) an",
       ""},
      {"starttls",
       Login("imap.example.org:143"),
       {{"", {"* OK [CAPABILITY IMAP4rev1 STARTTLS LOGINDISABLED] ready\r\n"}},
        {"1 STARTTLS\r\n", {"1 OK go\r\n"}},
        {"<TLS>2 CAPABILITY\r\n", {tlsCaps}},
        {"3 LOGIN \"anna@example.org\" geheim\r\n", {"3 OK in\r\n"}},
        {"4 CAPABILITY\r\n", {"* CAPABILITY IMAP4rev1\r\n4 OK done\r\n"}},
        {"5 LOGOUT\r\n", {"5 OK bye\r\n"}}},
       "",
       "note imap.example.org:143|"},
      {"no starttls offered: nothing sent",
       Login("imap.example.org:143"),
       {{"", {plain}}},
       noTls + "; Anmeldedaten nicht gesendet",
       "seen? imap.example.org:143|plain? imap.example.org:143|"},
      {"starttls offered before, now missing",
       Login("imap.example.org:143"),
       {{"", {plain}}},
       noTls + " (STARTTLS fehlt, obwohl er es fr\xFCher angeboten hat); Anmeldedaten nicht gesendet",
       "seen? imap.example.org:143|",
       true},
      {"plain allowed by the user",
       Login("imap.example.org:143"),
       {{"", {plain}}, {"1 LOGIN \"anna@example.org\" geheim\r\n", {"1 OK in\r\n"}}, {cap, {tlsCaps}},
        {"3 LOGOUT\r\n", {"3 OK bye\r\n"}}},
       "",
       "seen? imap.example.org:143|plain? imap.example.org:143|",
       false,
       true},
      {"signed in before TLS (PREAUTH)",
       Login("imap.example.org:143"),
       {{"", {"* PREAUTH [CAPABILITY IMAP4rev1 STARTTLS] welcome\r\n"}}},
       "Verbindung zum Postfach imap.example.org:143 abgelehnt: unverschl\xFCsselte Voranmeldung (PREAUTH)",
       ""},
      {"password sign-in disabled: nothing sent",
       Login("imap.example.org"),
       {{"<TLS>", {"* OK [CAPABILITY IMAP4rev1 LOGINDISABLED] ready\r\n"}}},
       "Anmeldung am Postfach imap.example.org:993 abgelehnt: der Server erlaubt keine Anmeldung mit Passwort "
       "(LOGINDISABLED)",
       ""},
      {"bytes smuggled in before TLS",
       Login("imap.example.org:143"),
       {{"", {"* OK [CAPABILITY IMAP4rev1 STARTTLS] ready\r\n"}},
        {"1 STARTTLS\r\n", {"1 OK go\r\n* CAPABILITY IMAP4rev1 AUTH=PLAIN\r\n"}}},
       "Verbindung zum Postfach imap.example.org:143 abgelehnt: Daten vor dem Beginn der Verschl\xFCsselung",
       "note imap.example.org:143|"},
      {"unverified certificate, not pinned",
       Login("imap.example.org"),
       {},
       "Verbindung zum Postfach imap.example.org:993 abgelehnt: " + CertProblemText(TCertProblem::Untrusted),
       "cert? imap.example.org:993 " + std::string(64, 'c') + " 1|",
       false,
       false,
       true,
       "<TLS>"},
  };
  for (const auto& c : cases) {
    TRun run;
    run.Trust.PlainAllowed = c.PlainAllowed;
    if (c.Seen) run.Trust.Seen.insert("imap.example.org:143");
    if (c.Untrusted) run.State->Certificate.Problem = TCertProblem::Untrusted;
    EXPECT_EQ(run.Play(c.Steps, c.Login), c.Error) << c.Name;
    EXPECT_EQ(run.State->Next, c.Steps.size()) << c.Name;
    EXPECT_EQ(run.State->Pending, c.Unanswered) << c.Name;
    std::string calls;
    for (const std::string& call : run.Trust.Calls) calls += call + "|";
    EXPECT_EQ(calls, c.Calls) << c.Name;
  }
}

TEST(ImapDialogue, AnswerPastTheLimitEndsWithBoundedMemory) {
  TRun run;
  TImapLimits limits;
  limits.MaxResponseBytes = 200000;
  std::vector<std::string> flood = {"* 1 FETCH (UID 1 RFC822.SIZE 5 BODY[HEADER] {1000000000}\r\n"};
  flood.insert(flood.end(), 8, std::string(65536, 'x'));
  rusage before{};
  getrusage(RUSAGE_SELF, &before);
  EXPECT_EQ(run.Play(SignedIn("", 1,
                              {{"4 UID SEARCH ALL\r\n", {"* SEARCH 1\r\n4 OK done\r\n"}},
                               {"5 UID FETCH 1 (UID RFC822.SIZE BODY.PEEK[HEADER])\r\n", flood}}),
                     Login("imap.example.org"), limits,
                     [](TImapMailbox& box) {
                       box.Select("INBOX");
                       box.FetchHeaders([](std::vector<TMailItem>&&) { return true; });
                     }),
            "Abruf der Nachrichtenk\xF6pfe aus dem Postfach imap.example.org:993 fehlgeschlagen: Antwort des "
            "Servers zu gro\xDF (mehr als 200000 Bytes)");
  rusage after{};
  getrusage(RUSAGE_SELF, &after);
  EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 64 * 1024) << "kilobytes";
  // Four pieces fill the allowance; the rest is never read.
  EXPECT_EQ(run.State->Queue.size(), 4u);
}

// A server on loopback that takes the connection and never says a word.
TEST(ImapDialogue, SilentServerEndsByTimeoutOrCancel) {
  int port = 0;
  const int listener = test::BindLoopback(port, true);
  ASSERT_GE(listener, 0);
  for (bool cancel : {false, true}) {
    std::atomic<bool> flag{false};
    TImapLimits limits;
    limits.TimeoutMs = cancel ? 30000 : 300;
    limits.Cancel = &flag;
    test::TTestServerTrust trust;
    TImapMailbox box(std::make_unique<TTCPBlockSocket>(), trust, limits);
    std::thread canceller([&] {
      if (!cancel) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      flag = true;
    });
    const auto start = std::chrono::steady_clock::now();
    std::string error;
    try {
      box.Open(Login("127.0.0.1:" + std::to_string(port)));
    } catch (const EImapError& e) {
      error = e.what();
    }
    canceller.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(error, "Verbindung zum Postfach 127.0.0.1:" + std::to_string(port) + " fehlgeschlagen: " +
                         (cancel ? "vom Benutzer abgebrochen" : "keine Antwort vom Server innerhalb von 1 s"));
  }
  close(listener);
}

TEST(ImapDialogue, FolderNamesOnTheWire) {
  const struct {
    std::string Folder;
    char Separator;
    std::string Wire;
  } cases[] = {
      {"Postello/Verarbeitet", '/', "Postello/Verarbeitet"},
      {"Postello/Verarbeitet", '.', "Postello.Verarbeitet"},
      {"/R\xFC" "ckl\xE4ufer//2024/", '.', "R&APw-ckl&AOQ-ufer.2024"},
      {"inbox/Alt", '/', "INBOX/Alt"},
      {"Inboxen", '/', "Inboxen"},
      {"A&B \x80 \xC4\xD6\xDC", '/', "A&-B &IKw- &AMQA1gDc-"},
      {"~x\xDF", '/', "~x&AN8-"},
  };
  for (const auto& c : cases) {
    const auto levels = TImapFolderName::Levels(c.Folder);
    EXPECT_EQ(TImapFolderName::Wire(levels, levels.size(), c.Separator), c.Wire) << c.Folder;
  }
  const auto levels = TImapFolderName::Levels("Rechnungen.2024/Alt");
  EXPECT_THROW(TImapFolderName::Wire(levels, 2, '.'), EImapError);
  EXPECT_THROW(TImapFolderName::Wire(levels, 2, 0), EImapError);
}

TEST(ImapDialogue, ServerTexts) {
  const struct {
    std::string Text, Parsed;  // host, port, security, server key
  } good[] = {
      {"imap.example.org", "imap.example.org 993 0 imap.example.org:993"},
      {"imap.example.org:143", "imap.example.org 143 1 imap.example.org:143"},
      {"[2001:db8::1]:0993", "2001:db8::1 993 0 [2001:db8::1]:993"},
  };
  for (const auto& c : good) {
    const TImapLogin l = TImapLogin::FromServer(c.Text);
    EXPECT_EQ(l.Host + " " + l.Port + " " + std::to_string(static_cast<int>(l.Security)) + " " + l.ServerKey(),
              c.Parsed);
  }
  for (const char* bad : {"", ":143", "imap.example.org:", "imap.example.org:99999", "imap.example.org:14x",
                          "2001:db8::1", "[::1", "[::1]143", "imap example.org"}) {
    EXPECT_THROW(TImapLogin::FromServer(bad), EImapError) << bad;
  }
}

TEST(ImapDialogue, HeadersAndPrefixesInUidOrderAndInBatchesThatFitTheAllowance) {
  TRun run;
  TImapLimits limits;
  limits.MaxResponseBytes = 400;  // two messages of 100 bytes per command
  std::vector<std::pair<std::uint32_t, std::string>> got;
  std::string headers;
  EXPECT_EQ(run.Play(SignedIn("", 3, {
                      {"4 UID SEARCH ALL\r\n", {"* SEARCH 9 3\r\n4 OK done\r\n"}},
                      {"5 UID FETCH 3,9 (UID RFC822.SIZE BODY.PEEK[HEADER])\r\n",
                       {"* 2 FETCH (UID 9 RFC822.SIZE 40 BODY[HEADER] {4}\r\nX:\r\n)\r\n"
                        "* 2 FETCH (FLAGS (\\Seen))\r\n"
                        "* 1 FETCH (UID 3 RFC822.SIZE 30 BODY[HEADER] {2}\r\n\r\n)\r\n5 OK done\r\n"}},
                      {"6 UID FETCH 3,9 (UID BODY.PEEK[]<0.100>)\r\n",
                       // Answers in another order, a flag change nobody asked
                       // for, and more bytes than asked.
                       {"* 2 FETCH (UID 9 BODY[]<0> {3}\r\nabc)\r\n* 1 FETCH (FLAGS (\\Seen))\r\n",
                        "* 1 FETCH (UID 3 BODY[]<0> {102}\r\n" + std::string(102, 'q') + ")\r\n6 OK done\r\n"}},
                      {"7 UID FETCH 5 (UID BODY.PEEK[]<0.100>)\r\n", {"7 OK done\r\n"}},
                      {"8 LOGOUT\r\n", {"8 OK bye\r\n"}}}),
                     Login("imap.example.org"), limits,
                     [&](TImapMailbox& box) {
                       box.Select("INBOX");
                       box.FetchHeaders([&](std::vector<TMailItem>&& batch) {
                         for (const TMailItem& item : batch)
                           headers += std::to_string(item.Uid) + " " + std::to_string(item.Size) + " " + item.Header + "|";
                         return true;
                       });
                       got = box.FetchPrefixes({9, 3, 5}, 100);
                     }),
            "");
  run.State->ExpectFinished();
  EXPECT_EQ(headers, "3 30 \r\n|9 40 X:\r\n|");
  EXPECT_EQ(got, (std::vector<std::pair<std::uint32_t, std::string>>{{9, "abc"}, {3, std::string(100, 'q')}}));
}

} // namespace
} // namespace postello
