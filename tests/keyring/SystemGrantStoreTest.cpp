// The shared grant store without a reachable keyring: everything goes to
// the private file, nothing is listed as being in the keyring, and an
// account that never signed in costs no keyring call.
#include "keyring/TSystemGrantStore.h"
#include "smtp/SmtpTestServer.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>

using namespace postello;
using postello::test::TTempDir;

namespace {

TOAuthGrant Grant() {
  TOAuthGrant g;
  g.Account = "versand@example.org";
  g.Server = "smtp.example.org:587";
  g.Provider = "google";
  g.TokenUrl = "https://oauth2.googleapis.com/token";
  g.ClientId = "c";
  g.AccessToken = "AT";
  g.RefreshToken = "RT";
  g.ExpiresAt = 1;
  return g;
}

class SystemGrantStoreTest : public ::testing::Test {
protected:
  void SetUp() override {
    // A session bus that is not there: the Secret Service cannot be asked.
    setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus", 1);
    unsetenv("POSTELLO_KEYRING");
  }
  TTempDir Dir;
  std::string Folder() const { return Dir.Path().string() + "/"; }
};

TEST_F(SystemGrantStoreTest, WithoutKeyringTheGrantGoesToThePrivateFile) {
  TSystemGrantStore store(Folder());
  const auto start = std::chrono::steady_clock::now();
  // Never signed in: not even the unreachable keyring is asked.
  EXPECT_FALSE(store.Load(Grant().Key()).has_value());
  store.Save(Grant());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_FALSE(store.KeyringUsable());
  EXPECT_EQ(store.Where(), Folder() + "oauth.dat");
  struct stat st {};
  ASSERT_EQ(stat((Dir.Path() / "oauth.dat").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_FALSE(std::filesystem::exists(Dir.Path() / TSystemGrantStore::IndexName));

  // Another program (the command line, the window) finds it.
  TSystemGrantStore other(Folder());
  ASSERT_TRUE(other.Load(Grant().Key()).has_value());
  EXPECT_EQ(other.Load(Grant().Key())->RefreshToken, "RT");
  EXPECT_TRUE(other.Remove(Grant().Key()));
  EXPECT_FALSE(store.Load(Grant().Key()).has_value());
  EXPECT_FALSE(other.Remove(Grant().Key()));
}

TEST_F(SystemGrantStoreTest, KeyringCanBeLeftOut) {
  setenv("POSTELLO_KEYRING", "0", 1);
  TSystemGrantStore store(Folder());
  EXPECT_FALSE(store.KeyringUsable());
  store.Save(Grant());
  EXPECT_TRUE(TFileGrantStore(Folder()).Load(Grant().Key()).has_value());
  unsetenv("POSTELLO_KEYRING");
}

} // namespace
