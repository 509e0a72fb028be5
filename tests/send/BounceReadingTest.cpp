// Reading the reply mailbox against a folder in memory: each kind routed,
// reports traced through the journal, block lines and their log lines
// saved before the move, nothing counted twice, soft bounces across runs.
#include "core/SafeFile.h"
#include "imap/TImapMailbox.h"
#include "send/TBlockList.h"
#include "send/TBounceReading.h"
#include "send/TReplyLog.h"
#include "send/TSendJournal.h"
#include "send/SendRunSupport.h"
#include "support/FakeMailFolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <map>

using namespace postello;
using namespace postello::test;

namespace {

TInboxVerdict Verdict(TInboxKind kind, std::vector<std::string> recipients, std::string returnedId = "",
                      std::vector<std::string> returnedTo = {}, std::string messageId = "") {
  TInboxVerdict v;
  v.Kind = kind;
  const bool soft = kind == TInboxKind::SoftBounce;
  for (std::string& a : recipients) v.Recipients.push_back({a, soft ? "delayed" : "failed", soft ? "4.4.1" : "5.1.1", "unknown"});
  v.ReturnedMessageId = std::move(returnedId);
  v.ReturnedTo = std::move(returnedTo);
  v.MessageId = std::move(messageId);
  v.Reason = "Grund";
  v.From = "mailer@x.de";
  v.Date = "Mon, 1 Jan 2024";
  return v;
}

struct TReader {
  TTempDir Dir;
  TFakeMailFolder Folder;
  std::map<int, TInboxVerdict> Verdicts;
  int WholeSeen = 0;

  std::string Data() const { return Dir.Path().string() + "/"; }
  void Put(std::uint32_t uid, TInboxVerdict v, bool whole = false) {
    Verdicts[static_cast<int>(uid)] = std::move(v);
    Folder.Messages[uid] = "N: " + std::to_string(uid) + "\r\n" + (whole ? "W: 1\r\n" : "") + "\r\nTeil";
  }
  // A run whose message n went to addresses[n - 1] with Message-ID "<n.run@x.de>".
  std::string Journal(const std::string& start, const std::string& run, const std::vector<std::string>& addresses) {
    TJournalRunInfo info;
    info.StartTime = start;
    info.MessageCount = static_cast<int>(addresses.size());
    std::vector<TJournalMessage> plan;
    for (std::size_t i = 0; i < addresses.size(); ++i)
      plan.push_back({static_cast<int>(i + 1), {addresses[i]}, {static_cast<std::uint32_t>(i + 10)}});
    TSendJournal j(Data(), info, plan);
    for (const TJournalMessage& m : plan) {
      TJournalEntry e{m.Nr, "", m.Addresses, m.RecNos, TJournalResult::Sent, "", ""};
      e.MessageId = "<" + std::to_string(m.Nr) + "." + run + "@x.de>";
      j.Record(e);
    }
    return j.FileName();
  }
  TBounceReading Reading() {
    TBounceReading r(Data(), {});
    r.NeedsWholeMessage = [](std::string_view header, const TInboxContext&) { return header.find("W: 1") != std::string_view::npos; };
    r.Classify = [this](std::string_view bytes, const TInboxContext&) {
      if (bytes.find("W: 1") != std::string_view::npos) {
        EXPECT_TRUE(bytes.ends_with("Teil"));  // the leading part, not the header alone
        ++WholeSeen;
      }
      return Verdicts.at(std::stoi(std::string(bytes.substr(3))));
    };
    return r;
  }
};

std::string Describe(const TBounceResult& r) {
  std::string out;
  for (const TBounceRow& row : r.Rows)
    out += std::to_string(row.Uid) + " " + row.Address + " " + row.ActionText() + " " + row.Run + " " +
           std::to_string(row.RecNo) + "\n";
  return out;
}

std::string DescribeLog(const std::string& data) {
  std::string out;
  const TReplyLog log = TReplyLog::Load(data);
  for (const TReplyLogLine& l : log.Lines())
    out += l.Kind + ";" + l.Address + ";" + l.Status + ";" + l.ReportId + ";" + l.Run + "\n";
  return out;
}

std::string DescribeBlocks(const std::string& data) {
  std::string out;
  const TBlockList list = TBlockList::Load(data);
  for (const TBlockEntry& e : list.Entries()) out += e.Address + ";" + e.Reason + ";" + e.Source + "\n";
  return out;
}

std::vector<std::string> FilesIn(const std::string& dir) {
  std::vector<std::string> out;
  for (const auto& e : std::filesystem::recursive_directory_iterator(dir)) out.push_back(e.path().string());
  std::sort(out.begin(), out.end());
  return out;
}

} // namespace

