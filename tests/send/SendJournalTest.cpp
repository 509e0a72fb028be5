// The send journal: its bytes, reading it back after every way a file can
// be cut, the names of the files, and Python's csv module as its reader.
#include "send/TSendJournal.h"
#include "send/SendRunSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>

using namespace postello;
using namespace postello::test;

namespace {

std::string Dir(const TTempDir& d) { return d.Path().string() + "/"; }

TJournalRunInfo Info(const std::string& start = "2024-05-01 10:00:00") {
  TJournalRunInfo info;
  info.StartTime = start;
  info.Subject = "Gr\xFC\xDF" "e";
  info.MailDate = "01.05.2024 09:00:00";
  info.Account = "Versand <versand@example.org>";
  info.Server = "127.0.0.1:2525";
  info.Recipients = kJournalAllRecipients;
  info.Filter = "M\xFCller";
  info.Database = "/daten/adr.dbf";
  info.MessageCount = 3;
  info.MailId = "4f2a";
  return info;
}

std::vector<TJournalMessage> Plan3() {
  return {{1, {"a@x.de"}, {1}}, {2, {"b@x.de"}, {2}}, {3, {"c@x.de"}, {4}}};
}

TJournalEntry Entry(int nr, const std::string& address, std::uint32_t recNo, TJournalResult r,
                    const std::string& reason = "") {
  TJournalEntry e;
  e.Nr = nr;
  e.Time = "2024-05-01 10:00:0" + std::to_string(nr);
  e.Addresses = {address};
  e.RecNos = {recNo};
  e.Result = r;
  e.Reason = reason;
  return e;
}

// The journal of Plan3 in d with the given results and, where endState is
// given, the end of the run recorded; returns its path once it is closed.
std::string WriteJournal(const TTempDir& d, const std::vector<TJournalEntry>& entries,
                         const std::string& endState = "", const std::string& endWhy = "") {
  TSendJournal j(Dir(d), Info(), Plan3());
  for (const TJournalEntry& e : entries) j.Record(e);
  if (!endState.empty()) j.RecordEnd(endState, endWhy);
  return j.Path();
}

std::string RunPython(const std::string& script, const std::string& arg) {
  const std::string command = "/usr/bin/python3 " + std::string(POSTELLO_TEST_DATA) + "/send/" + script + " '" + arg + "' 2>&1";
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return "popen failed";
  char buffer[4096];
  std::size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, got);
  const int status = pclose(pipe);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) out += "\n(python failed)";
  return out;
}

const char* const kHeaderLine =
    "Zeile;Nr;Zeit;Datensatz-Nr;Adressen;Ergebnis;Grund;Lauf;Betreff;Maildatum;Konto;Server;Modus;"
    "Empf\xC3\xA4nger;Filter;Datenbank;Nachrichten;Bezug;Mail-Kennung;Message-ID\r\n";

} // namespace

