// What loading a state file may do to the disk and to memory: a damaged
// file is kept aside once per distinct content, never through a symbolic
// link, and a huge file is not read whole.
#include "core/SafeFile.h"
#include "core/TKontoStore.h"
#include "core/TMailStore.h"
#include "core/TOptions.h"
#include "TestBytes.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>

using namespace postello;
using postello::test::Bytes;
using postello::test::ReadFile;
using postello::test::TempDir;
using postello::test::WriteFile;

namespace {

int CountEntries(const std::string& dir) {
  int n = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    (void)e;
    ++n;
  }
  return n;
}

// Runs body in a child process whose address space may grow by at most
// limitMb beyond what it holds now; returns the child's exit status (or -1
// when it died of a signal). A body that allocates more fails with
// std::bad_alloc.
int RunWithMemoryLimit(std::size_t limitMb, const std::function<int()>& body) {
  long pages = 0;
  {
    std::ifstream statm("/proc/self/statm");
    statm >> pages;
  }
  const rlim_t now = static_cast<rlim_t>(pages) * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE));
  const pid_t pid = ::fork();
  if (pid == 0) {
    const rlimit lim{now + limitMb * 1024 * 1024, now + limitMb * 1024 * 1024};
    ::setrlimit(RLIMIT_AS, &lim);
    int rc = 0;
    try {
      rc = body();
    } catch (const std::bad_alloc&) {
      rc = 100;
    } catch (...) {
      rc = 101;
    }
    ::_exit(rc);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A sparse file of `bytes` zero bytes: costs no disk space.
void MakeZeroFile(const std::string& path, off_t bytes) {
  const int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::ftruncate(fd, bytes), 0);
  ::close(fd);
}

constexpr off_t kTwoGigabytes = off_t{2} * 1024 * 1024 * 1024;

} // namespace

TEST(DamagedStateFile, ReadingItAgainAddsNoSecondCopyOfTheSameBytes) {
  TempDir dir;
  const std::string damaged = Bytes().i32(2).lstr("eins").data;
  WriteFile(dir.file("mails.dat"), damaged);
  for (int run = 0; run < 3; ++run) {
    TMailList mails;
    const TMailLoadResult r = TMailStore::Open(dir.path(), mails);
    EXPECT_NE(r.Error.find("mails.dat.defekt\" erhalten"), std::string::npos) << r.Error;
  }
  EXPECT_EQ(ReadFile(dir.file("mails.dat.defekt")), damaged);
  EXPECT_FALSE(std::filesystem::exists(dir.file("mails.dat.defekt2")));
  EXPECT_EQ(CountEntries(dir.path()), 2);
}

TEST(DamagedStateFile, DamagedTwiceDifferentlyKeepsDefektAndDefekt2) {
  TempDir dir;
  const std::string first = Bytes().i32(2).sstr("a").data;
  const std::string second = Bytes().i32(3).sstr("b").sstr("c").data;
  WriteFile(dir.file("konten.dat"), first);
  TKontoList konten;
  TKontoStore::Open(dir.path(), konten);
  WriteFile(dir.file("konten.dat"), second);
  const TKontoLoadResult r = TKontoStore::Open(dir.path(), konten);
  EXPECT_NE(r.Error.find("konten.dat.defekt2\" erhalten"), std::string::npos) << r.Error;
  EXPECT_EQ(ReadFile(dir.file("konten.dat.defekt")), first);
  EXPECT_EQ(ReadFile(dir.file("konten.dat.defekt2")), second);
  // The first damage again: its copy is there already.
  WriteFile(dir.file("konten.dat"), first);
  const TKontoLoadResult again = TKontoStore::Open(dir.path(), konten);
  EXPECT_NE(again.Error.find("konten.dat.defekt\" erhalten"), std::string::npos) << again.Error;
  EXPECT_FALSE(std::filesystem::exists(dir.file("konten.dat.defekt3")));
  // A copy of the same length but other bytes is not taken for the same.
  const std::string third = Bytes().i32(2).sstr("z").data;
  ASSERT_EQ(third.size(), first.size());
  WriteFile(dir.file("konten.dat"), third);
  TKontoStore::Open(dir.path(), konten);
  EXPECT_EQ(ReadFile(dir.file("konten.dat.defekt3")), third);
}

