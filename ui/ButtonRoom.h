#pragma once
// Room around a button's caption: a long caption would otherwise touch the
// button's frame, or be cut where a style draws a wider frame or a bolder
// default button.
#include <QPushButton>

namespace postello {

// The characters of room on each side of the caption.
inline constexpr int kButtonRoomChars = 2;

inline void GiveCaptionRoom(QPushButton* button) {
  const QFontMetrics metrics(button->font());
  QString caption = button->text();
  caption.remove(QLatin1Char('&'));
  button->setMinimumWidth(metrics.horizontalAdvance(caption) + 2 * kButtonRoomChars * metrics.averageCharWidth());
}

} // namespace postello
