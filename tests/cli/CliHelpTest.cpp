// The help of postello-cli: German placeholders, required options shown
// as required and refused when missing, the default folder named.
#include "CliRun.h"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <sys/wait.h>

using postello::test::TempDir;

namespace {

using postello::test::Cli;
using postello::test::Result;

// The commands the overview lists: lines indented by two blanks after
// "Befehle:" (the manual page is made from the same lines).
std::vector<std::string> Commands() {
  std::istringstream in(Cli("--help").out);
  std::vector<std::string> names;
  bool inList = false;
  for (std::string line; std::getline(in, line);) {
    if (line == "Befehle:") {
      inList = true;
    } else if (inList && line.rfind("  ", 0) == 0 && line.size() > 2 && line[2] != ' ') {
      names.push_back(line.substr(2, line.find(' ', 2) - 2));
    } else {
      inList = false;
    }
  }
  return names;
}

std::string Line(const std::string& text, const std::string& start) {
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (line.rfind(start, 0) == 0) return line;
  return {};
}

} // namespace

TEST(CliHelp, OverviewListsTheCommandsAndNamesTheDefaultFolder) {
  const Result r = Cli("--help");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(Line(r.out, "Aufruf:"), "Aufruf: postello-cli BEFEHL [OPTIONEN] [--dir ORDNER]");
  const std::vector<std::string> names = Commands();
  for (const char* expected : {"account-options", "accounts", "design-html", "html-text", "import", "import-html",
                               "mail-options", "mailbox", "mails", "newdb", "recipients", "security", "send", "show"})
    EXPECT_NE(std::find(names.begin(), names.end(), expected), names.end()) << expected;
  // One column for the summaries, two blanks after the longest name
  // ("account-options").
  EXPECT_EQ(Line(r.out, "  import-html"), "  import-html      importiert eine HTML-Datei in eine HTML-Mail; vorhandene "
                                          "Bilder werden eingebettet (Ausgabe: CID und Datei je Bild)");
  EXPECT_EQ(Line(r.out, "  mails "), "  mails            listet die gespeicherten Mails: Nummer, Betreff, Datum, Art (0 "
                                     "Design, 1 HTML, 2 Text)");
  EXPECT_NE(r.out.find("Ohne --dir arbeiten alle Befehle im Datenordner des Fensterprogramms "
                       "(~/.local/share/Postello oder, nicht installiert, im Programmordner)."),
            std::string::npos)
      << r.out;
}

// The manual page is made from this help at build time: the folder of the
// machine that built it must not appear in it.
TEST(CliHelp, NoHelpPrintsTheFolderOfThisMachine) {
  const std::string binDir = POSTELLO_BIN_DIR;
  for (const std::string& c : Commands()) {
    const Result r = Cli(c + " --help");
    EXPECT_EQ(r.out.find(binDir), std::string::npos) << c;
    EXPECT_EQ(r.out.find("/home/"), std::string::npos) << c;
  }
}

TEST(CliHelp, EveryValueHasAGermanPlaceholder) {
  const std::regex option("^  (--[a-z-]+)( ([^ ]+))?  +(.*)$");
  const std::regex english("\\b(FILE|DIR|ADDRESS|SIZE|N|COUNT)\\b");
  for (const std::string& c : Commands()) {
    const Result r = Cli(c + " --help");
    EXPECT_EQ(r.status, 0) << c;
    EXPECT_FALSE(std::regex_search(r.out, english)) << c << ":\n" << r.out;
    std::istringstream in(r.out);
    int options = 0;
    for (std::string line; std::getline(in, line);) {
      if (line.rfind("  --", 0) != 0) continue;
      std::smatch m;
      EXPECT_TRUE(std::regex_match(line, m, option)) << c << ": " << line;
      ++options;
      if (m[3].matched) {
        EXPECT_TRUE(m[3] == "DATEI" || m[3] == "ADRESSE" || m[3] == "ANZAHL" || m[3] == "TEXT" || m[3] == "ORDNER" ||
                    m[3] == "NUMMER" || m[3] == "FINGERABDRUCK" || m[3] == "TEIL" || m[3] == "SPALTE=FELD" ||
                    m[3] == "JA|NEIN" || m[3] == "HOST:PORT" || m[3] == "NAME")
            << c << ": " << line;
      }
    }
    EXPECT_GE(options, 2) << c << ":\n" << r.out;  // at least --dir and --help
    EXPECT_NE(r.out.find("Ordner von mails.dat, konten.dat und options.dat; ohne Angabe der Datenordner des "
                         "Fensterprogramms (~/.local/share/Postello oder, nicht installiert, der Programmordner)\n"),
              std::string::npos)
        << c << ":\n" << r.out;
  }
}