TEST(SendJournal, FileBytesHeaderRunLinePlanAndResults) {
  TTempDir d;
  std::string path;
  {
    TSendJournal j(Dir(d), Info(), Plan3());
    path = j.Path();
    EXPECT_EQ(j.FileName(), "2024-05-01_10-00-00.csv");
    TJournalEntry sent = Entry(1, "a@x.de", 1, TJournalResult::Sent);
    sent.MessageId = "<1.a@x.de>";
    j.Record(sent);
    j.RecordDataEnd({2, {"b@x.de"}, {2}}, "<2.a@x.de>");
    j.Record(Entry(2, "b@x.de", 2, TJournalResult::Failed, "550 5.1.1 <b@x.de>: unbekannt; sorry"));
    j.RecordEnd("abgebrochen", "Abbrechen");
    j.Close();
  }
  const std::string bytes = ReadFileBytes(path);
  const std::string head = std::string("\xEF\xBB\xBF") + kHeaderLine +
                           "Lauf;;2024-05-01 10:00:00;;;;;Versand;Gr\xC3\xBC\xC3\x9F" "e;01.05.2024 09:00:00;"
                           "Versand <versand@example.org>;127.0.0.1:2525;personalisiert;alle;M\xC3\xBCller;"
                           "/daten/adr.dbf;3;;4f2a;\r\n"
                           "Plan;1;;1;a@x.de;;;;;;;;;;;;;;;\r\n"
                           "Plan;2;;2;b@x.de;;;;;;;;;;;;;;;\r\n"
                           "Plan;3;;4;c@x.de;;;;;;;;;;;;;;;\r\n"
                           "Nachricht;1;2024-05-01 10:00:01;1;a@x.de;gesendet;;;;;;;;;;;;;;<1.a@x.de>\r\n";
  ASSERT_GE(bytes.size(), head.size());
  EXPECT_EQ(bytes.substr(0, head.size()), head);
  const std::string rest = bytes.substr(head.size());
  // The provisional line carries the time of writing; the rest is exact.
  EXPECT_EQ(rest.substr(0, 12), "Nachricht;2;");
  EXPECT_NE(rest.find(";2;b@x.de;unsicher;Datenende gesendet, Antwort des Servers steht aus;;;;;;;;;;;;;<2.a@x.de>\r\n"),
            std::string::npos)
      << rest;
  EXPECT_NE(rest.find("Nachricht;2;2024-05-01 10:00:02;2;b@x.de;fehlgeschlagen;"
                      "\"550 5.1.1 <b@x.de>: unbekannt; sorry\";;;;;;;;;;;;;\r\nEnde;"),
            std::string::npos)
      << rest;
  const std::string endTail = ";;;abgebrochen;Abbrechen;;;;;;;;;;;;;\r\n";
  EXPECT_EQ(rest.substr(rest.size() - endTail.size()), endTail);

  const TJournalRun run = ReadJournal(path);
  EXPECT_EQ(run.Info.Subject, "Gr\xFC\xDF" "e");
  EXPECT_EQ(run.Info.Filter, "M\xFCller");
  EXPECT_EQ(run.Info.MessageCount, 3);
  EXPECT_EQ(run.Info.MailId, "4f2a");
  EXPECT_FALSE(run.Info.BatchMode);
  ASSERT_EQ(run.Plan.size(), 3u);
  EXPECT_EQ(run.Plan[2].RecNos, std::vector<std::uint32_t>{4});
  ASSERT_EQ(run.Entries.size(), 2u);  // the last line of each message
  EXPECT_EQ(run.ResultOf(1), TJournalResult::Sent);
  EXPECT_EQ(run.ResultOf(2), TJournalResult::Failed);  // the last line wins over "unsicher"
  EXPECT_EQ(run.LastEntryOf(2)->Reason, "550 5.1.1 <b@x.de>: unbekannt; sorry");
  EXPECT_EQ(run.LastEntryOf(1)->MessageId, "<1.a@x.de>");
  EXPECT_EQ(run.ResultOf(3), TJournalResult::None);
  EXPECT_EQ(run.Count(TJournalResult::None), 1);
  EXPECT_TRUE(run.Unfinished());
  EXPECT_TRUE(run.Ended);
  EXPECT_EQ(run.EndState, "abgebrochen");
  EXPECT_EQ(run.DamagedLines, 0);
}

