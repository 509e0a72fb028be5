#include "editor/TSpellChecker.h"

#include "core/Cp1252.h"
#include "core/SafeFile.h"
#include "editor/AsciiCase.h"

#include <hunspell.hxx>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace postello {

namespace {

// A personal list is typed by hand; these bounds keep a damaged or foreign
// file from filling the memory.
constexpr std::size_t kMaxPersonalWords = 100000;
constexpr std::size_t kMaxWordBytes = 200;

bool IsLetter(unsigned char c) {
  if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) return true;
  if (c >= 0xC0) return c != 0xD7 && c != 0xF7;
  return c == 0x8A || c == 0x8C || c == 0x8E || c == 0x9A || c == 0x9C || c == 0x9E || c == 0x9F ||
         c == 0xAA || c == 0xB5 || c == 0xBA;
}

bool IsUpper(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7) || c == 0x8A || c == 0x8C ||
         c == 0x8E || c == 0x9F;
}

bool IsSpace(unsigned char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == 0xA0; }

bool IsWebAddress(std::string_view chunk) {
  auto starts = [&](std::string_view p) { return EqualsNoCaseAscii(chunk.substr(0, p.size()), p); };
  return chunk.find("://") != std::string_view::npos || starts("www.") || starts("(www.") ||
         starts("<www.") || chunk.find('@') != std::string_view::npos;
}

bool AllCapitals(std::string_view word) {
  for (unsigned char c : word)
    if (IsLetter(c) && !IsUpper(c)) return false;
  return true;
}

} // namespace

std::vector<std::string> TSpellChecker::InstalledDictionaries(const std::string& dir) {
  std::vector<std::string> found;
  for (const char* name : {"de_DE", "de_AT", "de_CH"}) {
    std::error_code ec;
    if (std::filesystem::is_regular_file(dir + "/" + name + ".aff", ec) &&
        std::filesystem::is_regular_file(dir + "/" + name + ".dic", ec))
      found.emplace_back(name);
  }
  return found;
}

