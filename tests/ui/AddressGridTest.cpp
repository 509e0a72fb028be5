// The address grid and its navigator on the offscreen platform: the row the
// grid highlights is the record the table acts on, whatever moved the table,
// and inserted or edited records wait for Post.
#include "TMainForm.h"
#include "UiTestSupport.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

using namespace postello;
using postello::test::FileBytes;

class AddressGridTest : public postello::test::TWindowTest {
  Q_OBJECT

  static QTableView* Grid(TMainForm& form) { return form.findChild<QTableView*>("DBGrid2"); }

  static QStringList Column(QTableView* grid, int col) {
    QStringList out;
    for (int r = 0; r < grid->model()->rowCount(); ++r) out << grid->model()->index(r, col).data().toString();
    return out;
  }

  // The live records of the table file, field col, as another reader sees
  // them.
  static QStringList Stored(const std::string& path, int col) {
    TDbf table;
    table.SetFileName(path);
    table.SetAutoCreate(false);
    table.Open();
    QStringList out;
    for (table.First(); !table.Eof(); table.Next()) {
      const std::string v = table.AsString(col);
      out << QString::fromLatin1(v.data(), static_cast<qsizetype>(v.size()));
    }
    return out;
  }

  // A new table (six fields) with n records r1@example.org;Name1 ... and
  // the window shown.
  void Prepare(TMainState& state, TMainForm& form, int n) {
    form.FormCreate(Dir());
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    m_sink.answer = TMsgResult::Ok;
    QTest::mouseClick(form.findChild<QPushButton*>("NewDBBtn"), Qt::LeftButton);
    QVERIFY(state.Table1.Active());
    Import(form, 1, n);
  }

  void Import(TMainForm& form, int from, int to) {
    QByteArray csv;
    for (int k = from; k <= to; ++k) {
      csv += "r" + QByteArray::number(k) + "@example.org;Name" + QByteArray::number(k) + "\r\n";
    }
    postello::test::ImportCsv(form, m_dir, csv);
  }

  static void Click(QTableView* grid, int row, int col = 0) {
    const QRect cell = grid->visualRect(grid->model()->index(row, col));
    QVERIFY(cell.isValid());
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
  }

  static void Nav(TMainForm& form, const char* name) {
    QTest::mouseClick(form.findChild<QToolButton*>(name), Qt::LeftButton);
  }
  static bool Enabled(TMainForm& form, const char* name) { return form.findChild<QToolButton*>(name)->isEnabled(); }

  // The invariant: the grid's current row, and the one cell it highlights,
  // are the table's current record, and that row can be seen.
  static void CheckGridOnCurrentRecord(TMainState& state, QTableView* grid) {
    const QModelIndex current = grid->currentIndex();
    QVERIFY(current.isValid());
    QCOMPARE(current.row(), static_cast<int>(state.Table1.Position()));
    const QModelIndexList selected = grid->selectionModel()->selectedIndexes();
    QCOMPARE(selected.size(), 1);
    QCOMPARE(selected.front().row(), current.row());
    QVERIFY(grid->viewport()->rect().intersects(grid->visualRect(current)));
  }

  // Opens the cell editor of the current cell and types text over its
  // content.
  static QLineEdit* Type(QTableView* grid, const QString& text) {
    grid->setFocus();
    grid->edit(grid->currentIndex());
    auto* editor = qobject_cast<QLineEdit*>(grid->indexWidget(grid->currentIndex()));
    if (!editor) return nullptr;
    editor->selectAll();
    QTest::keyClicks(editor, text);
    return editor;
  }

private slots:
  void init() { InitTest(); }
  void cleanup() { CleanupTest(); }

  // Five records, the grid on the first; the send page's recipient list
  // moved the table to the fifth while the grid still highlighted the
  // first, and Delete removed the fifth.
  void deleteAfterTheSendPageRemovesTheHighlightedRecord() {
    TMainState state;
    TMainForm form(state);
    Prepare(state, form, 5);
    QTableView* grid = Grid(form);
    Click(grid, 0);
    QCOMPARE(state.Table1.Position(), std::int64_t(0));

    auto* pages = form.findChild<QTabWidget*>("PageControl2");
    pages->setCurrentIndex(3);
    QCOMPARE(form.findChild<QTreeWidget*>("ListView3")->topLevelItemCount(), 5);
    pages->setCurrentIndex(0);
    CheckGridOnCurrentRecord(state, grid);
    QCOMPARE(grid->currentIndex().row(), 4);  // the list leaves the table on its last record

    const QString highlighted = grid->currentIndex().siblingAtColumn(0).data().toString();
    m_sink.answer = TMsgResult::Ok;
    Nav(form, "NavDelete");
    QCOMPARE(QString::fromLatin1(m_sink.texts.back()), QString::fromLatin1("Datensatz l\xF6schen?"));
    const QStringList left = Stored(state.Table1.FileName(), 0);
    QCOMPARE(left.size(), 4);
    QVERIFY(!left.contains(highlighted));
    QCOMPARE(Column(grid, 0), left);
    CheckGridOnCurrentRecord(state, grid);
  }