TEST(SendJournal, CellsRoundTripAndNeverBreakALineOrBecomeAFormula) {
  struct Case {
    std::string Cell;      // Windows-1252
    std::string Written;   // UTF-8 as it stands in the file
    std::string ReadBack;
  };
  const Case cases[] = {
      {"", "", ""},
      {"plain", "plain", "plain"},
      {"a;b", "\"a;b\"", "a;b"},
      {"sag \"hallo\"", "\"sag \"\"hallo\"\"\"", "sag \"hallo\""},
      {"\"", "\"\"\"\"", "\""},
      {"zwei\r\nZeilen", "zwei  Zeilen", "zwei  Zeilen"},
      {"tab\there", "tab here", "tab here"},
      {" blank", "\" blank\"", " blank"},
      {"=HYPERLINK(\"x\")", "\"'=HYPERLINK(\"\"x\"\")\"", "=HYPERLINK(\"x\")"},
      {"+49 30", "'+49 30", "+49 30"},
      {"-1", "'-1", "-1"},
      {"@sum", "'@sum", "@sum"},
      {"'=x", "''=x", "'=x"},
      {"'quote", "'quote", "'quote"},
      {"Stra\xDF" "e \x80", "Stra\xC3\x9F" "e \xE2\x82\xAC", "Stra\xDF" "e \x80"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Cell);
    const std::string line = JournalCsvLine({"x", c.Cell, "y"});
    EXPECT_EQ(line, "x;" + c.Written + ";y");
    std::vector<std::string> fields;
    ASSERT_TRUE(ParseJournalCsvLine(line, fields));
    EXPECT_EQ(fields, (std::vector<std::string>{"x", c.ReadBack, "y"}));
  }
  std::vector<std::string> fields;
  EXPECT_FALSE(ParseJournalCsvLine("a;\"never closed", fields));
  EXPECT_FALSE(ParseJournalCsvLine("a;\"x\"y;b", fields));
}

TEST(SendJournal, EveryCutOfTheFileReadsWhatWasWrittenInFull) {
  TTempDir d;
  const std::string path =
      WriteJournal(d, {Entry(1, "a@x.de", 1, TJournalResult::Sent),
                       Entry(2, "b@x.de", 2, TJournalResult::Failed, "\"zitiert; mit Semikolon\""),
                       Entry(3, "c@x.de", 4, TJournalResult::Uncertain, "Zeit abgelaufen")});
  const std::string whole = ReadFileBytes(path);
  // Where each result line ends.
  std::vector<std::size_t> ends;
  for (std::size_t p = whole.find("Nachricht;"); p != std::string::npos; p = whole.find("Nachricht;", p + 1))
    ends.push_back(whole.find("\r\n", p) + 2);
  ASSERT_EQ(ends.size(), 3u);
  const std::size_t planEnd = whole.find("Nachricht;");
  for (std::size_t size = planEnd; size <= whole.size(); ++size) {
    SCOPED_TRACE(size);
    const std::string cut = (d.Path() / "cut.csv").string();
    WriteBytes(cut, whole.substr(0, size));
    const TJournalRun run = ReadJournal(cut);
    const std::size_t complete = static_cast<std::size_t>(std::count_if(ends.begin(), ends.end(), [&](std::size_t e) {
      return e <= size;
    }));
    // A line cut just before its LF still counts as cut.
    EXPECT_EQ(run.Entries.size(), complete);
    EXPECT_EQ(run.Plan.size(), 3u);
    const bool atLineEnd = size == planEnd || std::find(ends.begin(), ends.end(), size) != ends.end();
    EXPECT_EQ(run.DamagedLines, atLineEnd ? 0 : 1);
  }
}

TEST(SendJournal, ZerosAfterAPowerCutAndForeignLinesAreSkipped) {
  TTempDir d;
  const std::string path = WriteJournal(d, {Entry(1, "a@x.de", 1, TJournalResult::Sent)});
  {
    std::ofstream out(path, std::ios::binary | std::ios::app);
    out << "Unsinn;das;ist;keine;Zeile\r\n";
    out << "Nachricht;2;x;2;b@x.de;vielleicht;;;;;;;;;;;;;\r\n";  // unknown result
    out << std::string(4096, '\0');
  }
  const TJournalRun run = ReadJournal(path);
  EXPECT_EQ(run.Entries.size(), 1u);
  EXPECT_EQ(run.ResultOf(1), TJournalResult::Sent);
  EXPECT_EQ(run.DamagedLines, 3);

  const std::string empty = (d.Path() / "leer.csv").string();
  WriteBytes(empty, "\xEF\xBB\xBF");
  EXPECT_THROW(ReadJournal(empty), EJournalError);
  EXPECT_THROW(ReadJournal((d.Path() / "fehlt.csv").string()), EJournalError);
}

