// Postello, the window program. It takes no arguments.
#include "TEditKontenForm.h"
#include "TMainForm.h"
#include "TQtMessageSink.h"

#include "core/ProgDir.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Postello 1.1"));
  QApplication::setApplicationDisplayName(QStringLiteral("Postello 1.1"));

  // The program speaks German whatever the desktop's language: Qt's own
  // buttons and dialogs too ("Ja", "Nein", "Abbrechen").
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  QTranslator qtGerman;
  if (qtGerman.load(QStringLiteral("qtbase_de"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QApplication::installTranslator(&qtGerman);
  }

  postello::TQtMessageSink sink;
  postello::SetMessageSink(&sink);

  postello::TMainState state;
  int rc = 0;
  {
    postello::TMainForm mainForm(state);
    mainForm.FormCreate(postello::ResolveProgDir(postello::ProgramFileDir()));
    postello::TEditKontenForm editKonten(&mainForm);
    mainForm.SetEditKontenForm(&editKonten);
    mainForm.show();
    rc = QApplication::exec();
    mainForm.SetEditKontenForm(nullptr);
  }
  postello::SetMessageSink(nullptr);
  return rc;
}
