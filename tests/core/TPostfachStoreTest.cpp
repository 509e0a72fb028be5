// postfaecher.dat: the reply mailboxes beside konten.dat.
#include "core/TPostfachStore.h"
#include "TestBytes.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

using namespace postello;
using postello::test::Bytes;
using postello::test::TempDir;

namespace {

TKontoList ThreeKonten() {
  TKontoList konten;
  for (const char* name : {"Erstes", "Zweites", "Drittes"}) {
    TKontoRec* k = konten.Add();
    k->Absender = name;
    k->Email = "versand@example.org";
    k->Server = "smtp.example.org:587";
  }
  konten[1].Mailbox = {"imap.example.org:993", "r\xFC" "ck", CodePassw("geheim"), false, "INBOX", "Postello/Verarbeitet"};
  konten[2].Mailbox = {"[::1]:143", "x", "", true, "Eingang", "Erledigt"};
  return konten;
}

} // namespace

TEST(TPostfachStore, BytesAndRoundTripKeepingKontenDat) {
  TempDir dir;
  const TKontoList konten = ThreeKonten();
  TKontoList plain = ThreeKonten();
  for (TKontoRec& k : plain) k.Mailbox = {};
  TKontoStore::Save(dir.path(), konten);
  EXPECT_EQ(postello::test::ReadFile(dir.file("konten.dat")), TKontoStore::Encode(plain));
  Bytes b;
  b.raw("PPF1").i32(2);
  b.i32(1).sstr("Zweites").sstr("versand@example.org").sstr("smtp.example.org:587");
  b.sstr("imap.example.org:993").sstr("r\xFC" "ck").sstr("3E413543383D").u8(0).sstr("INBOX").sstr("Postello/Verarbeitet");
  b.i32(2).sstr("Drittes").sstr("versand@example.org").sstr("smtp.example.org:587");
  b.sstr("[::1]:143").sstr("x").sstr("").u8(1).sstr("Eingang").sstr("Erledigt");
  EXPECT_EQ(postello::test::ReadFile(dir.file("postfaecher.dat")), b.data);
  struct stat st {};
  ASSERT_EQ(::stat(dir.file("postfaecher.dat").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  TKontoList back;
  ASSERT_EQ(TKontoStore::Open(dir.path(), back).Error, "");
  ASSERT_EQ(back.Count(), 3u);
  EXPECT_EQ(TPostfachStore::Encode(back), b.data);
  EXPECT_EQ(DeCodePassw(back[1].Mailbox.Password), "geheim");

  // Deleting an account here keeps each mailbox with its own account.
  back.Delete(0);
  TKontoStore::Save(dir.path(), back);
  TKontoList moved;
  ASSERT_EQ(TKontoStore::Open(dir.path(), moved).Error, "");
  EXPECT_EQ(moved[0].Mailbox.Server, "imap.example.org:993");
  EXPECT_EQ(moved[1].Mailbox.Server, "[::1]:143");
  EXPECT_TRUE(moved[1].Mailbox.OAuth);
}

TEST(TPostfachStore, NoFileWithoutMailbox) {
  TempDir dir;
  TKontoList konten = ThreeKonten();
  for (TKontoRec& k : konten) k.Mailbox = {};
  TKontoStore::Save(dir.path(), konten);
  EXPECT_FALSE(std::filesystem::exists(dir.file("postfaecher.dat")));
}

TEST(TPostfachStore, DamagedFileIsReportedKeptAsideAndChangesNoAccount) {
  TempDir dir;
  TKontoStore::Save(dir.path(), ThreeKonten());
  const std::string good = postello::test::ReadFile(dir.file("postfaecher.dat"));
  const std::size_t oauthByte = 8 + 4 + 8 + 20 + 21 + 21 + 5 + 13;  // the first entry's OAuth flag
  ASSERT_EQ(good[oauthByte], '\0');
  std::string badFlag = good;
  badFlag[oauthByte] = '\x02';
  for (const std::string& bad : {good.substr(0, good.size() - 3), "XXXX" + good.substr(4), badFlag}) {
    postello::test::WriteFile(dir.file("postfaecher.dat"), bad);
    TKontoList back;
    const TKontoLoadResult r = TKontoStore::Open(dir.path(), back);
    EXPECT_NE(r.Error.find("postfaecher.dat\" ist besch\xE4" "digt"), std::string::npos) << r.Error;
    ASSERT_EQ(back.Count(), 3u);
    for (const TKontoRec& k : back) EXPECT_EQ(k.Mailbox.Server, "");
    EXPECT_EQ(postello::test::ReadFile(dir.file("postfaecher.dat.defekt")).substr(0, 4), bad.substr(0, 4));
    std::filesystem::remove(dir.file("postfaecher.dat.defekt"));
  }
}

TEST(TPostfachStore, ServerText) {
  const struct {
    const char* Text;
    const char* Reason;
  } cases[] = {
      {"imap.example.org:993", ""},
      {"[2001:db8::1]:993", ""},
      {"", "Der IMAP-Server fehlt (HOST:PORT, z. B. imap.example.org:993)."},
      {"imap.example.org", "IMAP-Server \"imap.example.org\": der Port fehlt (HOST:PORT, z. B. imap.example.org:993)."},
      {"imap.example.org:0", "IMAP-Server \"imap.example.org:0\": der Port muss eine Zahl von 1 bis 65535 sein."},
      {"imap.example.org:65536", "IMAP-Server \"imap.example.org:65536\": der Port muss eine Zahl von 1 bis 65535 sein."},
      {"imap.example.org:99999999999999999999",
       "IMAP-Server \"imap.example.org:99999999999999999999\": der Port muss eine Zahl von 1 bis 65535 sein."},
      {":993", "IMAP-Server \":993\": der Rechnername fehlt (HOST:PORT, z. B. imap.example.org:993)."},
      {"2001:db8::1:993", "IMAP-Server \"2001:db8::1:993\": eine IPv6-Adresse steht in eckigen Klammern, z. B. "
                          "[2001:db8::1]:993."},
      {"[2001:db8::1:993", "IMAP-Server \"[2001:db8::1:993\": die IPv6-Adresse in eckigen Klammern ist unvollst\xE4ndig."},
      {"[::g]:993", "IMAP-Server \"[::g]:993\": die IPv6-Adresse enth\xE4lt unerlaubte Zeichen."},
      {"imap example.org:993", "IMAP-Server \"imap example.org:993\": der Rechnername enth\xE4lt unerlaubte Zeichen."},
  };
  for (const auto& c : cases) EXPECT_EQ(TPostfachStore::CheckServer(c.Text), c.Reason) << c.Text;
  EXPECT_EQ(TPostfachStore::CheckFolder("Postello/Verarbeitet", "Ordner"), "");
  EXPECT_EQ(TPostfachStore::CheckFolder("", "Ordner"), "Ordner: der Name fehlt.");
  EXPECT_EQ(TPostfachStore::CheckFolder("a\rb", "Ordner"), "Ordner \"a\rb\": der Name enth\xE4lt ein Steuerzeichen.");
}