TEST(SendJournal, LinesReachTheSystemBeforeRecordReturns) {
  TTempDir d;
  TSendJournal j(Dir(d), Info(), Plan3());
  const std::size_t before = ReadFileBytes(j.Path()).size();
  j.Record(Entry(1, "a@x.de", 1, TJournalResult::Sent));
  // Another reader of the file sees the line while the journal is open.
  const std::string now = ReadFileBytes(j.Path());
  EXPECT_GT(now.size(), before);
  EXPECT_EQ(now.substr(now.size() - 2), "\r\n");
  EXPECT_EQ(ReadJournal(j.Path()).ResultOf(1), TJournalResult::Sent);
  // The background flush runs and closing after it is clean.
  std::this_thread::sleep_for(std::chrono::milliseconds(1200));
  j.Record(Entry(2, "b@x.de", 2, TJournalResult::Sent));
  EXPECT_NO_THROW(j.Close());
  EXPECT_THROW(j.Record(Entry(3, "c@x.de", 4, TJournalResult::Sent)), EJournalError);
  struct stat st {};
  ASSERT_EQ(stat(j.Path().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(SendJournal, AFolderThatCannotBeMadeStopsTheRunNamingIt) {
  TTempDir d;
  WriteBytes(d.Path() / "versand", "eine Datei, kein Ordner");
  try {
    TSendJournal j(Dir(d), Info(), Plan3());
    FAIL() << "no error";
  } catch (const EJournalError& e) {
    const std::string text = e.what();
    EXPECT_NE(text.find("im Ordner \"" + Dir(d) + "versand/\""), std::string::npos) << text;
    EXPECT_NE(text.find("Ohne Protokoll wird nichts gesendet."), std::string::npos) << text;
  }
  // A data folder that does not exist at all.
  EXPECT_THROW(TSendJournal(Dir(d) + "gibt/es/nicht/", Info(), Plan3()), EJournalError);
}

TEST(SendJournal, RunsOfOneSecondGetNumberedNamesAndSortInOrder) {
  TTempDir d;
  std::vector<std::string> made;
  for (int i = 0; i < 11; ++i) {
    TSendJournal j(Dir(d), Info("2024-05-01 10:00:00"), Plan3());
    made.push_back(j.Path());
  }
  TSendJournal earlier(Dir(d), Info("2024-04-30 23:59:59"), Plan3());
  EXPECT_EQ(std::filesystem::path(made[0]).filename(), "2024-05-01_10-00-00.csv");
  EXPECT_EQ(std::filesystem::path(made[1]).filename(), "2024-05-01_10-00-00_2.csv");
  EXPECT_EQ(std::filesystem::path(made[10]).filename(), "2024-05-01_10-00-00_11.csv");
  WriteBytes(d.Path() / "versand" / "notizen.csv", "fremd");
  std::filesystem::create_directory(d.Path() / "versand" / "2024-06-01_00-00-00.csv");
  std::vector<std::string> expected = {earlier.Path()};
  expected.insert(expected.end(), made.begin(), made.end());
  EXPECT_EQ(ListJournals(Dir(d)), expected);
  EXPECT_TRUE(ListJournals(Dir(d) + "nichts/").empty());
}

TEST(SendJournal, LastRunOfAMailFollowsItsIdentityPassesOverTestsAndTypedRuns) {
  TTempDir d;
  const auto run = [&](const std::string& start, const std::string& id, const std::string& date,
                       TJournalRunKind kind = TJournalRunKind::Send, const char* recipients = kJournalAllRecipients) {
    TJournalRunInfo info = Info(start);
    info.MailId = id;
    info.MailDate = date;
    info.Kind = kind;
    info.Recipients = recipients;
    return TSendJournal(Dir(d), info, Plan3()).Path();
  };
  const std::string old = run("2024-05-01 10:00:00", "", "01.05.2024 09:00:00");
  // An older version wrote no identity column at all.
  std::string bytes = ReadFileBytes(old), stripped;
  for (std::size_t b = 0, e; b < bytes.size(); b = e + 2) {
    e = bytes.find("\r\n", b);
    stripped += bytes.substr(b, e - 2 - b) + "\r\n";  // the last two ';' off
  }
  WriteBytes(old, stripped);
  const std::string saved = run("2024-05-01 11:00:00", "m1", "01.05.2024 10:30:00");
  const std::string other = run("2024-05-01 12:00:00", "m2", "01.05.2024 10:30:00");
  run("2024-05-01 13:00:00", "m1", "01.05.2024 10:30:00", TJournalRunKind::Test, kJournalTypedRecipient);
  run("2024-05-01 14:00:00", "m1", "01.05.2024 10:30:00", TJournalRunKind::Send, kJournalTypedRecipient);
  struct Case {
    std::string Id, Date, Found, FirstDate;
  };
  for (const Case& c : {Case{"m1", "09.12.2026 08:00:00", saved},  // saved since: a new date, the same identity
                        Case{"m2", "01.05.2024 10:30:00", other},
                        Case{"", "01.05.2024 09:00:00", old},      // no identity yet: the date of the old run
                        Case{"m3", "01.05.2024 09:00:00", old},
                        Case{"m3", "01.05.2024 10:30:00", ""}, Case{"", "01.05.2024 10:30:00", ""},
                        // sent by an older version, then saved: the date it had then
                        Case{"m3", "09.12.2026 08:00:00", old, "01.05.2024 09:00:00"},
                        Case{"m3", "09.12.2026 08:00:00", "", "01.05.2024 09:30:00"}}) {
    SCOPED_TRACE(c.Id + " " + c.Date);
    const auto last = LastRunOfMail(Dir(d), c.Id, Info().Subject, c.Date, c.FirstDate);
    EXPECT_EQ(last ? last->Path : "", c.Found);
  }
  EXPECT_FALSE(LastRunOfMail(Dir(d), "", "anderer Betreff", "01.05.2024 09:00:00").has_value());
  const TJournalRun oldRun = ReadJournal(old);
  EXPECT_EQ(oldRun.DamagedLines, 0);
  EXPECT_EQ(oldRun.Info.MailId, "");
  EXPECT_EQ(oldRun.Plan.size(), 3u);
}

TEST(SendJournal, TheMessageIdColumnIsLastAndReadersTakeFilesWithFewerOrMoreColumns) {
  TTempDir d;
  TJournalEntry sent = Entry(1, "a@x.de", 1, TJournalResult::Sent);
  sent.MessageId = "<1.a@x.de>";
  const std::string path = WriteJournal(d, {sent}, "abgeschlossen");
  const std::string bytes = ReadFileBytes(path);
  struct Case {
    const char* Name;
    std::string (*Change)(const std::string& line);
    const char* MessageId;
  };
  const Case cases[] = {
      {"as written", [](const std::string& l) { return l; }, "<1.a@x.de>"},
      {"older version", [](const std::string& l) { return l.substr(0, l.rfind(';')); }, ""},
      {"a later column", [](const std::string& l) { return l + ";sp\xC3\xA4ter"; }, "<1.a@x.de>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    std::string changed;
    for (std::size_t b = 0, e; b < bytes.size(); b = e + 2) {
      e = bytes.find("\r\n", b);
      changed += c.Change(bytes.substr(b, e - b)) + "\r\n";
    }
    WriteBytes(path, changed);
    const TJournalRun run = ReadJournal(path);
    EXPECT_EQ(run.DamagedLines, 0);
    EXPECT_EQ(run.Info.MailId, "4f2a");
    ASSERT_NE(run.LastEntryOf(1), nullptr);
    EXPECT_EQ(run.LastEntryOf(1)->MessageId, c.MessageId);
    EXPECT_EQ(run.ResultOf(1), TJournalResult::Sent);
    WriteBytes(path, bytes);
  }
}

TEST(SendJournal, ModeTexts) {
  struct Case {
    const char* Text;
    bool Ok, Batch;
    int Size;
  };
  for (const Case& c : {Case{"personalisiert", true, false, 1}, Case{"BCC 20", true, true, 20},
                        Case{"BCC 1", true, true, 1}, Case{"BCC 100", true, true, 100}, Case{"BCC 0", false, false, 0},
                        Case{"BCC 101", false, false, 0}, Case{"BCC", false, false, 0}, Case{"bcc 5", false, false, 0},
                        Case{"", false, false, 0}}) {
    SCOPED_TRACE(c.Text);
    TJournalRunInfo info;
    EXPECT_EQ(info.SetModeText(c.Text), c.Ok);
    if (!c.Ok) continue;
    EXPECT_EQ(info.BatchMode, c.Batch);
    EXPECT_EQ(info.BatchSize, c.Size);
    EXPECT_EQ(info.ModeText(), c.Text);
  }
}

TEST(SendJournal, FailedAddressesAsCsv) {
  TTempDir d;
  TJournalRunInfo info = Info();
  info.BatchMode = true;
  info.BatchSize = 2;
  std::string path;
  {
    TSendJournal j(Dir(d), info, {{1, {"a@x.de", "b@x.de"}, {1, 2}}, {2, {"c@x.de"}, {4}}});
    path = j.Path();
    TJournalEntry e;
    e.Nr = 1;
    e.Addresses = {"a@x.de", "b@x.de"};
    e.RecNos = {1, 2};
    e.Result = TJournalResult::Failed;
    e.Reason = "550 nein";
    j.Record(e);
    j.Record(Entry(2, "c@x.de", 4, TJournalResult::Sent));
  }
  // Rows as the grid shows them today: record 1 was deleted since, record
  // 2 is now the first row; the record number is never shown.
  const TRecipientList rows = {{"b@x.de", 0, 2}, {"c@x.de", 1, 4}};
  EXPECT_EQ(FailedAddressesCsv(ReadJournal(path), rows),
            "\xEF\xBB\xBF" "Adresse;Zeile;Grund\r\na@x.de;;550 nein\r\nb@x.de;1;550 nein\r\n");
}

TEST(SendJournal, PythonsCsvModuleReadsEveryRow) {
  TTempDir d;
  const std::string path = WriteJournal(d,
                                        {Entry(1, "a@x.de", 1, TJournalResult::Sent),
                                         Entry(2, "b@x.de", 2, TJournalResult::Failed, "550 \"nein\"; nie"),
                                         Entry(3, "c@x.de", 4, TJournalResult::NotSent, "Versand abgebrochen")},
                                        "abgebrochen", "=1+1");
  const std::string out = RunPython("read_journal.py", path);
  const std::string expected =
      "Zeile | Nr | Zeit | Datensatz-Nr | Adressen | Ergebnis | Grund | Lauf | Betreff | Maildatum | Konto | Server | "
      "Modus | Empf\xC3\xA4nger | Filter | Datenbank | Nachrichten | Bezug | Mail-Kennung | Message-ID\n"
      "Lauf |  | 2024-05-01 10:00:00 |  |  |  |  | Versand | Gr\xC3\xBC\xC3\x9F" "e | 01.05.2024 09:00:00 | "
      "Versand <versand@example.org> | 127.0.0.1:2525 | personalisiert | alle | M\xC3\xBCller | /daten/adr.dbf | 3 |  | 4f2a | \n"
      "Plan | 1 |  | 1 | a@x.de |  |  |  |  |  |  |  |  |  |  |  |  |  |  | \n"
      "Plan | 2 |  | 2 | b@x.de |  |  |  |  |  |  |  |  |  |  |  |  |  |  | \n"
      "Plan | 3 |  | 4 | c@x.de |  |  |  |  |  |  |  |  |  |  |  |  |  |  | \n"
      "Nachricht | 1 | 2024-05-01 10:00:01 | 1 | a@x.de | gesendet |  |  |  |  |  |  |  |  |  |  |  |  |  | \n"
      "Nachricht | 2 | 2024-05-01 10:00:02 | 2 | b@x.de | fehlgeschlagen | 550 \"nein\"; nie |  |  |  |  |  |  |  |  |  |  |  |  | \n"
      "Nachricht | 3 | 2024-05-01 10:00:03 | 4 | c@x.de | nicht gesendet | Versand abgebrochen |  |  |  |  |  |  |  |  |  |  |  |  | \n";
  ASSERT_GE(out.size(), expected.size()) << out;
  EXPECT_EQ(out.substr(0, expected.size()), expected);
  EXPECT_NE(out.find(" | abgebrochen | '=1+1 | "), std::string::npos) << out;
}

TEST(SendJournal, AddressListsReadBackExactly) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"p2a@x, p2b@x"}, "\"p2a@x, p2b@x\""},
      {{"p2a@x", "p2b@x"}, "p2a@x, p2b@x"},
      {{"\"a\\b\"@x", " ", ""}, "\"\\\"a\\\\b\\\"@x\", \" \", \"\""},
      {{"tab\there"}, "\"tab\\x09here\""},
  };
  for (const auto& [addresses, cell] : cases) {
    SCOPED_TRACE(cell);
    EXPECT_EQ(JoinJournalAddresses(addresses), cell);
    std::vector<std::string> back;
    EXPECT_TRUE(SplitJournalAddresses(cell, back));
    EXPECT_EQ(back, addresses);
  }
  // Only the writer's form is read; anything else is a damaged line.
  std::vector<std::string> back;
  for (const char* bad : {"\"never closed", "a\"b@x", "a\\b@x", "\"x\\q\"", "a,,b", "\"a\" b", "\"\\x0\""})
    EXPECT_FALSE(SplitJournalAddresses(bad, back)) << bad;
}

