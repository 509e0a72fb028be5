#pragma once
class QApplication;

namespace postello {

// What the window program sets before its first window: the application
// title "Postello 1.2" (the default caption of message boxes), German Qt
// texts, the desktop entry and the icon.
void SetUpApplication(QApplication& app);

} // namespace postello
