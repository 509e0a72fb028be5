// The colour box's model: the entries, and how ColorValue and HTMLcolor
// select them.
#include "editor/TPalixColorModel.h"

#include <gtest/gtest.h>

using namespace postello;

namespace {

constexpr std::uint32_t Rgb(std::uint32_t r, std::uint32_t g, std::uint32_t b) { return r | (g << 8) | (b << 16); }

TEST(TPalixColorModel, StartsBlackInEnglish) {
  const TPalixColorModel m;
  EXPECT_EQ(m.ItemIndex(), 0);
  EXPECT_EQ(m.ColorValue(), 0u);
  EXPECT_EQ(m.HTMLcolor(), "#000000");
  EXPECT_EQ(m.Language(), lgEnglish);
  EXPECT_STREQ(m.ItemName(0), "Black");
}

TEST(TPalixColorModel, HtmlColorRedSelectsEntryNineInUpperCase) {
  TPalixColorModel m;
  m.SetHTMLcolor("#ff0000");
  EXPECT_EQ(m.ItemIndex(), 9);
  EXPECT_EQ(m.ColorValue(), Rgb(255, 0, 0));
  EXPECT_EQ(m.HTMLcolor(), "#FF0000");
}

TEST(TPalixColorModel, CustomColourShowsAsEntrySixteen) {
  TPalixColorModel m;
  EXPECT_TRUE(m.UserSelect(TPalixColorModel::CustomEntry));
  m.SetColorValue(Rgb(1, 2, 3));
  EXPECT_EQ(m.ItemIndex(), 16);
  EXPECT_EQ(m.ColorValue(), Rgb(1, 2, 3));
  EXPECT_EQ(m.HTMLcolor(), "#010203");
  EXPECT_EQ(m.SwatchColor(16), Rgb(1, 2, 3));
}

struct FixedCase {
  int entry;
  std::uint32_t color;
  const char* html;
  const char* english;
  const char* deutsch;
  const char* frensh;
};

class FixedEntries : public ::testing::TestWithParam<FixedCase> {};

TEST_P(FixedEntries, ColourNameAndSelection) {
  const FixedCase& c = GetParam();
  EXPECT_EQ(TPalixColorModel::FixedColor(c.entry), c.color);
  EXPECT_STREQ(TPalixColorModel::EntryName(c.entry, lgEnglish), c.english);
  EXPECT_STREQ(TPalixColorModel::EntryName(c.entry, lgDeutsch), c.deutsch);
  EXPECT_STREQ(TPalixColorModel::EntryName(c.entry, lgFrensh), c.frensh);
  TPalixColorModel m;
  m.SetColorValue(Rgb(1, 2, 3));
  m.SetColorValue(c.color);
  EXPECT_EQ(m.ItemIndex(), c.entry);
  EXPECT_EQ(m.HTMLcolor(), c.html);
  TPalixColorModel byText;
  byText.SetColorValue(Rgb(1, 2, 3));
  byText.SetHTMLcolor(c.html);
  EXPECT_EQ(byText.ItemIndex(), c.entry);
  EXPECT_EQ(byText.ColorValue(), c.color);
  TPalixColorModel byUser;
  EXPECT_FALSE(byUser.UserSelect(c.entry));
  EXPECT_EQ(byUser.ColorValue(), c.color);
}

INSTANTIATE_TEST_SUITE_P(
    All, FixedEntries,
    ::testing::Values(FixedCase{0, Rgb(0, 0, 0), "#000000", "Black", "Schwarz", "Noir"},
                      FixedCase{1, Rgb(128, 0, 0), "#800000", "Maroon", "Dunkelrot", "Rouge fonc\xE9"},
                      FixedCase{2, Rgb(0, 128, 0), "#008000", "Green", "Gr\xFCn", "Vert"},
                      FixedCase{3, Rgb(128, 128, 0), "#808000", "Olive", "Oliv", "Marron clair"},
                      FixedCase{4, Rgb(0, 0, 128), "#000080", "Navy", "Dunkelblau", "Bleu fonc\xE9"},
                      FixedCase{5, Rgb(128, 0, 128), "#800080", "Purple", "Purpur", "Violet"},
                      FixedCase{6, Rgb(0, 128, 128), "#008080", "Teal", "Gr\xFCnblau", "Bleu-vert"},
                      FixedCase{7, Rgb(128, 128, 128), "#808080", "Gray", "Grau", "Gris"},
                      FixedCase{8, Rgb(192, 192, 192), "#C0C0C0", "Silver", "Silber", "Argent\xE9"},
                      FixedCase{9, Rgb(255, 0, 0), "#FF0000", "Red", "Rot", "Rouge"},
                      FixedCase{10, Rgb(0, 255, 0), "#00FF00", "Lime", "Hellgr\xFCn", "Vert"},
                      FixedCase{11, Rgb(255, 255, 0), "#FFFF00", "Yellow", "Gelb", "Jaune"},
                      FixedCase{12, Rgb(0, 0, 255), "#0000FF", "Blue", "Blau", "Bleu"},
                      FixedCase{13, Rgb(255, 0, 255), "#FF00FF", "Fuchsia", "Rosa", "Fuchsia"},
                      FixedCase{14, Rgb(0, 255, 255), "#00FFFF", "Aqua", "Hellblau", "Vert d'eau"},
                      FixedCase{15, Rgb(255, 255, 255), "#FFFFFF", "White", "Wei\xDF", "Blanc"}));

TEST(TPalixColorModel, CustomEntryNames) {
  EXPECT_STREQ(TPalixColorModel::EntryName(16, lgEnglish), "More...");
  EXPECT_STREQ(TPalixColorModel::EntryName(16, lgDeutsch), "Mehr...");
  EXPECT_STREQ(TPalixColorModel::EntryName(16, lgFrensh), "Autres....");
  TPalixColorModel m;
  m.SetLanguage(lgDeutsch);
  EXPECT_STREQ(m.ItemName(16), "Mehr...");
  EXPECT_STREQ(m.ItemName(9), "Rot");
  // The language changes nothing but the names.
  EXPECT_EQ(m.ItemIndex(), 0);
  EXPECT_EQ(m.HTMLcolor(), "#000000");
}

TEST(TPalixColorModel, CancelledCustomChoiceKeepsColourOnEntrySixteen) {
  TPalixColorModel m;
  m.SetColorValue(Rgb(255, 0, 0));
  EXPECT_TRUE(m.UserSelect(16));
  EXPECT_EQ(m.ItemIndex(), 16);
  EXPECT_EQ(m.ColorValue(), Rgb(255, 0, 0));
  EXPECT_EQ(m.SwatchColor(16), Rgb(255, 0, 0));
  // A custom choice of a fixed colour selects that entry.
  m.SetColorValue(Rgb(0, 0, 128));
  EXPECT_EQ(m.ItemIndex(), 4);
}

struct TextCase {
  const char* name;
  const char* text;
  const char* stored;       // HTMLcolor afterwards
  std::uint32_t color;      // ColorValue afterwards
  int entry;

