// The mail editor window, opened from the main window on the offscreen
// platform: new mails, stored mails, the close question and the timer.
#include "TMainForm.h"
#include "QtText.h"
#include "TWriteMailForm.h"
#include "UiTestSupport.h"

#include "core/StoredDateTime.h"
#include "editor/DesignHtml.h"
#include "editor/HtmlToPlainText.h"
#include "editor/MemoText.h"
#include "editor/RtfReader.h"
#include "editor/RtfWriter.h"

#include <QTextBlock>
#include <QTextLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTextEdit>
#include <QTreeWidget>

using namespace postello;
using postello::test::TypeText;
using postello::test::FileBytes;
using postello::test::InEditor;
using postello::test::WhenModalShown;

namespace {

TCharFormat Bold() {
  TCharFormat f;
  f.Bold = true;
  return f;
}

// A design mail as an earlier session stored it: its generated HTML and
// plain text are not what the document gives now.
TMailRec StoredDesignMail() {
  TMailRec m;
  m.Subject = "Gr\xFC\xDF" "e";
  TDesignDocument doc;
  doc.Paragraphs.resize(2);
  doc.Paragraphs[0].Runs = {{TCharFormat{}, "Hallo "}, {Bold(), "Welt"}};
  doc.Paragraphs[1].Align = paCenter;
  doc.Paragraphs[1].Runs = {{TCharFormat{}, "M\xFC" "nchen"}};
  m.DesignRtf = WriteRtf(doc);
  m.DesignColor = 0xFFFFFF;
  m.DesignHtml = "<html>veraltet</html>";
  m.PlainText = "Gespeicherter Text\r\nzweite Zeile";
  m.HtmlText = "<p>Quelle</p>";
  m.MailType = 0;
  m.AutoText = true;
  m.NewsDesign = false;
  TNewsDesign().ToMailRec(m);
  m.Attachments.Add()->FileName = "/tmp/logo.gif";
  m.CurAttach->ContentId = "LOGO.GIF";
  m.Date = EncodeDateTime(2026, 5, 1, 8, 0, 0);
  return m;
}

QStringList Lines(const QPlainTextEdit* memo) { return memo->toPlainText().split('\n'); }

// The main window with its editor window, created on the program folder
// dir.
struct TWindows {
  TMainState state;
  TMainForm form{state};
  TWriteMailForm editor{&form};

  explicit TWindows(const std::string& dir) {
    form.SetWriteMailForm(&editor);
    form.FormCreate(dir);
  }
};

} // namespace

class WriteMailFormTest : public postello::test::TWindowTest {
  Q_OBJECT

  // The context menus shown now; each is closed.
  static QList<QMenu*> OpenMenus() {
    QList<QMenu*> menus;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* menu = qobject_cast<QMenu*>(w); menu && menu->isVisible()) menus << menu;
    for (QMenu* menu : menus) menu->hide();
    return menus;
  }

  void Store(const std::vector<TMailRec>& mails) { postello::test::StoreMails(Dir(), mails); }
  TMailList Reread() { return postello::test::RereadMails(Dir()); }

  static QStringList VisibleTabs(QTabWidget* tabs) {
    QStringList out;
    for (int k = 0; k < tabs->count(); ++k) {
      if (tabs->isTabVisible(k)) out << tabs->tabText(k);
    }
    return out;
  }

