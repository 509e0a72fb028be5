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
