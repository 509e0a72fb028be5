// The design document between QTextDocument and the model: the Qt side
// really carries each attribute, and the way back gives the model again.
#include "QtDesignDocument.h"

#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextFrame>
#include <QTextList>

using namespace postello;

namespace {

TCharFormat Fmt(const char* face, int size, std::uint32_t color, bool bold, bool italic, bool underline) {
  TCharFormat f;
  f.Face = face;
  f.Size = size;
  f.Color = color;
  f.Bold = bold;
  f.Italic = italic;
  f.Underline = underline;
  return f;
}

TParagraph Para(TParaAlign align, bool bullet, std::vector<TTextRun> runs) {
  TParagraph p;
  p.Align = align;
  p.Bullet = bullet;
  p.Runs = std::move(runs);
  return p;
}

// Every attribute in more than one value; no two neighbouring runs share
// a format, since reading merges such runs.
TDesignDocument Sample() {
  TDesignDocument d;
  d.BackColor = 0x80FFFF; // light yellow
  d.Paragraphs = {
      Para(paLeft, false,
           {{TCharFormat{}, "Hallo "},
            {Fmt("Arial", 10, 0, true, false, false), "fett"},
            {Fmt("Arial", 10, 0, false, true, false), "kursiv"},
            {Fmt("Arial", 10, 0, false, false, true), "unter"},
            {Fmt("Arial", 10, 0, true, true, true), "alles"},
            {Fmt("Arial", 10, 0x0000FF, false, false, false), "rot"},
            {Fmt("Arial", 10, 0xFF0000, false, false, false), "blau"},
            {Fmt("Arial", 10, 0x123456, false, false, false), "misch"}}),
      Para(paCenter, false, {{Fmt("Times New Roman", 36, 0x00FF00, true, false, false), "Mitte"}}),
      Para(paRight, false, {{Fmt("Courier New", 8, 0, false, false, false), "rechts\t\x80 \xFC\xDF\xA0[%Name]"}}),
      Para(paLeft, false, {}),
      Para(paLeft, true, {{TCharFormat{}, "Punkt eins"}}),
      Para(paCenter, true, {{Fmt("Arial", 11, 0, false, false, false), "Punkt zwei"}}),
      Para(paLeft, false, {{TCharFormat{}, "dazwischen"}}),
      Para(paLeft, true, {}),
      Para(paRight, true, {{Fmt("Verdana", 72, 0xFFFFFF, false, true, false), "neue Liste"}}),
  };
  return d;
}

QTextCharFormat FormatAt(QTextDocument& doc, const QString& word) {
  QTextCursor c = doc.find(word);
  return c.charFormat(); // the format of the character before the cursor: the word's last one
}

} // namespace

class QtDesignDocumentTest : public QObject {
  Q_OBJECT
private slots:
  void modelSurvivesTheWayThroughQt() {
    QTextDocument doc;
    DesignToQt(Sample(), doc);
    const TDesignDocument back = DesignFromQt(doc);
    QCOMPARE(back.BackColor, Sample().BackColor);
    QCOMPARE(back.Paragraphs.size(), Sample().Paragraphs.size());
    for (std::size_t i = 0; i < back.Paragraphs.size(); ++i) {
      QVERIFY2(back.Paragraphs[i] == Sample().Paragraphs[i], qPrintable(QString("paragraph %1").arg(i)));
    }
    // And once more: reading what was read changes nothing.
    QTextDocument again;
    DesignToQt(back, again);
    QVERIFY(DesignFromQt(again) == Sample());
  }

