#pragma once
// The grant store the window and the command line share: the system
// keyring when there is one, else the file in the data folder.
#include "oauth/TFileGrantStore.h"

#include <memory>
#include <string>

namespace postello {

// Grants go to the keyring (Secret Service, through QtKeychain) under the
// service "Postello" and the grant's key. When the keyring cannot be
// reached (no D-Bus session, no Secret Service, a program built without
// QtKeychain) they go to TFileGrantStore in the data folder instead; the
// first failure is remembered, so a run without a keyring does not wait
// for it again and again. Loading looks in both places, so a grant saved
// to the file on a day without keyring is still found.
//
// The keys of the grants in the keyring are listed in oauth-schluessel.dat
// (no secrets, one percent-encoded key a line): an account that never signed in costs no
// keyring call, so users without OAuth never see the keyring ask to be
// unlocked.
//
// Setting POSTELLO_KEYRING=0 leaves the keyring alone altogether.
class TSystemGrantStore : public TGrantStore {
public:
  // dir: the data folder, ending in '/'.
  explicit TSystemGrantStore(const std::string& dir);
  ~TSystemGrantStore() override;

  std::optional<TOAuthGrant> Load(const std::string& key) override;
  void Save(const TOAuthGrant& grant) override;
  bool Remove(const std::string& key) override;
  std::string Where() const override;

  // Whether the keyring took part so far (false once it failed).
  bool KeyringUsable() const { return FKeyring; }

  static constexpr const char* IndexName = "oauth-schluessel.dat";

private:
  bool Listed(const std::string& key) const;
  void List(const std::string& key, bool listed);

  TFileGrantStore FFile;
  std::string FIndexPath;
  bool FKeyring = false;
};

} // namespace postello
