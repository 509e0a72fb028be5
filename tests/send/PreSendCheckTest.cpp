// The check before a run: every kind of finding, a clean mail, mailbox
// syntax and the placeholder scan.
#include "send/PreSendCheck.h"
#include "send/ListUnsubscribe.h"
#include "send/MergeFields.h"
#include "send/SendRunSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace postello;
using namespace postello::test;

namespace {
using Strings = std::vector<std::string>;
}

TEST(PreSendCheck, MailboxSyntax) {
  const char* const valid[] = {
      "a@b",  // RFC 5321 needs no dot in the domain
      "eva.roth@example.org",
      "x+tag@mail.example.org",
      "!#$%&'*+-/=?^_`{|}~@example.org",
      "\"eva roth\"@example.org",
      "\"a\\\"b\"@example.org",
      "\"a@b\"@example.org",
      "user@[192.168.0.1]",
      "user@[IPv6:2001:db8::1]",
      "user@[tag:frei-text]",
      "a@x-1.de",
      "a@1.2.3.example",
  };
  for (const char* a : valid) EXPECT_TRUE(IsValidMailbox(a)) << a;
  const std::string local64(64, 'l'), local65(65, 'l');
  EXPECT_TRUE(IsValidMailbox(local64 + "@x.de"));
  EXPECT_FALSE(IsValidMailbox(local65 + "@x.de"));
  const std::string label63(63, 'd'), label64(64, 'd');
  EXPECT_TRUE(IsValidMailbox("a@" + label63 + ".de"));
  EXPECT_FALSE(IsValidMailbox("a@" + label64 + ".de"));
  // 254 bytes in all at most.
  const std::string domain = label63 + "." + label63 + "." + label63 + "." + std::string(60, 'e');
  ASSERT_EQ(domain.size(), 252u);
  EXPECT_TRUE(IsValidMailbox("a@" + domain));
  EXPECT_FALSE(IsValidMailbox("ab@" + domain));

  const char* const invalid[] = {
      "",
      "kein-at",
      "@example.org",
      "a@",
      "a@@b.de",
      "a b@example.org",
      ".a@example.org",
      "a.@example.org",
      "a..b@example.org",
      "a@-x.de",
      "a@x-.de",
      "a@x..de",
      "a@x.de.",
      "a@x_y.de",
      "a@[300.1.1.1]",
      "a@[1.2.3]",
      "a@[IPv6:nicht]",
      "a@[tag:]",
      "a@[tag:a]b]",
      "\"offen@example.org",
      "\"a\"b\"@example.org",
      "m\xFCller@example.org",
      "a@m\xFCller.de",
      "a\r\n@example.org",
      "Eva <eva@example.org>",
  };
  for (const char* a : invalid) EXPECT_FALSE(IsValidMailbox(a)) << a;
}

TEST(PreSendCheck, PlaceholdersAsTheMergeFindsThem) {
  struct Case {
    const char* Text;
    Strings Names;
  };
  const Case cases[] = {
      {"Hallo [%Vorname] [%Name],", {"Vorname", "Name"}},
      {"[%Info 1]", {"Info 1"}},
      {"[%]", {""}},
      {"a[b", {}},
      {"[[%Name]", {}},
      {"[x[%Name]", {"Name"}},
      {"100% [x]", {}},
      {"[%offen", {}},
      {"ende [", {}},
      {"ende [%", {}},
      {"[%a[%b]", {"a[%b"}},
      {"[%a]]", {"a"}},
  };
  for (const Case& c : cases) EXPECT_EQ(PlaceholderNames(c.Text), c.Names) << c.Text;

  // Cross-check with the merge: what the scan names and the table knows is
  // what the merge replaces.
  TTempDir d;
  TDbf table;
  MakeAddressTable(table, (d.Path() / "adr.dbf").string(), {{"e@x.de", "Roth", "Eva", "", "", ""}});
  const std::string text = "[%Name] [[%Name] [%Nmae] [%vorname]";
  EXPECT_EQ(MergeFields(text, table, 0), "Roth [[%Name] [%Nmae] Eva");
  EXPECT_EQ(PlaceholderNames(text), (Strings{"Name", "Nmae", "vorname"}));
  table.Close();
}

