// The editing commands of the mail editor window on the offscreen
// platform: placeholders and pictures at the caret, attachments, the
// imports, the preview and the design toolbar. File and colour questions
// are answered through the editor's dialog hooks.
#include "QtText.h"
#include "TEditorDialogs.h"
#include "TNewsDesignForm.h"
#include "TPalixColorComboBox.h"
#include "TWriteMailForm.h"
#include "UiTestSupport.h"

#include "editor/HtmlToPlainText.h"
#include "editor/RtfWriter.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextEdit>
#include <QTextList>
#include <QToolButton>
#include <QTreeWidget>

#include <deque>
#include <fstream>

using namespace postello;
using postello::test::TypeText;

namespace {

// Answers each question with the next scripted button.
struct TQueueSink : TMessageSink {
  std::deque<TMsgResult> answers;
  std::vector<std::string> texts, captions;
  TMsgResult Show(const std::string& t, const std::string& c, TMsgButtons b, TMsgIcon) override {
    texts.push_back(t);
    captions.push_back(c);
    if (b == TMsgButtons::Ok) return TMsgResult::Ok;
    if (answers.empty()) return TMsgResult::Cancel;
    const TMsgResult a = answers.front();
    answers.pop_front();
    return a;
  }
};

void WriteBytes(const QString& path, const std::string& bytes) {
  std::ofstream(path.toStdString(), std::ios::binary) << bytes;
}

QString Joined(const std::vector<std::string>& lines) {
  QString out;
  for (const std::string& l : lines) out += ToQ(l) + u'\n';
  return out;
}

} // namespace

class EditorCommandsTest : public postello::test::TWindowTestWith<TQueueSink> {
  Q_OBJECT

  // The questions asked and the answers still to give.
  QList<TEditorDialogs::TFileQuestion> m_fileQuestions;
  std::deque<QStringList> m_fileAnswers;
  std::deque<std::optional<std::uint32_t>> m_colorAnswers;
  std::vector<std::uint32_t> m_colorPresets;

  // An editor for a new mail, shown, with its preview in the test folder.
  std::unique_ptr<TWriteMailForm> Editor() {
    auto e = std::make_unique<TWriteMailForm>();
    e->SetProgDir(Dir());
    e->NewMail({"Name", "Vorname"});
    e->show();
    QTest::qWait(1);
    return e;
  }

  static void SetCaret(QTextEdit* edit, int position) {
    QTextCursor c = edit->textCursor();
    c.setPosition(position);
    edit->setTextCursor(c);
  }
  static void SetCaret(QPlainTextEdit* edit, int position) {
    QTextCursor c = edit->textCursor();
    c.setPosition(position);
    edit->setTextCursor(c);
  }

private slots:
  void init() {
    InitTest();
    m_fileQuestions.clear();
    m_fileAnswers.clear();
    m_colorAnswers.clear();
    m_colorPresets.clear();
    TEditorDialogs::SetFileChooser([this](const TEditorDialogs::TFileQuestion& q, QWidget*) {
      m_fileQuestions << q;
      if (m_fileAnswers.empty()) return QStringList();
      QStringList a = m_fileAnswers.front();
      m_fileAnswers.pop_front();
      return a;
    });
    TEditorDialogs::SetColorChooser([this](std::uint32_t current, QWidget*) -> std::optional<std::uint32_t> {
      m_colorPresets.push_back(current);
      if (m_colorAnswers.empty()) return std::nullopt;
      const auto a = m_colorAnswers.front();
      m_colorAnswers.pop_front();
      return a;
    });
  }
  void cleanup() {
    TEditorDialogs::SetFileChooser({});
    TEditorDialogs::SetColorChooser({});
    CleanupTest();
  }

