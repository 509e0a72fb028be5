// Qt's own buttons speak German, as the rest of the program does.
#include "GermanQt.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

class GermanQtTest : public QObject {
  Q_OBJECT
private slots:
  void yesNoQuestionShowsJaAndNein() {
    QVERIFY(postello::InstallGermanQt(*QCoreApplication::instance()));
    QMessageBox box;
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    QCOMPARE(box.button(QMessageBox::Yes)->text().remove('&'), QString("Ja"));
    QCOMPARE(box.button(QMessageBox::No)->text().remove('&'), QString("Nein"));
    QCOMPARE(box.button(QMessageBox::Cancel)->text().remove('&'), QString("Abbrechen"));
  }
};

QTEST_MAIN(GermanQtTest)
#include "GermanQtTest.moc"