  friend void PrintTo(const TextCase& c, std::ostream* os) { *os << c.name; }
};

class HtmlColorTexts : public ::testing::TestWithParam<TextCase> {};

TEST_P(HtmlColorTexts, SetsOrKeeps) {
  const TextCase& c = GetParam();
  TPalixColorModel m;
  m.SetColorValue(Rgb(1, 2, 3));
  m.SetHTMLcolor(c.text);
  EXPECT_EQ(m.HTMLcolor(), c.stored);
  EXPECT_EQ(m.ColorValue(), c.color);
  EXPECT_EQ(m.ItemIndex(), c.entry);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, HtmlColorTexts,
    ::testing::Values(TextCase{"EmptyIsBlack", "", "#000000", 0, 0},
                      TextCase{"CustomColour", "#a0b0c0", "#A0B0C0", Rgb(0xA0, 0xB0, 0xC0), 16},
                      TextCase{"ExtraCharactersKept", "#00ff00xyz", "#00FF00XYZ", Rgb(0, 255, 0), 10},
                      TextCase{"FirstCharacterIsNotRead", "x0000FF", "X0000FF", Rgb(0, 0, 255), 12},
                      TextCase{"ShortLastPiece", "#FFFF0", "#FFFF0", Rgb(255, 255, 0), 11},
                      TextCase{"NotHexKeepsAll", "#GG0000", "#010203", Rgb(1, 2, 3), 16},
                      TextCase{"WordKeepsAll", "rot", "#010203", Rgb(1, 2, 3), 16},
                      TextCase{"TooShortKeepsAll", "#1234", "#010203", Rgb(1, 2, 3), 16},
                      TextCase{"SignKeepsAll", "#-10000", "#010203", Rgb(1, 2, 3), 16}),
    [](const ::testing::TestParamInfo<TextCase>& info) { return std::string(info.param.name); });

TEST(TPalixColorModel, SystemColourReferenceIsResolvedForTheText) {
  TPalixColorModel m;
  m.SetColorValue(0x80000005);  // window background
  EXPECT_EQ(m.ColorValue(), 0x80000005u);
  EXPECT_EQ(m.ItemIndex(), 16);
  EXPECT_EQ(m.HTMLcolor(), "#FFFFFF");
  EXPECT_EQ(m.SwatchColor(16), Rgb(255, 255, 255));
  m.SetColorValue(0x80000008);  // window text
  EXPECT_EQ(m.HTMLcolor(), "#000000");
  EXPECT_EQ(m.ItemIndex(), 16);
  // A reference to no system colour changes nothing.
  m.SetColorValue(0x800000FF);
  EXPECT_EQ(m.ColorValue(), 0x80000008u);
  EXPECT_EQ(m.HTMLcolor(), "#000000");
}

} // namespace
