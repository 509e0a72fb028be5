#pragma once
// The dictionary the user chose in the editor, kept in a small text file in
// the data folder so the next start checks in the same language.
#include <string>
#include <vector>

namespace postello {

class TSpellChoice {
public:
  static constexpr const char* kFileName = "woerterbuch-sprache.txt";
  static constexpr const char* kPersonalListName = "woerterbuch.txt";

  // The remembered name when it is one of installed, otherwise the first
  // installed one; empty when none is installed.
  static std::string Load(const std::string& dataDir, const std::vector<std::string>& installed);

  // Remembers name. Throws ESaveError.
  static void Save(const std::string& dataDir, const std::string& name);
};

} // namespace postello