  void toolbarHasItsGermanControls() {
    auto e = Editor();
    QCOMPARE(e->ui.FontName->toolTip(), QString("Schriftart"));
    QVERIFY(e->ui.FontName->isEditable());
    QStringList faces;
    for (int k = 0; k < e->ui.FontName->count(); ++k) faces << e->ui.FontName->itemText(k);
    QVERIFY(!faces.isEmpty());
    QStringList sorted = faces;
    sorted.sort(Qt::CaseInsensitive);
    QCOMPARE(faces, sorted);
    QStringList sizes;
    for (int k = 0; k < e->ui.FontSize->count(); ++k) sizes << e->ui.FontSize->itemText(k);
    QCOMPARE(sizes, (QStringList{"8", "10", "12", "14", "18", "24", "36"}));
    QCOMPARE(e->ui.FontSize->currentText(), QString("10"));
    QCOMPARE(e->ui.PLeftBtn->toolTip(), QString("Linksbündig"));
    QCOMPARE(e->ui.PCenterBtn->toolTip(), QString("Zentriert"));
    QCOMPARE(e->ui.PRightBtn->toolTip(), QString("Rechtsbündig"));
    QVERIFY(e->ui.PLeftBtn->isChecked());
    QCOMPARE(e->ui.BoldBtn->text(), QString("F"));
    QCOMPARE(e->ui.BoldBtn->toolTip(), QString("Fett"));
    QCOMPARE(e->ui.ItalicBtn->text(), QString("K"));
    QCOMPARE(e->ui.ItalicBtn->toolTip(), QString("Kursiv"));
    QCOMPARE(e->ui.UnderlineBtn->text(), QString("U"));
    QCOMPARE(e->ui.UnderlineBtn->toolTip(), QString("Unterstrichen"));
    QCOMPARE(e->ui.FColorBtn->toolTip(), QString("Farbe wechseln"));
    QCOMPARE(e->ui.BkColorBtn->toolTip(), QString("Hintergrundfarbe wechseln"));
    QCOMPARE(e->ui.PicBtn->toolTip(), QString("Bild einfügen"));
    QCOMPARE(e->ui.ImportBtn->text(), QString("RTF-Import..."));
    QCOMPARE(e->ui.ImportBtn->toolTip(), QString("Importiert eine RTF Datei..."));
    QCOMPARE(e->ui.NewsConfigBtn->text(), QString("Newsletter Design..."));
    QCOMPARE(e->ui.EditBtn->text(), QString("Quelltext als reines HTML bearbeiten..."));
    for (QWidget* w : std::initializer_list<QWidget*>{e->ui.InsertFieldBtn, e->ui.AttachBtn, e->ui.DelAllAttachBtn,
                                                      e->ui.PicBtn, e->ui.PicBtn2, e->ui.HTMLImportBtn, e->ui.EditBtn,
                                                      e->ui.ImportBtn, e->ui.NewsConfigBtn}) {
      QVERIFY2(w->isEnabled(), qPrintable(w->objectName()));
    }
    QVERIFY(!e->ui.DelAttachBtn->isEnabled());
  }

  void placeholderIntoHalloWeltInTheDesignDocument() {
    auto e = Editor();
    e->ui.FelderCombo->setCurrentIndex(0);
    TypeText(e->ui.RichEdit1, "Hallo Welt");
    SetCaret(e->ui.RichEdit1, 6);
    QTest::mouseClick(e->ui.InsertFieldBtn, Qt::LeftButton);
    QCOMPARE(e->ui.RichEdit1->toPlainText(), QString("Hallo [%Name]Welt"));
    QCOMPARE(e->ui.RichEdit1->textCursor().position(), 13);
    QVERIFY(!e->ui.RichEdit1->textCursor().hasSelection());
  }

  void placeholderIntoHalloWeltInTheHtmlSource() {
    auto e = Editor();
    QTest::mouseClick(e->ui.MailTyp2, Qt::LeftButton);
    QCOMPARE(e->ui.PageControl1->currentIndex(), 1);
    e->ui.FelderCombo->setCurrentIndex(1);
    e->ui.Memo1->setPlainText("<p>\nHallo Welt\nEnde");
    SetCaret(e->ui.Memo1, 4 + 6); // after "Hallo " on the second line
    QTest::mouseClick(e->ui.InsertFieldBtn, Qt::LeftButton);
    QCOMPARE(e->ui.Memo1->toPlainText(), QString("<p>\nHallo [%Vorname]Welt\nEnde"));
    QCOMPARE(e->ui.Memo1->textCursor().position(), 4 + 6 + 10);
    // The derived text follows the source.
    QVERIFY(e->ui.Memo2->toPlainText().contains("Hallo [%Vorname]Welt"));
  }

  void placeholderIntoAnEmptyPlainTextAndNowhereOnOtherPages() {
    auto e = Editor();
    QTest::mouseClick(e->ui.MailTyp3, Qt::LeftButton);
    QTest::mouseClick(e->ui.InsertFieldBtn, Qt::LeftButton);
    QCOMPARE(e->ui.Memo2->toPlainText(), QString("[%Name]"));
    QTest::mouseClick(e->ui.MailTyp1, Qt::LeftButton);
    e->ui.PageControl1->setCurrentIndex(0);
    e->ui.PageControl2->setCurrentIndex(1); // "Quelltext"
    const QString html = e->ui.Memo3->toPlainText();
    QTest::mouseClick(e->ui.InsertFieldBtn, Qt::LeftButton);
    QCOMPARE(e->ui.Memo3->toPlainText(), html);
    QVERIFY(e->ui.RichEdit1->document()->isEmpty());
  }