TEST(CliHelp, RequiredOptionsStandWithoutBracketsAndAreMarked) {
  const Result send = Cli("send --help");
  const std::string usage = Line(send.out, "Aufruf:");
  // The account is required unless a run is resumed or retried, which take
  // the account of the last run; the parser cannot say that, the help does.
  EXPECT_EQ(usage.rfind("Aufruf: postello-cli send --mail NUMMER [--account NUMMER] [", 0), 0u) << usage;
  EXPECT_EQ(usage.find("[--mail"), std::string::npos) << usage;
  EXPECT_NE(usage.find(" [--bcc ANZAHL]"), std::string::npos) << usage;
  EXPECT_NE(usage.find(" [--to ADRESSE]"), std::string::npos) << usage;
  EXPECT_NE(usage.find(" [--eml-dir ORDNER]"), std::string::npos) << usage;
  // The texts start in one column, after the longest option and two blanks.
  EXPECT_EQ(Line(send.out, "  --mail "),
            "  --mail NUMMER       Pflichtangabe: Nummer der Mail (siehe postello-cli mails)");
  EXPECT_EQ(Line(send.out, "  --account "),
            "  --account NUMMER    Nummer des Absender-Kontos (siehe postello-cli accounts); Pflichtangabe au\xC3\x9F"
            "er mit --resume oder --retry-failed, die das Konto des letzten Versands nehmen");
  EXPECT_EQ(Line(send.out, "  --to "), "  --to ADRESSE        nur an diese eine Adresse, ohne Felder");
  EXPECT_EQ(Line(send.out, "  --eml-dir "),
            "  --eml-dir ORDNER    nichts senden: ORDNER/00001.eml und ORDNER/00001.env schreiben");

  const Result importHtml = Cli("import-html --help");
  EXPECT_EQ(Line(importHtml.out, "Aufruf:"), "Aufruf: postello-cli import-html DATEI --mail NUMMER [--dir ORDNER]");
  EXPECT_EQ(Line(Cli("import --help").out, "Aufruf:"), "Aufruf: postello-cli import DATEI [--map SPALTE=FELD]... [--header JA|NEIN] [--sheet NUMMER] "
            "[--skip-duplicates] [--dry-run] [--dir ORDNER]");
  EXPECT_EQ(Line(Cli("newdb --help").out, "Aufruf:"), "Aufruf: postello-cli newdb [--info ANZAHL] [--force] [--from DATEI] [--header JA|NEIN] "
            "[--sheet NUMMER] [--dir ORDNER]");
}

TEST(CliHelp, AMissingRequiredOptionIsRefusedBeforeAnythingIsRead) {
  TempDir dir;
  // No state files at all: the refusal is about the arguments, not the folder.
  const Result r = Cli("send --account 0 --dir " + dir.path());
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(Line(r.err, "postello-cli send:"), "postello-cli send: die Pflichtangabe --mail fehlt");
  EXPECT_NE(r.err.find("Aufruf: postello-cli send --mail NUMMER"), std::string::npos) << r.err;
  const Result html = Cli("import-html x.htm --dir " + dir.path());
  EXPECT_EQ(html.status, 2);
  EXPECT_EQ(Line(html.err, "postello-cli import-html:"), "postello-cli import-html: die Pflichtangabe --mail fehlt");
  // --help still works without them.
  EXPECT_EQ(Cli("send --help").status, 0);
}

TEST(CliHelp, RefusalsNameTheMissingFileOrEntry) {
  TempDir dir;
  Result r = Cli("design-html /nicht/da.rtf --dir " + dir.path());
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "Die Datei \"/nicht/da.rtf\" kann nicht gelesen werden: Die Datei oder der Ordner existiert nicht.\n");
  r = Cli("design-html " + dir.path() + " --dir " + dir.path());
  EXPECT_EQ(r.err, "Die Datei \"" + dir.path() + "\" kann nicht gelesen werden: Das ist ein Ordner, keine Datei.\n");
  r = Cli("show --mail 0 --dir " + dir.path());
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "Es gibt keine Mail Nummer 0 (gespeichert: 0 Mails, gez\xC3\xA4hlt ab 0).\n");
  r = Cli("journal --last --dir " + dir.path());
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "Im Ordner \"" + dir.path() + "\" gibt es noch kein Versandprotokoll.\n");
  r = Cli("security --account 0 --dir " + dir.path());
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "Es gibt kein Konto Nummer 0 (gespeichert: 0 Konten, gez\xC3\xA4hlt ab 0).\n");
}

TEST(CliHelp, RefusedImportNamesTheMissingFile) {
  TempDir dir;
  ASSERT_EQ(Cli("newdb --dir " + dir.path()).status, 0);
  const Result r = Cli("import /nicht/da.csv --dir " + dir.path());
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "Die Datei \"/nicht/da.csv\" konnte nicht ge\xC3\xB6" "ffnet werden: Die Datei oder der Ordner "
                   "existiert nicht. Es wurde nichts importiert.\n");
}

// Refusals of clashing options once went out as Windows-1252 bytes, so a
// UTF-8 terminal showed "schlie?en" for "schließen".
TEST(CliHelp, RefusalsOfClashingOptionsAreUtf8) {
  TempDir dir;
  const struct {
    std::string args, expected;
  } cases[] = {
      {"blocklist --add a@example.org --remove b@example.org",
       "postello-cli blocklist: --add und --remove schlie\xC3\x9F" "en einander aus"},
      {"oauth --account 0 --provider google --client-id x --client-secret-stdin --client-secret-file x",
       "postello-cli oauth: --client-secret-stdin und --client-secret-file schlie\xC3\x9F" "en sich aus"},
      {"oauth --account 0 --provider google --scope x",
       "postello-cli oauth: --provider und --authorize-url/--token-url/--scope schlie\xC3\x9F" "en sich aus"},
      {"oauth --account 0 --provider yahoo", "postello-cli oauth: --provider kennt microsoft und google; f\xC3\xBCr"},
  };
  for (const auto& c : cases) {
    const Result r = Cli(c.args + " --dir " + dir.path());
    EXPECT_EQ(r.status, 2) << c.args;
    EXPECT_EQ(Line(r.err, "postello-cli ").substr(0, c.expected.size()), c.expected) << c.args;
  }
}
