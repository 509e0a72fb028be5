#include "core/ProgDir.h"
#include "TestBytes.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

using namespace postello;

TEST(ProgDir, WritableProgramFolderHoldsTheStateFiles) {
  postello::test::TempDir dir;
  EXPECT_EQ(ResolveProgDir(dir.path()), dir.path());
  EXPECT_EQ(WithTrailingSlash("/a/b"), "/a/b/");
  EXPECT_EQ(WithTrailingSlash("/"), "/");
}

TEST(ProgDir, ReadOnlyProgramFolderFallsBackToTheUserDataFolder) {
  postello::test::TempDir data;
  const char* old = std::getenv("XDG_DATA_HOME");
  const std::string saved = old ? old : "";
  ::setenv("XDG_DATA_HOME", data.path().c_str(), 1);
  const std::string dir = ResolveProgDir("/proc/self");
  if (old) ::setenv("XDG_DATA_HOME", saved.c_str(), 1); else ::unsetenv("XDG_DATA_HOME");
  EXPECT_EQ(dir, data.path() + "Postello/");
  EXPECT_TRUE(std::filesystem::is_directory(dir));
}

namespace {

// The user data folder ResolveProgDir picks with XDG_DATA_HOME set to data.
std::string ResolveWithDataHome(const std::string& programDir, const std::string& data) {
  const char* old = std::getenv("XDG_DATA_HOME");
  const std::string saved = old ? old : "";
  ::setenv("XDG_DATA_HOME", data.c_str(), 1);
  const std::string dir = ResolveProgDir(programDir);
  if (old) ::setenv("XDG_DATA_HOME", saved.c_str(), 1); else ::unsetenv("XDG_DATA_HOME");
  return dir;
}

} // namespace

// Run by root, an installed program found /usr/bin writable and would have
// put the user's mails.dat beside the program.
TEST(ProgDir, InstalledProgramUsesTheUserDataFolderEvenWhenItsFolderIsWritable) {
  postello::test::TempDir prefix, data;
  std::filesystem::create_directories(prefix.path() + "bin");
  std::filesystem::create_directories(prefix.path() + "share/applications");
  postello::test::WriteFile(prefix.path() + "share/applications/postello.desktop", "[Desktop Entry]\n");
  const std::string dir = ResolveWithDataHome(prefix.path() + "bin", data.path());
  EXPECT_EQ(dir, data.path() + "Postello/");
  EXPECT_TRUE(std::filesystem::is_directory(dir));
  EXPECT_FALSE(std::filesystem::exists(prefix.path() + "bin/Postello"));
}

// Another program's desktop entry or an empty share folder does not make a
// build tree an installation.
TEST(ProgDir, BuildTreeWithoutOurDesktopEntryKeepsTheProgramFolder) {
  postello::test::TempDir prefix, data;
  std::filesystem::create_directories(prefix.path() + "bin");
  std::filesystem::create_directories(prefix.path() + "share/applications");
  postello::test::WriteFile(prefix.path() + "share/applications/other.desktop", "[Desktop Entry]\n");
  EXPECT_EQ(ResolveWithDataHome(prefix.path() + "bin", data.path()), prefix.path() + "bin/");
  EXPECT_EQ(ResolveWithDataHome(prefix.path() + "bin/", data.path()), prefix.path() + "bin/");
  EXPECT_FALSE(std::filesystem::exists(data.path() + "Postello"));
}