private slots:
  void init() { InitTest(); }
  void cleanup() { CleanupTest(); }

  void windowHasItsCaptionsAndControls() {
    TWriteMailForm editor;
    QCOMPARE(editor.windowTitle(), QString("Mail schreiben"));
    QCOMPARE(editor.ui.MailTyp1->text(), QString("Design (Generiertes HTML && reiner Text)"));
    QCOMPARE(editor.ui.MailTyp2->text(), QString("HTML-Mail (Reines HTML && reiner Text)"));
    QCOMPARE(editor.ui.MailTyp3->text(), QString("Text-Mail (Nur reiner Text)"));
    QCOMPARE(editor.ui.AutoCreateCheck->text(), QString("Reinen Text automatisch aus dem HTML-Code erzeugen"));
    QCOMPARE(editor.ui.SpeedButton1->toolTip(), QString("Fertig mit Schreiben..."));
    QCOMPARE(editor.ui.PageControl1->tabText(0), QString("Design"));
    QCOMPARE(editor.ui.PageControl1->tabText(1), QString("Reines HTML"));
    QCOMPARE(editor.ui.PageControl1->tabText(2), QString("Reiner Text"));
    QCOMPARE(editor.ui.PageControl2->tabText(0), QString("Bearbeiten"));
    QCOMPARE(editor.ui.PageControl2->tabText(1), QString("Quelltext"));
    QCOMPARE(editor.ui.PageControl2->tabText(2), QString("Vorschau"));
    QCOMPARE(editor.ui.PageControl3->tabText(0), QString("Bearbeiten"));
    QCOMPARE(editor.ui.PageControl3->tabText(1), QString("Vorschau"));
    QCOMPARE(editor.ui.ListView1->headerItem()->text(0), QString("Datei"));
    QCOMPARE(editor.ui.ListView1->headerItem()->text(1), QString("CID"));
    QCOMPARE(editor.ui.ListView1->columnWidth(0), 300);
    QCOMPARE(editor.ui.ListView1->columnWidth(1), 100);
    QCOMPARE(editor.ui.ListView1->selectionMode(), QAbstractItemView::ExtendedSelection);
    QVERIFY(editor.ui.Memo3->isReadOnly());
    QVERIFY(!editor.ui.Memo1->isReadOnly());
    QVERIFY(!editor.ui.DelAttachBtn->isEnabled());
    QVERIFY(editor.ui.NewsCheck->isChecked());
    QCOMPARE(editor.Timer1->interval(), 1000);
    QVERIFY(editor.Timer1->isSingleShot());
    QVERIFY(!editor.Timer1->isActive());
  }

  void unknownWordIsUnderlinedAndPlaceholderIsNot() {
    TWriteMailForm editor;
    editor.SetProgDir(Dir());
    editor.show();
    editor.ui.RichEdit1->setPlainText(QStringLiteral("Hallo [%VORNAME], die Wohnungg an der Strasse"));
    auto underlined = [&] {
      QCoreApplication::processEvents();
      QStringList words;
      const QTextBlock block = editor.ui.RichEdit1->document()->firstBlock();
      for (const QTextLayout::FormatRange& r : block.layout()->formats()) {
        if (r.format.underlineStyle() == QTextCharFormat::SpellCheckUnderline)
          words << block.text().mid(r.start, r.length);
      }
      return words;
    };
    QCOMPARE(underlined(), (QStringList{QStringLiteral("Wohnungg"), QStringLiteral("Strasse")}));
    // Swiss spelling knows no sharp s; the choice is kept for the next start.
    auto* box = editor.findChild<QComboBox*>(QStringLiteral("SpellDictBox"));
    QVERIFY(box);
    box->setCurrentText(QStringLiteral("de_CH"));
    QCOMPARE(underlined(), QStringList{QStringLiteral("Wohnungg")});
    QFile choice(QString::fromStdString(Dir()) + QStringLiteral("woerterbuch-sprache.txt"));
    QVERIFY(choice.open(QIODevice::ReadOnly));
    QCOMPARE(choice.readAll(), QByteArray("de_CH\n"));
    // The dictionary chosen last alone answers the context menu.
    emit editor.ui.RichEdit1->customContextMenuRequested(QPoint(5, 5));
    QCOMPARE(OpenMenus().size(), 1);
  }

  // The subject is checked as the editors are, a moment after a change:
  // red waves under the unknown word alone, suggestions in its menu.
  void subjectUnderlinesUnknownWordsAndOffersSuggestions() {
    TWriteMailForm editor;
    editor.SetProgDir(Dir());
    editor.show();
    QLineEdit* subject = editor.ui.Edit1;
    const QString text = QStringLiteral("[%VORNAME], Ihre Wohnungg");
    subject->setText(text);
    const int word = text.indexOf(QStringLiteral("Wohnungg"));
    auto caretX = [&](int at) {
      subject->setCursorPosition(at);
      return subject->inputMethodQuery(Qt::ImCursorRectangle).toRect().x();
    };
    const int from = caretX(word), to = caretX(word + 8);
    subject->setCursorPosition(3);  // the underlines do not follow the caret
    auto redColumns = [&] {
      const QImage image = subject->grab().toImage();
      QList<int> columns;
      for (int x = 0; x < image.width(); ++x)
        for (int y = 0; y < image.height(); ++y) {
          const QColor c = image.pixelColor(x, y);
          if (c.red() - c.green() > 50 && c.red() - c.blue() > 50) {
            columns << x;
            break;
          }
        }
      return columns;
    };
    QTRY_VERIFY(!redColumns().isEmpty());
    const QList<int> red = redColumns();
    // The wave may run a little past the word's last letter.
    const int slack = subject->fontMetrics().horizontalAdvance(QLatin1Char('W'));
    QVERIFY2(red.first() >= from - 1 && red.first() < from + slack && red.last() > to - slack && red.last() <= to + slack,
             qPrintable(QStringLiteral("%1..%2 not in %3..%4").arg(red.first()).arg(red.last()).arg(from).arg(to)));

    auto choose = [&](const QString& entry) {
      emit subject->customContextMenuRequested(QPoint((from + to) / 2, subject->height() / 2));
      const QList<QMenu*> menus = OpenMenus();
      QCOMPARE(menus.size(), 1);
      QStringList entries;
      for (QAction* a : menus.first()->actions()) entries << a->text();
      QVERIFY2(entries.contains(QStringLiteral("Wohnung")) && entries.contains(QStringLiteral("Zum Wörterbuch hinzufügen")),
               qPrintable(entries.join('|')));
      QVERIFY2(entries.size() > 8, qPrintable(entries.join('|')));  // the field's own entries stay
      for (QAction* a : menus.first()->actions())
        if (a->text() == entry) a->trigger();
    };
    // A personal list that cannot be written is reported, not fatal.
    QVERIFY(QDir().mkpath(QString::fromStdString(Dir()) + QStringLiteral("woerterbuch.txt")));
    choose(QStringLiteral("Zum Wörterbuch hinzufügen"));
    QCOMPARE(m_sink.texts.size(), size_t(1));
    QVERIFY2(m_sink.texts[0].find("woerterbuch.txt") != std::string::npos, m_sink.texts[0].c_str());
    choose(QStringLiteral("Wohnung"));
    QCOMPARE(subject->text(), QStringLiteral("[%VORNAME], Ihre Wohnung"));
    QTRY_VERIFY(redColumns().isEmpty());

    // A word added from the subject is known in the editors at once.
    QVERIFY(QDir().rmdir(QString::fromStdString(Dir()) + QStringLiteral("woerterbuch.txt")));
    subject->setText(text);
    editor.ui.RichEdit1->setPlainText(QStringLiteral("Wohnungg"));
    auto editorWaves = [&] { return editor.ui.RichEdit1->document()->firstBlock().layout()->formats().size(); };
    QCOMPARE(editorWaves(), 1);
    choose(QStringLiteral("Zum Wörterbuch hinzufügen"));
    QCOMPARE(editorWaves(), 0);
    QTRY_VERIFY(redColumns().isEmpty());
  }

  void newMailCommittedWithYesIsInMailsDat() {
    TWindows windows(Dir());
    auto& [state, form, editor] = windows;
    QVERIFY(form.ui.NewBtn->isEnabled());
    m_sink.answer = TMsgResult::Yes;
    InEditor([](TWriteMailForm* e) {
      QCOMPARE(e->focusWidget(), e->ui.Edit1);
      QCOMPARE(e->ui.PageControl1->currentIndex(), 0);
      QCOMPARE(e->ui.PageControl2->currentIndex(), 0);
      QVERIFY(e->ui.MailTyp1->isChecked());
      QVERIFY(e->ui.AutoCreateCheck->isChecked());
      TypeText(e->ui.Edit1, QString::fromUtf8("Neuigkeiten für Sie"));
      e->ui.RichEdit1->setFocus();
      TypeText(e->ui.RichEdit1, QString::fromUtf8("Liebe Grüße"));
      QVERIFY(e->Timer1->isActive());
      // "Zurück..." right after typing: the pending conversion still
      // reaches the stored HTML.
      QTest::mouseClick(e->ui.SpeedButton1, Qt::LeftButton);
    });
    QTest::mouseClick(form.ui.NewBtn, Qt::LeftButton);
    QCOMPARE(m_sink.texts.size(), size_t(1));
    QCOMPARE(QString::fromStdString(m_sink.captions[0]), QString("Speichern"));
    QVERIFY(!editor.isVisible());

    const TMailList mails = Reread();
    QCOMPARE(mails.Count(), 1u);
    const TMailRec& m = mails[0];
    QCOMPARE(m.Subject, std::string("Neuigkeiten f\xFCr Sie"));
    QCOMPARE(int(m.MailType), 0);
    QVERIFY(m.AutoText);
    QVERIFY(m.NewsDesign);
    const TRtfReadResult read = ReadRtf(m.DesignRtf);
    QVERIFY(read.Error.empty());
    QCOMPARE(read.Document.Paragraphs.size(), size_t(1));
    QCOMPARE(read.Document.Paragraphs[0].Runs.size(), size_t(1));
    QCOMPARE(read.Document.Paragraphs[0].Runs[0].Text, std::string("Liebe Gr\xFC\xDF" "e"));
    QCOMPARE(read.Document.Paragraphs[0].Runs[0].Format, TCharFormat{});
    QVERIFY2(m.DesignHtml.find("<font face=Arial size=2 color=#000000>Liebe Gr\xFC\xDF" "e") != std::string::npos,
             m.DesignHtml.c_str());
    QCOMPARE(m.DesignHtml, JoinMemoLines(BuildDesignHtml(read.Document, 0xFFFFFF, true, TNewsDesign{})));
    QCOMPARE(m.PlainText, JoinMemoLines(HtmlToPlainText(SplitMemoLines(m.DesignHtml))));
    QVERIFY2(m.PlainText.find("Liebe Gr\xFC\xDF" "e") != std::string::npos, m.PlainText.c_str());
    QCOMPARE(m.DesignColor, 0xFFFFFFu);
    QVERIFY(m.Date > EncodeDateTime(2020, 1, 1));
    QCOMPARE(form.ui.ListView1->topLevelItemCount(), 1);
    QCOMPARE(form.ui.ListView1->topLevelItem(0)->text(1), QString::fromUtf8("Neuigkeiten für Sie"));
  }

  void cancelKeepsTheWindowAndNoStoresNothing() {
    TWindows windows(Dir());
    auto& [state, form, editor] = windows;
    bool stayedOpen = false;
    InEditor([this, &stayedOpen](TWriteMailForm* e) {
      QTest::keyClicks(e->ui.Edit1, "Entwurf");
      m_sink.answer = TMsgResult::Cancel;
      QTest::keyClick(e, Qt::Key_Escape);
      stayedOpen = e->isVisible();
      m_sink.answer = TMsgResult::No;
      e->close();
    });
    QTest::mouseClick(form.ui.NewBtn, Qt::LeftButton);
    QVERIFY(stayedOpen);
    QCOMPARE(m_sink.texts.size(), size_t(2));
    QVERIFY(!editor.isVisible());
    QVERIFY(!editor.Timer1->isActive());
    QCOMPARE(state.Mails.Count(), 0u);
    QVERIFY(!QFile::exists(File("mails.dat")));
  }

  // The stored plain text is shown as stored; one second later the HTML
  // is rebuilt from the document. No then leaves the record as it was.
  void storedDesignMailRebuiltThenNoLeavesItUnchanged() {
    Store({StoredDesignMail()});
    const QByteArray before = FileBytes(File("mails.dat"));
    TWindows windows(Dir());
    auto& [state, form, editor] = windows;
    const TMailRec stored = state.Mails[0];

    QStringList plainShown, htmlBefore, htmlAfter, plainAfter;
    bool timerRunning = false;
    m_sink.answer = TMsgResult::No;
    InEditor([&](TWriteMailForm* e) {
      plainShown = Lines(e->ui.Memo2);
      htmlBefore = Lines(e->ui.Memo3);
      timerRunning = e->Timer1->isActive();
      QCOMPARE(e->ui.ListView1->topLevelItemCount(), 1);
      QCOMPARE(e->ui.ListView1->topLevelItem(0)->text(1), QString("LOGO.GIF"));
      QVERIFY(e->ui.NormalCheck->isChecked());
      QTest::qWait(1300);
      htmlAfter = Lines(e->ui.Memo3);
      plainAfter = Lines(e->ui.Memo2);
      e->close();
    });
    form.ui.ListView1->topLevelItem(0)->setSelected(true);
    QTest::keyClick(form.ui.ListView1, Qt::Key_Return);

    QCOMPARE(plainShown, (QStringList{"Gespeicherter Text", "zweite Zeile"}));
    QCOMPARE(htmlBefore, QStringList{"<html>veraltet</html>"});
    QVERIFY(timerRunning);
    const TDesignDocument doc = ReadRtf(stored.DesignRtf).Document;
    QStringList expected;
    for (const std::string& line : BuildDesignHtml(doc, 0xFFFFFF, false, TNewsDesign{})) expected << ToQ(line);
    QCOMPARE(htmlAfter, expected);
    QCOMPARE(htmlAfter[1], QString("<div align=left><font face=Arial size=2 color=#000000>Hallo <b>Welt</b>"));
    QStringList derived;
    for (const std::string& line : HtmlToPlainText(BuildDesignHtml(doc, 0xFFFFFF, false, TNewsDesign{}))) {
      derived << ToQ(line);
    }
    QCOMPARE(plainAfter, derived);
    QVERIFY(plainAfter.contains(QString::fromUtf8("München")));
    QCOMPARE(FileBytes(File("mails.dat")), before);
    QVERIFY(!editor.Timer1->isActive());
    QCOMPARE(state.Mails[0].DesignHtml, stored.DesignHtml);
    QCOMPARE(state.Mails[0].Date, stored.Date);
  }

  // Yes after a change beside the document: the HTML is rebuilt, the
  // stored RTF keeps its bytes, the record stays in its place.
  void storedMailCommittedInPlaceKeepsItsRtf() {
    TMailRec first = StoredDesignMail();
    TMailRec second = StoredDesignMail();
    second.Subject = "Zweite";
    second.DesignRtf = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1031{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}}\r\n"
                       "\\viewkind4\\uc1\\pard\\f0\\fs20 Gr\\'fc\\'dfe\\par\r\n}\r\n";
    Store({first, second});
    TWindows windows(Dir());
    auto& [state, form, editor] = windows;
    m_sink.answer = TMsgResult::Yes;
    InEditor([](TWriteMailForm* e) {
      QCOMPARE(e->ui.Edit1->text(), QString("Zweite"));
      QCOMPARE(e->ui.RichEdit1->toPlainText(), QString::fromUtf8("Grüße"));
      e->ui.MergeSubjectCheck->click();
      e->ui.SpeedButton1->click();
    });
    form.ui.ListView1->topLevelItem(1)->setSelected(true);
    form.ffnen1->trigger();

    const TMailList mails = Reread();
    QCOMPARE(mails.Count(), 2u);
    QCOMPARE(mails[0].Subject, first.Subject);
    QCOMPARE(mails[0].Date, first.Date);
    QCOMPARE(mails[1].Subject, std::string("Zweite"));
    QVERIFY(mails[1].MergeSubject);
    QCOMPARE(mails[1].DesignRtf, second.DesignRtf);
    QCOMPARE(mails[1].DesignHtml, std::string("<html><body bgcolor=#FFFFFF>\r\n"
                                              "<div align=left><font face=Arial size=2 color=#000000>Gr\xFC\xDF" "e\r\n"
                                              "</body></html>"));
    QCOMPARE(mails[1].PlainText, JoinMemoLines(HtmlToPlainText(SplitMemoLines(mails[1].DesignHtml))));
    QCOMPARE(mails[1].Attachments.Count(), 1u);
    QCOMPARE(mails[1].Attachments[0].ContentId, std::string("LOGO.GIF"));
    QVERIFY(mails[1].Date > second.Date);
  }

  void typeTwoDisablesAutoTextAndShowsOnlyPlainText() {
    TMailRec m = StoredDesignMail();
    m.MailType = 2;
    Store({m});
    TWindows windows(Dir());
    auto& [state, form, editor] = windows;
    m_sink.answer = TMsgResult::No;
    InEditor([](TWriteMailForm* e) {
      QVERIFY(e->ui.MailTyp3->isChecked());
      QVERIFY(!e->ui.AutoCreateCheck->isEnabled());
      QCOMPARE(VisibleTabs(e->ui.PageControl1), QStringList{"Reiner Text"});
      QCOMPARE(e->ui.PageControl1->currentIndex(), 2);
      QCOMPARE(e->focusWidget(), e->ui.Edit1);
      // Back to a design mail with auto text on: "Reiner Text" hides again.
      QTest::mouseClick(e->ui.MailTyp1, Qt::LeftButton);
      QVERIFY(e->ui.AutoCreateCheck->isEnabled());
      QVERIFY(e->ui.AutoCreateCheck->isChecked());
      QCOMPARE(VisibleTabs(e->ui.PageControl1), QStringList{"Design"});
      QCOMPARE(e->ui.PageControl1->currentIndex(), 0);
      e->ui.AutoCreateCheck->click();
      QCOMPARE(VisibleTabs(e->ui.PageControl1), (QStringList{"Design", "Reiner Text"}));
      e->ui.MailTyp2->click();
      QCOMPARE(VisibleTabs(e->ui.PageControl1), (QStringList{"Reines HTML", "Reiner Text"}));
      e->close();
    });
    form.ui.ListView1->topLevelItem(0)->setSelected(true);
    emit form.ui.ListView1->itemDoubleClicked(form.ui.ListView1->topLevelItem(0), 1);
    QCOMPARE(m_sink.texts.size(), size_t(1));
  }

  void newMailAfterAMailWithChangedDesignKeepsThatDesign() {
    Store({StoredDesignMail()});
    TWindows windows(Dir());
    auto& [state, form, editor] = windows;
    m_sink.answer = TMsgResult::No;
    InEditor([](TWriteMailForm* e) {
      QVERIFY(e->ui.NormalCheck->isChecked());
      e->ui.NewsCheck->click();
      e->State().Design.HeadText = "Sommerfest";
      e->State().Design.HeadBackColor = 0x0000FF;
      e->State().DesignDialogClosed();
      e->close();
    });
    form.ui.ListView1->topLevelItem(0)->setSelected(true);
    form.ListView1DblClick();

    m_sink.answer = TMsgResult::Yes;
    bool newsChecked = false;
    InEditor([&newsChecked](TWriteMailForm* e) {
      newsChecked = e->ui.NewsCheck->isChecked();
      QCOMPARE(e->ui.Edit1->text(), QString());
      QCOMPARE(e->ui.ListView1->topLevelItemCount(), 0);
      QCOMPARE(e->ui.Memo2->toPlainText(), QString());
      e->ui.Edit1->setText("Fest");
      e->close();
    });
    form.NewBtnClick();
    QVERIFY(newsChecked);
    const TMailList mails = Reread();
    QCOMPARE(mails.Count(), 2u);
    QVERIFY(mails[1].NewsDesign);
    QCOMPARE(mails[1].NewsHeadText, std::string("Sommerfest"));
    QCOMPARE(mails[1].NewsHeadBackColor, 0x0000FFu);
    // No left the opened mail as it was.
    QCOMPARE(mails[0].NewsHeadText, std::string("Newsletter"));
  }

  void fieldListOffersTheTableFields() {
    TWindows windows(Dir());
    auto& [state, form, editor] = windows;
    m_sink.answer = TMsgResult::Ok;
    form.ui.InfoAnzEd->setValue(1);
    form.Button1Click(); // a new database with one info field
    QVERIFY(state.Table1.Active());
    QStringList offered;
    int current = -1;
    m_sink.answer = TMsgResult::No;
    InEditor([&](TWriteMailForm* e) {
      for (int k = 0; k < e->ui.FelderCombo->count(); ++k) offered << e->ui.FelderCombo->itemText(k);
      current = e->ui.FelderCombo->currentIndex();
      e->close();
    });
    form.NewBtnClick();
    QStringList expected;
    for (int k = 0; k < state.Table1.FieldCount(); ++k) expected << ToQ(state.Table1.Field(k).Name);
    QVERIFY(expected.size() >= 5);
    QCOMPARE(offered, expected);
    QCOMPARE(current, 0);
  }

  // A stored design that cannot be read: what could be read is shown, the
  // user is told which mail it is, and a commit with the document
  // unchanged keeps the bytes.
  void unreadableDesignOpensPartlyAndKeepsItsBytes() {
    TMailRec m = StoredDesignMail();
    m.Subject = "Kaputt";
    m.DesignRtf = m.DesignRtf.substr(0, m.DesignRtf.find("Welt") + 2);
    QVERIFY(!ReadRtf(m.DesignRtf).Error.empty());
    Store({m});
    TWindows windows(Dir());
    auto& [state, form, editor] = windows;
    m_sink.answer = TMsgResult::Yes;
    QString shown;
    InEditor([&shown](TWriteMailForm* e) {
      shown = e->ui.RichEdit1->toPlainText();
      e->ui.Edit1->setText(e->ui.Edit1->text() + "!");
      e->close();
    });
    form.ui.ListView1->topLevelItem(0)->setSelected(true);
    form.ListView1DblClick();
    QVERIFY2(shown.startsWith("Hallo "), qPrintable(shown));
    QCOMPARE(m_sink.texts.size(), size_t(2));
    QVERIFY2(m_sink.texts[0].find("\"Kaputt\"") != std::string::npos, m_sink.texts[0].c_str());
    QCOMPARE(QString::fromStdString(m_sink.captions[1]), QString("Speichern"));
    QCOMPARE(Reread()[0].Subject, std::string("Kaputt!"));
    QCOMPARE(Reread()[0].DesignRtf, m.DesignRtf);
  }

  // Strg+S stores a new mail without closing; afterwards only a further
  // change asks, and a mail opened and closed unchanged writes nothing.
  void strgSStoresAndOnlyAChangeAsks() {
    TWindows windows(Dir());
    auto& [state, form, editor] = windows;
    m_sink.answer = TMsgResult::Yes;
    std::size_t storedWhileOpen = 0;
    InEditor([&](TWriteMailForm* e) {
      QVERIFY(QTest::qWaitForWindowActive(e));
      QTest::keyClicks(e->ui.Edit1, "Entwurf");
      QTest::keyClick(e->ui.Edit1, Qt::Key_S, Qt::ControlModifier);
      QTest::keyClick(e->ui.Edit1, Qt::Key_S, Qt::ControlModifier);
      storedWhileOpen = Reread().Count();
      QVERIFY(e->isVisible());
      e->close();
    });
    QTest::mouseClick(form.ui.NewBtn, Qt::LeftButton);
    QCOMPARE(storedWhileOpen, std::size_t(1));
    QVERIFY(m_sink.texts.empty());
    QCOMPARE(Reread().Count(), 1u);
    QCOMPARE(Reread()[0].Subject, std::string("Entwurf"));

    const QByteArray before = FileBytes(File("mails.dat"));
    InEditor([](TWriteMailForm* e) {
      QTest::qWait(1300);  // the HTML is rebuilt: no change of the user's
      e->close();
    });
    form.ui.ListView1->topLevelItem(0)->setSelected(true);
    form.ListView1DblClick();
    QVERIFY(m_sink.texts.empty());
    QCOMPARE(FileBytes(File("mails.dat")), before);
  }
};

QTEST_MAIN(WriteMailFormTest)
#include "WriteMailFormTest.moc"
