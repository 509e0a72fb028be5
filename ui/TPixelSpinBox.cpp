#include "TPixelSpinBox.h"

#include <cmath>

namespace postello {

TPixelSpinBox::TPixelSpinBox(QWidget* parent) : QDoubleSpinBox(parent) {
  setDecimals(2);
  setSingleStep(1);
}

int TPixelSpinBox::Pixels() const { return int(std::trunc(value())); }

QString TPixelSpinBox::textFromValue(double value) const {
  QString text = locale().toString(value, 'f', decimals());
  const QChar point = locale().decimalPoint().front();
  if (text.contains(point)) {
    while (text.endsWith('0')) text.chop(1);
    if (text.endsWith(point)) text.chop(1);
  }
  // No group separators: "1024", not "1.024".
  text.remove(locale().groupSeparator());
  return text;
}

} // namespace postello
