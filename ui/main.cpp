// Postello, the window program. It takes no arguments.
#include "GermanQt.h"
#include "TEditKontenForm.h"
#include "TMainForm.h"
#include "TWriteMailForm.h"
#include "TQtMessageSink.h"

#include "core/ProgDir.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Postello 1.1"));
  QApplication::setApplicationDisplayName(QStringLiteral("Postello 1.1"));

  postello::InstallGermanQt(app);
  // The installed desktop entry and icon: window managers and Wayland
  // compositors match the window to postello.desktop; the icon comes from
  // the hicolor theme (none when run from the build folder).
  QGuiApplication::setDesktopFileName(QStringLiteral("postello"));
  QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("postello")));

  postello::TQtMessageSink sink;
  postello::SetMessageSink(&sink);

  postello::TMainState state;
  int rc = 0;
  {
    postello::TMainForm mainForm(state);
    mainForm.FormCreate(postello::ResolveProgDir(postello::ProgramFileDir()));
    postello::TWriteMailForm writeMail(&mainForm);
    mainForm.SetWriteMailForm(&writeMail);
    postello::TEditKontenForm editKonten(&mainForm);
    mainForm.SetEditKontenForm(&editKonten);
    mainForm.show();
    rc = QApplication::exec();
    mainForm.SetEditKontenForm(nullptr);
    mainForm.SetWriteMailForm(nullptr);
  }
  postello::SetMessageSink(nullptr);
  return rc;
}