TEST(SendJournal, AnyPlanWrittenReadsBackEqual) {
  // Addresses of any bytes a table could hold, in batches of any size.
  std::mt19937 random(20);
  const std::string alphabet = std::string("ab@.,\" \\\t\r\n;'=x\x80\xFC\x81") + std::string(1, '\0');
  for (int round = 0; round < 20; ++round) {
    TTempDir d;
    TJournalRunInfo info = Info();
    info.MessageCount = 1 + static_cast<int>(random() % 40);
    std::vector<TJournalMessage> plan;
    for (int m = 1; m <= info.MessageCount; ++m) {
      TJournalMessage& message = plan.emplace_back(TJournalMessage{m, {}, {}});
      for (int a = 1 + static_cast<int>(random() % 4); a > 0; --a) {
        message.Addresses.emplace_back();
        for (int n = static_cast<int>(random() % 12); n > 0; --n)
          message.Addresses.back() += alphabet[random() % alphabet.size()];
        message.RecNos.push_back(1 + random() % 1000);
      }
    }
    TSendJournal j(Dir(d), info, plan);
    const TJournalRun run = ReadJournal(j.Path());
    ASSERT_EQ(run.DamagedLines, 0) << round;
    ASSERT_EQ(run.Plan.size(), plan.size()) << round;
    for (std::size_t i = 0; i < plan.size(); ++i) {
      EXPECT_EQ(run.Plan[i].Addresses, plan[i].Addresses) << round;
      EXPECT_EQ(run.Plan[i].RecNos, plan[i].RecNos) << round;
    }
  }
}