TEST(PreSendCheck, FileProblems) {
  TTempDir d;
  WriteBytes(d.Path() / "da.pdf", "x");
  WriteBytes(d.Path() / "leer.pdf", "");
  EXPECT_EQ(FileProblem((d.Path() / "da.pdf").string()), "");
  EXPECT_EQ(FileProblem((d.Path() / "leer.pdf").string()), "");
  EXPECT_EQ(FileProblem((d.Path() / "weg.pdf").string()), "fehlt");
  EXPECT_EQ(FileProblem((d.Path() / "da.pdf/unter").string()), "fehlt");
  EXPECT_EQ(FileProblem(d.Path().string()), "ist ein Ordner");
  if (geteuid() != 0) {  // root reads everything
    WriteBytes(d.Path() / "gesperrt.pdf", "x");
    chmod((d.Path() / "gesperrt.pdf").c_str(), 0);
    EXPECT_EQ(FileProblem((d.Path() / "gesperrt.pdf").string()).rfind("kann nicht gelesen werden: ", 0), 0u);
  }
}

namespace {

class PreSendCheckFindings : public ::testing::Test {
protected:
  void SetUp() override {
    WriteBytes(Dir.Path() / "logo.gif", "GIF89a");
    Mail.Subject = "Angebot";
    Mail.MailType = 1;
    Mail.HtmlText = "<p>Hallo [%Vorname] [%Name]</p>";
    Mail.PlainText = "Hallo [%Vorname] [%Name]";
    Mail.Attachments.Add()->FileName = (Dir.Path() / "logo.gif").string();
    Mail.CurAttach->ContentId = "LOGO.GIF";
    In.Mail = &Mail;
    In.FieldNames = {"EMAIL", "NAME", "VORNAME", "ANREDE", "INFO 1", "INFO 2"};
    In.Addresses = {"a@x.de", "b@x.de"};
    In.MessageCount = 2;
    In.LargestMessage = 1000;
    In.LargestAddress = "b@x.de";
    In.ServerLimit = 10240000;
  }

  TTempDir Dir;
  TMailRec Mail;
  TPreSendInput In;
};

} // namespace

TEST_F(PreSendCheckFindings, ACleanMailHasNoFindingsButTheFacts) {
  const TPreSendReport r = CheckBeforeSend(In);
  EXPECT_TRUE(r.Clean());
  EXPECT_EQ(r.Text(),
            "2 Nachrichten an 2 Empf\xE4nger.\n"
            "Gr\xF6\xDFte Nachricht: 1.000 Bytes; der Server nimmt h\xF6" "chstens 10.240.000 Bytes an.\n");
  In.ServerLimit = -1;
  In.LargestMessage = -1;
  In.Addresses = {"a@x.de"};
  In.MessageCount = 1;
  EXPECT_EQ(CheckBeforeSend(In).Text(),
            "1 Nachricht an 1 Empf\xE4nger.\n"
            "Gr\xF6\xDFte Nachricht: unbekannt; die Grenze des Servers ist nicht bekannt.\n");
  // The address page's filter thins the list: said first, and no finding.
  In.FilterText = "kund";
  const TPreSendReport filtered = CheckBeforeSend(In);
  EXPECT_TRUE(filtered.Clean());
  EXPECT_TRUE(filtered.Text().starts_with("Filter aktiv: nur Datens\xE4tze mit \x84kund\x93.\n1 Nachricht an"))
      << filtered.Text();
  EXPECT_EQ(FilterNote(""), "");
}

