// The newsletter design dialog on the offscreen platform: its rows, loading
// and storing every setting, and its two font questions.
#include "TNewsDesignForm.h"
#include "TNewsFontDialog.h"
#include "QtText.h"
#include "UiTestSupport.h"

#include "core/TMailRec.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <functional>

using namespace postello;
using postello::test::WhenModalShown;
using Font = TNewsFontDialog::TBandFont;

namespace {

// A design in which every setting differs from the defaults and from the
// others, with colours both among the sixteen and outside them.
TNewsDesign Sample() {
  TNewsDesign d;
  d.BackColor = 0x00FFFF;       // yellow, entry 11
  d.HeadBackColor = 0x030201;   // custom
  d.FootBackColor = 0x800000;   // navy, entry 4
  d.BorderColor = 0x0A0B0C;     // custom
  d.HeadFontName = "Times New Roman";
  d.HeadFontSize = 20;
  d.HeadFontColor = 0x00FF00;
  d.HeadFontStyle = fsBold | fsUnderline;
  d.FootFontName = "Courier New";
  d.FootFontSize = 7;
  d.FootFontColor = 0x123456;
  d.FootFontStyle = fsItalic | fsStrikeOut;
  d.Width = 777;
  d.MinHeight = 9999;
  d.HeadText = "Gr\xFC\xDF" "e aus M\xFCnchen";
  d.FootText = "\xA9 1999 M\xFCller & S\xF6hne \x80";
  return d;
}

QString LabelBeside(TNewsDesignForm& form, QWidget* control) {
  auto* grid = form.findChild<QGridLayout*>("gridLayout");
  int row, col, rs, cs;
  grid->getItemPosition(grid->indexOf(control), &row, &col, &rs, &cs);
  auto* label = qobject_cast<QLabel*>(grid->itemAtPosition(row, 0)->widget());
  return label ? label->text().remove('&') : QString();
}

} // namespace

class NewsDesignFormTest : public QObject {
  Q_OBJECT

  std::vector<Font> m_asked;

private slots:
  void init() { m_asked.clear(); }
  void cleanup() {
    TNewsFontDialog::SetFontChooser(nullptr);
    TPalixColorComboBox::SetColorChooser(nullptr);
  }

