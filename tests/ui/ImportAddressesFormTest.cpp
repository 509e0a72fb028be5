// "Adressen importieren" on the offscreen platform: columns found by their
// headers, the choice per column, the report, and the word before a value
// is cut.
#include "TImportAddressesForm.h"
#include "UiTestSupport.h"

#include "addressdb/AddressDb.h"

#include <QComboBox>
#include <QTest>

using namespace postello;

class ImportAddressesFormTest : public postello::test::TWindowTest {
  Q_OBJECT

  void WriteText(const QString& name, const QByteArray& bytes) {
    QFile f(m_dir.filePath(name));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
  }
  static std::vector<std::string> Column(TDbf& t, int field) {
    std::vector<std::string> values;
    for (t.First(); !t.Eof(); t.Next()) values.push_back(t.AsString(field));
    return values;
  }

private slots:
  void init() { InitTest(); }
  void cleanup() { CleanupTest(); }

  void headersChoicesAndReport() {
    TMainState state;
    state.Table1.SetFileName(Dir() + "adr.dbf");
    CreateAddressTable(state.Table1, 1);
    WriteText("kunden.csv", "E-Mail;Nachname;Firma;Vorname\r\n"
                            "a@x.de;Roth;\"Meier; S\xC3\xB6hne\";Eva\r\n"
                            "A@X.de;Doppelt;;\r\n"
                            ";Leer;;\r\n");
    TImportAddressesForm form(state, File("kunden.csv"), TImportAddressesForm::TMode::IntoTable);
    QVERIFY(form.Load());
    QVERIFY(form.ui.HeaderCheck->isChecked());
    QCOMPARE(form.ui.PreviewGrid->rowCount(), 4);  // the choices, then three rows
    QCOMPARE(form.ui.PreviewGrid->horizontalHeaderItem(2)->text(), QString("Firma"));
    QCOMPARE((std::vector<int>{form.FieldOfColumn(0), form.FieldOfColumn(1), form.FieldOfColumn(2), form.FieldOfColumn(3)}),
             (std::vector<int>{0, 1, -1, 2}));
    auto* firma = form.findChild<QComboBox*>("FieldCombo3");
    QCOMPARE(firma->currentText(), QString("(nicht importieren)"));
    firma->setCurrentIndex(firma->findText("INFO 1"));
    form.ui.SkipDuplicatesCheck->setChecked(true);
    QTest::mouseClick(form.ui.ImportBtn, Qt::LeftButton);

    QVERIFY(form.Imported());
    QVERIFY(form.ui.ReportEdit->isVisible() || !form.isVisible());
    QCOMPARE(form.ui.ReportEdit->toPlainText(),
             QString::fromUtf8("2 importiert, 1 doppelt übersprungen, 1 ohne Adresse, 0 mit ungültiger Adresse, "
                               "0 gekürzt\nDoppelt übersprungen: Zeile 3\nOhne Adresse: Zeile 4"));
    QCOMPARE(form.ui.CancelBtn->text(), QString::fromUtf8("Schließen"));
    QCOMPARE(Column(state.Table1, 4), (std::vector<std::string>{"Meier; S\xF6hne", ""}));
    QVERIFY(m_sink.texts.empty());
  }

  void aValueTooLongIsCutOnlyWithTheUsersWord() {
    const std::string longName(40, 'n');
    const struct {
      TMsgResult Answer;
      std::vector<std::string> Names;  // in the table open afterwards
      const char* Database;
    } cases[] = {
        {TMsgResult::Cancel, {}, "adr.dbf"},
        {TMsgResult::No, {longName.substr(0, 30)}, "adr.dbf"},
        {TMsgResult::Yes, {longName}, "kunden.dbf"},
    };
    for (const auto& c : cases) {
      m_sink = {};
      m_sink.answer = c.Answer;
      TMainState state;
      state.Options.DatabaseFile = Dir() + "adr.dbf";
      state.Table1.SetFileName(state.Options.DatabaseFile);
      CreateAddressTable(state.Table1, 0);
      WriteText("kunden.csv", QByteArray::fromStdString("a@x.de;" + longName + "\r\n"));
      TImportAddressesForm form(state, File("kunden.csv"), TImportAddressesForm::TMode::IntoTable);
      form.AskTableFile = [this](const QString& proposed) {
        return proposed == File("kunden.dbf") ? proposed : QString();
      };
      QVERIFY(form.Load());
      QTest::mouseClick(form.ui.ImportBtn, Qt::LeftButton);
      QCOMPARE(m_sink.texts.size(), size_t(1));
      QVERIFY2(m_sink.texts[0].rfind("1 Zeile hat Werte, die l\xE4nger als ihr Feld sind und gek\xFCrzt w\xFCrden:\n"
                                     "Zeile 1, Feld NAME: 40 Zeichen, Platz f\xFCr 30\n",
                                     0) == 0,
               m_sink.texts[0].c_str());
      QCOMPARE(Column(state.Table1, 1), c.Names);
      QCOMPARE(QString::fromStdString(state.Table1.FileName()), File(c.Database));
      QCOMPARE(form.Imported(), c.Answer != TMsgResult::Cancel);
      state.Table1.Close();
    }
  }
};

QTEST_MAIN(ImportAddressesFormTest)
#include "ImportAddressesFormTest.moc"
