// The address page on the offscreen platform: new table, import, grid,
// filter, navigator, and what survives a restart.
#include "TMainForm.h"
#include "UiTestSupport.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QTest>
#include <QToolButton>

using namespace postello;
using postello::test::FileBytes;

class DatabasePageTest : public postello::test::TWindowTest {
  Q_OBJECT

  static QStringList Column(QTableView* grid, int col) {
    QStringList out;
    for (int r = 0; r < grid->model()->rowCount(); ++r) out << grid->model()->index(r, col).data().toString();
    return out;
  }

  void WriteText(const QString& name, const QByteArray& bytes) {
    QFile f(m_dir.filePath(name));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
  }

private slots:
  void init() { InitTest(); }
  void cleanup() { CleanupTest(); }

  void newTableImportFilterAndRestart() {
    {
      TMainState state;
      TMainForm form(state);
      form.FormCreate(Dir());
      auto* grid = form.findChild<QTableView*>("DBGrid2");

      // No table yet: nothing is lost, nothing asked.
      m_sink.answer = TMsgResult::Cancel;
      QTest::mouseClick(form.findChild<QPushButton*>("NewDBBtn"), Qt::LeftButton);
      QVERIFY(m_sink.texts.empty());
      QCOMPARE(grid->model()->columnCount(), 6);
      // Then Cancel leaves the table as it is.
      form.findChild<QSpinBox*>("InfoAnzEd")->setValue(1);
      QTest::mouseClick(form.findChild<QPushButton*>("NewDBBtn"), Qt::LeftButton);
      QCOMPARE(QString::fromStdString(m_sink.texts.back()), QString("Achtung: Alle vorhandenen Datens\xE4tze gehen verloren!!!"));
      QCOMPARE(QString::fromStdString(m_sink.captions.back()), QString("Neue Datenbank"));
      QCOMPARE(grid->model()->columnCount(), 6);

      m_sink.answer = TMsgResult::Ok;
      QTest::mouseClick(form.findChild<QPushButton*>("NewDBBtn"), Qt::LeftButton);
      QCOMPARE(grid->model()->columnCount(), 5);
      QCOMPARE(grid->model()->headerData(0, Qt::Horizontal).toString(), QString("EMAIL"));
      QCOMPARE(grid->model()->headerData(4, Qt::Horizontal).toString(), QString("INFO 1"));

      WriteText("adressen.csv", "anna@example.org;M\xFCller;Anna;Frau;Kundin\r\n\r\nbernd@example.org;Roth;Bernd\nzeile2\r\n");
      // The import dialog takes the lines without header in field order.
      postello::test::ImportThroughDialog(form, m_dir.filePath("adressen.csv"));
      QCOMPARE(Column(grid, 0), (QStringList{"anna@example.org", "bernd@example.org", "zeile2"}));
      QCOMPARE(Column(grid, 1), (QStringList{QString::fromUtf8("Müller"), "Roth", ""}));

      // Filter: only a to z fold; the grid shows what passes.
      form.findChild<QLineEdit*>("FilterEd")->setText("kund");
      QTest::mouseClick(form.findChild<QPushButton*>("FilterBtn"), Qt::LeftButton);
      QCOMPARE(Column(grid, 0), QStringList{"anna@example.org"});
      form.findChild<QLineEdit*>("FilterEd")->clear();
      QTest::mouseClick(form.findChild<QPushButton*>("FilterBtn"), Qt::LeftButton);
      QCOMPARE(grid->model()->rowCount(), 3);

      // An edited cell is written when the grid leaves its row; the
      // navigator deletes after a question.
      QVERIFY(grid->model()->setData(grid->model()->index(2, 0), "carla@example.org"));
      grid->setCurrentIndex(grid->model()->index(1, 0));
      m_sink.answer = TMsgResult::Ok;
      QTest::mouseClick(form.findChild<QToolButton*>("NavDelete"), Qt::LeftButton);
      QCOMPARE(Column(grid, 0), (QStringList{"anna@example.org", "carla@example.org"}));

      form.findChild<QSpinBox*>("MailFieldEd")->setValue(2);
      form.findChild<QSpinBox*>("bccCountEd")->setValue(7);
    }
    // Everything remembered comes back at the next start.
    TMainState state;
    TMainForm form(state);
    form.FormCreate(Dir());
    QCOMPARE(form.findChild<QSpinBox*>("MailFieldEd")->value(), 2);
    QCOMPARE(form.findChild<QSpinBox*>("bccCountEd")->value(), 7);
    QCOMPARE(form.findChild<QSpinBox*>("InfoAnzEd")->value(), 1);  // the table's, not the default 2
    auto* grid = form.findChild<QTableView*>("DBGrid2");
    QCOMPARE(Column(grid, 0), (QStringList{"anna@example.org", "carla@example.org"}));
  }

  void choosingAnotherFileOpensItOnceTheNameIsFinished() {
    TMainState state;
    TMainForm form(state);
    form.FormCreate(Dir());
    auto* edit = form.findChild<QLineEdit*>("FilenameEdit1");
    const QString other = m_dir.filePath("zweite.dbf");
    edit->setFocus();
    edit->setText(other);
    // Typing alone creates nothing.
    QVERIFY(!QFile::exists(other));
    QTest::keyClick(edit, Qt::Key_Return);
    QVERIFY(QFile::exists(other));
    QCOMPARE(QString::fromStdString(state.Options.DatabaseFile), other);
    QVERIFY(QFile::exists(m_dir.filePath("options.dat")));
    QVERIFY(m_sink.texts.empty());
  }

  void aFileThatIsNoTableIsReportedAndNotRemembered() {
    TMainState state;
    TMainForm form(state);
    form.FormCreate(Dir());
    const std::string before = state.Options.DatabaseFile;
    WriteText("kaputt.dbf", QByteArray("\x03\x7A\x0C\x09\xFF\xFF\xFF\x7F\x20\x00\x00\x00", 12));
    auto* edit = form.findChild<QLineEdit*>("FilenameEdit1");
    edit->setText(m_dir.filePath("kaputt.dbf"));
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(m_sink.texts.size(), size_t(1));
    // German, the file named once, the offset after the sentence.
    const std::string expected = "Die Datenbank \"" + m_dir.filePath("kaputt.dbf").toStdString() +
                                 "\" konnte nicht ge\xF6" "ffnet werden: Die Datei endet im Kopf der Tabelle "
                                 "(Byte 12)";
    QVERIFY2(m_sink.texts[0] == expected, m_sink.texts[0].c_str());
    QCOMPARE(state.Options.DatabaseFile, before);
    QVERIFY(!state.Table1.Active());
    QCOMPARE(form.findChild<QTableView*>("DBGrid2")->model()->rowCount(), 0);
  }
};

QTEST_MAIN(DatabasePageTest)
#include "DatabasePageTest.moc"