TEST(SendJournal, DamageACrashCannotExplainMakesTheRunBroken) {
  const auto replace = [](std::string s, const std::string& from, const std::string& to) {
    return s.replace(s.find(from), from.size(), to);
  };
  struct Case {
    const char* Name;
    std::function<std::string(const std::string&)> Damage;  // whole file in, damaged file out
    int Damaged, Entries;
    bool Broken;
  };
  const Case cases[] = {
      {"cut last line", [](const std::string& s) { return s.substr(0, s.size() - 5); }, 1, 1, false},
      {"zeros at the end", [](const std::string& s) { return s + std::string(3000, '\0'); }, 1, 2, false},
      {"result for no planned message", [](const std::string& s) { return s + "Nachricht;9;t;;z@x.de;gesendet;;;;;;;;;;;;;\r\n"; },
       1, 2, false},
      {"plan line unreadable", [&](const std::string& s) { return replace(s, "Plan;2;;2;", "Plan;2;;x;"); }, 3, 1, true},
      {"plan line missing", [&](const std::string& s) { return replace(s, "Plan;3;;4;c@x.de;;;;;;;;;;;;;;;\r\n", ""); },
       0, 2, true},
      {"result for another address",
       [&](const std::string& s) { return replace(s, "1;a@x.de;gesendet", "1;fremd@x.de;gesendet"); }, 1, 1, true},
      {"line too long", [](const std::string& s) {
         return s + std::string(kMaxJournalLine + 1, 'x') + "\r\nNachricht;3;t;4;c@x.de;gesendet;;;;;;;;;;;;;\r\n";
       }, 1, 2, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TTempDir d;
    const std::string path = WriteJournal(d, {Entry(1, "a@x.de", 1, TJournalResult::Sent),
                                              Entry(2, "b@x.de", 2, TJournalResult::Failed)});
    WriteBytes(path, c.Damage(ReadFileBytes(path)));
    const TJournalRun run = ReadJournal(path);
    EXPECT_EQ(run.DamagedLines, c.Damaged);
    EXPECT_EQ(static_cast<int>(run.Entries.size()), c.Entries);
    EXPECT_EQ(run.Broken, c.Broken);
    EXPECT_EQ(run.Problem().find("kann nicht fortgesetzt") != std::string::npos, c.Broken) << run.Problem();
  }
}

TEST(SendJournal, ASparseGigabyteIsNeitherHeldNorReadWhole) {
  TTempDir d;
  const std::string path = WriteJournal(d, {Entry(1, "a@x.de", 1, TJournalResult::Sent)});
  ASSERT_EQ(truncate(path.c_str(), 1LL << 30), 0);
  const auto start = std::chrono::steady_clock::now();
  const TJournalRun run = ReadJournal(path);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(run.ResultOf(1), TJournalResult::Sent);
  EXPECT_TRUE(run.Broken);
}

TEST(SendJournal, FoldersOthersCanChangeAreRefused) {
  using TPath = std::filesystem::path;
  const auto versand = [](const TPath& p) { std::filesystem::create_directory(p / "versand"); };
  const std::pair<std::function<void(const TPath&)>, const char*> cases[] = {
      {[](const TPath&) {}, ""},
      {[](const TPath& p) { chmod(p.c_str(), 0770); }, "beschrieben werden"},
      {[&](const TPath& p) { versand(p), chmod((p / "versand").c_str(), 0777); }, "beschrieben werden"},
      {[&](const TPath& p) { versand(p), chown((p / "versand").c_str(), 65534, 65534); }, "anderen Benutzer"},
      {[](const TPath& p) {
         std::filesystem::create_directory(p / "echt");
         std::filesystem::create_directory_symlink(p / "echt", p / "versand");
         lchown((p / "versand").c_str(), 65534, 65534);
       }, "symbolischer Verweis"},
  };
  for (const auto& [make, says] : cases) {
    SCOPED_TRACE(says);
    TTempDir d;
    make(d.Path());
    std::string written, listed;
    try {
      TSendJournal j(Dir(d), Info(), Plan3());
      struct stat st {};
      EXPECT_EQ(stat((d.Path() / "versand").c_str(), &st) == 0 ? st.st_mode & 0777 : 0, 0700u);
    } catch (const EJournalError& e) {
      written = e.what();
    }
    try {
      ListJournals(Dir(d));
    } catch (const EJournalError& e) {
      listed = e.what();
    }
    if (*says == '\0') EXPECT_EQ(written + listed, "");
    else EXPECT_TRUE(written.find(says) != std::string::npos && listed.find(says) != std::string::npos) << written << listed;
  }
}
