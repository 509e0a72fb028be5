#pragma once
// The grants in a file of the data folder, for machines without a keyring.
#include "oauth/TGrantStore.h"

#include <map>
#include <string>

namespace postello {

// oauth.dat: "postello-oauth 1", then each grant as TOAuthGrant::Encode
// writes it, grants separated by an empty line. The file holds tokens, so
// it is written with mode 0600, always as a whole and with the safe save.
// A file that is too big or damaged reads as holding no grants (signing
// in again writes it new); a damaged copy is kept beside it.
class TFileGrantStore : public TGrantStore {
public:
  // dir: the data folder, ending in '/'.
  explicit TFileGrantStore(std::string dir);

  std::optional<TOAuthGrant> Load(const std::string& key) override;
  void Save(const TOAuthGrant& grant) override;
  bool Remove(const std::string& key) override;
  std::string Where() const override { return FPath; }

  static constexpr const char* FileName = "oauth.dat";
  static constexpr std::uint64_t MaxFileSize = 4 * 1024 * 1024;

private:
  std::map<std::string, TOAuthGrant> ReadAll();
  void WriteAll(const std::map<std::string, TOAuthGrant>& grants);

  std::string FPath;
};

} // namespace postello
