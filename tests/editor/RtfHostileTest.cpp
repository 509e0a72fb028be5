// Damaged and hostile RTF: the reader returns what it could read and an
// error, never crashes, and its memory stays bounded.
#include "editor/RtfReader.h"
#include "editor/RtfWriter.h"

#include "DesignDocText.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace postello;
using namespace postello::test;

namespace {

std::string ReadSample(const std::string& name) {
  std::ifstream in(std::string(POSTELLO_TEST_DATA) + "/editor/" + name, std::ios::binary);
  EXPECT_TRUE(in) << name;
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// Runs fn in a child process whose address space may grow by at most
// extraBytes beyond what it has now; true when fn returned true there. A
// reader that allocated without bound would fail its allocation and die.
bool RunBounded(const std::function<bool()>& fn, std::size_t extraBytes) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    std::ifstream statm("/proc/self/statm");
    std::size_t pages = 0;
    statm >> pages;
    const rlim_t limit = pages * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE)) + extraBytes;
    const rlimit rl{limit, limit};
    ::setrlimit(RLIMIT_AS, &rl);
    bool ok = false;
    try {
      ok = fn();
    } catch (...) {
      ok = false;
    }
    ::_exit(ok ? 0 : 1);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

constexpr std::size_t kMiB = 1024 * 1024;

} // namespace

// Every prefix of a real document: no crash, an error as long as the
// closing brace is missing, and every paragraph but the last one read is
// the full document's paragraph with all its attributes. (The last one may
// differ: a cut word can change meaning, "\\pard" cut to "\\par".)
TEST(RtfHostile, EveryPrefixOfASample) {
  for (const char* name :
       {"richedit_formats.rtf", "richedit_bullets.rtf", "libreoffice_writer.rtf", "word_style.rtf"}) {
    const std::string rtf = ReadSample(name);
    ASSERT_FALSE(rtf.empty()) << name;
    const std::vector<TParagraph> full = ReadRtf(rtf).Document.Paragraphs;
    const std::size_t lastBrace = rtf.rfind('}');
    for (std::size_t n = 0; n < rtf.size(); ++n) {
      const TRtfReadResult r = ReadRtf(std::string_view(rtf).substr(0, n));
      if (n <= lastBrace) {
        ASSERT_NE(r.Error, "") << name << " cut at " << n;
      }
      const std::vector<TParagraph>& read = r.Document.Paragraphs;
      ASSERT_LE(read.size(), full.size() + 1) << name << " cut at " << n;
      for (std::size_t k = 0; k + 1 < read.size(); ++k) {
        ASSERT_EQ(Describe(TDesignDocument{{read[k]}}), Describe(TDesignDocument{{full[k]}}))
            << name << " cut at " << n << ", paragraph " << k;
      }
    }
  }
}

TEST(RtfHostile, DeepNestingIsRefusedWithBoundedMemory) {
  std::string rtf = "{\\rtf1 Anfang\\par ";
  rtf.append(100 * kMiB, '{');
  EXPECT_TRUE(RunBounded(
      [&] {
        const TRtfReadResult r = ReadRtf(rtf);
        return r.Error.find("zu tief verschachtelt") != std::string::npos && PlainText(r.Document) == "Anfang";
      },
      64 * kMiB));
  // Nesting below the limit is read.
  std::string deep = "{\\rtf1 ";
  for (int k = 0; k < 900; ++k) deep += "{\\b ";
  deep += "tief";
  deep.append(900, '}');
  deep += "}";
  const TRtfReadResult r = ReadRtf(deep);
  EXPECT_EQ(r.Error, "");
  EXPECT_EQ(Describe(r.Document), "left:\n  Arial 12 #000000 b: tief\n");
}

TEST(RtfHostile, HundredMegabytesOfOpeningBraces) {
  const std::string braces(100 * kMiB, '{');
  EXPECT_TRUE(RunBounded([&] { return ReadRtf(braces).Error != ""; }, 64 * kMiB));
  // Inside a skipped group the braces are only counted.
  const std::string skipped = "{\\rtf1 a{\\*\\unbekannt " + braces;
  EXPECT_TRUE(RunBounded(
      [&] {
        const TRtfReadResult r = ReadRtf(skipped);
        return r.Error.find("unvollst\xE4ndig") != std::string::npos && PlainText(r.Document) == "a";
      },
      64 * kMiB));
}

TEST(RtfHostile, ManyParagraphsAndRunsStayWithinAFewTimesTheInput) {
  std::string rtf = "{\\rtf1 ";
  while (rtf.size() < 20 * kMiB) rtf += "\\b a\\b0 b\\par\\par ";
  rtf += "}";
  EXPECT_TRUE(RunBounded([&] { return ReadRtf(rtf).Document.Paragraphs.size() > 1'000'000; }, 1024 * kMiB));
}