  void threeAttachmentsAnsweredYesNoYes() {
    auto e = Editor();
    m_fileAnswers = {{File("Logo.gif"), File("preise.pdf"), File("Bär.png")}};
    m_sink.answers = {TMsgResult::Yes, TMsgResult::No, TMsgResult::Yes};
    QTest::mouseClick(e->ui.AttachBtn, Qt::LeftButton);
    QCOMPARE(m_fileQuestions.size(), 1);
    QVERIFY(m_fileQuestions[0].Multiple);
    QVERIFY(m_fileQuestions[0].Filters.isEmpty());
    QCOMPARE(m_sink.texts, (std::vector<std::string>(3, "Soll die Datei eingebettet werden? Z.B. als ein Bild?")));
    QCOMPARE(m_sink.captions, (std::vector<std::string>(3, "Einbetten?")));
    QTreeWidget* list = e->ui.ListView1;
    QCOMPARE(list->topLevelItemCount(), 3);
    QCOMPARE(list->topLevelItem(0)->text(0), File("Logo.gif"));
    QCOMPARE(list->topLevelItem(0)->text(1), QString("LOGO.GIF"));
    QCOMPARE(list->topLevelItem(1)->text(0), File("preise.pdf"));
    QCOMPARE(list->topLevelItem(1)->text(1), QString(""));
    QCOMPARE(list->topLevelItem(2)->text(1), QString("BäR.PNG"));

    // "Markierte Anhänge löschen" only while a row is selected.
    QVERIFY(!e->ui.DelAttachBtn->isEnabled());
    list->topLevelItem(0)->setSelected(true);
    list->topLevelItem(2)->setSelected(true);
    QVERIFY(e->ui.DelAttachBtn->isEnabled());
    QTest::mouseClick(e->ui.DelAttachBtn, Qt::LeftButton);
    QCOMPARE(list->topLevelItemCount(), 1);
    QCOMPARE(list->topLevelItem(0)->text(0), File("preise.pdf"));
    QVERIFY(!e->ui.DelAttachBtn->isEnabled());
    QCOMPARE(e->State().Attachments.size(), 1u);
    QTest::mouseClick(e->ui.DelAllAttachBtn, Qt::LeftButton);
    QCOMPARE(list->topLevelItemCount(), 0);
    QVERIFY(e->State().Attachments.empty());

    // A cancelled dialog adds nothing and asks nothing.
    m_sink.texts.clear();
    QTest::mouseClick(e->ui.AttachBtn, Qt::LeftButton);
    QCOMPARE(list->topLevelItemCount(), 0);
    QVERIFY(m_sink.texts.empty());
  }

  void pictureIntoTheDesignDocumentAndTheHtmlSource() {
    auto e = Editor();
    TypeText(e->ui.RichEdit1, "Bild: ");
    m_fileAnswers = {{File("Foto.JPG")}, {File("b.png")}};
    QTest::mouseClick(e->ui.PicBtn, Qt::LeftButton);
    QCOMPARE(m_fileQuestions[0].Filters.size(), 1);
    QCOMPARE(m_fileQuestions[0].Filters[0].Label, QString("JPG, GIF, PNG-Grafiken (*.jpg,*.jpeg,*.gif,*.png)"));
    QCOMPARE(m_fileQuestions[0].DefaultSuffix, QString("GIF"));
    QVERIFY(!m_fileQuestions[0].Multiple);
    QCOMPARE(e->ui.RichEdit1->toPlainText(), QString("Bild: <img src=\"cid:FOTO.JPG\" border=0>"));
    e->State().TimerFired();
    QVERIFY2(e->ui.Memo3->toPlainText().contains("Bild: <img src=\"cid:FOTO.JPG\" border=0>"),
             qPrintable(e->ui.Memo3->toPlainText()));

    QTest::mouseClick(e->ui.MailTyp2, Qt::LeftButton);
    e->ui.Memo1->setPlainText("<p>x");
    SetCaret(e->ui.Memo1, 3);
    QTest::mouseClick(e->ui.PicBtn2, Qt::LeftButton);
    QCOMPARE(e->ui.Memo1->toPlainText(), QString("<p><img src=\"cid:B.PNG\" border=0>x"));
    QCOMPARE(e->ui.ListView1->topLevelItemCount(), 2);
    QCOMPARE(e->ui.ListView1->topLevelItem(1)->text(1), QString("B.PNG"));
  }

