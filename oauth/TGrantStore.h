#pragma once
// Where OAuth grants are kept between runs.
#include "oauth/TOAuthGrant.h"

#include <optional>
#include <string>

namespace postello {

// A place for grants, filed by TOAuthGrant::Key. Implementations are the
// file in the data folder (TFileGrantStore) and the system keyring. A
// store may be used from any thread, one call at a time (TOAuthTokens
// serialises its calls).
class TGrantStore {
public:
  virtual ~TGrantStore() = default;
  virtual std::optional<TOAuthGrant> Load(const std::string& key) = 0;
  // Throws std::runtime_error (German) when the grant cannot be kept.
  virtual void Save(const TOAuthGrant& grant) = 0;
  // True when there was a grant to remove. Throws as Save.
  virtual bool Remove(const std::string& key) = 0;
  // Where the grants are, for the user ("Schl\xFCsselbund", a file name).
  virtual std::string Where() const = 0;
};

} // namespace postello
