// The block list dialog of the address page: adding, importing and
// removing change the file at once, and the grid greys what it lists.
#include "TBlockListForm.h"
#include "TMainForm.h"
#include "UiTestSupport.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTreeWidget>

using namespace postello;

class BlockListFormTest : public postello::test::TWindowTest {
  Q_OBJECT

  static QStringList Greyed(TMainForm& form) {
    QAbstractItemModel* model = form.findChild<QTableView*>("DBGrid2")->model();
    QStringList out;
    for (int r = 0; r < model->rowCount(); ++r)
      if (model->index(r, 1).data(Qt::ForegroundRole).value<QColor>() == QColor(Qt::gray))
        out << model->index(r, 0).data().toString();
    return out;
  }

private slots:
  void init() { InitTest(); }
  void cleanup() { CleanupTest(); }

  void addImportRemoveAndGreyedRows() {
    TMainState state;
    TMainForm form(state);
    form.FormCreate(Dir());
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    m_sink.answer = TMsgResult::Ok;
    QTest::mouseClick(form.findChild<QPushButton*>("NewDBBtn"), Qt::LeftButton);
    postello::test::ImportCsv(form, m_dir, "r1@example.org;A\r\nr2@example.org;B\r\nr3@example.org;C\r\n");
    QCOMPARE(Greyed(form), QStringList{});

    QFile other(File("liste.txt"));
    QVERIFY(other.open(QIODevice::WriteOnly));
    other.write("Adresse\nR3@example.org\nkeine Adresse\nr9@example.org\n");
    other.close();
    int rows = -1;
    postello::test::WhenModalShown([&](QDialog* d) {
      auto* dialog = qobject_cast<TBlockListForm*>(d);
      QVERIFY(dialog);
      QTest::keyClicks(dialog->ui.AddressEd, "R2@Example.org");
      QTest::keyClicks(dialog->ui.ReasonEd, "abgemeldet");
      QTest::mouseClick(dialog->ui.AddBtn, Qt::LeftButton);
      dialog->ImportFrom(File("liste.txt").toStdString());
      dialog->ui.ListView->setCurrentItem(dialog->ui.ListView->topLevelItem(2));
      QTest::mouseClick(dialog->ui.RemoveBtn, Qt::LeftButton);
      rows = dialog->ui.ListView->topLevelItemCount();
      QCOMPARE(dialog->ui.ListView->topLevelItem(0)->text(1), QString("abgemeldet"));
      QTest::mouseClick(dialog->ui.CloseBtn, Qt::LeftButton);
    });
    QTest::mouseClick(form.findChild<QPushButton*>("SperrlisteBtn"), Qt::LeftButton);
    QCOMPARE(rows, 2);
    QCOMPARE(m_sink.texts.back(), std::string("2 Adressen neu auf der Sperrliste."));
    QCOMPARE(Greyed(form), (QStringList{"r2@example.org", "r3@example.org"}));
    const TBlockList list = TBlockList::Load(Dir());
    QCOMPARE(list.Size(), std::size_t{2});
    QCOMPARE(list.Entries()[1].Source, std::string("Import"));
  }
};

QTEST_MAIN(BlockListFormTest)
#include "BlockListFormTest.moc"
