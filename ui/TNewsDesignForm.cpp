#include "TNewsDesignForm.h"

#include "QtText.h"
#include "TNewsFontDialog.h"

namespace postello {

TNewsDesignForm::TNewsDesignForm(QWidget* parent) : QDialog(parent) {
  ui.setupUi(this);
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                 Qt::MSWindowsFixedSizeDialogHint);
  for (TPalixColorComboBox* box :
       {ui.PalixColorComboBox1, ui.PalixColorComboBox2, ui.PalixColorComboBox3, ui.PalixColorComboBox4}) {
    box->SetLanguage(lgDeutsch);
  }
  connect(ui.Font1Btn, &QPushButton::clicked, this, &TNewsDesignForm::Font1BtnClick);
  connect(ui.Font2Btn, &QPushButton::clicked, this, &TNewsDesignForm::Font2BtnClick);
  SetDesign(TNewsDesign{});
  setFixedSize(sizeHint());
}

void TNewsDesignForm::SetDesign(const TNewsDesign& d) {
  FFonts = d;
  ui.PalixColorComboBox1->SetColorValue(d.BackColor);
  ui.PalixColorComboBox3->SetColorValue(d.HeadBackColor);
  ui.PalixColorComboBox2->SetColorValue(d.FootBackColor);
  ui.PalixColorComboBox4->SetColorValue(d.BorderColor);
  ui.BreitEd->setValue(d.Width);
  ui.MinHEd->setValue(d.MinHeight);
  ui.UeberSchriftEd->setText(ToQ(d.HeadText));
  ui.UnterSchriftEd->setText(ToQ(d.FootText));
}

TNewsDesign TNewsDesignForm::Design() const {
  TNewsDesign d = FFonts;
  d.BackColor = ui.PalixColorComboBox1->ColorValue();
  d.HeadBackColor = ui.PalixColorComboBox3->ColorValue();
  d.FootBackColor = ui.PalixColorComboBox2->ColorValue();
  d.BorderColor = ui.PalixColorComboBox4->ColorValue();
  d.Width = ui.BreitEd->Pixels();
  d.MinHeight = ui.MinHEd->Pixels();
  d.HeadText = FromQ(ui.UeberSchriftEd->text());
  d.FootText = FromQ(ui.UnterSchriftEd->text());
  return d;
}

void TNewsDesignForm::Font1BtnClick() {
  TNewsFontDialog::TBandFont font{FFonts.HeadFontName, FFonts.HeadFontSize, FFonts.HeadFontColor,
                                  FFonts.HeadFontStyle};
  if (!TNewsFontDialog::Execute(font, this, ui.PalixColorComboBox3->RgbValue())) return;
  FFonts.HeadFontName = font.Name;
  FFonts.HeadFontSize = font.Size;
  FFonts.HeadFontColor = font.Color;
  FFonts.HeadFontStyle = font.Style;
}

void TNewsDesignForm::Font2BtnClick() {
  TNewsFontDialog::TBandFont font{FFonts.FootFontName, FFonts.FootFontSize, FFonts.FootFontColor,
                                  FFonts.FootFontStyle};
  if (!TNewsFontDialog::Execute(font, this, ui.PalixColorComboBox2->RgbValue())) return;
  FFonts.FootFontName = font.Name;
  FFonts.FootFontSize = font.Size;
  FFonts.FootFontColor = font.Color;
  FFonts.FootFontStyle = font.Style;
}

} // namespace postello
