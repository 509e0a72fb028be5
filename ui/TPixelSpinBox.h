#pragma once
#include <QDoubleSpinBox>

namespace postello {

// A number box for sizes in pixels. It shows whole numbers as they are
// ("550", not "550,00") but takes a fraction typed by the user; whoever
// reads it cuts the fraction off (Pixels()).
class TPixelSpinBox : public QDoubleSpinBox {
  Q_OBJECT
public:
  explicit TPixelSpinBox(QWidget* parent = nullptr);

  // The value without its fraction.
  int Pixels() const;

protected:
  QString textFromValue(double value) const override;
};

} // namespace postello
