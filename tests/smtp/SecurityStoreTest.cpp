// sicherheit.dat: exact bytes, damaged files that allow nothing, the
// owner-only mode, and the trust object that asks once and remembers Yes.
#include "smtp/TSecurityStore.h"
#include "smtp/TStoredServerTrust.h"
#include "smtp/SmtpTestServer.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace postello;
using postello::test::ReadFileBytes;
using postello::test::TTempDir;

namespace {

const std::string kA(64, 'a');
const std::string kB = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";

std::string Dir(const TTempDir& dir) { return dir.Path().string() + "/"; }

void Write(const TTempDir& dir, const std::string& bytes) {
  std::ofstream(dir.Path() / "sicherheit.dat", std::ios::binary) << bytes;
}

unsigned Mode(const std::filesystem::path& path) {
  struct stat st {};
  stat(path.c_str(), &st);
  return st.st_mode & 0777;
}

} // namespace

TEST(SecurityStore, WritesOneSortedLineEachAndReadsItBack) {
  TTempDir dir;
  TSecurityStore store(Dir(dir));
  EXPECT_EQ(store.Load(), "");  // no file: nothing, silently
  store.Entry("mail.example.org:587").StartTlsSeen = true;
  store.Entry("mail.example.org:587").Pins = {kB, kA};
  store.Entry("relay.lan:25").PlainAuth = true;
  store.Entry("odd host%:25").PlainAuth = true;
  store.Save();
  const std::string bytes = ReadFileBytes(dir.Path() / "sicherheit.dat");
  EXPECT_EQ(bytes,
            "Postello sicherheit.dat 1\n"
            "mail.example.org:587 starttls\n"
            "mail.example.org:587 zertifikat " + kB + "\n"
            "mail.example.org:587 zertifikat " + kA + "\n"
            "odd%20host%25:25 klartext\n"
            "relay.lan:25 klartext\n");
  EXPECT_EQ(Mode(dir.Path() / "sicherheit.dat"), 0600u);

  TSecurityStore again(Dir(dir));
  EXPECT_EQ(again.Load(), "");
  EXPECT_EQ(again.Encode(), bytes);
  ASSERT_NE(again.Find("odd host%:25"), nullptr);
  EXPECT_TRUE(again.Find("odd host%:25")->PlainAuth);
  EXPECT_EQ(again.Find("mail.example.org:587")->Pins, (std::set<std::string>{kA, kB}));
  EXPECT_FALSE(again.Find("mail.example.org:587")->PlainAuth);
  EXPECT_EQ(again.Find("elsewhere:25"), nullptr);

  EXPECT_TRUE(again.Forget("mail.example.org:587"));
  EXPECT_FALSE(again.Forget("mail.example.org:587"));
  again.Save();
  EXPECT_EQ(ReadFileBytes(dir.Path() / "sicherheit.dat"),
            "Postello sicherheit.dat 1\nodd%20host%25:25 klartext\nrelay.lan:25 klartext\n");
}

TEST(SecurityStore, DamagedFilesAllowNothingAndSayWhere) {
  const std::string head = "Postello sicherheit.dat 1\n";
  const struct {
    std::string bytes;
    int line;
  } rows[] = {
      {"", 1},
      {"Postello sicherheit.dat 2\nrelay:25 klartext\n", 1},
      {"relay:25 klartext\n", 1},
      {head + "relay:25 klartext", 2},                       // no line end
      {head + "relay:25 klartext\r\n", 2},                   // a CR is part of the kind
      {head + "relay:25 Klartext\n", 2},
      {head + "relay:25 klartext ja\n", 2},
      {head + "relay:25 erlaubt\n", 2},
      {head + "relay:25\n", 2},
      {head + " klartext\n", 2},
      {head + "relay:25  klartext\n", 2},
      {head + "\nrelay:25 starttls\nrelay:25 zertifikat " + std::string(63, 'a') + "\n", 4},
      {head + "relay:25 zertifikat " + std::string(64, 'A') + "\n", 2},
      {head + "relay:25 zertifikat " + std::string(64, 'g') + "\n", 2},
      {head + "relay:25 zertifikat\n", 2},
      {head + "re%2lay:25 klartext\n", 2},
      {head + "relay%:25 klartext\n", 2},
      {head + "rel\xE4y:25 klartext\n", 2},
  };
  for (const auto& row : rows) {
    TTempDir dir;
    Write(dir, row.bytes + "");
    // The damage comes after an entry that would allow something.
    TSecurityStore store(Dir(dir));
    const std::string report = store.Load();
    EXPECT_NE(report.find("ist besch\xE4" "digt (Zeile " + std::to_string(row.line) + ")"), std::string::npos)
        << report << " / " << row.bytes;
    EXPECT_NE(report.find("Sie gilt als leer"), std::string::npos);
    EXPECT_TRUE(store.Servers().empty()) << row.bytes;
  }
  // Empty lines between entries are fine.
  TTempDir dir;
  Write(dir, head + "\nrelay:25 klartext\n\n");
  TSecurityStore store(Dir(dir));
  EXPECT_EQ(store.Load(), "");
  EXPECT_TRUE(store.Find("relay:25")->PlainAuth);
}

