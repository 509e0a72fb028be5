#include "SetUpApplication.h"

#include "GermanQt.h"

#include "core/ProgramVersion.h"

#include <QApplication>
#include <QIcon>

namespace postello {

void SetUpApplication(QApplication& app) {
  // Only the name: a display name would make Qt add " — Postello 1.2" to
  // every window title on X11 and Wayland, and the titles are the captions.
  // The name is also the caption of the message boxes and the window class.
  QApplication::setApplicationName(QStringLiteral("Postello %1").arg(QLatin1String(kProgramVersion)));
  InstallGermanQt(app);
  // The installed desktop entry and icon: window managers and Wayland
  // compositors match the window to postello.desktop; the icon comes from
  // the hicolor theme (none when run from the build folder).
  QGuiApplication::setDesktopFileName(QStringLiteral("postello"));
  QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("postello")));
}

} // namespace postello
