#include "app/TMainState.h"
#include "core/TestBytes.h"
#include "support/ScriptedSink.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace postello;
using postello::test::Bytes;
using postello::test::ScriptedSink;
using postello::test::TempDir;

namespace {


struct SinkGuard {
  explicit SinkGuard(TMessageSink* s) : old(SetMessageSink(s)) {}
  ~SinkGuard() { SetMessageSink(old); }
  TMessageSink* old;
};

} // namespace

TEST(TMainState, StartFromAnEmptyFolderHasTheDefaultsAndWritesNothing) {
  TempDir dir;
  ScriptedSink sink;
  SinkGuard guard(&sink);
  TMainState s;
  s.FormCreate(dir.path().substr(0, dir.path().size() - 1)); // without the slash
  EXPECT_EQ(s.ProgDir, dir.path());
  EXPECT_FALSE(s.Loading);
  EXPECT_EQ(s.Mails.Count(), 0u);
  EXPECT_EQ(s.Konten.Count(), 0u);
  EXPECT_EQ(s.Options.DatabaseFile, dir.path() + "mailaddies.dbf");
  EXPECT_EQ(s.Options.MailField, 0);
  EXPECT_EQ(s.Options.BccCount, 20);
  EXPECT_EQ(s.Options.KontoIndex, 0);
  EXPECT_FALSE(s.Options.Bcc);
  EXPECT_TRUE(sink.texts.empty());
  EXPECT_FALSE(std::filesystem::exists(dir.file("options.dat")));
  EXPECT_FALSE(std::filesystem::exists(dir.file("mails.dat")));
  EXPECT_FALSE(std::filesystem::exists(dir.file("konten.dat")));
  EXPECT_FALSE(std::filesystem::exists(dir.file("mailaddies.dbf")));
  EXPECT_FALSE(s.Table1.Active());
}

TEST(TMainState, ProgDirGetsNoSecondSlash) {
  TempDir dir;
  TMainState s;
  s.FormCreate(dir.path());
  EXPECT_EQ(s.ProgDir, dir.path());
}

