// The window program's message boxes: their buttons, which one is the
// default that Enter presses, and what each answer gives back to the core.
#include "TQtMessageSink.h"
#include "UiTestSupport.h"

#include <QMessageBox>
#include <QPushButton>
#include <QTest>

using namespace postello;
using postello::test::WhenModalShown;

Q_DECLARE_METATYPE(postello::TMsgButtons)
Q_DECLARE_METATYPE(postello::TMsgResult)

namespace {

// -1 stands for Show, which leaves the default to the sink.
constexpr int kNoDefault = -1;

} // namespace

class QtMessageSinkTest : public QObject {
  Q_OBJECT

private slots:
  void cleanup() { postello::test::CancelModalHooks(); }

  void enterPressesTheDefaultButton_data() {
    QTest::addColumn<TMsgButtons>("buttons");
    QTest::addColumn<int>("defaultButton");
    QTest::addColumn<int>("shownDefault");
    QTest::addColumn<TMsgResult>("enter");

    QTest::newRow("Ja/Nein: Ja") << TMsgButtons::YesNo << kNoDefault << int(QMessageBox::Yes) << TMsgResult::Yes;
    QTest::newRow("Ja/Nein, Nein genannt") << TMsgButtons::YesNo << int(TMsgResult::No) << int(QMessageBox::No) << TMsgResult::No;
    QTest::newRow("Ja/Nein, Ja genannt") << TMsgButtons::YesNo << int(TMsgResult::Yes) << int(QMessageBox::Yes) << TMsgResult::Yes;
    QTest::newRow("Ja/Nein/Abbrechen: Ja") << TMsgButtons::YesNoCancel << kNoDefault << int(QMessageBox::Yes) << TMsgResult::Yes;
    QTest::newRow("Ja/Nein/Abbrechen, Abbrechen genannt")
        << TMsgButtons::YesNoCancel << int(TMsgResult::Cancel) << int(QMessageBox::Cancel) << TMsgResult::Cancel;
    QTest::newRow("OK/Abbrechen: OK") << TMsgButtons::OkCancel << kNoDefault << int(QMessageBox::Ok) << TMsgResult::Ok;
    QTest::newRow("OK/Abbrechen, Abbrechen genannt")
        << TMsgButtons::OkCancel << int(TMsgResult::Cancel) << int(QMessageBox::Cancel) << TMsgResult::Cancel;
    QTest::newRow("OK") << TMsgButtons::Ok << kNoDefault << int(QMessageBox::Ok) << TMsgResult::Ok;
  }

  void enterPressesTheDefaultButton() {
    QFETCH(TMsgButtons, buttons);
    QFETCH(int, defaultButton);
    QFETCH(int, shownDefault);
    QFETCH(TMsgResult, enter);

    int shown = QMessageBox::NoButton;
    int count = 0;
    WhenModalShown([&](QDialog* dlg) {
      auto* box = qobject_cast<QMessageBox*>(dlg);
      QVERIFY(box);
      count = static_cast<int>(box->buttons().size());
      shown = box->standardButton(box->defaultButton());
      QTest::keyClick(box, Qt::Key_Return);
      if (box->isVisible()) box->done(QMessageBox::Cancel);
    });
    TQtMessageSink sink;
    const TMsgResult answer =
        defaultButton == kNoDefault
            ? sink.Show("Frage?", "Titel", buttons, TMsgIcon::Question)
            : sink.Ask("Frage?", "Titel", buttons, TMsgIcon::Warning, static_cast<TMsgResult>(defaultButton));
    QCOMPARE(answer, enter);
    QCOMPARE(count, buttons == TMsgButtons::YesNoCancel ? 3 : buttons == TMsgButtons::Ok ? 1 : 2);
    QCOMPARE(shown, shownDefault);
  }

  // Escape on a question with a Cancel gives Cancel, whichever default.
  void escapeCancels() {
    WhenModalShown([](QDialog* dlg) { QTest::keyClick(dlg, Qt::Key_Escape); });
    TQtMessageSink sink;
    QCOMPARE(sink.Ask("Frage?", "", TMsgButtons::YesNoCancel, TMsgIcon::Question, TMsgResult::No),
             TMsgResult::Cancel);
  }
};

QTEST_MAIN(QtMessageSinkTest)
#include "QtMessageSinkTest.moc"