  void pictureOnPlainTextAddsTheRowOnly() {
    auto e = Editor();
    QTest::mouseClick(e->ui.AutoCreateCheck, Qt::LeftButton); // "Reiner Text" shown
    e->ui.PageControl1->setCurrentIndex(2);
    e->ui.Memo2->setPlainText("Text");
    TypeText(e->ui.RichEdit1, "Dokument");
    m_fileAnswers = {{File("logo.gif")}};
    // The picture button of the design page, reached while "Reiner Text"
    // is the visible page.
    e->PicBtnClick();
    QCOMPARE(e->ui.ListView1->topLevelItemCount(), 1);
    QCOMPARE(e->ui.ListView1->topLevelItem(0)->text(1), QString("LOGO.GIF"));
    QCOMPARE(e->ui.Memo2->toPlainText(), QString("Text"));
    QCOMPARE(e->ui.RichEdit1->toPlainText(), QString("Dokument"));
    QCOMPARE(e->ui.Memo1->toPlainText(), QString());
    // A cancelled picture dialog adds no row.
    e->PicBtnClick();
    QCOMPARE(e->ui.ListView1->topLevelItemCount(), 1);
  }

  void boldAndColourFromTheToolbarReachTheGeneratedHtml() {
    auto e = Editor();
    QTest::mouseClick(e->ui.NormalCheck, Qt::LeftButton);
    QTextEdit* rich = e->ui.RichEdit1;
    rich->setFocus();
    TypeText(rich, "Hallo ");
    QTest::mouseClick(e->ui.BoldBtn, Qt::LeftButton);
    TypeText(rich, "Welt");
    QTest::mouseClick(e->ui.BoldBtn, Qt::LeftButton);
    m_colorAnswers = {0x0000FF};
    QTest::mouseClick(e->ui.FColorBtn, Qt::LeftButton);
    QCOMPARE(m_colorPresets, std::vector<std::uint32_t>{0});
    TypeText(rich, " rot");
    // A selection takes the toolbar's format as well.
    QTest::keyClick(rich, Qt::Key_Return);
    TypeText(rich, "kursiv");
    QTextCursor c = rich->textCursor();
    c.movePosition(QTextCursor::StartOfBlock, QTextCursor::KeepAnchor);
    rich->setTextCursor(c);
    QTest::mouseClick(e->ui.ItalicBtn, Qt::LeftButton);
    QTest::mouseClick(e->ui.UnderlineBtn, Qt::LeftButton);
    QTest::mouseClick(e->ui.PCenterBtn, Qt::LeftButton);
    QVERIFY(e->Timer1->isActive());
    QTest::qWait(1200);
    const QStringList html = e->ui.Memo3->toPlainText().split('\n');
    QCOMPARE(html.value(0), QString("<html><body bgcolor=#FFFFFF>"));
    QCOMPARE(html.value(1), QString("<div align=left><font face=Arial size=2 color=#000000>Hallo <b>Welt"
                                    "<font face=Arial size=2 color=#FF0000></b> rot"));
    QCOMPARE(html.value(2), QString("<div align=center><font face=Arial size=2 color=#FF0000><u><i>kursiv</u></i>"));
  }