  // Entf deletes the highlighted record after the navigator's question;
  // in an open cell editor it deletes a character.
  void deleteKeyDeletesTheRecord() {
    TMainState state;
    TMainForm form(state);
    Prepare(state, form, 3);
    QTableView* grid = Grid(form);
    Click(grid, 1);
    grid->setFocus();
    m_sink.answer = TMsgResult::Ok;
    QTest::keyClick(grid, Qt::Key_Delete);
    QCOMPARE(QString::fromLatin1(m_sink.texts.back()), QString::fromLatin1("Datensatz l\xF6schen?"));
    QCOMPARE(Column(grid, 0), (QStringList{"r1@example.org", "r3@example.org"}));
    const std::size_t asked = m_sink.texts.size();
    QLineEdit* editor = Type(grid, "abc");
    QVERIFY(editor);
    QTest::keyClick(editor, Qt::Key_Home);
    QTest::keyClick(editor, Qt::Key_Delete);
    QCOMPARE(editor->text(), QString("bc"));
    QCOMPARE(m_sink.texts.size(), asked);
    QCOMPARE(grid->model()->rowCount(), 2);
  }

  // After a personalised run the table stands on the last merged record;
  // the grid shows that record.
  void afterARunTheGridShowsTheLastMergedRecord() {
    TMainState state;
    TMainForm form(state);
    Prepare(state, form, 5);
    form.Deliver = [](const TOutgoingMail&) { return true; };
    TKontoRec konto;
    konto.Absender = "Verein";
    konto.Email = "verein@example.org";
    konto.Server = "127.0.0.1:1";
    state.AddKonto(konto);
    TMailRec* mail = state.Mails.Add();
    mail->Subject = "Hallo";
    mail->MailType = 2;
    mail->PlainText = "Hallo [%Name]";
    state.SaveMails();
    form.ListMails();
    form.ListKonten();
    QTableView* grid = Grid(form);
    Click(grid, 0);

    auto* pages = form.findChild<QTabWidget*>("PageControl2");
    pages->setCurrentIndex(3);
    auto* list = form.findChild<QTreeWidget*>("ListView3");
    list->topLevelItem(1)->setSelected(true);
    list->topLevelItem(2)->setSelected(true);
    form.findChild<QRadioButton*>("SelectedEmpfCheck")->setChecked(true);
    QTest::mouseClick(form.findChild<QPushButton*>("SendBtn"), Qt::LeftButton);
    QCOMPARE(state.Table1.AsString(0), std::string("r3@example.org"));

    pages->setCurrentIndex(0);
    CheckGridOnCurrentRecord(state, grid);
    QCOMPARE(grid->currentIndex().siblingAtColumn(0).data().toString(), QString("r3@example.org"));
  }

  void filterAndImportLeaveTheGridOnTheCurrentRecord() {
    TMainState state;
    TMainForm form(state);
    Prepare(state, form, 5);
    QTableView* grid = Grid(form);
    Click(grid, 3);

    // The import ends on the last record it appended, far below the rows
    // in sight: the grid scrolls to it.
    Import(form, 6, 80);
    QCOMPARE(state.Table1.AsString(0), std::string("r80@example.org"));
    CheckGridOnCurrentRecord(state, grid);

    form.findChild<QLineEdit*>("FilterEd")->setText("r7");
    QTest::mouseClick(form.findChild<QPushButton*>("FilterBtn"), Qt::LeftButton);
    QCOMPARE(grid->model()->rowCount(), 11);  // r7, r70 ... r79
    CheckGridOnCurrentRecord(state, grid);
    Click(grid, 5);
    QCOMPARE(state.Table1.AsString(0), std::string("r74@example.org"));

    form.findChild<QLineEdit*>("FilterEd")->setText("nichts davon");
    QTest::mouseClick(form.findChild<QPushButton*>("FilterBtn"), Qt::LeftButton);
    QCOMPARE(grid->model()->rowCount(), 0);
    QVERIFY(!grid->currentIndex().isValid());
  }

  // Whatever moved the table behind the grid, a click on the highlighted
  // row makes that row's record current again.
  void aClickOnTheHighlightedRowMovesTheTableThere() {
    TMainState state;
    TMainForm form(state);
    Prepare(state, form, 5);
    QTableView* grid = Grid(form);
    Click(grid, 2, 1);
    QCOMPARE(state.Table1.Position(), std::int64_t(2));
    state.Table1.Last();
    Click(grid, 2, 1);
    QCOMPARE(state.Table1.Position(), std::int64_t(2));
    CheckGridOnCurrentRecord(state, grid);
  }