TEST(RtfHostile, UnbalancedGroups) {
  // Too many closing braces: the document ends at the first that closes it.
  TRtfReadResult r = ReadRtf("{\\rtf1 a\\par}}}}b\\par}");
  EXPECT_EQ(r.Error, "");
  EXPECT_EQ(PlainText(r.Document), "a");
  // Too few: the text and an error.
  r = ReadRtf("{\\rtf1 a{\\b b{\\i c\\par");
  EXPECT_NE(r.Error.find("3 Klammer(n)"), std::string::npos) << r.Error;
  EXPECT_EQ(Describe(r.Document), "left:\n  Arial 12 #000000: a\n  Arial 12 #000000 b: b\n  Arial 12 #000000 bi: c\n");
  // Closing braces inside the font and colour tables.
  r = ReadRtf("{\\rtf1{\\fonttbl}}{\\f0 Arial;}}{\\colortbl}}\\red255;}x}");
  EXPECT_EQ(r.Error, "");
  EXPECT_TRUE(r.Document.Paragraphs.empty());
}

TEST(RtfHostile, HugeAndOddNumbers) {
  const std::string digits(5000, '9');
  const std::string rtf = "{\\rtf1\\deff" + digits + "{\\fonttbl{\\f-" + digits + " Arial;}}\\uc" + digits +
                          "\\uc1\\fs" + digits + "\\cf-" + digits + "\\f" + digits + "\\ls" + digits + "\\ilvl-" +
                          digits + " x\\u" + digits + " a\\u-" + digits + " b\\fs-" + digits + " c}";
  const TRtfReadResult r = ReadRtf(rtf);
  EXPECT_EQ(r.Error, "");
  EXPECT_EQ(Describe(r.Document), "left bullet:\n  Arial 1638 #000000: xab\n  Arial 1 #000000: c\n");
  const std::string colors = "{\\rtf1{\\colortbl;\\red999\\green-5\\blue256;}\\cf1 x}";
  EXPECT_EQ(Describe(ReadRtf(colors).Document), "left:\n  Arial 12 #FF00FF: x\n");
  // Binary data longer than the rest of the input ends at its end.
  const TRtfReadResult bin = ReadRtf("{\\rtf1 a\\bin" + digits + " {}}");
  EXPECT_NE(bin.Error.find("unvollst\xE4ndig"), std::string::npos);
  EXPECT_EQ(PlainText(bin.Document), "a");
}

TEST(RtfHostile, CutEscapesAndStrayBackslashes) {
  for (const std::string rtf : {"{\\rtf1 a\\", "{\\rtf1 a\\'", "{\\rtf1 a\\'4", "{\\rtf1 a\\u", "{\\rtf1 a\\u-",
                                "{\\rtf1 a\\bin", "{\\rtf1 a\\bin5", "{\\rtf1 a{\\*", "{\\rtf1 a{\\*\\",
                                "{\\rtf1 a{\\pict\\bin", "{\\rtf1 a\\'zz}", "{\\rtf1 a\\u8364"}) {
    const TRtfReadResult r = ReadRtf(rtf);
    EXPECT_EQ(PlainText(r.Document).substr(0, 1), "a") << rtf;
  }
}

TEST(RtfHostile, RandomBytesAndMutatedSamples) {
  std::mt19937 rng(20261209);
  const std::string sample = ReadSample("richedit_formats.rtf");
  const std::string alphabet = "{}\\'*;0123456789-abcdefghijklmnopqrstuvwxyz \r\n\t\x80\xFF";
  for (int round = 0; round < 2000; ++round) {
    std::string rtf = "{\\rtf1 ";
    const int len = static_cast<int>(rng() % 400);
    for (int k = 0; k < len; ++k) rtf += alphabet[rng() % alphabet.size()];
    const TRtfReadResult r = ReadRtf(rtf);
    for (const TParagraph& p : r.Document.Paragraphs) {
      for (const TTextRun& run : p.Runs) {
        ASSERT_EQ(run.Text.find_first_of("\r\n"), std::string::npos) << rtf;
        ASSERT_GE(run.Format.Size, 1);
        ASSERT_LE(run.Format.Size, 1638);
      }
    }
    std::string mutated = sample;
    for (int k = 0; k < 8; ++k) mutated[rng() % mutated.size()] = alphabet[rng() % alphabet.size()];
    ReadRtf(mutated);
  }
}