  void toolbarFollowsTheCaret() {
    auto e = Editor();
    TDesignDocument doc;
    TCharFormat big;
    big.Face = "Courier New";
    big.Size = 24;
    big.Bold = true;
    big.Underline = true;
    TCharFormat odd;
    odd.Size = 11;
    odd.Italic = true;
    doc.Paragraphs.resize(3);
    doc.Paragraphs[0].Runs = {{TCharFormat{}, "normal"}, {big, "GROSS"}};
    doc.Paragraphs[1].Align = paRight;
    doc.Paragraphs[1].Runs = {{odd, "elf"}};
    doc.Paragraphs[2].Bullet = true;
    doc.Paragraphs[2].Runs = {{TCharFormat{}, "Punkt"}};
    WriteBytes(File("t.rtf"), WriteRtf(doc));
    m_fileAnswers = {{File("t.rtf")}};
    QTest::mouseClick(e->ui.ImportBtn, Qt::LeftButton);
    QTextEdit* rich = e->ui.RichEdit1;

    SetCaret(rich, 8); // inside "GROSS"
    QVERIFY(e->ui.BoldBtn->isChecked());
    QVERIFY(!e->ui.ItalicBtn->isChecked());
    QVERIFY(e->ui.UnderlineBtn->isChecked());
    QCOMPARE(e->ui.FontSize->currentText(), QString("24"));
    QCOMPARE(e->ui.FontName->currentText(), QString("Courier New"));
    QVERIFY(e->ui.PLeftBtn->isChecked());
    QVERIFY(!e->ui.NumberingBtn->isChecked());

    SetCaret(rich, 14); // inside "elf": size 11 is in no entry, the list keeps 24
    QVERIFY(!e->ui.BoldBtn->isChecked());
    QVERIFY(e->ui.ItalicBtn->isChecked());
    QCOMPARE(e->ui.FontSize->currentText(), QString("24"));
    QCOMPARE(e->ui.FontName->currentText(), QString("Arial"));
    QVERIFY(e->ui.PRightBtn->isChecked());
    QVERIFY(!e->ui.PLeftBtn->isChecked());

    SetCaret(rich, 18); // "Punkt"
    QCOMPARE(e->ui.FontSize->currentText(), QString("10"));
    QVERIFY(e->ui.PLeftBtn->isChecked());
    QVERIFY(e->ui.NumberingBtn->isChecked());

    // While the toolbar follows, the formatting commands hold still.
    e->State().SyncGuard = true;
    e->ui.BoldBtn->setChecked(true);
    e->BoldBtnClick();
    e->PRightBtnClick();
    e->State().SyncGuard = false;
    QVERIFY(!rich->currentCharFormat().font().bold());
    QVERIFY(!(rich->textCursor().blockFormat().alignment() & (Qt::AlignRight | Qt::AlignHCenter)));
    // The conversion guard keeps the toolbar where it is.
    e->State().ConversionGuard = true;
    SetCaret(rich, 8);
    QCOMPARE(e->ui.FontSize->currentText(), QString("10"));
    e->State().ConversionGuard = false;
    SetCaret(rich, 9);
    QCOMPARE(e->ui.FontSize->currentText(), QString("24"));
  }

  void bulletToggleSetsAndClearsTheList() {
    auto e = Editor();
    QTextEdit* rich = e->ui.RichEdit1;
    TypeText(rich, "eins");
    QTest::mouseClick(e->ui.NumberingBtn, Qt::LeftButton);
    QVERIFY(rich->textCursor().currentList());
    e->State().TimerFired();
    QVERIFY2(e->ui.Memo3->toPlainText().contains("<ul><li>"), qPrintable(e->ui.Memo3->toPlainText()));
    QTest::mouseClick(e->ui.NumberingBtn, Qt::LeftButton);
    QVERIFY(!rich->textCursor().currentList());
    QCOMPARE(rich->textCursor().blockFormat().indent(), 0);
  }

  void unreadableFontSizeGivesTwelve() {
    auto e = Editor();
    QTextEdit* rich = e->ui.RichEdit1;
    TypeText(rich, "Text");
    rich->selectAll();
    const struct {
      const char* typed;
      double points;
    } cases[] = {{"18", 18}, {"abc", 12}, {"", 12}, {"7", 7}, {"0", 12}, {"-3", 12}};
    for (const auto& c : cases) {
      e->ui.FontSize->setEditText(c.typed);
      QTest::keyClick(e->ui.FontSize, Qt::Key_Return);
      QTextCursor at(rich->document());
      at.setPosition(2);
      QCOMPARE(at.charFormat().fontPointSize(), c.points);
    }
    QVERIFY(rich->hasFocus() || !QApplication::focusWidget() || QApplication::focusWidget() == rich);
    // A face chosen from the list.
    const int arial = e->ui.FontName->findText("Arial");
    e->ui.FontName->setEditText("Times New Roman");
    QTest::keyClick(e->ui.FontName, Qt::Key_Return);
    QTextCursor at(rich->document());
    at.setPosition(2);
    QCOMPARE(at.charFormat().fontFamilies().toStringList().value(0), QString("Times New Roman"));
    Q_UNUSED(arial);
  }

  void formatOfAnEmptyDocumentIsWhatIsTypedNext() {
    auto e = Editor();
    QTextEdit* rich = e->ui.RichEdit1;
    QTest::mouseClick(e->ui.BoldBtn, Qt::LeftButton);
    e->ui.FontSize->setEditText("14");
    QTest::keyClick(e->ui.FontSize, Qt::Key_Return);
    SetCaret(rich, 0);
    TypeText(rich, "fett");
    const TDesignDocument doc = e->Document();
    QCOMPARE(doc.Paragraphs.size(), std::size_t(1));
    QCOMPARE(doc.Paragraphs[0].Runs.size(), std::size_t(1));
    QVERIFY(doc.Paragraphs[0].Runs[0].Format.Bold);
    QCOMPARE(doc.Paragraphs[0].Runs[0].Format.Size, 14);
    QVERIFY(e->ui.BoldBtn->isChecked());
  }

