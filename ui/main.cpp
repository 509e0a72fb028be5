// Postello, the window program. It takes no arguments.
#include "SetUpApplication.h"
#include "TEditKontenForm.h"
#include "TMainForm.h"
#include "TWriteMailForm.h"
#include "TQtMessageSink.h"

#include "core/ProgDir.h"

#include <QApplication>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  postello::SetUpApplication(app);

  postello::TQtMessageSink sink;
  postello::SetMessageSink(&sink);

  postello::TMainState state;
  int rc = 0;
  {
    postello::TMainForm mainForm(state);
    mainForm.FormCreate(postello::ResolveProgDir(postello::ProgramFileDir()));
    postello::TWriteMailForm writeMail(&mainForm);
    writeMail.SetProgDir(state.ProgDir);
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
