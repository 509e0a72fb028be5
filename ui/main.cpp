// Postello, the window program. It takes no arguments.
#include "SetUpApplication.h"
#include "TEditKontenForm.h"
#include "TMainForm.h"
#include "TWriteMailForm.h"
#include "TQtMessageSink.h"
#include "TWebPreview.h"

#include "core/ProgDir.h"
#include "keyring/TSystemGrantStore.h"
#include "send/TOAuthTokens.h"

#include <QApplication>

#include <sys/prctl.h>

int main(int argc, char** argv) {
  // Passwords and tokens pass through this process: no core dump may
  // write them to disk, and no other process of the user may read them.
  ::prctl(PR_SET_DUMPABLE, 0);
  postello::PrepareWebEngine();
  QApplication app(argc, argv);
  postello::SetUpApplication(app);
  postello::EnableWebPreview(true);

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
    // The accounts signed in with OAuth, shared by the sessions and the
    // account dialog.
    postello::TSystemGrantStore grants(state.ProgDir);
    postello::TOAuthTokens tokens(grants);
    mainForm.SetOAuthTokens(&tokens);
    // Read once at the start, so that a send does not wait for the
    // keyring and the account dialog shows the state at once.
    for (std::uint32_t i = 0; i < state.Konten.Count(); ++i)
      tokens.HasGrant(postello::ExtractAddress(state.Konten[i].Email), postello::ServerKeyOf(state.Konten[i].Server));
    postello::TEditKontenForm editKonten(&mainForm);
    editKonten.SetOAuthTokens(&tokens);
    mainForm.SetEditKontenForm(&editKonten);
    mainForm.show();
    rc = QApplication::exec();
    mainForm.SetEditKontenForm(nullptr);
    mainForm.SetOAuthTokens(nullptr);
    mainForm.SetWriteMailForm(nullptr);
  }
  postello::SetMessageSink(nullptr);
  return rc;
}