TEST(BounceReading, KindsRoutedTracedThroughTheJournalAndAppliedBeforeTheMove) {
  TReader t;
  const std::string run = t.Journal("2024-05-01 10:00:00", "r1", {"a@x.de", "b@x.de", "f@x.de"});
  t.Put(1, Verdict(TInboxKind::HardBounce, {"A@x.de"}, "1.r1@x.de", {}, "<rep1@mx>"), true);
  t.Put(2, Verdict(TInboxKind::HardBounce, {}, "<2.r1@x.de>"), true);           // no status part: the journal
  t.Put(3, Verdict(TInboxKind::HardBounce, {}, "fremd@x.de", {"c@x.de"}));       // else the returned headers
  t.Put(4, Verdict(TInboxKind::HardBounce, {}, "fremd@x.de"));                   // else not recognised
  t.Put(5, Verdict(TInboxKind::Unsubscribe, {"d@x.de"}));
  t.Put(6, Verdict(TInboxKind::Complaint, {"e@x.de"}));
  t.Put(7, Verdict(TInboxKind::AutoReply, {}));
  t.Put(8, Verdict(TInboxKind::Other, {}));
  t.Put(9, Verdict(TInboxKind::SoftBounce, {"f@x.de"}, "3.r1@x.de"));
  t.Put(10, Verdict(TInboxKind::HardBounce, {"a@x.de"}));                       // blocked by 1 already
  TInboxVerdict mixed = Verdict(TInboxKind::HardBounce, {"g@x.de", "h@x.de"});  // each recipient its own kind
  mixed.Recipients[1].Action = "delayed";
  mixed.Recipients[1].Status = "4.2.2";
  t.Put(11, mixed);
  TBounceReading reading = t.Reading();
  std::vector<std::size_t> progress;
  reading.OnProgress = [&](std::size_t done, std::size_t total) { progress.push_back(done * 100 + total); };
  const std::vector<std::string> before = FilesIn(t.Data());

  const TBounceResult r = reading.Read(t.Folder);
  EXPECT_EQ(Describe(r), "1 A@x.de wird gesperrt " + run + " 10\n"
                         "2 b@x.de wird gesperrt " + run + " 11\n"
                         "3 c@x.de wird gesperrt  0\n"
                         "4  nicht erkannt  0\n"
                         "5 d@x.de wird gesperrt  0\n"
                         "6 e@x.de wird gesperrt  0\n"
                         "7 mailer@x.de bleibt liegen  0\n"
                         "8 mailer@x.de bleibt liegen  0\n"
                         "9 f@x.de gez\xE4hlt (1 von 3 L\xE4ufen) " + run + " 12\n"
                         "10 a@x.de bereits gesperrt  0\n"
                         "11 g@x.de wird gesperrt  0\n"
                         "11 h@x.de Lauf unbekannt, z\xE4hlt nicht  0\n");
  EXPECT_EQ(r.CountsText(), "Harter R\xFC" "ckl\xE4ufer: 5, Weicher R\xFC" "ckl\xE4ufer: 1, Abmeldung: 1, Beschwerde: 1, "
                            "Automatische Antwort: 1, Sonstige: 1, nicht erkannt: 1");
  EXPECT_EQ(t.WholeSeen, 2);
  EXPECT_EQ(t.Folder.Calls, std::vector<std::string>{"prefixes 2 262144"});
  EXPECT_EQ(progress.size(), 11u);
  EXPECT_EQ(progress.back(), 1111u);
  // A reading alone writes nothing at all.
  EXPECT_EQ(FilesIn(t.Data()), before);

  const TBounceApplied a = reading.Apply(t.Folder, r, "Postello/Verarbeitet");
  EXPECT_EQ(a.Blocked, 6);
  EXPECT_EQ(a.Logged, 9);
  EXPECT_EQ(a.Moved, 8);
  EXPECT_EQ(t.Folder.Calls, (std::vector<std::string>{"prefixes 2 262144", "ensure Postello/Verarbeitet",
                                                      "move 1 2 3 5 6 9 10 11 Postello/Verarbeitet"}));
  EXPECT_EQ(DescribeBlocks(t.Data()), "A@x.de;Grund;R\xFC" "ckl\xE4ufer\nb@x.de;Grund;R\xFC" "ckl\xE4ufer\n"
                                      "c@x.de;Grund;R\xFC" "ckl\xE4ufer\nd@x.de;Grund;Abmeldung\ne@x.de;Grund;Beschwerde\n"
                                      "g@x.de;5.1.1 unknown;R\xFC" "ckl\xE4ufer\n");
  EXPECT_EQ(DescribeLog(t.Data()), "Harter R\xFC" "ckl\xE4ufer;A@x.de;Grund;rep1@mx;" + run + "\n"
                                   "Harter R\xFC" "ckl\xE4ufer;b@x.de;Grund;uid:77:2;" + run + "\n"
                                   "Harter R\xFC" "ckl\xE4ufer;c@x.de;Grund;uid:77:3;\n"
                                   "Abmeldung;d@x.de;Grund;uid:77:5;\n"
                                   "Beschwerde;e@x.de;Grund;uid:77:6;\n"
                                   "Weicher R\xFC" "ckl\xE4ufer;f@x.de;Grund;uid:77:9;" + run + "\n"
                                   "Harter R\xFC" "ckl\xE4ufer;a@x.de;Grund;uid:77:10;\n"
                                   "Harter R\xFC" "ckl\xE4ufer;g@x.de;5.1.1 unknown;uid:77:11;\n"
                                   "Weicher R\xFC" "ckl\xE4ufer;h@x.de;4.2.2 unknown;uid:77:11;\n");
  EXPECT_EQ(t.Folder.Messages.size(), 3u);  // 4, 7 and 8 stay
}

