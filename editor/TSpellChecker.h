#pragma once
// Spell checking of Windows-1252 text with a Hunspell dictionary and the
// user's personal word list. Text the merge fills in or that is no prose
// (placeholders, addresses, web addresses, words in capitals) is skipped.
#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class Hunspell;

namespace postello {

// A dictionary could not be loaded; the message is German and names the file.
class ESpellError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// One unknown word: byte offset and length in the checked text.
struct TMisspelling {
  std::size_t pos = 0;
  std::size_t len = 0;
  bool operator==(const TMisspelling&) const = default;
};

class TSpellChecker {
public:
  static constexpr const char* kSystemDir = "/usr/share/hunspell";
  static constexpr std::size_t kMaxSuggestions = 8;

  // The German dictionaries the editor offers (de_DE, de_AT, de_CH) that
  // are installed in dir, in that order.
  static std::vector<std::string> InstalledDictionaries(const std::string& dir = kSystemDir);

  // Loads dir/name.aff and dir/name.dic and the personal list at
  // personalListPath (UTF-8, one word a line; missing is fine).
  // Throws ESpellError.
  TSpellChecker(const std::string& name, const std::string& personalListPath,
                const std::string& dir = kSystemDir);
  ~TSpellChecker();
  TSpellChecker(const TSpellChecker&) = delete;
  TSpellChecker& operator=(const TSpellChecker&) = delete;

  const std::string& Name() const { return name_; }

  // The unknown words of text (Windows-1252), in order.
  std::vector<TMisspelling> Check(std::string_view text);

  // True when word (Windows-1252) is known or is no word to check.
  bool IsCorrect(std::string_view word);

  // Up to kMaxSuggestions replacements, Windows-1252; words the code page
  // cannot hold are left out.
  std::vector<std::string> Suggestions(std::string_view word);

  // Adds word to the personal list and saves the list at once, so it is
  // known after a restart. Throws ESaveError.
  void AddToPersonalList(std::string_view word);

private:
  bool KnownByDictionary(const std::string& word);

  std::string name_;
  std::string personalListPath_;
  std::unique_ptr<Hunspell> hunspell_;
  bool dictUtf8_ = true;
  std::vector<std::string> personal_; // UTF-8, as saved
  // Re-highlighting asks for the same words again and again; Hunspell's
  // compound analysis of German is the slow part, so answers are kept.
  std::unordered_map<std::string, bool> known_;
};

} // namespace postello