TEST_F(PreSendCheckFindings, EachKindOfFinding) {
  struct Case {
    const char* Name;
    std::function<void(TPreSendInput&, TMailRec&)> Change;
    TCheckKind Kind;
    std::string Text;
  };
  const std::string logo = (Dir.Path() / "logo.gif").string();
  const std::vector<Case> cases = {
      {"unknown placeholder",
       [](TPreSendInput&, TMailRec& m) { m.PlainText = "Hallo [%Nmae]"; },
       TCheckKind::UnknownPlaceholder,
       "Der Platzhalter [%Nmae] nennt kein Feld der Tabelle."},
      {"placeholder in batch mode",
       [](TPreSendInput& in, TMailRec&) {
         in.Merges = false;
         in.BatchMode = true;
       },
       TCheckKind::UnmergedPlaceholder,
       "Der Platzhalter [%Vorname] wird bei diesem Versand nicht ersetzt (BCC)."},
      {"placeholder for a typed address",
       [](TPreSendInput& in, TMailRec&) { in.Merges = false; },
       TCheckKind::UnmergedPlaceholder,
       "Der Platzhalter [%Vorname] wird bei diesem Versand nicht ersetzt (Mail an einen Empf\xE4nger)."},
      {"placeholder in a subject that is not merged",
       [](TPreSendInput&, TMailRec& m) { m.Subject = "F\xFCr [%Vorname]"; },
       TCheckKind::SubjectPlaceholder,
       kSubjectPlaceholderNote},
      {"unknown placeholder in a merged subject",
       [](TPreSendInput&, TMailRec& m) {
         m.Subject = "F\xFCr [%Vornmae]";
         m.MergeSubject = true;
       },
       TCheckKind::UnknownPlaceholder,
       "Der Platzhalter [%Vornmae] nennt kein Feld der Tabelle."},
      {"unknown placeholder in an unsubscribe target",
       [](TPreSendInput&, TMailRec& m) { m.Unsubscribe = "https://x.example/ab?id=[%Kundennr]"; },
       TCheckKind::UnknownPlaceholder,
       "Der Platzhalter [%Kundennr] nennt kein Feld der Tabelle."},
      {"unsubscribe target neither mailto: nor https:",
       [](TPreSendInput&, TMailRec& m) { m.Unsubscribe = "http://x.example/ab"; },
       TCheckKind::BadUnsubscribe,
       CheckUnsubscribeText("http://x.example/ab")},
      {"missing picture",
       [](TPreSendInput&, TMailRec& m) { m.Attachments[0].FileName += ".weg"; },
       TCheckKind::MissingFile,
       "Das eingebettete Bild \"" + logo + ".weg\" fehlt."},
      {"missing attachment",
       [](TPreSendInput&, TMailRec& m) {
         m.Attachments[0].FileName += ".weg";
         m.Attachments[0].ContentId.clear();
       },
       TCheckKind::MissingFile,
       "Der Anhang \"" + logo + ".weg\" fehlt."},
      {"a folder as attachment",
       [this](TPreSendInput&, TMailRec& m) { m.Attachments[0].FileName = Dir.Path().string(); },
       TCheckKind::UnreadableFile,
       "Das eingebettete Bild \"" + Dir.Path().string() + "\" ist ein Ordner."},
      {"invalid address",
       [](TPreSendInput& in, TMailRec&) { in.Addresses[1] = "b@x..de"; },
       TCheckKind::InvalidAddress,
       "Keine g\xFCltige Adresse: \"b@x..de\""},
      {"address filling its field",
       [](TPreSendInput& in, TMailRec&) { in.AddressWidth = 6; },
       TCheckKind::CutAddress,
       "Die Adresse \"a@x.de\" f\xFCllt ihr Feld (6 Zeichen) ganz aus; sie ist wohl gek\xFCrzt."},
      {"duplicate address",
       [](TPreSendInput& in, TMailRec&) { in.Addresses.push_back("A@x.de"); },
       TCheckKind::DuplicateAddress,
       "Die Adresse \"a@x.de\" kommt 2-mal vor."},
      {"skipped record",
       [](TPreSendInput& in, TMailRec&) { in.SkippedPositions = {3}; },
       TCheckKind::SkippedRecord,
       "Die Zeile 4 hat keine Adresse und wird \xFC" "bergangen."},
      {"too large",
       [](TPreSendInput& in, TMailRec&) { in.ServerLimit = 999; },
       TCheckKind::TooLarge,
       "Die gr\xF6\xDFte Nachricht (1.000 Bytes, an b@x.de) ist gr\xF6\xDF" "er, als der Server annimmt (999 Bytes)."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TPreSendInput in = In;
    TMailRec mail = Mail;
    in.Mail = &mail;
    c.Change(in, mail);
    const TPreSendReport r = CheckBeforeSend(in);
    ASSERT_FALSE(r.Clean());
    EXPECT_EQ(r.Findings.front().Kind, c.Kind);
    EXPECT_EQ(r.Findings.front().Text, c.Text);
  }
}

// Three copies of an address are one finding that counts them; a
// message of exactly the server's limit fits, one byte more does not.
TEST_F(PreSendCheckFindings, DuplicatesOnceEachAndTheLimitItselfFits) {
  const struct {
    const char* Name;
    std::vector<std::string> Addresses;
    std::int64_t Largest;
    std::vector<std::string> Findings;
  } cases[] = {
      {"three copies", {"a@x.de", "A@X.de", "b@x.de", "a@x.de"}, 1000,
       {"Die Adresse \"a@x.de\" kommt 3-mal vor."}},
      {"exactly the limit", {"a@x.de"}, 10240000, {}},
      {"one byte over", {"a@x.de"}, 10240001,
       {"Die gr\xF6\xDFte Nachricht (10.240.001 Bytes, an b@x.de) ist gr\xF6\xDF" "er, als der Server annimmt "
        "(10.240.000 Bytes)."}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TPreSendInput in = In;
    in.Addresses = c.Addresses;
    in.LargestMessage = c.Largest;
    std::vector<std::string> found;
    for (const TCheckFinding& f : CheckBeforeSend(in).Findings) found.push_back(f.Text);
    EXPECT_EQ(found, c.Findings);
  }
}

TEST_F(PreSendCheckFindings, FieldNamesAreListedOnceForUnknownPlaceholders) {
  Mail.HtmlText = "[%Nmae] [%Vornmae] [%Nmae]";
  Mail.PlainText = "[%Nmae] [%name]";
  const TPreSendReport r = CheckBeforeSend(In);
  EXPECT_EQ(r.Count(TCheckKind::UnknownPlaceholder), 2);
  EXPECT_EQ(r.Text(),
            "Der Platzhalter [%Nmae] nennt kein Feld der Tabelle.\n"
            "Der Platzhalter [%Vornmae] nennt kein Feld der Tabelle.\n"
            "Felder der Tabelle: EMAIL, NAME, VORNAME, ANREDE, INFO 1, INFO 2\n"
            "2 Nachrichten an 2 Empf\xE4nger.\n"
            "Gr\xF6\xDFte Nachricht: 1.000 Bytes; der Server nimmt h\xF6" "chstens 10.240.000 Bytes an.\n");
  // A design mail's other texts are not sent: their placeholders are no finding.
  Mail.MailType = 2;
  Mail.PlainText = "Hallo";
  EXPECT_TRUE(CheckBeforeSend(In).Clean());
}

TEST_F(PreSendCheckFindings, LongListsAreCutInTheText) {
  In.Addresses.clear();
  for (int i = 0; i < 30; ++i) In.Addresses.push_back("kaputt" + std::to_string(i));
  In.MessageCount = 30;
  const TPreSendReport r = CheckBeforeSend(In);
  EXPECT_EQ(r.Count(TCheckKind::InvalidAddress), 30);
  const std::string text = r.Text(5);
  EXPECT_NE(text.find("\"kaputt4\"\n... und 25 weitere\n30 Nachrichten"), std::string::npos) << text;
  EXPECT_EQ(text.find("kaputt5"), std::string::npos);
}

TEST(PreSendCheckRun, TheWholeCheckOverATableAndAMail) {
  TTempDir d;
  WriteBytes(d.Path() / "logo.gif", "GIF89a" + RandomBytes(3000, 1));
  TDbf table;
  MakeAddressTable(table, (d.Path() / "adr.dbf").string(),
                   {{"a@x.de", "Kurz", "A", "", "", ""},
                    {"", "Ohne", "Adresse", "", "", ""},
                    {"b@x.de", "Ein sehr viel l\xE4ngerer Name", "B", "", "", ""},
                    {"c@x_y.de", "Roth", "C", "", "", ""},
                    {"A@X.DE", "Doppelt", "D", "", "", ""}});
  std::vector<std::uint32_t> skipped;
  const TRecipientList rows = ReadRecipientList(table, 0, &skipped);
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(skipped, std::vector<std::uint32_t>{1});

  TKontoList konten;
  TKontoRec* k = konten.Add();
  k->Email = "v@x.de";
  k->Server = "127.0.0.1:9";
  TMailList mails;
  TMailRec* m = mails.Add();
  m->Subject = "Test";
  m->MailType = 1;
  m->HtmlText = "<p>[%Name]</p><img src=\"cid:LOGO.GIF\">";
  m->PlainText = "[%Name] [%Nmae]";
  m->Attachments.Add()->FileName = (d.Path() / "logo.gif").string();
  m->CurAttach->ContentId = "LOGO.GIF";

  ZIzorAvarivi2000 msg;
  msg.ApplyFormSettings();
  TSendChoice choice;
  choice.KontoIndex = 0;
  choice.MailIndex = 0;
  const TPreSendReport r = CheckRun(msg, table, choice, rows, skipped, konten, mails, 1000);
  EXPECT_EQ(r.Text(),
            "Der Platzhalter [%Nmae] nennt kein Feld der Tabelle.\n"
            "Keine g\xFCltige Adresse: \"c@x_y.de\"\n"
            "Die Adresse \"a@x.de\" kommt 2-mal vor.\n"
            "Die Zeile 2 hat keine Adresse und wird \xFC" "bergangen.\n"
            "Die gr\xF6\xDFte Nachricht (" + r.Text().substr(r.Text().find("Nachricht (") + 11, 5) +
                " Bytes, an b@x.de) ist gr\xF6\xDF" "er, als der Server annimmt (1.000 Bytes).\n"
                "Felder der Tabelle: EMAIL, NAME, VORNAME, ANREDE, INFO 1, INFO 2\n"
                "4 Nachrichten an 4 Empf\xE4nger.\n"
                "Gr\xF6\xDFte Nachricht: " + r.Text().substr(r.Text().find("Nachricht (") + 11, 5) +
                " Bytes; der Server nimmt h\xF6" "chstens 1.000 Bytes an.\n");

  // The size is that of the message the run sends to b@, the longest merge.
  TSendRun run(msg, table);
  TSendChoice one = choice;
  one.Recipients = TRecipientChoice::Selected;
  one.SelectedRows = {1};
  run.Start(one, rows, konten, mails);
  const std::optional<TOutgoingMail> sent = run.NextMessage();
  ASSERT_TRUE(sent.has_value());
  const std::string size = std::to_string(sent->MessageText().size());
  const std::string shown = size.substr(0, size.size() - 3) + "." + size.substr(size.size() - 3);
  EXPECT_NE(r.Text().find("Nachricht: " + shown + " Bytes"), std::string::npos) << r.Text() << " vs " << shown;
  run.Abort();

  // Selected rows: only those are looked at, and no skipped records.
  choice.Recipients = TRecipientChoice::Selected;
  choice.SelectedRows = {0};
  m->PlainText = "[%Name]";
  const TPreSendReport clean = CheckRun(msg, table, choice, rows, skipped, konten, mails);
  EXPECT_TRUE(clean.Clean()) << clean.Text();
  // A test mail: the one message to the typed address, merged with the
  // chosen record or not at all; the list's skipped records are not its
  // business, the subject's placeholder is.
  TSendChoice test;
  test.Kind = TJournalRunKind::Test;
  test.TestAddress = "ich@x.de";
  test.KontoIndex = 0;
  test.MailIndex = 0;
  m->Subject = "Hallo [%Vorname]";
  const std::string subjectNote = std::string(kSubjectPlaceholderNote) + "\n";
  const struct {
    std::vector<std::size_t> record;
    std::string findings;
  } tests[] = {
      {{2}, subjectNote},
      {{}, "Der Platzhalter [%Name] wird bei diesem Versand nicht ersetzt (Mail an einen Empf\xE4nger).\n" + subjectNote},
  };
  for (const auto& t : tests) {
    test.SelectedRows = t.record;
    const TPreSendReport r = CheckRun(msg, table, test, rows, skipped, konten, mails);
    EXPECT_TRUE(r.Text().starts_with(t.findings + "1 Nachricht an 1 Empf\xE4nger.\nGr\xF6\xDF" "te Nachricht: "))
        << r.Text();
  }
  // Refusals of the run come through.
  choice.SelectedRows = {};
  EXPECT_THROW(CheckRun(msg, table, choice, rows, skipped, konten, mails), ESendRefused);
  table.Close();
}