  void backgroundColourRebuildsEvenDuringSync() {
    auto e = Editor();
    QTest::mouseClick(e->ui.NormalCheck, Qt::LeftButton);
    TypeText(e->ui.RichEdit1, "x");
    m_colorAnswers = {0x00FFFF, std::nullopt};
    e->State().SyncGuard = true;
    e->BkColorBtnClick();
    e->State().SyncGuard = false;
    QCOMPARE(m_colorPresets, std::vector<std::uint32_t>{0xFFFFFF});
    QCOMPARE(e->State().DesignColor, 0x00FFFFu);
    QVERIFY2(e->ui.Memo3->toPlainText().contains("bgcolor=#FFFF00"), qPrintable(e->ui.Memo3->toPlainText()));
    QCOMPARE(e->ui.RichEdit1->palette().color(QPalette::Base), QColor(255, 255, 0));
    // Cancelled: nothing changes.
    QTest::mouseClick(e->ui.BkColorBtn, Qt::LeftButton);
    QCOMPARE(e->State().DesignColor, 0x00FFFFu);
  }

  void rtfImportReplacesTheDocumentOrReportsInGerman() {
    auto e = Editor();
    TypeText(e->ui.RichEdit1, "alt");
    WriteBytes(File("kaputt.rtf"), "{\\rtf1 nur die H\\'e4lfte");
    m_fileAnswers = {{File("kaputt.rtf")}};
    QTest::mouseClick(e->ui.ImportBtn, Qt::LeftButton);
    QCOMPARE(m_fileQuestions[0].Filters[0].Label, QString("RTF-Dateien (*.RTF)"));
    QCOMPARE(m_fileQuestions[0].DefaultSuffix, QString("RTF"));
    QCOMPARE(e->ui.RichEdit1->toPlainText(), QString("alt"));
    QCOMPARE(m_sink.texts.size(), std::size_t(1));
    QVERIFY2(ToQ(m_sink.texts[0]).contains("kann nicht importiert werden"), m_sink.texts[0].c_str());
    QVERIFY2(ToQ(m_sink.texts[0]).contains("kaputt.rtf"), m_sink.texts[0].c_str());

    WriteBytes(File("gut.rtf"), "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0\\fs20 Gr\\'fc\\'dfe {\\b fett}\\par}");
    m_fileAnswers = {{File("gut.rtf")}};
    QTest::mouseClick(e->ui.ImportBtn, Qt::LeftButton);
    QCOMPARE(e->ui.RichEdit1->toPlainText(), QString("Grüße fett"));
    e->State().TimerFired();
    QVERIFY2(e->ui.Memo3->toPlainText().contains("Gr\u00FC\u00DFe <b>fett</b>"), qPrintable(e->ui.Memo3->toPlainText()));
  }

  void htmlImportThroughTheWindow() {
    auto e = Editor();
    QTest::mouseClick(e->ui.MailTyp2, Qt::LeftButton);
    e->ui.ListView1->addTopLevelItem(new QTreeWidgetItem(QStringList{"x"}));
    m_sink.answers = {TMsgResult::No};
    m_fileAnswers = {{File("vorher.pdf")}};
    QTest::mouseClick(e->ui.AttachBtn, Qt::LeftButton);
    WriteBytes(File("a.gif"), "GIF89a");
    WriteBytes(File("b.png"), "png");
    WriteBytes(File("seite.htm"),
               "<html><body><p>Gr\xC3\xBC\xC3\x9F" "e<img src=\"a.gif\">\r\n<br><img src=\"b.png\"></body></html>\r\n");
    std::vector<int> seen;
    connect(e->ui.ProgressBar1, &QProgressBar::valueChanged, [&seen](int v) { seen.push_back(v); });
    m_fileAnswers = {{File("seite.htm")}};
    QTest::mouseClick(e->ui.HTMLImportBtn, Qt::LeftButton);
    const auto& q = m_fileQuestions.back();
    QCOMPARE(q.Filters.size(), 2);
    QCOMPARE(q.Filters[0].Label, QString("HTML-Dateien (*.htm;*.html)"));
    QCOMPARE(q.Filters[1].Label, QString("Alle Dateien (*.*)"));
    QCOMPARE(q.DefaultSuffix, QString("HTM"));
    QCOMPARE(e->ui.Memo1->toPlainText(),
             QString("<html><body><p>Grüße<img src=\"cid:A.GIF\">\n<br><img src=\"cid:B.PNG\"></body></html>"));
    QCOMPARE(e->ui.ListView1->topLevelItemCount(), 3);
    QCOMPARE(e->ui.ListView1->topLevelItem(0)->text(0), File("vorher.pdf"));
    QCOMPARE(e->ui.ListView1->topLevelItem(1)->text(1), QString("A.GIF"));
    QCOMPARE(e->ui.ListView1->topLevelItem(2)->text(0), File("b.png"));
    QCOMPARE(seen, (std::vector<int>{100, 0}));
    QCOMPARE(e->ui.ProgressBar1->value(), 0);
    QCOMPARE(e->State().MailType, std::uint8_t(1));
    QCOMPARE(e->ui.Memo2->toPlainText(), Joined(HtmlToPlainText(e->HtmlSource())).chopped(1));
  }

