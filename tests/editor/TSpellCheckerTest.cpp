#include "editor/TSpellChecker.h"
#include "editor/TSpellChoice.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

using namespace postello;

namespace {

struct TempDir {
  std::string path;
  TempDir() {
    char tmpl[] = "/tmp/postello-spell-XXXXXX";
    path = std::string(mkdtemp(tmpl)) + "/";
  }
  ~TempDir() { std::filesystem::remove_all(path); }
};

std::vector<std::string> Marked(TSpellChecker& c, const std::string& text) {
  std::vector<std::string> words;
  for (const TMisspelling& m : c.Check(text)) words.push_back(text.substr(m.pos, m.len));
  return words;
}

} // namespace

TEST(TSpellCheckerTest, MarksOnlyUnknownProseWords) {
  TempDir dir;
  TSpellChecker c("de_DE", dir.path + TSpellChoice::kPersonalListName);
  struct Case {
    std::string text;
    std::vector<std::string> marked;
  } cases[] = {
      {"Hallo [%VORNAME], wir laden Sie ein.", {}},
      {"Liebe [%Vor Name] und [%Nchname]", {}},
      {"Schreiben Sie an info@beispeil-firma.de bitte", {}},
      {"Siehe https://www.beispeil.de/agebot und www.beispeil.de.", {}},
      {"Das ANGEBTO gilt nur heute", {}},
      {"Wir bieten ein guenstiges Angebot", {"guenstiges"}},
      {"Die Wohnungg ist sch\xF6n, \xFC" "bermorgen Fr\xFChst\xFC" "ck.", {"Wohnungg"}},
      {"Gr\xFC\xDF" "e aus M\xFCnchen, Ihre E-Mail kam an", {}},
      {"Ein Veilchn im 3er-Pack", {"Veilchn"}},
  };
  for (const Case& k : cases) EXPECT_EQ(Marked(c, k.text), k.marked) << k.text;
}

TEST(TSpellCheckerTest, SuggestionsAreFewAndInTheCodePage) {
  TempDir dir;
  TSpellChecker c("de_DE", dir.path + TSpellChoice::kPersonalListName);
  for (const auto& [wrong, right] : {std::pair<std::string, std::string>{"Gr\xFC\xDF" "r", "Gr\xFC\xDF" "e"},
                                     {"Wohnungg", "Wohnung"}, {"schoen", "sch\xF6n"}}) {
    const auto s = c.Suggestions(wrong);
    EXPECT_LE(s.size(), TSpellChecker::kMaxSuggestions);
    std::string all;
    for (const auto& w : s) all += w + "|";
    EXPECT_NE(std::find(s.begin(), s.end(), right), s.end()) << wrong << ": " << all;
  }
}

TEST(TSpellCheckerTest, PersonalWordSurvivesRestartAsUtf8) {
  TempDir dir;
  const std::string list = dir.path + TSpellChoice::kPersonalListName;
  {
    TSpellChecker c("de_DE", list);
    ASSERT_EQ(Marked(c, "Postellos M\xFCsliriegel"), (std::vector<std::string>{"Postellos", "M\xFCsliriegel"}));
    c.AddToPersonalList("M\xFCsliriegel");
    c.AddToPersonalList("Postellos");
    EXPECT_TRUE(Marked(c, "Postellos M\xFCsliriegel").empty());
  }
  std::ifstream in(list, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "M\xC3\xBCsliriegel\nPostellos\n");
  TSpellChecker again("de_DE", list);
  EXPECT_TRUE(Marked(again, "Postellos M\xFCsliriegel").empty());
}

TEST(TSpellCheckerTest, DictionaryChoiceIsRememberedWhileInstalled) {
  TempDir dir;
  const std::vector<std::string> installed = TSpellChecker::InstalledDictionaries();
  ASSERT_EQ(installed, (std::vector<std::string>{"de_DE", "de_AT", "de_CH"}));
  EXPECT_EQ(TSpellChoice::Load(dir.path, installed), "de_DE");
  TSpellChoice::Save(dir.path, "de_CH");
  EXPECT_EQ(TSpellChoice::Load(dir.path, installed), "de_CH");
  EXPECT_EQ(TSpellChoice::Load(dir.path, {"de_AT"}), "de_AT");
  EXPECT_EQ(TSpellChoice::Load(dir.path, {}), "");
  EXPECT_TRUE(TSpellChecker::InstalledDictionaries(dir.path).empty());
  EXPECT_THROW(TSpellChecker("de_DE", dir.path + "w.txt", dir.path), ESpellError);
}