TEST(BounceReading, AMoveThatFailsKeepsTheLinesAndTheMessageIsNotCountedAgain) {
  TReader t;
  t.Put(1, Verdict(TInboxKind::HardBounce, {"a@x.de"}, "", {}, "<rep1@mx>"));
  t.Folder.MoveFails = true;
  TBounceReading reading = t.Reading();
  EXPECT_THROW(reading.Apply(t.Folder, reading.Read(t.Folder), "Fertig"), std::runtime_error);
  EXPECT_EQ(DescribeBlocks(t.Data()), "a@x.de;Grund;R\xFC" "ckl\xE4ufer\n");
  EXPECT_EQ(DescribeLog(t.Data()), "Harter R\xFC" "ckl\xE4ufer;a@x.de;Grund;rep1@mx;\n");

  t.Folder.MoveFails = false;
  TBounceResult again = reading.Read(t.Folder);
  ++again.UidValidity;  // renumbered since: nothing is taken over
  EXPECT_THROW(reading.Apply(t.Folder, again, "Fertig"), EImapError);
  EXPECT_EQ(t.Folder.Calls.size(), 1u);
  --again.UidValidity;
  EXPECT_EQ(Describe(again), "1 a@x.de bereits \xFC" "bernommen  0\n");
  EXPECT_EQ(again.CountsText(), "bereits \xFC" "bernommen: 1");
  const TBounceApplied a = reading.Apply(t.Folder, again, "Fertig");
  EXPECT_EQ(a.Logged, 0);
  EXPECT_EQ(a.Moved, 1);
  EXPECT_EQ(DescribeLog(t.Data()), "Harter R\xFC" "ckl\xE4ufer;a@x.de;Grund;rep1@mx;\n");
  EXPECT_TRUE(t.Folder.Messages.empty());
}