  void insertWaitsForPostAndCancelTakesItBack() {
    TMainState state;
    TMainForm form(state);
    Prepare(state, form, 3);
    QTableView* grid = Grid(form);
    const QString file = QString::fromStdString(state.Table1.FileName());
    Click(grid, 1);
    const QByteArray before = FileBytes(file);
    QVERIFY(!Enabled(form, "NavPost"));
    QVERIFY(!Enabled(form, "NavCancel"));

    Nav(form, "NavInsert");
    QCOMPARE(FileBytes(file), before);  // nothing written yet
    QVERIFY(Enabled(form, "NavPost"));
    QVERIFY(Enabled(form, "NavCancel"));
    QVERIFY(!Enabled(form, "NavNext"));  // the last row
    QCOMPARE(grid->model()->rowCount(), 4);
    QCOMPARE(grid->currentIndex().row(), 3);
    QCOMPARE(grid->model()->headerData(3, Qt::Vertical).toString(), QString("*"));
    QVERIFY(grid->indexWidget(grid->currentIndex()));  // ready for typing

    QVERIFY(Type(grid, "weg@example.org"));
    Nav(form, "NavCancel");
    QCOMPARE(grid->model()->rowCount(), 3);
    QCOMPARE(FileBytes(file), before);
    CheckGridOnCurrentRecord(state, grid);
    QCOMPARE(grid->currentIndex().row(), 1);
    QVERIFY(!Enabled(form, "NavCancel"));

    Nav(form, "NavInsert");
    QVERIFY(Type(grid, "neu@example.org"));
    QCOMPARE(FileBytes(file), before);
    Nav(form, "NavPost");
    QCOMPARE(Stored(file.toStdString(), 0),
             (QStringList{"r1@example.org", "r2@example.org", "r3@example.org", "neu@example.org"}));
    QCOMPARE(Column(grid, 0), Stored(file.toStdString(), 0));
    QCOMPARE(grid->model()->headerData(3, Qt::Vertical).toString(), QString("4"));
    CheckGridOnCurrentRecord(state, grid);

    // An inserted row left untouched disappears when the user leaves it.
    const QByteArray posted = FileBytes(file);
    Nav(form, "NavInsert");
    Click(grid, 0);
    QTRY_COMPARE(grid->model()->rowCount(), 4);
    QCOMPARE(FileBytes(file), posted);
    CheckGridOnCurrentRecord(state, grid);
  }

  void anEditWaitsUntilTheRowIsLeftAndCancelRestoresIt() {
    TMainState state;
    TMainForm form(state);
    Prepare(state, form, 3);
    QTableView* grid = Grid(form);
    const std::string file = state.Table1.FileName();
    const QByteArray before = FileBytes(QString::fromStdString(file));
    Click(grid, 1, 1);

    QLineEdit* editor = Type(grid, "Neu");
    QVERIFY(editor);
    QCOMPARE(editor->maxLength(), 30);  // NAME holds 30 characters
    QVERIFY(Enabled(form, "NavPost"));  // editing has begun
    QTest::keyClick(editor, Qt::Key_Return);  // the cell takes the text
    QCoreApplication::processEvents();          // (the editor hands it over queued)
    QCOMPARE(grid->model()->index(1, 1).data().toString(), QString("Neu"));
    QCOMPARE(FileBytes(QString::fromStdString(file)), before);
    QVERIFY(grid->model()->headerData(1, Qt::Vertical).toString() != QString("2"));  // marked pending

    Nav(form, "NavCancel");
    QCOMPARE(grid->model()->index(1, 1).data().toString(), QString("Name2"));
    QCOMPARE(grid->model()->headerData(1, Qt::Vertical).toString(), QString("2"));
    QCOMPARE(FileBytes(QString::fromStdString(file)), before);

    // Typed and left open, then another row: the record is written.
    QVERIFY(Type(grid, "Zwei"));
    Click(grid, 2, 1);
    QCOMPARE(Stored(file, 1), (QStringList{"Name1", "Zwei", "Name3"}));
    QTRY_COMPARE(grid->model()->headerData(1, Qt::Vertical).toString(), QString("2"));
    CheckGridOnCurrentRecord(state, grid);

    // The navigator's post writes what the open editor holds.
    QVERIFY(Type(grid, "Drei"));
    Nav(form, "NavPost");
    QCOMPARE(Stored(file, 1), (QStringList{"Name1", "Zwei", "Drei"}));
  }

  // Closing the window posts the pending record, including text still in
  // the cell editor; an untouched insert is not written.
  void closingTheWindowKeepsAPendingEdit() {
    std::string file;
    {
      TMainState state;
      TMainForm form(state);
      Prepare(state, form, 2);
      file = state.Table1.FileName();
      QTableView* grid = Grid(form);
      Click(grid, 0, 1);
      QVERIFY(Type(grid, "Offen"));
      form.close();
    }
    QCOMPARE(Stored(file, 1), (QStringList{"Offen", "Name2"}));
    {
      TMainState state;
      TMainForm form(state);
      form.FormCreate(Dir());
      form.show();
      Nav(form, "NavInsert");
      QVERIFY(Type(Grid(form), "spaet@example.org"));
    }
    QCOMPARE(Stored(file, 0), (QStringList{"r1@example.org", "r2@example.org", "spaet@example.org"}));
    {
      TMainState state;
      TMainForm form(state);
      form.FormCreate(Dir());
      Nav(form, "NavInsert");
    }
    QCOMPARE(Stored(file, 0).size(), 3);
  }
};

QTEST_MAIN(AddressGridTest)
#include "AddressGridTest.moc"
