// The drawn colour box: its entries, its two colour properties, the custom
// entry's colour question and how an entry is drawn.
#include "TPalixColorComboBox.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QSignalSpy>
#include <QStyleOptionComboBox>
#include <QTest>

using namespace postello;
using Box = TPalixColorComboBox;

namespace {

// Answers the colour question with a fixed result and records what it was
// asked with.
struct ColorAnswer {
  std::optional<std::uint32_t> answer;
  std::vector<std::uint32_t> asked;
  Box::TColorChooser Chooser() {
    return [this](std::uint32_t current, QWidget*) {
      asked.push_back(current);
      return answer;
    };
  }
};

QRgb Rgb(std::uint32_t v) { return qRgb(v & 0xFF, (v >> 8) & 0xFF, (v >> 16) & 0xFF); }

// Moves the selection by one entry with the keyboard, as a user does.
void Step(Box& box, Qt::Key key) {
  box.setFocus();
  QTest::keyClick(&box, key);
}

} // namespace

class PalixColorComboBoxTest : public QObject {
  Q_OBJECT

  ColorAnswer m_answer;

private slots:
  void init() {
    m_answer = ColorAnswer{};
    Box::SetColorChooser(m_answer.Chooser());
  }
  void cleanup() { Box::SetColorChooser(nullptr); }

  void startsBlackInEnglishWith17Entries() {
    Box box;
    QCOMPARE(box.count(), 17);
    QCOMPARE(box.currentIndex(), 0);
    QCOMPARE(box.ColorValue(), 0u);
    QCOMPARE(box.HTMLcolor(), std::string("#000000"));
    QCOMPARE(box.Language(), lgEnglish);
    QCOMPARE(box.width(), 120);
    QCOMPARE(box.itemText(0), QString("Black"));
    QCOMPARE(box.itemText(16), QString("More..."));
  }

  void fixedColourSelectsItsEntry_data() {
    QTest::addColumn<int>("entry");
    QTest::addColumn<QString>("html");
    const char* html[16] = {"#000000", "#800000", "#008000", "#808000", "#000080", "#800080",
                            "#008080", "#808080", "#C0C0C0", "#FF0000", "#00FF00", "#FFFF00",
                            "#0000FF", "#FF00FF", "#00FFFF", "#FFFFFF"};
    for (int i = 0; i < 16; ++i) QTest::addRow("%d", i) << i << QString(html[i]);
  }
  void fixedColourSelectsItsEntry() {
    QFETCH(int, entry);
    QFETCH(QString, html);
    Box box;
    box.SetColorValue(0x030201); // start on the custom entry
    box.SetHTMLcolor(html.toLower().toStdString());
    QCOMPARE(box.currentIndex(), entry);
    QCOMPARE(QString::fromStdString(box.HTMLcolor()), html);
    // The same colour set as a value gives the same entry and text.
    Box byValue;
    byValue.SetColorValue(box.ColorValue());
    QCOMPARE(byValue.currentIndex(), entry);
    QCOMPARE(QString::fromStdString(byValue.HTMLcolor()), html);
    QCOMPARE(Rgb(box.EntryColor(entry)), QColor(html).rgb());
  }

  void redTextSelectsEntry9AndIsStoredUpperCase() {
    Box box;
    box.SetHTMLcolor("#ff0000");
    QCOMPARE(box.currentIndex(), 9);
    QCOMPARE(box.ColorValue(), 0x0000FFu);
    QCOMPARE(box.HTMLcolor(), std::string("#FF0000"));
  }

  void colourOutsideTheSixteenIsTheCustomEntry() {
    Box box;
    box.SetColorValue(0x030201);
    QCOMPARE(box.currentIndex(), 16);
    QCOMPARE(box.ColorValue(), 0x030201u);
    QCOMPARE(box.HTMLcolor(), std::string("#010203"));
    QCOMPARE(box.EntryColor(16), 0x030201u);
    // Back to a fixed colour leaves the custom entry.
    box.SetColorValue(0xFFFFFF);
    QCOMPARE(box.currentIndex(), 15);
  }

  void emptyTextMeansBlack() {
    Box box;
    box.SetColorValue(0x0000FF);
    box.SetHTMLcolor("");
    QCOMPARE(box.currentIndex(), 0);
    QCOMPARE(box.ColorValue(), 0u);
    QCOMPARE(box.HTMLcolor(), std::string("#000000"));
  }

