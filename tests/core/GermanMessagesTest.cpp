// Messages of the core as the user reads them: German sentences, numbers
// with the right singular or plural, system reasons in German.
#include "core/CountedNoun.h"
#include "core/SafeFile.h"
#include "core/SystemErrorText.h"
#include "core/TKontoStore.h"
#include "core/TMailStore.h"
#include "TestBytes.h"

#include <gtest/gtest.h>

#include <cerrno>

using namespace postello;
using postello::test::Bytes;

namespace {

Bytes OneAccount(Bytes b) { return b.sstr("a").sstr("b").sstr("c").sstr("d").sstr("e").sstr("f"); }

} // namespace

TEST(CountedNoun, OneIsSingularEveryOtherNumberPlural) {
  const struct {
    std::size_t n;
    const char* text;
  } cases[] = {{0, "0 Konten"}, {1, "1 Konto"}, {2, "2 Konten"}, {11, "11 Konten"}, {21, "21 Konten"}, {101, "101 Konten"}};
  for (const auto& c : cases) EXPECT_EQ(CountedNoun(c.n, "Konto", "Konten"), c.text) << c.n;
  EXPECT_EQ(ByCount(1, "wurde", "wurden"), "wurde");
  EXPECT_EQ(ByCount(0, "wurde", "wurden"), "wurden");
}

// "1 Konten davor wurden geladen" was the fault: one loaded entry now
// reads in the singular, with its verb.
TEST(GermanMessages, DamagedAccountFileCountsWhatWasLoadedRight) {
  const struct {
    int accountsBefore;
    const char* sentence;
  } cases[] = {{0, "0 Konten davor wurden geladen."}, {1, "1 Konto davor wurde geladen."}, {2, "2 Konten davor wurden geladen."}};
  for (const auto& c : cases) {
    postello::test::TempDir dir;
    Bytes b;
    b.i32(c.accountsBefore + 1);
    for (int k = 0; k < c.accountsBefore; ++k) b = OneAccount(b);
    const std::size_t end = b.data.size();
    postello::test::WriteFile(dir.file("konten.dat"), b.data);
    TKontoList konten;
    const TKontoLoadResult r = TKontoStore::Open(dir.path(), konten);
    EXPECT_EQ(r.Error, "Die Datei \"" + dir.file("konten.dat") + "\" ist besch\xE4" "digt (Byte " + std::to_string(end) +
                           "): Lesen \xFC" "ber das Dateiende hinaus.\n" + c.sentence +
                           " Die besch\xE4" "digte Datei bleibt als \"" + dir.file("konten.dat.defekt") + "\" erhalten.");
  }
}

TEST(GermanMessages, DamagedMailFileCountsOneMailInTheSingular) {
  postello::test::TempDir dir;
  TMailList mails;
  mails.Add()->Subject = "Eins";
  mails.Add()->Subject = "Zwei";
  const std::string whole = TMailStore::Encode(mails);
  postello::test::WriteFile(dir.file("mails.dat"), whole.substr(0, whole.size() - 3));
  TMailList loaded;
  const TMailLoadResult r = TMailStore::Open(dir.path(), loaded);
  EXPECT_EQ(loaded.Count(), 1u);
  EXPECT_NE(r.Error.find("\n1 Mail davor wurde geladen. "), std::string::npos) << r.Error;
}

TEST(GermanMessages, UnreadableDatesAreCountedRight) {
  EXPECT_EQ(BadDatesMessage(1), "In der Datei \"mails.dat\" konnte bei 1 Mail das Datum nicht gelesen werden; "
                                "sie wurde ohne Datum geladen.");
  EXPECT_EQ(BadDatesMessage(3), "In der Datei \"mails.dat\" konnte bei 3 Mails das Datum nicht gelesen werden; "
                                "sie wurden ohne Datum geladen.");
}

TEST(SystemErrorText, CommonReasonsAreGerman) {
  const struct {
    int err;
    const char* text;
  } cases[] = {
      {ENOENT, "Die Datei oder der Ordner existiert nicht"},
      {EACCES, "Zugriff verweigert"},
      {EPERM, "Zugriff verweigert"},
      {EISDIR, "Das ist ein Ordner, keine Datei"},
      {ENOTDIR, "Ein Teil des Pfades ist kein Ordner"},
      {ENOSPC, "Auf dem Datentr\xE4ger ist kein Platz mehr"},
      {EROFS, "Das Dateisystem ist schreibgesch\xFCtzt"},
  };
  for (const auto& c : cases) EXPECT_EQ(SystemErrorText(c.err), c.text) << c.err;
}

TEST(SystemErrorText, AnErrorWithoutGermanTextKeepsTheSystemsReason) {
  const std::string text = SystemErrorText(EPROTO);
  EXPECT_EQ(text.rfind("Systemfehler " + std::to_string(EPROTO) + ": ", 0), 0u) << text;
  EXPECT_GT(text.size(), std::string("Systemfehler 71: ").size());
}

TEST(GermanMessages, SavingIntoAMissingFolderNamesFileAndReason) {
  postello::test::TempDir dir;
  const std::string path = dir.file("fehlt/options.dat");
  try {
    SaveFileSafely(path, "x");
    FAIL() << "no error";
  } catch (const ESaveError& e) {
    EXPECT_EQ(std::string(e.what()),
              "Die Datei \"" + path + "\" konnte nicht gespeichert werden: Die Datei oder der Ordner existiert nicht");
  }
}