TSpellChecker::TSpellChecker(const std::string& name, const std::string& personalListPath,
                             const std::string& dir)
    : name_(name), personalListPath_(personalListPath) {
  const std::string aff = dir + "/" + name + ".aff";
  const std::string dic = dir + "/" + name + ".dic";
  std::error_code ec;
  if (!std::filesystem::is_regular_file(aff, ec) || !std::filesystem::is_regular_file(dic, ec))
    throw ESpellError("Das W\xF6rterbuch \"" + name + "\" ist nicht installiert (" + dic + " fehlt).");
  hunspell_ = std::make_unique<Hunspell>(aff.c_str(), dic.c_str());
  const std::string enc = hunspell_->get_dict_encoding();
  dictUtf8_ = enc == "UTF-8" || enc == "utf-8" || enc == "UTF8";

  std::ifstream in(personalListPath_, std::ios::binary);
  std::string line;
  while (in && personal_.size() < kMaxPersonalWords) {
    line.clear();
    char c;
    bool tooLong = false;
    while (in.get(c) && c != '\n') {
      if (line.size() < kMaxWordBytes) line += c;
      else tooLong = true;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const bool ascii = std::all_of(line.begin(), line.end(), [](char ch) { return static_cast<unsigned char>(ch) < 0x80; });
    if (line.empty() || tooLong || (!ascii && !LooksLikeUtf8(line))) continue;
    personal_.push_back(line);
    hunspell_->add(dictUtf8_ ? line : Utf8ToCp1252(line));
  }
}

TSpellChecker::~TSpellChecker() = default;

bool TSpellChecker::KnownByDictionary(const std::string& word) {
  auto it = known_.find(word);
  if (it != known_.end()) return it->second;
  // A word the dictionary's code page cannot hold cannot be in it; Latin-1
  // dictionaries lack the few Windows-1252 extras such as the euro sign.
  const bool ok = hunspell_->spell(dictUtf8_ ? Cp1252ToUtf8(word) : word);
  known_.emplace(word, ok);
  return ok;
}

bool TSpellChecker::IsCorrect(std::string_view word) {
  if (word.size() < 2 || AllCapitals(word)) return true;
  for (unsigned char c : word)
    if (c >= '0' && c <= '9') return true;
  return KnownByDictionary(std::string(word));
}

std::vector<TMisspelling> TSpellChecker::Check(std::string_view text) {
  std::vector<TMisspelling> out;
  // Placeholders are filled in by the merge, so they are blanked before
  // the text is cut into words; a placeholder may hold spaces.
  std::string work(text);
  for (std::size_t p = work.find("[%"); p != std::string::npos; p = work.find("[%", p)) {
    const std::size_t end = work.find(']', p);
    const std::size_t stop = end == std::string::npos ? work.size() : end + 1;
    std::fill(work.begin() + static_cast<std::ptrdiff_t>(p), work.begin() + static_cast<std::ptrdiff_t>(stop), ' ');
    p = stop;
  }
  std::size_t i = 0;
  const std::size_t n = work.size();
  while (i < n) {
    while (i < n && IsSpace(static_cast<unsigned char>(work[i]))) ++i;
    std::size_t chunkEnd = i;
    while (chunkEnd < n && !IsSpace(static_cast<unsigned char>(work[chunkEnd]))) ++chunkEnd;
    const std::string_view chunk(work.data() + i, chunkEnd - i);
    if (!chunk.empty() && !IsWebAddress(chunk)) {
      std::size_t j = i;
      while (j < chunkEnd) {
        while (j < chunkEnd && !IsLetter(static_cast<unsigned char>(work[j]))) ++j;
        std::size_t k = j;
        // A hyphen between letters belongs to the word ("E-Mail").
        while (k < chunkEnd && (IsLetter(static_cast<unsigned char>(work[k])) ||
                                (work[k] == '-' && k + 1 < chunkEnd && k > j &&
                                 IsLetter(static_cast<unsigned char>(work[k + 1])))))
          ++k;
        // A word glued to digits ("3er", "A4") is a code, not prose.
        const bool digits = (j > i && std::isdigit(static_cast<unsigned char>(work[j - 1]))) ||
                            (k < chunkEnd && std::isdigit(static_cast<unsigned char>(work[k])));
        if (k > j && !digits && !IsCorrect(std::string_view(work.data() + j, k - j)))
          out.push_back({j, k - j});
        j = k;
      }
    }
    i = chunkEnd;
  }
  return out;
}

std::vector<std::string> TSpellChecker::Suggestions(std::string_view word) {
  std::vector<std::string> out;
  const std::string asked = dictUtf8_ ? Cp1252ToUtf8(word) : std::string(word);
  for (const std::string& s : hunspell_->suggest(asked)) {
    if (out.size() >= kMaxSuggestions) break;
    std::string w = dictUtf8_ ? Utf8ToCp1252(s) : s;
    if (dictUtf8_ && Cp1252ToUtf8(w) != s) continue; // lost characters
    out.push_back(std::move(w));
  }
  return out;
}

void TSpellChecker::AddToPersonalList(std::string_view word) {
  const std::string utf8 = Cp1252ToUtf8(word);
  if (utf8.empty() || utf8.size() > kMaxWordBytes) return;
  if (std::find(personal_.begin(), personal_.end(), utf8) == personal_.end()) {
    std::vector<std::string> next = personal_;
    next.push_back(utf8);
    std::sort(next.begin(), next.end());
    std::string bytes;
    for (const std::string& w : next) bytes += w + "\n";
    SaveFileSafely(personalListPath_, bytes);
    personal_ = std::move(next);
  }
  hunspell_->add(dictUtf8_ ? utf8 : std::string(word));
  known_[std::string(word)] = true;
}

} // namespace postello
