#pragma once
// How large a window may be on its screen: the screen's available area less
// room for the window manager's frame (borders and title bar).
#include <QScreen>
#include <QSize>
#include <QWidget>

namespace postello {

inline constexpr QSize kFrameRoom(8, 40);

// The largest window size the screen has room for, frame included.
inline QSize ScreenRoom(const QScreen& screen) { return screen.availableGeometry().size() - kFrameRoom; }

// size, no larger than the screen has room for, yet never below the
// window's minimum size hint.
inline QSize ShrunkToScreen(QSize size, const QWidget& window, const QScreen& screen) {
  return size.boundedTo(ScreenRoom(screen)).expandedTo(window.minimumSizeHint());
}

} // namespace postello