  void fixedDialogWithOkAndAbbrechen() {
    TNewsDesignForm form;
    QCOMPARE(form.windowTitle(), QString("Newsletter Design"));
    QCOMPARE(form.minimumSize(), form.maximumSize());
    QVERIFY(!(form.windowFlags() & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(form.windowFlags() & Qt::WindowMaximizeButtonHint));
    const QList<QPushButton*> buttons = form.findChildren<QPushButton*>();
    QStringList texts;
    for (QPushButton* b : buttons) texts << b->text().remove('&');
    texts.sort();
    QCOMPARE(texts, QStringList({"Abbrechen", "OK", "Schriftart Unterschrift", "Schriftart Überschrift"}));
  }

  void eachBandColourSitsBesideItsOwnLabel() {
    TNewsDesignForm form;
    QCOMPARE(LabelBeside(form, form.ui.PalixColorComboBox1), QString("Hintergrund Mail:"));
    QCOMPARE(LabelBeside(form, form.ui.PalixColorComboBox3), QString("Hintergrund Überschrift:"));
    QCOMPARE(LabelBeside(form, form.ui.PalixColorComboBox2), QString("Hintergrund Unterschrift:"));
    QCOMPARE(LabelBeside(form, form.ui.PalixColorComboBox4), QString("Umrandung:"));
    QCOMPARE(LabelBeside(form, form.ui.BreitEd), QString("Breite in Pixeln:"));
    QCOMPARE(LabelBeside(form, form.ui.MinHEd), QString("Minimale Höhe in Pixeln:"));
    QCOMPARE(LabelBeside(form, form.ui.UeberSchriftEd), QString("Überschrift:"));
    QCOMPARE(LabelBeside(form, form.ui.UnterSchriftEd), QString("Unterschrift:"));

    // The box beside the heading label edits the heading band.
    TNewsDesign d;
    d.HeadBackColor = 0x0000FF;
    d.FootBackColor = 0xFF0000;
    form.SetDesign(d);
    QCOMPARE(form.ui.PalixColorComboBox3->currentText(), QString("Rot"));
    QCOMPARE(form.ui.PalixColorComboBox2->currentText(), QString("Blau"));
  }

  void startsWithTheDefaultsInGerman() {
    TNewsDesignForm form;
    QCOMPARE(form.Design(), TNewsDesign{});
    QCOMPARE(form.ui.PalixColorComboBox1->currentText(), QString("Grau"));
    QCOMPARE(form.ui.PalixColorComboBox4->currentText(), QString("Schwarz"));
    QCOMPARE(form.ui.BreitEd->text(), QString("550"));
    QCOMPARE(form.ui.MinHEd->text(), QString("400"));
    QCOMPARE(form.ui.UeberSchriftEd->text(), QString("Newsletter"));
    QCOMPARE(FromQ(form.ui.UnterSchriftEd->text()), TNewsDesign::DefaultFootText());
    for (auto* box : {form.ui.PalixColorComboBox1, form.ui.PalixColorComboBox2, form.ui.PalixColorComboBox3,
                      form.ui.PalixColorComboBox4}) {
      QCOMPARE(box->itemText(16), QString("Mehr..."));
    }
  }

  void loadsEveryControlAndStoresEverySettingBack() {
    TNewsDesignForm form;
    const TNewsDesign d = Sample();
    form.SetDesign(d);
    QCOMPARE(form.ui.PalixColorComboBox1->currentIndex(), 11);
    QCOMPARE(form.ui.PalixColorComboBox3->currentIndex(), 16);
    QCOMPARE(form.ui.PalixColorComboBox3->HTMLcolor(), std::string("#010203"));
    QCOMPARE(form.ui.PalixColorComboBox2->currentIndex(), 4);
    QCOMPARE(form.ui.PalixColorComboBox4->currentIndex(), 16);
    QCOMPARE(form.ui.PalixColorComboBox4->ColorValue(), 0x0A0B0Cu);
    QCOMPARE(form.ui.BreitEd->value(), 777.0);
    QCOMPARE(form.ui.MinHEd->value(), 9999.0);
    QCOMPARE(form.ui.UeberSchriftEd->text(), QString("Grüße aus München"));
    QCOMPARE(form.ui.UnterSchriftEd->text(), QString("© 1999 Müller & Söhne €"));
    QCOMPARE(form.Design(), d);

    // The fonts are handed to the font questions as loaded.
    TNewsFontDialog::SetFontChooser([this](Font& f, QWidget*) {
      m_asked.push_back(f);
      return false;
    });
    QTest::mouseClick(form.ui.Font1Btn, Qt::LeftButton);
    QTest::mouseClick(form.ui.Font2Btn, Qt::LeftButton);
    QCOMPARE(m_asked.size(), std::size_t(2));
    QCOMPARE(m_asked[0], (Font{"Times New Roman", 20, 0x00FF00, fsBold | fsUnderline}));
    QCOMPARE(m_asked[1], (Font{"Courier New", 7, 0x123456, fsItalic | fsStrikeOut}));
  }

  void goesThroughTheMailRecord() {
    TMailRecFields rec;
    Sample().ToMailRec(rec);
    TNewsDesignForm form;
    form.SetDesign(TNewsDesign::FromMailRec(rec));
    TMailRecFields back;
    form.Design().ToMailRec(back);
    QCOMPARE(back.NewsHeadBackColor, 0x030201u);
    QCOMPARE(back.NewsFootBackColor, 0x800000u);
    QCOMPARE(TNewsDesign::FromMailRec(back), Sample());
  }

  void fixedColoursSelectTheirEntries() {
    TNewsDesignForm form;
    TNewsDesign d;
    d.BackColor = 0xC0C0C0;
    d.HeadBackColor = 0x808000;
    d.FootBackColor = 0xFF00FF;
    d.BorderColor = 0xFFFFFF;
    form.SetDesign(d);
    QCOMPARE(form.ui.PalixColorComboBox1->currentText(), QString("Silber"));
    QCOMPARE(form.ui.PalixColorComboBox3->currentText(), QString("Grünblau"));
    QCOMPARE(form.ui.PalixColorComboBox2->currentText(), QString("Rosa"));
    QCOMPARE(form.ui.PalixColorComboBox4->currentText(), QString("Weiß"));
  }

  void sizesAreCutToWholePixels() {
    TNewsDesignForm form;
    form.ui.BreitEd->setValue(640.99);
    QCOMPARE(form.Design().Width, 640);
    // A fraction typed by the user, in the box's own decimal notation.
    const QString point = form.ui.MinHEd->locale().decimalPoint();
    form.ui.MinHEd->selectAll();
    QTest::keyClicks(form.ui.MinHEd, "1234" + point + "75");
    QTest::keyClick(form.ui.MinHEd, Qt::Key_Enter);
    QCOMPARE(form.ui.MinHEd->value(), 1234.75);
    QCOMPARE(form.Design().MinHeight, 1234);
    QCOMPARE(form.ui.MinHEd->text(), QString("1234") + point + "75");
  }

  void sizesStayWithinTheirRanges_data() {
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("minHeight");
    QTest::addColumn<int>("shownWidth");
    QTest::addColumn<int>("shownMinHeight");
    QTest::newRow("lower ends") << 100 << 10 << 100 << 10;
    QTest::newRow("upper ends") << 1024 << 10000 << 1024 << 10000;
    QTest::newRow("below") << 99 << 9 << 100 << 10;
    QTest::newRow("above") << 1025 << 10001 << 1024 << 10000;
    QTest::newRow("negative") << -5 << -1 << 100 << 10;
  }
  void sizesStayWithinTheirRanges() {
    QFETCH(int, width);
    QFETCH(int, minHeight);
    QFETCH(int, shownWidth);
    QFETCH(int, shownMinHeight);
    TNewsDesignForm form;
    TNewsDesign d;
    d.Width = width;
    d.MinHeight = minHeight;
    form.SetDesign(d);
    QCOMPARE(form.Design().Width, shownWidth);
    QCOMPARE(form.Design().MinHeight, shownMinHeight);
  }

  void userEditsReachTheDesign() {
    TNewsDesignForm form;
    form.show();
    TPalixColorComboBox::SetColorChooser([](std::uint32_t, QWidget*) { return std::optional<std::uint32_t>(0x445566); });
    // From white (entry 15) one step down is "Mehr...".
    TNewsDesign d;
    d.BorderColor = 0xFFFFFF;
    form.SetDesign(d);
    form.ui.PalixColorComboBox4->setFocus();
    QTest::keyClick(form.ui.PalixColorComboBox4, Qt::Key_Down);
    form.ui.PalixColorComboBox1->setFocus();
    QTest::keyClick(form.ui.PalixColorComboBox1, Qt::Key_Up); // grey to teal
    form.ui.UeberSchriftEd->clear();
    QTest::keyClicks(form.ui.UeberSchriftEd, "Neuigkeiten");
    const TNewsDesign out = form.Design();
    QCOMPARE(out.BorderColor, 0x445566u);
    QCOMPARE(out.BackColor, 0x808000u);
    QCOMPARE(out.HeadText, std::string("Neuigkeiten"));
  }

  // OK accepts; "Abbrechen" and Escape reject.
  void okAcceptsAbbrechenAndEscapeReject() {
    TNewsDesignForm form;
    QCOMPARE(form.ui.CancelBtn->text(), QString("A&bbrechen"));
    const std::function<void(TNewsDesignForm*)> ways[] = {
        [](TNewsDesignForm* f) { QTest::mouseClick(f->ui.OKBtn, Qt::LeftButton); },
        [](TNewsDesignForm* f) { QTest::mouseClick(f->ui.CancelBtn, Qt::LeftButton); },
        [](TNewsDesignForm* f) { QTest::keyClick(f, Qt::Key_Escape); },
    };
    QList<int> results;
    for (const auto& close : ways) {
      WhenModalShown([close](QDialog* dlg) { close(qobject_cast<TNewsDesignForm*>(dlg)); });
      results << form.exec();
    }
    QCOMPARE(results, (QList<int>{QDialog::Accepted, QDialog::Rejected, QDialog::Rejected}));
  }

  void fontQuestionAnsweredOkChangesOnlyItsBand() {
    TNewsDesignForm form;
    TNewsFontDialog::SetFontChooser([this](Font& f, QWidget* parent) {
      m_asked.push_back(f);
      if (!qobject_cast<TNewsDesignForm*>(parent)) return false;
      f = Font{"Georgia", 22, 0x0000FF, fsBold | fsItalic};
      return true;
    });
    QTest::mouseClick(form.ui.Font1Btn, Qt::LeftButton);
    QCOMPARE(m_asked.size(), std::size_t(1));
    QCOMPARE(m_asked[0], (Font{"Arial Black", 14, 0xFFFFFF, 0}));
    TNewsDesign expected;
    expected.HeadFontName = "Georgia";
    expected.HeadFontSize = 22;
    expected.HeadFontColor = 0x0000FF;
    expected.HeadFontStyle = fsBold | fsItalic;
    QCOMPARE(form.Design(), expected);

    QTest::mouseClick(form.ui.Font2Btn, Qt::LeftButton);
    QCOMPARE(m_asked[1], (Font{"Arial", 8, 0xFFFFFF, 0}));
    expected.FootFontName = "Georgia";
    expected.FootFontSize = 22;
    expected.FootFontColor = 0x0000FF;
    expected.FootFontStyle = fsBold | fsItalic;
    QCOMPARE(form.Design(), expected);
  }

  void fontQuestionCancelledChangesNothing() {
    TNewsDesignForm form;
    // Even a chooser that scribbles on the font before cancelling.
    TNewsFontDialog::SetFontChooser([](Font& f, QWidget*) {
      f = Font{"Wingdings", 99, 0x111111, 0xFF};
      return false;
    });
    QTest::mouseClick(form.ui.Font1Btn, Qt::LeftButton);
    QTest::mouseClick(form.ui.Font2Btn, Qt::LeftButton);
    QCOMPARE(form.Design(), TNewsDesign{});
  }

  void fontDialogShowsAndReturnsTheFont() {
    Font font{"Arial Black", 14, 0xFFFFFF, fsStrikeOut};
    WhenModalShown([](QDialog* dlg) {
      auto* f = qobject_cast<TNewsFontDialog*>(dlg);
      QVERIFY(f);
      QCOMPARE(f->windowTitle(), QString("Schriftart"));
      QCOMPARE(f->ui.FaceCombo->currentText(), QString("Arial Black"));
      QCOMPARE(f->ui.SizeEd->value(), 14);
      QCOMPARE(f->ui.ColorCombo->currentText(), QString("Weiß"));
      QVERIFY(f->ui.StrikeCheck->isChecked());
      QVERIFY(!f->ui.BoldCheck->isChecked());
      f->ui.FaceCombo->setCurrentText("Nirgends Installiert Sans");
      f->ui.SizeEd->setValue(36);
      f->ui.BoldCheck->setChecked(true);
      f->ui.UnderlineCheck->setChecked(true);
      f->ui.StrikeCheck->setChecked(false);
      f->ui.ColorCombo->SetColorValue(0x0000FF);
      QTest::mouseClick(f->ui.OKBtn, Qt::LeftButton);
    });
    QVERIFY(TNewsFontDialog::Execute(font, nullptr));
    QCOMPARE(font, (Font{"Nirgends Installiert Sans", 36, 0x0000FF, fsBold | fsUnderline}));
  }

  void fontDialogCancelledLeavesTheFont() {
    const Font before{"Arial", 8, 0x123456, fsItalic};
    Font font = before;
    WhenModalShown([](QDialog* dlg) {
      auto* f = qobject_cast<TNewsFontDialog*>(dlg);
      QVERIFY(f);
      f->ui.SizeEd->setValue(50);
      f->ui.ItalicCheck->setChecked(false);
      QTest::mouseClick(f->ui.CancelBtn, Qt::LeftButton);
    });
    QVERIFY(!TNewsFontDialog::Execute(font, nullptr));
    QCOMPARE(font, before);
  }

  void fontDialogKeepsTheFaceWhenTheBoxIsEmptied() {
    TNewsFontDialog dlg;
    dlg.SetFont(Font{"Arial", 8, 0, 0x10 | fsBold}); // a bit the dialog has no box for
    dlg.ui.FaceCombo->setCurrentText("  ");
    QCOMPARE(dlg.Font(), (Font{"Arial", 8, 0, 0x10 | fsBold}));
  }
};

QTEST_MAIN(NewsDesignFormTest)
#include "NewsDesignFormTest.moc"