  void editButtonTurnsTheGeneratedHtmlIntoTheSource() {
    auto e = Editor();
    TypeText(e->ui.RichEdit1, "Hallo");
    e->ui.PageControl2->setCurrentIndex(1);
    const QString generated = e->ui.Memo3->toPlainText();
    QVERIFY(generated.contains("Hallo"));
    QTest::mouseClick(e->ui.EditBtn, Qt::LeftButton);
    QCOMPARE(e->ui.Memo1->toPlainText(), generated);
    QVERIFY(e->ui.MailTyp2->isChecked());
    QCOMPARE(e->State().MailType, std::uint8_t(1));
    QVERIFY(!e->ui.PageControl1->isTabVisible(0));
    QCOMPARE(e->ui.PageControl1->currentIndex(), 1);
  }

  void previewFileHasTwoReferencesReplacedAndShowsUmlauts() {
    auto e = Editor();
    QTest::mouseClick(e->ui.MailTyp2, Qt::LeftButton);
    e->State().Attachments = {{File("a.gif").toStdString(), "A.GIF"}, {File("Bild 2.png").toStdString(), "BILD 2.PNG"}};
    e->ui.Memo1->setPlainText("<p>Grüße <img src=\"cid:A.GIF\"><img src=\"CID:bild 2.png\" border=0>\n<b>Ende</b>");
    e->ui.PageControl3->setCurrentIndex(1);
    const QByteArray bytes = postello::test::FileBytes(File("mail~.htm"));
    const QByteArray expected = "<p>Gr\xFC\xDF" "e <img src=\"" + File("a.gif").toUtf8() + "\"><img src=\"" +
                                m_dir.path().toUtf8() + "/Bild%202.png\" border=0>\r\n<b>Ende</b>\r\n";
    QCOMPARE(bytes, expected);
    QVERIFY2(e->ui.WebBrowser2->toPlainText().startsWith("Grüße"), qPrintable(e->ui.WebBrowser2->toPlainText()));

    // The design page's preview shows the generated HTML.
    QTest::mouseClick(e->ui.MailTyp1, Qt::LeftButton);
    TypeText(e->ui.RichEdit1, "Schöne Grüße");
    e->ui.PageControl2->setCurrentIndex(2);
    QVERIFY2(e->ui.WebBrowser1->toPlainText().contains("Schöne Grüße"), qPrintable(e->ui.WebBrowser1->toPlainText()));
    QVERIFY(postello::test::FileBytes(File("mail~.htm")).contains("Sch\xF6ne Gr\xFC\xDF" "e"));
  }

  void previewWriteFailureIsShownWithTheFileName() {
    auto e = Editor();
    e->SetProgDir(File("fehlt/ordner").toStdString() + "/");
    e->ui.PageControl2->setCurrentIndex(2);
    QCOMPARE(m_sink.texts.size(), std::size_t(1));
    QVERIFY2(ToQ(m_sink.texts[0]).contains(File("fehlt/ordner/mail~.htm")), m_sink.texts[0].c_str());
  }