TEST(SecurityStore, OversizedFileIsNotReadAndSavingKeepsTheDamagedOne) {
  TTempDir dir;
  std::string big = "Postello sicherheit.dat 1\n";
  while (big.size() <= TSecurityStore::kMaxFileSize) big += "relay:25 klartext\n";
  Write(dir, big);
  TSecurityStore store(Dir(dir));
  EXPECT_NE(store.Load().find("zu gro\xDF"), std::string::npos);
  EXPECT_TRUE(store.Servers().empty());

  Write(dir, "Postello sicherheit.dat 1\nrelay:25 vielleicht\n");
  EXPECT_NE(store.Load(), "");
  store.Entry("mail:587").StartTlsSeen = true;
  store.Save();
  EXPECT_EQ(ReadFileBytes(dir.Path() / "sicherheit.dat"), "Postello sicherheit.dat 1\nmail:587 starttls\n");
  EXPECT_EQ(ReadFileBytes(dir.Path() / "sicherheit.dat.defekt"), "Postello sicherheit.dat 1\nrelay:25 vielleicht\n");
  // The next save has nothing damaged to keep.
  store.Save();
  EXPECT_FALSE(std::filesystem::exists(dir.Path() / "sicherheit.dat.defekt2"));
}

TEST(SecurityStore, ADirectoryInPlaceOfTheFileIsReported) {
  TTempDir dir;
  std::filesystem::create_directory(dir.Path() / "sicherheit.dat");
  TSecurityStore store(Dir(dir));
  EXPECT_NE(store.Load(), "");
  EXPECT_TRUE(store.Servers().empty());
}

TEST(SecurityStore, FingerprintsAsUsersTypeThem) {
  const std::string upperPairs = "01:23:45:67:89:AB:CD:EF:01:23:45:67:89:AB:CD:EF:"
                                 "01:23:45:67:89:AB:CD:EF:01:23:45:67:89:AB:CD:EF";
  EXPECT_EQ(TSecurityStore::ParseFingerprint(kB), kB);
  EXPECT_EQ(TSecurityStore::ParseFingerprint(upperPairs), kB);
  EXPECT_EQ(TSecurityStore::ParseFingerprint("01 23 45 67 89 ab cd ef 0123456789ABCDEF0123456789abcdef0123456789abcdef"),
            kB);
  for (const std::string& bad : {std::string(), kB.substr(1), kB + "0", kB.substr(1) + "g", "sha256:" + kB,
                                 std::string(64, 'x')})
    EXPECT_FALSE(TSecurityStore::ParseFingerprint(bad)) << bad;
}

TEST(StoredServerTrust, AsksOnceRemembersYesAndNotNo) {
  TTempDir dir;
  std::vector<std::string> asked;
  bool answer = false;
  {
    TStoredServerTrust trust(Dir(dir));
    EXPECT_EQ(trust.LoadError(), "");
    EXPECT_FALSE(trust.AllowPlainAuth("relay:25"));  // nobody to ask: No
    trust.Ask = [&](const std::string& q) {
      asked.push_back(q);
      return answer;
    };
    EXPECT_FALSE(trust.AllowPlainAuth("relay:25"));
    EXPECT_FALSE(trust.AllowPlainAuth("relay:25"));  // not asked again in this run
    EXPECT_EQ(asked, std::vector<std::string>{
                         "Der Server relay:25 bietet keine Verschl\xFCsselung an. Soll das Passwort trotzdem "
                         "unverschl\xFCsselt gesendet werden?"});
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / "sicherheit.dat"));  // No is not written
  }
  {
    // The next run asks again; Yes is written and holds from then on.
    TStoredServerTrust trust(Dir(dir));
    answer = true;
    trust.Ask = [&](const std::string& q) {
      asked.push_back(q);
      return answer;
    };
    EXPECT_TRUE(trust.AllowPlainAuth("relay:25"));
    EXPECT_TRUE(trust.AllowPlainAuth("relay:25"));
    EXPECT_EQ(asked.size(), 2u);
  }
  EXPECT_EQ(ReadFileBytes(dir.Path() / "sicherheit.dat"), "Postello sicherheit.dat 1\nrelay:25 klartext\n");
  EXPECT_EQ(Mode(dir.Path() / "sicherheit.dat"), 0600u);
  TStoredServerTrust later(Dir(dir));
  EXPECT_TRUE(later.AllowPlainAuth("relay:25"));
  EXPECT_FALSE(later.AllowPlainAuth("other:25"));
}

