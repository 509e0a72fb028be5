#pragma once
#include "editor/TNewsDesign.h"
#include "ui_TNewsDesignForm.h"

#include <QDialog>

namespace postello {

// The newsletter design dialog: four colour boxes, the fonts of the heading
// and footer bands, the box size and the two band texts.
//
// The colours, sizes and texts live in the controls; the two fonts live in
// this object and change only through their font questions. OK accepts;
// "Abbrechen", Escape and the title bar reject, and the caller then keeps
// the design it had (the controls still hold the changes until SetDesign).
// It is made once; it starts with the defaults of TNewsDesign.
//
// Each band's colour box sits beside the label of its own band:
// PalixColorComboBox3 ("Hintergrund Überschrift:") edits the heading band,
// PalixColorComboBox2 ("Hintergrund Unterschrift:") the footer band.
class TNewsDesignForm : public QDialog {
  Q_OBJECT
public:
  explicit TNewsDesignForm(QWidget* parent = nullptr);

  // Shows d in every control; a colour outside the sixteen fixed ones shows
  // as the custom entry, a size outside its range at the nearest end.
  void SetDesign(const TNewsDesign& d);
  // The settings as the controls hold them, sizes cut to whole pixels.
  TNewsDesign Design() const;

  Ui::TNewsDesignForm ui;

private:
  void Font1BtnClick();
  void Font2BtnClick();

  TNewsDesign FFonts; // only the font fields are used
};

} // namespace postello