  void designDialogSettingsComeFromAndGoToTheMail() {
    auto e = Editor();
    TypeText(e->ui.RichEdit1, "Inhalt");
    WhenModalShownChange();
    QTest::mouseClick(e->ui.NewsConfigBtn, Qt::LeftButton);
    QCOMPARE(e->State().Design.HeadText, std::string("Neuer Kopf"));
    QCOMPARE(e->State().Design.Width, 640);
    // Closing the dialog rebuilt the framed HTML at once.
    QVERIFY2(e->ui.Memo3->toPlainText().contains("Neuer Kopf"), qPrintable(e->ui.Memo3->toPlainText()));
    QVERIFY(e->ui.Memo3->toPlainText().contains("width=640"));
    TMailRec mail;
    e->Commit(mail);
    QCOMPARE(mail.NewsHeadText, std::string("Neuer Kopf"));
    QCOMPARE(mail.NewsWidth, 640);
    // "Abbrechen" leaves the mail's design as it was.
    postello::test::WhenModalShown([](QDialog* dlg) {
      auto* form = qobject_cast<TNewsDesignForm*>(dlg);
      form->ui.UeberSchriftEd->setText("Verworfen");
      QTest::mouseClick(form->ui.CancelBtn, Qt::LeftButton);
    });
    QTest::mouseClick(e->ui.NewsConfigBtn, Qt::LeftButton);
    QCOMPARE(e->State().Design.HeadText, std::string("Neuer Kopf"));

    // Opening a stored mail puts its settings into the dialog.
    TMailRec stored;
    TNewsDesign d;
    d.HeadText = "Gespeichert";
    d.Width = 300;
    d.ToMailRec(stored);
    stored.MailType = 0;
    stored.NewsDesign = 1;
    e->LoadMail(stored, {});
    QCOMPARE(e->DesignForm()->ui.UeberSchriftEd->text(), QString("Gespeichert"));
    QCOMPARE(e->DesignForm()->ui.BreitEd->value(), 300);
  }

  // The toggles have keys while the document has the focus: Strg+B/I/U
  // switch on, Strg+Umschalt+F/K/U switch off again.
  void formatKeysToggleBoldItalicUnderline() {
    auto e = Editor();
    QVERIFY(QTest::qWaitForWindowActive(e.get()));
    e->ui.RichEdit1->setFocus();
    const struct {
      Qt::Key key;
      Qt::KeyboardModifiers mods;
      QToolButton* button;
      bool on;
    } keys[] = {
        {Qt::Key_B, Qt::ControlModifier, e->ui.BoldBtn, true},
        {Qt::Key_I, Qt::ControlModifier, e->ui.ItalicBtn, true},
        {Qt::Key_U, Qt::ControlModifier, e->ui.UnderlineBtn, true},
        {Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier, e->ui.BoldBtn, false},
        {Qt::Key_K, Qt::ControlModifier | Qt::ShiftModifier, e->ui.ItalicBtn, false},
        {Qt::Key_U, Qt::ControlModifier | Qt::ShiftModifier, e->ui.UnderlineBtn, false},
    };
    for (const auto& k : keys) {
      QTest::keyClick(e->ui.RichEdit1, k.key, k.mods);
      QCOMPARE(k.button->isChecked(), k.on);
    }
    QCOMPARE(e->ui.RichEdit1->currentCharFormat().fontWeight(), int(QFont::Normal));
    QCOMPARE(e->ui.RichEdit1->toPlainText(), QString());
  }

  // Made as small as it goes, the window still shows lines of the text.
  void smallestWindowKeepsEightLinesOfText() {
    auto e = Editor();
    e->resize(1, 1);
    QCoreApplication::processEvents();
    QVERIFY2(e->ui.RichEdit1->viewport()->height() >= 8 * e->ui.RichEdit1->fontMetrics().lineSpacing(),
             qPrintable(QString::number(e->ui.RichEdit1->viewport()->height())));
  }

  // Tab after the subject's options goes into the text of the visible page.
  void tabGoesFromTheSubjectIntoTheText() {
    auto e = Editor();
    QVERIFY(QTest::qWaitForWindowActive(e.get()));
    const std::pair<QRadioButton*, QWidget*> types[] = {
        {e->ui.MailTyp1, e->ui.RichEdit1}, {e->ui.MailTyp2, e->ui.Memo1}, {e->ui.MailTyp3, e->ui.Memo2}};
    for (const auto& [type, text] : types) {
      type->click();
      e->ui.Edit1->setFocus();
      for (int k = 0; k < 4 && QApplication::focusWidget() != text; ++k)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      QCOMPARE(QApplication::focusWidget(), text);
    }
  }

private:
  void WhenModalShownChange() {
    postello::test::WhenModalShown([](QDialog* dlg) {
      auto* form = qobject_cast<TNewsDesignForm*>(dlg);
      QVERIFY(form);
      form->ui.UeberSchriftEd->setText("Neuer Kopf");
      form->ui.BreitEd->setValue(640);
      form->accept();
    });
  }
};

QTEST_MAIN(EditorCommandsTest)
#include "EditorCommandsTest.moc"