TEST(TMainState, LoadingStoredOptionsWritesNothing) {
  TempDir dir;
  const std::string opts = Bytes().i32(2).i32(25).i32(20).i32(1).i32(0).i32(1).sstr(dir.path() + "other.dbf").data;
  postello::test::WriteFile(dir.file("options.dat"), opts);
  std::filesystem::last_write_time(dir.file("options.dat"), std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
  const auto stamp = std::filesystem::last_write_time(dir.file("options.dat"));
  TMainState s;
  s.FormCreate(dir.path());
  EXPECT_EQ(s.Options.BccCount, 25);
  EXPECT_EQ(s.Options.DatabaseFile, dir.path() + "other.dbf");
  EXPECT_EQ(std::filesystem::last_write_time(dir.file("options.dat")), stamp);
  EXPECT_EQ(postello::test::ReadFile(dir.file("options.dat")), opts);
  // After start-up a change is saved at once.
  s.Options.BccCount = 30;
  EXPECT_TRUE(s.SaveOptions());
  EXPECT_EQ(postello::test::ReadFile(dir.file("options.dat")).substr(4, 4), Bytes().i32(30).data);
}

TEST(TMainState, DamagedStateFilesAreReportedAndStartUpGoesOn) {
  TempDir dir;
  postello::test::WriteFile(dir.file("mails.dat"), Bytes().i32(3).data);
  postello::test::WriteFile(dir.file("konten.dat"), Bytes().i32(1).sstr("a").data);
  ScriptedSink sink;
  SinkGuard guard(&sink);
  TMainState s;
  s.FormCreate(dir.path());
  ASSERT_EQ(sink.texts.size(), 2u);
  EXPECT_NE(sink.texts[0].find("mails.dat"), std::string::npos);
  EXPECT_NE(sink.texts[1].find("konten.dat"), std::string::npos);
  EXPECT_FALSE(s.Loading);
}

TEST(TMainState, DeletingMarkedMailsAsksOnceAndKeepsTheOthersInOrder) {
  TempDir dir;
  ScriptedSink sink;
  SinkGuard guard(&sink);
  TMainState s;
  s.FormCreate(dir.path());
  for (const char* subject : {"A", "B", "C", "D", "E"}) s.Mails.Add()->Subject = subject;
  ASSERT_TRUE(s.SaveMails());
  const std::string before = postello::test::ReadFile(dir.file("mails.dat"));

  sink.answer = TMsgResult::No;
  EXPECT_FALSE(s.DeleteMails({0, 2, 4}));
  EXPECT_EQ(s.Mails.Count(), 5u);
  EXPECT_EQ(postello::test::ReadFile(dir.file("mails.dat")), before);
  EXPECT_FALSE(s.DeleteMails({}));
  EXPECT_EQ(sink.texts.size(), 1u); // nothing marked: no question

  sink.answer = TMsgResult::Yes;
  EXPECT_TRUE(s.DeleteMails({4, 0, 2}));
  EXPECT_EQ(sink.texts.back(), "Wollen Sie alle markierten eMails unwiderruflich l\xF6schen?");
  EXPECT_EQ(sink.captions.back(), "L\xF6schen");
  ASSERT_EQ(s.Mails.Count(), 2u);
  EXPECT_EQ(s.Mails[0].Subject, "B");
  EXPECT_EQ(s.Mails[1].Subject, "D");
  TMailList reread;
  TMailStore::Open(dir.path(), reread);
  ASSERT_EQ(reread.Count(), 2u);
  EXPECT_EQ(reread[0].Subject, "B");
  EXPECT_EQ(reread[1].Subject, "D");
}

// The send page's choice of mail follows its mail through deletions of
// others; without a choice (or once its mail is gone) the newest counts.
TEST(TMainState, ChosenSendMailFollowsItsMail) {
  const struct {
    int chosen;
    std::vector<int> deleted;
    int expected;
  } cases[] = {
      {-1, {}, 4}, {1, {}, 1}, {1, {3, 4}, 1}, {3, {0, 2}, 1}, {3, {2, 0, 0}, 1}, {2, {2}, 4}, {9, {}, 4},
  };
  TempDir dir;
  ScriptedSink sink;
  SinkGuard guard(&sink);
  sink.answer = TMsgResult::Yes;
  for (const auto& c : cases) {
    TMainState s;
    s.FormCreate(dir.path());
    for (int k = 0; k < 5 + static_cast<int>(c.deleted.size()); ++k) s.Mails.Add();
    s.SendMailIndex = c.chosen;
    if (!c.deleted.empty()) s.DeleteMails(c.deleted);
    while (s.Mails.Count() > 5) s.Mails.Delete(static_cast<int>(s.Mails.Count()) - 1);
    EXPECT_EQ(s.ChosenSendMail(), c.expected) << c.chosen;
  }
}

TEST(TMainState, UnwritableStateFileIsReportedNotDropped) {
  TempDir dir;
  ScriptedSink sink;
  SinkGuard guard(&sink);
  TMainState s;
  s.FormCreate(dir.path());
  std::filesystem::create_directory(dir.file("mails.dat")); // a folder in the way
  s.Mails.Add()->Subject = "x";
  EXPECT_FALSE(s.SaveMails());
  ASSERT_EQ(sink.texts.size(), 1u);
  EXPECT_NE(sink.texts[0].find("mails.dat\" konnte nicht gespeichert werden"), std::string::npos);
}

TEST(TMainState, ShutdownPostsAnEditLeftOpenInTheGrid) {
  TempDir dir;
  ScriptedSink sink;
  sink.answer = TMsgResult::Ok;
  SinkGuard guard(&sink);
  {
    TMainState s;
    s.FormCreate(dir.path());
    ASSERT_TRUE(s.NewDatabase(0));
    s.Table1.Append();
    s.Table1.SetAsString(0, "offen@example.org");
    s.FormDestroy();
  }
  TDbf table;
  table.SetFileName(dir.file("mailaddies.dbf"));
  table.SetAutoCreate(false);
  table.Open();
  ASSERT_EQ(table.RecordCount(), 1u);
  EXPECT_EQ(table.AsString(0), "offen@example.org");
  EXPECT_TRUE(sink.texts.empty()) << "no table before, so no question";
}

// The warning that the records are lost comes only when there is a table
// file to lose; Cancel then leaves it as it was.
TEST(TMainState, NewDatabaseWarnsOnlyWhenATableExists) {
  TempDir dir;
  ScriptedSink sink;
  SinkGuard guard(&sink);
  TMainState s;
  s.FormCreate(dir.path());
  sink.answer = TMsgResult::Cancel;
  ASSERT_TRUE(s.NewDatabase(1));
  EXPECT_TRUE(sink.texts.empty());
  ASSERT_EQ(s.Table1.FieldCount(), 5);
  for (TMsgResult answer : {TMsgResult::Cancel, TMsgResult::Ok}) {
    sink.answer = answer;
    EXPECT_EQ(s.NewDatabase(3), answer == TMsgResult::Ok);
    EXPECT_EQ(sink.texts.back(), "Achtung: Alle vorhandenen Datens\xE4tze gehen verloren!!!");
    EXPECT_EQ(s.Table1.FieldCount(), answer == TMsgResult::Ok ? 7 : 5);
  }
  EXPECT_EQ(sink.texts.size(), 2u);
}

TEST(TMainState, FilterReopensTheTableWithoutLosingAnOpenEdit) {
  TempDir dir;
  ScriptedSink sink;
  sink.answer = TMsgResult::Ok;
  SinkGuard guard(&sink);
  TMainState s;
  s.FormCreate(dir.path());
  ASSERT_TRUE(s.NewDatabase(0));
  for (const char* a : {"mailand@example.org", "rom@example.org"}) {
    s.Table1.Append();
    s.Table1.SetAsString(0, a);
    s.Table1.Post();
  }
  s.Table1.Append();
  s.Table1.SetAsString(0, "zaimai@example.org");
  s.FilterText = "mai";
  s.ApplyFilter();
  std::vector<std::string> seen;
  for (s.Table1.First(); !s.Table1.Eof(); s.Table1.Next()) seen.push_back(s.Table1.AsString(0));
  EXPECT_EQ(seen, (std::vector<std::string>{"mailand@example.org", "zaimai@example.org"}));
}

TEST(TMainState, DatabaseInACyrillicFolderIsFoundAgainAtTheNextStart) {
  TempDir dir;
  const std::string folder = dir.file("\xD0\x90\xD0\xB4\xD1\x80\xD0\xB5\xD1\x81\xD0\xB0"); // "Адреса"
  std::filesystem::create_directory(folder);
  const std::string table = folder + "/kunden.dbf";
  ScriptedSink sink;
  SinkGuard guard(&sink);
  {
    TMainState s;
    s.FormCreate(dir.path());
    ASSERT_TRUE(s.OpenDatabaseFile(table, false));
    s.FormDestroy();
  }
  TMainState next;
  next.FormCreate(dir.path());
  EXPECT_EQ(next.Options.DatabaseFile, table);
  EXPECT_TRUE(next.Table1.Active());
  EXPECT_EQ(next.Table1.FileName(), table);
  EXPECT_TRUE(sink.texts.empty()) << sink.texts.front();
}

TEST(TMainState, PathWithAControlCharacterIsRefusedWithAMessage) {
  TempDir dir;
  ScriptedSink sink;
  SinkGuard guard(&sink);
  TMainState s;
  s.FormCreate(dir.path());
  const std::string bad = dir.file("neu\nzeile.dbf");
  EXPECT_FALSE(s.OpenDatabaseFile(bad, false));
  ASSERT_EQ(sink.texts.size(), 1u);
  EXPECT_NE(sink.texts[0].find("Steuerzeichen"), std::string::npos) << sink.texts[0];
  EXPECT_EQ(sink.texts[0].find('\n'), std::string::npos) << sink.texts[0];
  EXPECT_FALSE(std::filesystem::exists(bad));
  EXPECT_FALSE(s.Table1.Active());
  EXPECT_EQ(s.Options.DatabaseFile, s.DefaultDatabaseFile());
  EXPECT_FALSE(std::filesystem::exists(dir.file("options.dat")));
}

TEST(TMainState, RememberedPathWithControlCharactersIsReportedShortAtStartUp) {
  TempDir dir;
  // A damaged or hostile options.dat: 250 characters with an escape
  // sequence and a line break in them.
  const std::string name = dir.path() + "\x1B[31m" + std::string(200, 'x') + "\r\n.dbf";
  ASSERT_LE(name.size(), 255u);
  postello::test::WriteFile(dir.file("options.dat"), Bytes().i32(0).i32(20).i32(20).i32(0).i32(0).i32(0).sstr(name).data);
  ScriptedSink sink;
  SinkGuard guard(&sink);
  TMainState s;
  s.FormCreate(dir.path());
  ASSERT_EQ(sink.texts.size(), 1u);
  const std::string& text = sink.texts[0];
  EXPECT_NE(text.find("Steuerzeichen"), std::string::npos) << text;
  for (char c : text) EXPECT_GE(static_cast<unsigned char>(c), 0x20u) << text;
  EXPECT_NE(text.find(dir.path() + "?[31m"), std::string::npos) << text;
  EXPECT_EQ(text.find(std::string(200, 'x')), std::string::npos) << "more than 200 characters quoted";
  EXPECT_FALSE(s.Table1.Active());
}
