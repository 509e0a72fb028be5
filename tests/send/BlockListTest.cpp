// The block list: its file as a spreadsheet reads it, lookup without case,
// damaged files refused, and runs that leave blocked addresses out.
#include "core/SafeFile.h"
#include "send/PreSendCheck.h"
#include "send/TBlockList.h"
#include "send/TSendRun.h"
#include "send/SendRunSupport.h"
#include "smtp/TOutgoingMail.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace postello;
using namespace postello::test;

TEST(BlockList, FileBytesQuotingAndFormulaEscapeAndMode) {
  TTempDir dir;
  TBlockList list;
  ASSERT_TRUE(list.Add({" a@x.de ", "5.1.1 unbekannt", "2024-05-01 10:00:00", "Hand"}));
  ASSERT_TRUE(list.Add({"b@x.de", "=HYPERLINK(\"x\");\xE4", "2024-05-02 11:00:00", "Import"}));
  const std::string expected =
      "\xEF\xBB\xBF" "Adresse;Grund;Datum;Quelle\r\n"
      "a@x.de;5.1.1 unbekannt;2024-05-01 10:00:00;Hand\r\n"
      "b@x.de;\"'=HYPERLINK(\"\"x\"\");\xC3\xA4\";2024-05-02 11:00:00;Import\r\n";
  list.Save(dir.Path().string());
  const std::string path = TBlockList::PathIn(dir.Path().string());
  EXPECT_EQ(ReadWholeFile(path).value_or(""), expected);
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(TBlockList::Load(dir.Path().string()).Entries(), list.Entries());
  EXPECT_EQ(TBlockList::Load((dir.Path() / "fehlt").string()).Size(), 0u);
}

TEST(BlockList, LookupIgnoresCaseAndBlanks) {
  TBlockList list;
  ASSERT_TRUE(list.Add({"Anna.Muster@Example.ORG", "", "", "Hand"}));
  struct Case {
    const char* Address;
    bool Listed;
  } const cases[] = {{"anna.muster@example.org", true}, {" ANNA.MUSTER@EXAMPLE.ORG ", true},
                     {"anna.muster@example.or", false}, {"anna_muster@example.org", false}, {"", false}};
  for (const Case& c : cases) EXPECT_EQ(list.Contains(c.Address), c.Listed) << c.Address;
  EXPECT_FALSE(list.Add({"ANNA.muster@example.org", "", "", ""}));
  EXPECT_FALSE(list.Add({"a\r\nb@x.de", "", "", ""}));
  EXPECT_FALSE(list.Remove("b@x.de"));
  EXPECT_TRUE(list.Remove("anna.MUSTER@example.org"));
  EXPECT_EQ(list.Size(), 0u);
}

TEST(BlockList, DamagedFileIsRefusedNamingTheFileAndKeptAsItIsAndAside) {
  const std::string head = "\xEF\xBB\xBF" "Adresse;Grund;Datum;Quelle\r\n";
  const std::string cases[] = {
      "",                                            // no header at all
      "a@x.de;;;\r\n",                               // no header
      head + "a@x.de;Grund;2024\r\n",                // three columns
      head + "\"a@x.de;Grund;2024;Hand\r\n",         // a quote never closed
      head + "a@x.de;" + std::string(70000, 'x') + ";;\r\n",  // longer than any line written
      head + ";;;\r\n",                              // no address
  };
  for (const std::string& bytes : cases) {
    SCOPED_TRACE(bytes.substr(0, 40));
    TTempDir dir;
    const std::string path = TBlockList::PathIn(dir.Path().string());
    WriteBytes(path, bytes);
    try {
      TBlockList::Load(dir.Path().string());
      ADD_FAILURE() << "no error";
    } catch (const EBlockListError& e) {
      EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find(path + ".defekt\" erhalten."), std::string::npos) << e.what();
    }
    EXPECT_EQ(ReadWholeFile(path).value_or("?"), bytes);
    // A new list saved over it leaves the copy alone.
    TBlockList().Save(dir.Path().string());
    EXPECT_EQ(ReadWholeFile(path + ".defekt").value_or("?"), bytes);
  }
}

TEST(BlockList, AddressesFromAFileAPersonMade) {
  EXPECT_EQ(TBlockList::AddressesFromText("\xEF\xBB\xBF" "Adresse;Name\r\n\"a@x.de\";A\r\nb@x.de,B\n\nkein\n c@x.de \n"),
            (std::vector<std::string>{"a@x.de", "b@x.de", "c@x.de"}));
}

class BlockListRunTest : public TSendRunFixture {};

TEST_F(BlockListRunTest, BlockedAddressesAreSkippedRecordedAndNeverResumed) {
  TSmtpTestServer server({});
  ASSERT_GT(server.Port(), 0);
  PrepareRun(5, "127.0.0.1:" + std::to_string(server.Port()));
  TBlockList list;
  list.Add({"P2@Example.org", "", "", "Hand"});
  list.Add({"p4@example.ORG", "", "", "Hand"});
  list.Save(Dir.Path().string());

  const TPreSendReport check = CheckRun(Msg, Table, Choice, Rows, {}, Konten, Mails, -1, -1, nullptr, Dir.Path().string());
  EXPECT_NE(check.Text().find("3 Nachrichten an 3 Empf\xE4nger.\n" + BlockedNote(2) + "\n"), std::string::npos)
      << check.Text();

  Run.Run(Choice, Rows, Konten, Mails, [](const TOutgoingMail& m) { return DeliverMail(m); });
  EXPECT_EQ(Run.BlockedCount(), 2);
  EXPECT_EQ(Run.FailedCount(), 0) << (Run.ErrorLog().empty() ? "" : Run.ErrorLog().back());
  ASSERT_EQ(server.Count(), 3);
  for (int n = 1; n <= 3; ++n) {
    EXPECT_EQ(server.Notes(n).find("p2@"), std::string::npos);
    EXPECT_EQ(server.Notes(n).find("p4@"), std::string::npos);
  }
  const TJournalRun j = ReadJournal(Run.JournalPath());
  EXPECT_EQ(j.DamagedLines, 0);
  EXPECT_EQ(j.Count(TJournalResult::Sent), 3);
  std::vector<std::string> blocked;
  for (const TJournalEntry& e : j.Entries)
    if (e.Nr == 0 && e.Result == TJournalResult::Blocked) blocked.push_back(e.Addresses.at(0));
  EXPECT_EQ(blocked, (std::vector<std::string>{"p2@example.org", "p4@example.org"}));
  // Older readers know "nicht gesendet" for a left-out address.
  EXPECT_NE(ReadWholeFile(Run.JournalPath()).value_or("").find(";nicht gesendet;gesperrt"), std::string::npos);

  // A resume over every row of the list, after one more address was
  // blocked, leaves all three out; a typed address is the user's choice.
  list.Add({"p5@example.org", "", "", "Hand"});
  list.Save(Dir.Path().string());
  Choice.Kind = TJournalRunKind::Resume;
  Choice.Recipients = TRecipientChoice::Selected;
  Choice.SelectedRows = {0, 1, 2, 3, 4};
  Run.Start(Choice, Rows, Konten, Mails);
  EXPECT_EQ(Run.RecipientAddresses(), (std::vector<std::string>{"p1@example.org", "p3@example.org"}));
  Run.Abort();
  Choice.Recipients = TRecipientChoice::One;
  Choice.TypedAddress = "P2@example.org";
  Run.Start(Choice, Rows, Konten, Mails);
  EXPECT_EQ(Run.RecipientAddresses(), (std::vector<std::string>{"P2@example.org"}));
  Run.Abort();
}