  void unreadableTextChangesNothing_data() {
    QTest::addColumn<QString>("text");
    QTest::newRow("no blue") << "#1234";
    QTest::newRow("not hex") << "#GG0000";
    QTest::newRow("name") << "red";
  }
  void unreadableTextChangesNothing() {
    QFETCH(QString, text);
    Box box;
    box.SetHTMLcolor("#123456");
    box.SetHTMLcolor(text.toStdString());
    QCOMPARE(box.HTMLcolor(), std::string("#123456"));
    QCOMPARE(box.ColorValue(), 0x563412u);
    QCOMPARE(box.currentIndex(), 16);
  }

  void systemColourIsResolvedForTheTextButKeptAsValue() {
    Box box;
    box.SetColorValue(0x80000005); // the window background, white on Windows
    QCOMPARE(box.ColorValue(), 0x80000005u);
    QCOMPARE(box.currentIndex(), 16);
    QCOMPARE(box.HTMLcolor(), std::string("#FFFFFF"));
    QCOMPARE(box.EntryColor(16), 0xFFFFFFu);
    // An index Windows does not know is refused.
    box.SetColorValue(0x800000FF);
    QCOMPARE(box.ColorValue(), 0x80000005u);
  }

  void languageSwitchesOnlyTheNames() {
    Box box;
    box.SetColorValue(0x030201);
    box.SetLanguage(lgDeutsch);
    QCOMPARE(box.itemText(1), QString("Dunkelrot"));
    QCOMPARE(box.itemText(2), QString("Grün"));
    QCOMPARE(box.itemText(13), QString("Rosa"));
    QCOMPARE(box.itemText(15), QString("Weiß"));
    QCOMPARE(box.itemText(16), QString("Mehr..."));
    box.SetLanguage(lgFrensh);
    QCOMPARE(box.itemText(1), QString("Rouge foncé"));
    QCOMPARE(box.itemText(8), QString("Argenté"));
    QCOMPARE(box.itemText(14), QString("Vert d'eau"));
    QCOMPARE(box.itemText(16), QString("Autres...."));
    box.SetLanguage(lgEnglish);
    QCOMPARE(box.itemText(7), QString("Gray"));
    QCOMPARE(box.currentIndex(), 16);
    QCOMPARE(box.ColorValue(), 0x030201u);
    QVERIFY(m_answer.asked.empty());
  }

  void choosingAFixedEntrySetsItsColourAndNotifies() {
    Box box;
    box.show();
    QSignalSpy changed(&box, &Box::Change);
    Step(box, Qt::Key_Down);
    QCOMPARE(box.currentIndex(), 1);
    QCOMPARE(box.ColorValue(), 0x000080u);
    QCOMPARE(box.HTMLcolor(), std::string("#800000"));
    QCOMPARE(changed.count(), 1);
    QVERIFY(m_answer.asked.empty());
  }

  void codeNeverRaisesTheChangeNotification() {
    Box box;
    QSignalSpy changed(&box, &Box::Change);
    box.SetColorValue(0x00FF00);
    box.SetHTMLcolor("#010203");
    box.SetLanguage(lgDeutsch);
    QCOMPARE(changed.count(), 0);
  }

  void moreAnsweredOkTakesTheChosenColour() {
    Box box;
    box.show();
    box.SetColorValue(0xFFFFFF); // entry 15, the last before "More..."
    QSignalSpy changed(&box, &Box::Change);
    m_answer.answer = 0x030201;
    Step(box, Qt::Key_Down);
    QCOMPARE(m_answer.asked, std::vector<std::uint32_t>{0xFFFFFF}); // preset with the current colour
    QCOMPARE(box.currentIndex(), 16);
    QCOMPARE(box.ColorValue(), 0x030201u);
    QCOMPARE(box.HTMLcolor(), std::string("#010203"));
    QCOMPARE(box.EntryColor(16), 0x030201u);
    QCOMPARE(changed.count(), 1);
  }

  void moreAnsweredWithAFixedColourSelectsThatEntry() {
    Box box;
    box.show();
    box.SetColorValue(0xFFFFFF);
    m_answer.answer = 0x0000FF;
    Step(box, Qt::Key_Down);
    QCOMPARE(box.currentIndex(), 9);
    QCOMPARE(box.HTMLcolor(), std::string("#FF0000"));
  }