  void qtDocumentCarriesEachAttribute() {
    QTextDocument doc;
    DesignToQt(Sample(), doc);
    QCOMPARE(doc.blockCount(), 9);
    QCOMPARE(doc.rootFrame()->frameFormat().background().color(), QColor(255, 255, 128));

    QCOMPARE(doc.findBlockByNumber(0).blockFormat().alignment() & Qt::AlignHorizontal_Mask,
             Qt::AlignLeft | Qt::AlignAbsolute);
    QCOMPARE(doc.findBlockByNumber(1).blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    QCOMPARE(doc.findBlockByNumber(2).blockFormat().alignment() & Qt::AlignHorizontal_Mask,
             Qt::AlignRight | Qt::AlignAbsolute);
    QVERIFY(!doc.findBlockByNumber(0).textList());
    QVERIFY(doc.findBlockByNumber(4).textList());
    QCOMPARE(doc.findBlockByNumber(4).textList(), doc.findBlockByNumber(5).textList());
    QCOMPARE(doc.findBlockByNumber(4).textList()->format().style(), QTextListFormat::ListDisc);
    QVERIFY(!doc.findBlockByNumber(6).textList());
    QVERIFY(doc.findBlockByNumber(7).textList());
    QVERIFY(doc.findBlockByNumber(7).textList() != doc.findBlockByNumber(4).textList());
    QCOMPARE(doc.findBlockByNumber(7).textList(), doc.findBlockByNumber(8).textList());

    QCOMPARE(FormatAt(doc, "fett").fontWeight(), int(QFont::Bold));
    QCOMPARE(FormatAt(doc, "Hallo").fontWeight(), int(QFont::Normal));
    QVERIFY(FormatAt(doc, "kursiv").fontItalic());
    QVERIFY(!FormatAt(doc, "fett").fontItalic());
    QVERIFY(FormatAt(doc, "unter").fontUnderline());
    QCOMPARE(FormatAt(doc, "rot").foreground().color(), QColor(255, 0, 0));
    QCOMPARE(FormatAt(doc, "blau").foreground().color(), QColor(0, 0, 255));
    QCOMPARE(FormatAt(doc, "misch").foreground().color(), QColor(0x56, 0x34, 0x12));
    QCOMPARE(FormatAt(doc, "Mitte").fontPointSize(), 36.0);
    QCOMPARE(FormatAt(doc, "Mitte").fontFamilies().toStringList(), QStringList{"Times New Roman"});
    QCOMPARE(doc.findBlockByNumber(2).text(), QString::fromUtf8("rechts\t€ üß\u00A0[%Name]"));
  }

  void emptyDocumentHasNoParagraphs() {
    QTextDocument doc;
    QVERIFY(DesignFromQt(doc).Paragraphs.empty());
    QCOMPARE(DesignFromQt(doc).BackColor, 0xFFFFFFu);
    DesignToQt(Sample(), doc);
    DesignToQt(TDesignDocument{}, doc);
    QCOMPARE(doc.blockCount(), 1);
    QVERIFY(doc.toPlainText().isEmpty());
    QVERIFY(DesignFromQt(doc).Paragraphs.empty());
    QVERIFY(!doc.isUndoAvailable());
  }

  // What the user types takes the editor's default font: Arial, 10, black.
  void typedTextTakesTheEditorDefaults() {
    QTextEdit edit;
    QFont font("Arial");
    font.setPointSize(10);
    edit.document()->setDefaultFont(font);
    edit.setPlainText("");
    QTest::keyClicks(&edit, "Hallo Welt");
    QTextCursor c = edit.textCursor();
    c.movePosition(QTextCursor::PreviousWord, QTextCursor::KeepAnchor);
    edit.setTextCursor(c);
    edit.setFontWeight(QFont::Bold);
    edit.setTextColor(QColor(255, 0, 0));
    edit.setAlignment(Qt::AlignHCenter);
    const TDesignDocument model = DesignFromQt(*edit.document());
    QCOMPARE(model.Paragraphs.size(), size_t(1));
    const TParagraph& p = model.Paragraphs[0];
    QCOMPARE(int(p.Align), int(paCenter));
    QCOMPARE(p.Runs.size(), size_t(2));
    QCOMPARE(p.Runs[0].Text, std::string("Hallo "));
    QCOMPARE(p.Runs[0].Format, TCharFormat{});
    QCOMPARE(p.Runs[1].Text, std::string("Welt"));
    QCOMPARE(p.Runs[1].Format, Fmt("Arial", 10, 0x0000FF, true, false, false));
  }

  // A paragraph holds no line break: Shift+Enter starts a new one with
  // the same alignment and bullet.
  void lineSeparatorStartsAParagraph() {
    QTextDocument doc;
    TDesignDocument model;
    model.Paragraphs = {Para(paRight, true, {{TCharFormat{}, "oben"}})};
    DesignToQt(model, doc);
    QTextCursor c(&doc);
    c.movePosition(QTextCursor::End);
    c.insertText(QString(QChar::LineSeparator) + "unten");
    const TDesignDocument back = DesignFromQt(doc);
    QCOMPARE(back.Paragraphs.size(), size_t(2));
    QCOMPARE(back.Paragraphs[1].Runs.size(), size_t(1));
    QCOMPARE(back.Paragraphs[0].Runs[0].Text, std::string("oben"));
    QCOMPARE(back.Paragraphs[1].Runs[0].Text, std::string("unten"));
    QCOMPARE(int(back.Paragraphs[1].Align), int(paRight));
    QVERIFY(back.Paragraphs[1].Bullet);
  }

  void charactersOutsideTheCodePageAndObjects() {
    QTextDocument doc;
    QTextCursor c(&doc);
    c.insertText(QString::fromUtf8("a→b"));
    c.insertImage(QImage(2, 2, QImage::Format_RGB32));
    c.insertText("c");
    const TDesignDocument model = DesignFromQt(doc);
    QCOMPARE(model.Paragraphs.size(), size_t(1));
    std::string text;
    for (const TTextRun& r : model.Paragraphs[0].Runs) text += r.Text;
    QCOMPARE(text, std::string("a?bc"));
  }

  // Pasted HTML brings pixel sizes and CSS weights.
  void pastedHtmlIsResolved() {
    QTextDocument doc;
    QFont font("Arial");
    font.setPointSize(10);
    doc.setDefaultFont(font);
    doc.setHtml("<p><span style=\"font-size:16px; font-weight:600\">gross</span>"
                "<span style=\"font-family:'Times New Roman'; font-style:italic\">schief</span></p>");
    const TDesignDocument model = DesignFromQt(doc);
    QCOMPARE(model.Paragraphs.size(), size_t(1));
    QCOMPARE(model.Paragraphs[0].Runs.size(), size_t(2));
    QCOMPARE(model.Paragraphs[0].Runs[0].Format, Fmt("Arial", 12, 0, true, false, false));
    QCOMPARE(model.Paragraphs[0].Runs[1].Format, Fmt("Times New Roman", 10, 0, false, true, false));
  }

  void coloursKeepRedInTheLowByte() {
    QCOMPARE(ColorToQ(0x0000FF), QColor(255, 0, 0));
    QCOMPARE(ColorToQ(0x00FF00), QColor(0, 255, 0));
    QCOMPARE(ColorToQ(0xFF0000), QColor(0, 0, 255));
    QCOMPARE(ColorToQ(0x80000005), QColor(5, 0, 0));
    for (std::uint32_t c : {0x000000u, 0xFFFFFFu, 0x123456u, 0x0000FFu, 0xABCDEFu}) {
      QCOMPARE(ColorFromQ(ColorToQ(c)), c);
    }
  }
};

QTEST_MAIN(QtDesignDocumentTest)
#include "QtDesignDocumentTest.moc"