TEST(DamagedStateFile, StateFileThatIsASymbolicLinkIsNotCopied) {
  TempDir dir;
  TempDir elsewhere;
  const std::string damaged = Bytes().i32(1).lstr("x").data;
  WriteFile(elsewhere.file("echt.dat"), damaged);
  std::filesystem::create_symlink(elsewhere.file("echt.dat"), dir.file("mails.dat"));
  TMailList mails;
  const TMailLoadResult r = TMailStore::Open(dir.path(), mails);
  EXPECT_NE(r.Error.find("besch\xE4" "digt"), std::string::npos) << r.Error;
  EXPECT_EQ(r.Error.find("erhalten"), std::string::npos) << r.Error;
  EXPECT_FALSE(std::filesystem::exists(dir.file("mails.dat.defekt")));
  EXPECT_EQ(CountEntries(dir.path()), 1);
  EXPECT_EQ(CountEntries(elsewhere.path()), 1);
}

TEST(DamagedStateFile, CopyNeverWritesThroughALinkPlacedAtTheCopysName) {
  TempDir dir;
  TempDir elsewhere;
  WriteFile(dir.file("mails.dat"), Bytes().i32(1).lstr("x").data);
  // A dangling link where the copy would go must not let the copy land
  // in another folder.
  std::filesystem::create_symlink(elsewhere.file("ziel"), dir.file("mails.dat.defekt"));
  TMailList mails;
  const TMailLoadResult r = TMailStore::Open(dir.path(), mails);
  EXPECT_FALSE(std::filesystem::exists(elsewhere.file("ziel")));
  EXPECT_NE(r.Error.find("mails.dat.defekt2\" erhalten"), std::string::npos) << r.Error;
}

TEST(StateFileMemory, TwoGigabyteMailsDatOfZerosLoadsWithoutReadingItWhole) {
  TempDir dir;
  MakeZeroFile(dir.file("mails.dat"), kTwoGigabytes);
  const int rc = RunWithMemoryLimit(256, [&] {
    TMailList mails;
    mails.Add()->Subject = "replaced";
    const TMailLoadResult r = TMailStore::Open(dir.path(), mails);
    return r.FileFound && r.Error.empty() && mails.Count() == 0 ? 0 : 1;
  });
  EXPECT_EQ(rc, 0) << "100 means the file was read whole";
}

TEST(StateFileMemory, TwoGigabyteKontenAndOptionsOfZerosLoadWithoutReadingThemWhole) {
  TempDir dir;
  MakeZeroFile(dir.file("konten.dat"), kTwoGigabytes);
  MakeZeroFile(dir.file("options.dat"), kTwoGigabytes);
  EXPECT_EQ(RunWithMemoryLimit(256, [&] {
              TKontoList konten;
              const TKontoLoadResult r = TKontoStore::Open(dir.path(), konten);
              return r.FileFound && r.Error.empty() && konten.Count() == 0 ? 0 : 1;
            }),
            0);
  EXPECT_EQ(RunWithMemoryLimit(256, [&] {
              TOptions o;
              o.DatabaseFile = "vorher.dbf";
              const bool found = o.Load(dir.file("options.dat"));
              return found && o.BccCount == 1 && o.DatabaseFile.empty() ? 0 : 1;
            }),
            0);
}

TEST(StateFileMemory, AnnouncedTextLongerThanTheFileIsRefusedBeforeAllocating) {
  TempDir dir;
  WriteFile(dir.file("mails.dat"), Bytes().i32(1).i32(0x7FFFFFF0).raw("abc").data);
  const int rc = RunWithMemoryLimit(256, [&] {
    TMailList mails;
    const TMailLoadResult r = TMailStore::Open(dir.path(), mails);
    return r.Error.find("Read beyond end of file") != std::string::npos ? 0 : 1;
  });
  EXPECT_EQ(rc, 0);
}

TEST(StateFileMemory, AFolderInPlaceOfAStateFileCountsAsMissing) {
  TempDir dir;
  std::filesystem::create_directory(dir.file("mails.dat"));
  std::filesystem::create_directory(dir.file("konten.dat"));
  std::filesystem::create_directory(dir.file("options.dat"));
  const int rc = RunWithMemoryLimit(256, [&] {
    TMailList mails;
    TKontoList konten;
    TOptions o;
    const bool quiet = !TMailStore::Open(dir.path(), mails).FileFound &&
                       !TKontoStore::Open(dir.path(), konten).FileFound && !o.Load(dir.file("options.dat"));
    return quiet ? 0 : 1;
  });
  EXPECT_EQ(rc, 0);
}