  void moreCancelledKeepsTheColourOnTheCustomEntry() {
    Box box;
    box.show();
    box.SetColorValue(0xFFFFFF);
    QSignalSpy changed(&box, &Box::Change);
    m_answer.answer = std::nullopt;
    Step(box, Qt::Key_Down);
    QCOMPARE(m_answer.asked.size(), std::size_t(1));
    QCOMPARE(box.ColorValue(), 0xFFFFFFu);
    QCOMPARE(box.HTMLcolor(), std::string("#FFFFFF"));
    QCOMPARE(box.currentIndex(), 16);
    QCOMPARE(box.EntryColor(16), 0xFFFFFFu); // the custom swatch shows the kept colour
    QCOMPARE(changed.count(), 1);
  }

  void entryIsDrawnWithSwatchFrameAndName() {
    Box box;
    box.SetLanguage(lgDeutsch);
    const QColor back(Qt::white);
    QImage img(120, 20, QImage::Format_RGB32);
    img.fill(back);
    QStyleOptionViewItem opt;
    opt.rect = img.rect();
    opt.palette = box.palette();
    opt.palette.setColor(QPalette::Base, back);
    opt.palette.setColor(QPalette::Text, Qt::black);
    opt.state = QStyle::State_Enabled;
    opt.font = box.font();
    {
      QPainter p(&img);
      box.itemDelegate()->paint(&p, opt, box.model()->index(9, 0)); // "Rot"
    }
    const QRgb red = qRgb(255, 0, 0), black = qRgb(0, 0, 0);
    // Swatch: columns 4 to 27, rows 1 to 18, its edge black, inside red.
    for (int y = 1; y <= 18; ++y) {
      QCOMPARE(img.pixel(4, y), black);
      QCOMPARE(img.pixel(27, y), black);
    }
    for (int x = 4; x <= 27; ++x) {
      QCOMPARE(img.pixel(x, 1), black);
      QCOMPARE(img.pixel(x, 18), black);
    }
    for (int y = 2; y <= 17; ++y) {
      for (int x = 5; x <= 26; ++x) QCOMPARE(img.pixel(x, y), red);
    }
    // Background around it: left margin, top and bottom row, the gap before the name.
    for (int y = 0; y < 20; ++y) {
      for (int x : {0, 3, 28, 29}) QCOMPARE(img.pixel(x, y), back.rgb());
    }
    for (int x = 4; x <= 27; ++x) {
      QCOMPARE(img.pixel(x, 0), back.rgb());
      QCOMPARE(img.pixel(x, 19), back.rgb());
    }
    // The name starts at column 30 and is centred: ink in both halves of the line.
    int top = 20, bottom = -1, left = 120;
    for (int y = 0; y < 20; ++y) {
      for (int x = 30; x < 120; ++x) {
        if (img.pixel(x, y) != back.rgb()) {
          top = std::min(top, y);
          bottom = std::max(bottom, y);
          left = std::min(left, x);
        }
      }
    }
    QVERIFY2(bottom >= 0, "no name drawn");
    QVERIFY(left >= 30 && left <= 33);
    QVERIFY(std::abs((top + bottom) - 19) <= 4);
  }

  void customSwatchShowsTheCurrentColourInTheClosedBox() {
    Box box;
    box.SetColorValue(0x030201);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    const QImage img = box.grab().toImage();
    QStyleOptionComboBox opt;
    opt.initFrom(&box);
    const QRect field = box.style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, &box);
    const double dpr = img.devicePixelRatio();
    const QPoint inside(int((field.left() + 4 + 12) * dpr), int((field.center().y()) * dpr));
    QCOMPARE(img.pixel(inside), qRgb(1, 2, 3));
    const QPoint frame(int((field.left() + 4) * dpr), int(field.center().y() * dpr));
    QCOMPARE(img.pixel(frame), qRgb(0, 0, 0));
  }

  void listIsWideEnoughForEveryName() {
    Box box;
    box.SetLanguage(lgFrensh);
    const QFontMetrics fm(box.font());
    int widest = 0;
    for (int i = 0; i < box.count(); ++i) widest = std::max(widest, fm.horizontalAdvance(box.itemText(i)));
    QVERIFY(box.view()->minimumWidth() >= 30 + widest);
    QVERIFY(box.sizeHint().width() >= 120);
  }
};

QTEST_MAIN(PalixColorComboBoxTest)
#include "PalixColorComboBoxTest.moc"
