#pragma once
// What the send run tests share: an address table on disk, a mail with an
// inline picture and an attachment, an account pointing at a test server,
// and Python's reading of the messages that arrived.
#include "addressdb/AddressDb.h"
#include "addressdb/TDbf.h"
#include "core/TKontoStore.h"
#include "core/TMailStore.h"
#include "core/TOptions.h"
#include "mime/ZIzorAvarivi2000.h"
#include "smtp/SmtpTestServer.h"
#include "send/TSendRun.h"

#include <gtest/gtest.h>

#include <openssl/sha.h>

#include <cstdio>
#include <random>
#include <string>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

namespace postello::test {

// One address record: eMail, Name, Vorname, Anrede, Info 1, Info 2.
using TAddress = std::vector<std::string>;

// Creates path as a table with the program's fields and two info fields
// and appends the records; the table is left open, filtering on.
inline void MakeAddressTable(TDbf& table, const std::string& path, const std::vector<TAddress>& records) {
  table.SetFileName(path);
  CreateAddressTable(table, 2);
  for (const TAddress& r : records) {
    table.Append();
    for (std::size_t i = 0; i < r.size(); ++i) table.SetAsString(static_cast<int>(i), r[i]);
    table.Post();
  }
  table.SetFiltered(true);
  table.First();
}

inline std::string RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937 random(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(random() & 0xFF);
  return s;
}

inline std::string Sha256Hex(const std::string& bytes) {
  unsigned char digest[SHA256_DIGEST_LENGTH];
  SHA256(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), digest);
  std::string hex;
  char two[3];
  for (unsigned char b : digest) {
    std::snprintf(two, sizeof two, "%02x", b);
    hex += two;
  }
  return hex;
}

inline void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// Python's description of the messages (tests/data/send/describe_sent.py),
// one block per file, texts in ISO-8859-1.
inline std::string DescribeSent(const std::vector<std::filesystem::path>& files) {
  std::string command = "/usr/bin/python3 " + std::string(POSTELLO_TEST_DATA) + "/send/describe_sent.py";
  for (const auto& f : files) command += " '" + f.string() + "'";
  command += " 2>&1";
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return "popen failed";
  char buffer[4096];
  std::size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, got);
  const int status = pclose(pipe);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) output += "\n(describe_sent.py failed)";
  return output;
}

// The block of one file out of DescribeSent's output.
inline std::string Block(const std::string& all, const std::string& fileName) {
  const std::string head = "== " + fileName + "\n";
  const std::size_t b = all.find(head);
  if (b == std::string::npos) return {};
  const std::size_t e = all.find("\n== ", b + head.size());
  return all.substr(b + head.size(), e == std::string::npos ? std::string::npos : e + 1 - b - head.size());
}

// A program folder (ending in '/') for runs of postello-cli: options.dat
// naming adr.dbf there, konto as the only account, the text mail "Hallo"
// greeting [%Vorname], and the table of people.
inline void MakeSendFolder(const std::string& folder, const TKontoRec& konto, const std::vector<TAddress>& people) {
  TOptions options;
  options.DatabaseFile = folder + "adr.dbf";
  WriteBytes(folder + "options.dat", options.Encode());
  TKontoList konten;
  *konten.Add() = konto;
  TKontoStore::Save(folder, konten);
  TMailList mails;
  TMailRec* m = mails.Add();
  m->Subject = "Hallo";
  m->MailType = 2;
  m->PlainText = "Hallo [%Vorname]";
  TMailStore::Save(folder, mails);
  TDbf table;
  MakeAddressTable(table, options.DatabaseFile, people);
  table.Close();
}

// While it lives, no file may grow past limit bytes: a write beyond fails
// with EFBIG (the signal it would raise is ignored), as on a full disk.
class TFileSizeLimit {
public:
  explicit TFileSizeLimit(rlim_t limit) {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignore, &FOldAction);
    getrlimit(RLIMIT_FSIZE, &FSaved);
    rlimit small = FSaved;
    small.rlim_cur = limit;
    setrlimit(RLIMIT_FSIZE, &small);
  }
  ~TFileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &FSaved);
    sigaction(SIGXFSZ, &FOldAction, nullptr);
  }
  TFileSizeLimit(const TFileSizeLimit&) = delete;
  TFileSizeLimit& operator=(const TFileSizeLimit&) = delete;

private:
  struct sigaction FOldAction {};
  rlimit FSaved{};
};

// What a run works on: a temporary folder for the table, the message,
// the accounts and mails with their cursors, and the run itself.
class TSendRunParts : public ::testing::Test {
protected:
  TSendRunParts() : Run(Msg, Table) { Msg.ApplyFormSettings(); }

  TTempDir Dir;
  TDbf Table;
  ZIzorAvarivi2000 Msg;
  TKontoRec* CurKonto = nullptr;
  TKontoList Konten{&CurKonto};
  TMailRec* CurMail = nullptr;
  TMailList Mails{&CurMail};
  TSendRun Run;
};

// The frame of the tests that drive a whole run: a table in a temporary
// folder, one account, one text mail, the journal written there.
class TSendRunFixture : public ::testing::Test {
protected:
  TSendRunFixture() : Run(Msg, Table) { Msg.ApplyFormSettings(); }
  void TearDown() override { Table.Close(); }

  // people recipients pN@example.org named NN, the account
  // verein@example.org at server, the mail "Hallo [%Name]"; returns the
  // account for more settings.
  TKontoRec* PrepareRun(int people, const std::string& server) {
    std::vector<TAddress> records;
    for (int i = 1; i <= people; ++i)
      records.push_back({"p" + std::to_string(i) + "@example.org", "N" + std::to_string(i), "", "", "", ""});
    MakeAddressTable(Table, (Dir.Path() / "adr.dbf").string(), records);
    Rows = ReadRecipientList(Table, 0);
    TKontoRec* k = Konten.Add();
    k->Email = "verein@example.org";
    k->Server = server;
    TMailRec* m = Mails.Add();
    m->Subject = "Hallo";
    m->MailType = 2;
    m->PlainText = "Hallo [%Name]";
    Choice.KontoIndex = 0;
    Choice.MailIndex = 0;
    Run.JournalDir = Dir.Path().string();
    return k;
  }

  TTempDir Dir;
  ZIzorAvarivi2000 Msg;
  TDbf Table;
  TSendRun Run;
  TRecipientList Rows;
  TKontoList Konten;
  TMailList Mails;
  TSendChoice Choice;
};

// The value of the line starting with key inside a block.
inline std::string Line(const std::string& block, const std::string& key) {
  const std::string text = "\n" + block;
  const std::string k = "\n" + key + ": ";
  std::size_t b = text.find(k);
  if (b == std::string::npos) return "(no " + key + ")";
  b += k.size();
  return text.substr(b, text.find('\n', b) - b);
}

// A text as the description writes it.
inline std::string Escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\') out += "\\\\";
    else if (c == '\r') out += "\\r";
    else if (c == '\n') out += "\\n";
    else out += c;
  }
  return out;
}

} // namespace postello::test