TEST(StoredServerTrust, CertificateQuestionShowsTheFingerprintAndYesPinsIt) {
  TTempDir dir;
  TStoredServerTrust trust(Dir(dir));
  std::vector<std::string> asked;
  trust.Ask = [&](const std::string& q) {
    asked.push_back(q);
    return q.find("Zertifikat abgelaufen") != std::string::npos;
  };
  const TPeerCertificate other{true, kA, TCertProblem::OtherName};
  const TPeerCertificate expired{true, kB, TCertProblem::Expired};
  EXPECT_FALSE(trust.TrustCertificate("mail:587", other));
  EXPECT_FALSE(trust.TrustCertificate("mail:587", other));
  EXPECT_TRUE(trust.TrustCertificate("mail:587", expired));
  EXPECT_TRUE(trust.TrustCertificate("mail:587", expired));
  EXPECT_FALSE(trust.TrustCertificate("mail:587", TPeerCertificate{true, "", TCertProblem::Untrusted}));
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_EQ(asked[1],
            "Der Server mail:587 legt ein Zertifikat vor, das nicht best\xE4tigt werden kann: Zertifikat abgelaufen."
            "\n\nSHA-256-Fingerabdruck:\n"
            "01:23:45:67:89:AB:CD:EF:01:23:45:67:89:AB:CD:EF:01:23:45:67:89:AB:CD:EF:01:23:45:67:89:AB:CD:EF"
            "\n\nSoll genau diesem Zertifikat f\xFCr diesen Server vertraut werden?");
  EXPECT_NE(asked[0].find("Zertifikat gilt f\xFCr einen anderen Namen."), std::string::npos);
  EXPECT_EQ(ReadFileBytes(dir.Path() / "sicherheit.dat"),
            "Postello sicherheit.dat 1\nmail:587 zertifikat " + kB + "\n");
  // Pinned for that server only.
  TStoredServerTrust later(Dir(dir));
  EXPECT_TRUE(later.TrustCertificate("mail:587", expired));
  EXPECT_FALSE(later.TrustCertificate("mail:465", expired));
}

TEST(StoredServerTrust, StarttlsIsNotedOnceAndOtherWritersAreKept) {
  TTempDir dir;
  TStoredServerTrust trust(Dir(dir));
  EXPECT_FALSE(trust.StartTlsSeen("mail:587"));
  trust.NoteStartTls("mail:587");
  EXPECT_TRUE(trust.StartTlsSeen("mail:587"));
  // Someone else (the command line) allows another server meanwhile.
  TSecurityStore other(Dir(dir));
  other.Load();
  other.Entry("relay:25").PlainAuth = true;
  other.Save();
  const auto before = std::filesystem::last_write_time(dir.Path() / "sicherheit.dat");
  trust.NoteStartTls("mail:587");  // already known: nothing written
  EXPECT_EQ(std::filesystem::last_write_time(dir.Path() / "sicherheit.dat"), before);
  trust.NoteStartTls("mail:465");
  EXPECT_EQ(ReadFileBytes(dir.Path() / "sicherheit.dat"),
            "Postello sicherheit.dat 1\nmail:465 starttls\nmail:587 starttls\nrelay:25 klartext\n");
}

TEST(StoredServerTrust, DamagedFileIsReportedAndNeverAllows) {
  TTempDir dir;
  Write(dir, "Postello sicherheit.dat 1\nrelay:25 klartext\nrelay:25 kaputt\n");
  TStoredServerTrust trust(Dir(dir));
  EXPECT_NE(trust.LoadError().find("(Zeile 3)"), std::string::npos) << trust.LoadError();
  EXPECT_FALSE(trust.AllowPlainAuth("relay:25"));
  EXPECT_FALSE(trust.StartTlsSeen("relay:25"));
  // A new decision replaces the damaged file; the old bytes stay beside it.
  trust.NoteStartTls("mail:587");
  EXPECT_EQ(ReadFileBytes(dir.Path() / "sicherheit.dat"), "Postello sicherheit.dat 1\nmail:587 starttls\n");
  EXPECT_EQ(ReadFileBytes(dir.Path() / "sicherheit.dat.defekt"),
            "Postello sicherheit.dat 1\nrelay:25 klartext\nrelay:25 kaputt\n");
  EXPECT_TRUE(trust.TakeProblems().empty());
}

TEST(StoredServerTrust, AFailedWriteIsReportedAndTheDecisionHoldsForTheRun) {
  TTempDir dir;
  // A data folder that is gone: nothing can be written there.
  const std::filesystem::path sub = dir.Path() / "fehlt";
  TStoredServerTrust trust(sub.string() + "/");
  trust.Ask = [](const std::string&) { return true; };
  EXPECT_TRUE(trust.AllowPlainAuth("relay:25"));
  EXPECT_TRUE(trust.AllowPlainAuth("relay:25"));
  const std::vector<std::string> problems = trust.TakeProblems();
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_NE(problems[0].find("konnte nicht gespeichert werden"), std::string::npos) << problems[0];
  EXPECT_TRUE(trust.TakeProblems().empty());
}
