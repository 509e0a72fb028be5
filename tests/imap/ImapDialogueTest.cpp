// The mailbox against a scripted server: the exact bytes it sends, and
// what it does when the server misbehaves.
#include "imap/TImapFolderName.h"
#include "imap/TImapMailbox.h"
#include "smtp/ScriptedSmtpSocket.h"
#include "smtp/TestServerTrust.h"

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

const std::string kGreeting = "* OK [CAPABILITY IMAP4rev1 STARTTLS AUTH=PLAIN] ready\r\n";

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
    std::vector<TScriptStep> steps = {
        {"<TLS>", {"* OK [CAPABILITY IMAP4rev1 AUTH=PLAIN] ready\r\n"}},
        {"1 LOGIN \"anna@example.org\" geheim\r\n", {"1 OK in\r\n"}},
        {"2 CAPABILITY\r\n", {"* CAPABILITY IMAP4rev1 " + c.Caps + "\r\n2 OK done\r\n"}},
        {"3 SELECT INBOX\r\n", {"* 5 EXISTS\r\n* OK [UIDVALIDITY 77] x\r\n3 OK [READ-WRITE] done\r\n"}}};
    steps.insert(steps.end(), c.Steps.begin(), c.Steps.end());
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

} // namespace
} // namespace postello
