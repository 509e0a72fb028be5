// "Vorschau für Empfänger": stepping through the recipients shows each
// one's merged mail, with unknown placeholders marked.
#include "TRecipientPreviewForm.h"
#include "TWebPreview.h"
#include "send/SendRunSupport.h"

#include <QSignalSpy>
#include <QTest>
#ifdef POSTELLO_TEST_WEBENGINE
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineView>
#endif

using namespace postello;

class RecipientPreviewFormTest : public QObject {
  Q_OBJECT
private slots:
  void stepsThroughRecipients() {
    test::TTempDir dir;
    TDbf table;
    test::MakeAddressTable(table, (dir.Path() / "adr.dbf").string(),
                           {{"eva@example.org", "Roth", "Eva", "Frau", "", ""},
                            {"", "Ohne", "Adresse", "", "", ""},
                            {"max@example.org", "Muster", "Max", "Herr", "", ""},
                            {"jo@example.org", "Lang", "Jo", "", "", ""}});
    TMailRecFields mail;
    mail.Attachments = TDynaArray<TAttachRec>(&mail.CurAttach);
    *mail.Attachments.Add() = TAttachRec{"/tmp/preis.pdf", ""};
    mail.Subject = "Angebot f\xFCr [%Vorname]";
    mail.MergeSubject = true;
    mail.MailType = 1;
    mail.HtmlText = "<p>Hallo [%Name] [%Rabat]</p>";
    mail.PlainText = "Hallo [%Name]";
    TRecipientPreviewForm form(mail, table, ReadRecipientList(table, 0));
    form.show();
    QVERIFY(!form.ui.PrevBtn->isEnabled());
    QCOMPARE(form.ui.AttachList->count(), 1);
    QCOMPARE(form.ui.AttachList->item(0)->text(), QString("/tmp/preis.pdf"));
    const struct {
      const char* label;
      const char* subject;
      const char* name;
    } rows[] = {{"Datensatz 1 von 3", "Angebot für Eva", "Roth"},
                {"Datensatz 2 von 3", "Angebot für Max", "Muster"},
                {"Datensatz 3 von 3", "Angebot für Jo", "Lang"}};
    for (const auto& r : rows) {
      QCOMPARE(form.ui.RecordLabel->text(), QString(r.label));
      QCOMPARE(form.ui.SubjectEd->text(), QString(r.subject));
      QCOMPARE(form.ui.TextView->toPlainText(), QString("Hallo ") + r.name);
      QVERIFY(form.ui.HtmlView->toHtml().contains(r.name));
      QVERIFY(form.ui.HtmlView->toHtml().contains("background-color:#ffd54f"));
      QVERIFY(form.ui.UnknownLabel->isVisible());
      QVERIFY(form.ui.UnknownLabel->text().contains("[%Rabat]"));
      QTest::mouseClick(form.ui.NextBtn, Qt::LeftButton);
    }
    QVERIFY(!form.ui.NextBtn->isEnabled());
    QTest::mouseClick(form.ui.PrevBtn, Qt::LeftButton);
    QCOMPARE(form.ui.SubjectEd->text(), QString("Angebot für Max"));
  }

  // The browser engine shows the merged HTML, scripts off.
  void rendersInBrowserEngine() {
#ifndef POSTELLO_TEST_WEBENGINE
    QSKIP("Dieser Build hat keine Browser-Engine (Qt WebEngine).");
#else
    test::TTempDir dir;
    TDbf table;
    test::MakeAddressTable(table, (dir.Path() / "adr.dbf").string(), {{"eva@example.org", "Roth", "Eva", "", "", ""}});
    TMailRecFields mail;
    mail.MailType = 1;
    mail.HtmlText = "<p id=x>Hallo [%Name]</p><script>document.getElementById('x').textContent='Skript';</script>";
    EnableWebPreview(true);
    TRecipientPreviewForm form(mail, table, ReadRecipientList(table, 0));
    EnableWebPreview(false);
    auto* view = form.findChild<QWebEngineView*>();
    QVERIFY(view);
    QVERIFY(!form.ui.HtmlView->isVisibleTo(&form));
    QVERIFY(!view->page()->settings()->testAttribute(QWebEngineSettings::JavascriptEnabled));
    form.show();
    QString text;
    for (int k = 0; k < 100 && !text.contains("Hallo"); ++k) {
      view->page()->toPlainText([&text](const QString& t) { text = t; });
      QTest::qWait(100);
    }
    if (text.isEmpty()) QSKIP("Die Browser-Engine startet hier nicht.");
    QCOMPARE(text.trimmed(), QString("Hallo Roth"));
#endif
  }
};

QTEST_MAIN(RecipientPreviewFormTest)
#include "RecipientPreviewFormTest.moc"