TEST(BounceReading, SoftBouncesFromThreeDifferentRunsBlock) {
  TReader t;
  std::vector<std::string> runs;
  for (const char* r : {"r1", "r2", "r3"})
    runs.push_back(t.Journal(std::string("2024-0") + (r[1]) + "-01 10:00:00", r, {"f@x.de"}));
  struct Step {
    const char* ReturnedId;  // "" untraced
    const char* Action;
  };
  // Each reading is applied before the next; untraced reports and a second
  // report of the same run do not count.
  const Step steps[] = {{"1.r1@x.de", "gez\xE4hlt (1 von 3 L\xE4ufen)"},
                        {"1.r1@x.de", "gez\xE4hlt (1 von 3 L\xE4ufen)"},
                        {"", "Lauf unbekannt, z\xE4hlt nicht"},
                        {"1.r2@x.de", "gez\xE4hlt (2 von 3 L\xE4ufen)"},
                        {"1.r3@x.de", "wird gesperrt"},
                        {"1.r3@x.de", "bereits gesperrt"}};
  std::uint32_t uid = 0;
  for (const Step& s : steps) {
    SCOPED_TRACE(s.ReturnedId);
    t.Put(++uid, Verdict(TInboxKind::SoftBounce, {"F@x.de"}, s.ReturnedId));
    TBounceReading reading = t.Reading();
    const TBounceResult r = reading.Read(t.Folder);
    ASSERT_EQ(r.Rows.size(), 1u);
    EXPECT_EQ(r.Rows[0].ActionText(), s.Action);
    reading.Apply(t.Folder, r, "Fertig");
    EXPECT_EQ(TBlockList::Load(t.Data()).Contains("f@x.de"), uid >= 5);
  }
}

TEST(BounceReading, ACancelledReadingAppliesNothing) {
  TReader t;
  for (std::uint32_t uid = 1; uid <= 5; ++uid) t.Put(uid, Verdict(TInboxKind::HardBounce, {"a@x.de"}));
  std::atomic<bool> cancel{false};
  TBounceReading reading = t.Reading();
  reading.Cancel = &cancel;
  reading.OnProgress = [&](std::size_t done, std::size_t) { cancel = done == 2; };
  const TBounceResult r = reading.Read(t.Folder);
  EXPECT_TRUE(r.Cancelled);
  EXPECT_EQ(r.Messages, 2);
  cancel = false;
  EXPECT_TRUE(reading.Apply(t.Folder, r, "Fertig").Cancelled);
  EXPECT_TRUE(t.Folder.Calls.empty());
  EXPECT_FALSE(std::filesystem::exists(TReplyLog::PathIn(t.Data())));
}

TEST(BounceReading, UnsubscribeMailboxesOfTheMails) {
  EXPECT_EQ(TBounceReading::ContextOf({"mailto:abmelden@x.de?subject=weg, https://x.de/ab",
                                       "MAILTO:Liste@x.de, mailto:[%EMAIL]@x.de, mailto:abmelden@x.de"})
                .UnsubscribeMailboxes,
            (std::vector<std::string>{"abmelden@x.de", "Liste@x.de"}));
}

TEST(ReplyLog, FileBytesFormulaEscapeModeAndDamage) {
  TTempDir dir;
  TReplyLog log;
  log.Add({"2024-05-01 10:00:00", "Abmeldung", "a@x.de", "=1+1", "uid:7:3", "2024-04-01_10-00-00.csv"});
  log.Save(dir.Path().string());
  const std::string path = TReplyLog::PathIn(dir.Path().string());
  EXPECT_EQ(ReadWholeFile(path).value_or(""), "\xEF\xBB\xBF" "Datum;Art;Adresse;Status;Meldung;Lauf\r\n"
                                              "2024-05-01 10:00:00;Abmeldung;a@x.de;'=1+1;uid:7:3;2024-04-01_10-00-00.csv\r\n");
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(TReplyLog::Load(dir.Path().string()).Lines(), log.Lines());
  for (const char* damaged : {"Datum;Art\r\n", "\xEF\xBB\xBF" "Datum;Art;Adresse;Status;Meldung;Lauf\r\na;b\r\n", ""}) {
    WriteBytes(path, damaged);
    EXPECT_THROW(TReplyLog::Load(dir.Path().string()), EReplyLogError) << damaged;
  }
}
