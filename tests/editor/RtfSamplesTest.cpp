// Whole RTF files as other programs write them, each read into the model
// it stands for. The rich edit samples are written by hand after what the
// control saves; the LibreOffice ones were saved by LibreOffice Writer 7.4
// (libreoffice_writer.rtf from libreoffice_writer.fodt, libreoffice_resaved.rtf
// from our own output for the two rich edit samples); word_style.rtf is
// written by hand after what Word saves.
#include "editor/RtfReader.h"
#include "editor/RtfWriter.h"

#include "DesignDocText.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using namespace postello;
using namespace postello::test;

namespace {

std::string Sample(const std::string& name) {
  std::ifstream in(std::string(POSTELLO_TEST_DATA) + "/editor/" + name, std::ios::binary);
  EXPECT_TRUE(in) << name;
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

TDesignDocument ReadSample(const std::string& name) {
  const TRtfReadResult r = ReadRtf(Sample(name));
  EXPECT_EQ(r.Error, "") << name;
  return r.Document;
}

const char* const kFormats =
    "left:\n"
    "  Arial 10 #000000: Sehr geehrte(r) [%Anrede] [%Name],\n"
    "left:\n"
    "left:\n"
    "  Arial 10 #000000: wir freuen uns \xFC" "ber Ihre \n"
    "  Arial 10 #000000 b: Bestellung\n"
    "  Arial 10 #000000:  vom 3. M\xE4rz.\n"
    "center:\n"
    "  Arial 14 #FF0000 b: Gro\xDF" "e Aktion\n"
    "right:\n"
    "  Times New Roman 12 #000000 i: rechtsb\xFCndig\n"
    "left:\n"
    "  Arial 10 #000000: Farben: \n"
    "  Arial 10 #FF0000: rot\n"
    "  Arial 10 #000000: , \n"
    "  Arial 10 #008000: gr\xFCn\n"
    "  Arial 10 #000000: , \n"
    "  Arial 10 #0000FF u: blau\n"
    "  Arial 10 #000000:  und \n"
    "  Courier New 9 #000000: Courier\n"
    "  Arial 10 #000000: .\n"
    "left:\n"
    "  Arial 10 #000000: Preis:\t12,50 \x80\n";

const char* const kBullets =
    "left:\n"
    "  Arial 10 #000000: Unsere Angebote:\n"
    "left bullet:\n"
    "  Arial 10 #000000: K\xE4se\n"
    "left bullet:\n"
    "  Arial 10 #000000 b: Br\xF6tchen\n"
    "left bullet:\n"
    "center bullet:\n"
    "  Arial 10 #000000: zentriert\n"
    "left:\n"
    "left:\n"
    "  Arial 10 #000000: Ende\n";

} // namespace

TEST(RtfSamples, RichEditFormatsUmlautsColoursAlignments) {
  EXPECT_EQ(Describe(ReadSample("richedit_formats.rtf")), kFormats);
}

TEST(RtfSamples, RichEditBullets) { EXPECT_EQ(Describe(ReadSample("richedit_bullets.rtf")), kBullets); }

TEST(RtfSamples, LibreOfficeWriter) {
  EXPECT_EQ(Describe(ReadSample("libreoffice_writer.rtf")),
            "left:\n"
            "  Arial 10 #000000: Sehr geehrte Frau [%Name],\n"
            "left:\n"
            "left:\n"
            "  Arial 10 #000000: wir freuen uns \n"
            "  Arial 10 #000000 b: sehr\n"
            "  Arial 10 #000000:  \xFC" "ber Ihre \n"
            "  Arial 10 #000000 i: Bestellung\n"
            "  Arial 10 #000000:  und \n"
            "  Arial 10 #000000 u: danken\n"
            "  Arial 10 #000000:  Ihnen.\n"
            "center:\n"
            "  Times New Roman 18 #0000FF bi: Gro\xDF" "e Aktion\n"
            "right:\n"
            "  Arial 10 #000000: rechts: \n"
            "  Arial 10 #FF0000: rot\n"
            "left bullet:\n"
            "  Arial 10 #000000: K\xE4se\n"
            "left bullet:\n"
            "  Arial 10 #000000: Br\xF6tchen\n"
            "left:\n"
            "  Arial 10 #000000: 1.\tErster Schritt\n"
            "left:\n"
            "  Arial 10 #000000: 2.\tZweiter Schritt\n"
            "left:\n"
            "  Arial 10 #000000: Preis:\t12,50 \x80\n"
            "left:\n"
            "  Arial 10 #000000: Zeile zwei\n"
            "left:\n"
            "  Arial 10 #000000: Griechisch: ??, Code \n"
            "  Courier New 12 #000000: {x}\\y\n");
}

// LibreOffice read what we wrote for the two rich edit samples and saved
// it again: reading its file gives every attribute back.
TEST(RtfSamples, LibreOfficeResavedOurOutput) {
  EXPECT_EQ(Describe(ReadSample("libreoffice_resaved.rtf")), std::string(kFormats) + kBullets);
}

TEST(RtfSamples, WordStyle) {
  EXPECT_EQ(Describe(ReadSample("word_style.rtf")),
            "left:\n"
            "  Calibri 11 #000000: Liebe Kundin, lieber Kunde,\n"
            "center:\n"
            "  Calibri 16 #FF0000 b: Gro\xDF" "er Sommerverkauf\n"
            "left bullet:\n"
            "  Calibri 11 #000000: Schuhe ab 20 \x80\n"
            "left:\n"
            "  Calibri 11 #000000 i: 1.\tErster Schritt\n"
            "left:\n"
            "  Calibri 11 #000000: Mehr im \n"
            "  Calibri 11 #0000FF u: Zum Shop\n"
            "  Calibri 11 #000000: .\n"
            "left:\n"
            "  Calibri 11 #000000: Griechisch: ??\n");
}

// What we write for a sample reads back as the sample.
TEST(RtfSamples, WriteThenReadKeepsTheSamples) {
  for (const char* name :
       {"richedit_formats.rtf", "richedit_bullets.rtf", "libreoffice_writer.rtf", "word_style.rtf"}) {
    const TDesignDocument doc = ReadSample(name);
    const TRtfReadResult back = ReadRtf(WriteRtf(doc));
    EXPECT_EQ(back.Error, "") << name;
    EXPECT_EQ(Describe(back.Document), Describe(doc)) << name;
  }
}
