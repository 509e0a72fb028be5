// postello-cli bounces: reads the reply mailbox of an account and shows
// what it holds; with --apply the addresses go on the block list and the
// recognised messages into the folder for processed ones.
#include "cli/TCliCommand.h"
#include "cli/TInterruptGuard.h"

#include "core/Cp1252.h"
#include "core/TMailStore.h"
#include "imap/TImapMailbox.h"
#include "keyring/TSystemGrantStore.h"
#include "send/ReplyMailboxLogin.h"
#include "send/TBlockList.h"
#include "send/TBounceReading.h"
#include "send/TOAuthTokens.h"
#include "send/TReadOnlyTrust.h"
#include "send/TReplyLog.h"
#include "send/TSendJournal.h"
#include "smtp/TStoredServerTrust.h"

#include <unistd.h>

#include <atomic>
#include <optional>
#include <ostream>

namespace postello {
namespace {

std::atomic<bool>& gInterrupted = TInterruptGuard::Flag();

void PrintRows(std::ostream& out, const TBounceResult& result) {
  out << CliText("Adresse\tArt\tStatus oder Grund\tDatum\tLauf\tDatensatz\tAktion") << "\n";
  for (const TBounceRow& r : result.Rows)
    out << CliText(r.Address) << '\t' << CliText(InboxKindText(r.Kind)) << '\t' << CliText(r.Reason) << '\t'
        << CliText(r.Date) << '\t' << CliText(r.Run) << '\t' << (r.RecNo != 0 ? std::to_string(r.RecNo) : "")
        << '\t' << CliText(r.ActionText()) << "\n";
}

int RunBounces(TCliContext& ctx) {
  const long index = ctx.Args.GetInt("--account", -1);
  const bool apply = ctx.Args.Has("--apply");
  TKontoList konten;
  TKontoRec* konto = OpenCliKonto(ctx, index, konten);
  if (konto == nullptr) return kExitRefused;
  const TReplyMailbox& m = konto->Mailbox;
  if (m.Server.empty()) {
    ctx.Err << CliText("Das Konto " + std::to_string(index) + " hat keinen Posteingang f\xFCr R\xFC" "ckl\xE4ufer "
                       "(siehe postello-cli mailbox).")
            << "\n";
    return kExitRefused;
  }
  // The unsubscribe mailboxes the mails name.
  TMailList mails;
  const TMailLoadResult mr = TMailStore::Open(ctx.Dir, mails);
  if (!mr.Error.empty()) ctx.Err << CliText(mr.Error) << "\n";

  const TInterruptGuard guard;
  // The decisions about servers are made beforehand (postello-cli security).
  TStoredServerTrust trust(ctx.Dir);
  if (!trust.LoadError().empty()) ctx.Err << CliText(trust.LoadError()) << "\n";
  // The keyring is asked only for a mailbox that signs in with OAuth.
  std::optional<TSystemGrantStore> grants;
  std::optional<TOAuthTokens> tokens;
  if (m.OAuth) tokens.emplace(grants.emplace(ctx.Dir));
  // Without --apply nothing is written, not even that the server offers STARTTLS.
  TReadOnlyTrust readOnly(trust);
  TBounceReading reading(ctx.Dir, TBounceReading::ContextOf(mails));
  reading.Cancel = &gInterrupted;
  const bool bar = isatty(STDERR_FILENO) == 1;
  if (bar)
    reading.OnProgress = [&](std::size_t done, std::size_t total) {
      ctx.Err << "\r" << done << '/' << total << std::flush;
    };
  int status = kExitOk;
  std::unique_ptr<TImapMailbox> box;
  try {
    box = OpenReplyMailbox(
        *konto, apply ? static_cast<TServerTrust&>(trust) : readOnly, tokens ? &*tokens : nullptr, &gInterrupted);
    const TBounceResult result = reading.Read(*box);
    if (bar) ctx.Err << "\r\033[K" << std::flush;
    PrintRows(ctx.Out, result);
    ctx.Err << CliText(result.ReadText()) << "\n";
    if (result.Cancelled) {
      ctx.Err << CliText("Abgebrochen; es wurde nichts ge\xE4ndert.") << "\n";
      status = kExitPartly;
    } else if (!apply) {
      ctx.Err << CliText("Ohne --apply wurde nichts ge\xE4ndert.") << "\n";
    } else {
      const TBounceApplied a = reading.Apply(*box, result, m.DoneFolder);
      if (bar) ctx.Err << "\r\033[K" << std::flush;
      ctx.Err << CliText(a.Text(m.DoneFolder) + ".") << "\n";
      if (a.Cancelled) {
        ctx.Err << CliText("Abgebrochen; die \xFC" "brigen Nachrichten bleiben liegen.") << "\n";
        status = kExitPartly;
      }
    }
  } catch (const EImapError& e) {
    ctx.Err << CliText(e.what()) << "\n";
    status = gInterrupted ? kExitPartly : kExitRefused;
  } catch (const EJournalError& e) {
    ctx.Err << CliText(e.what()) << "\n";
    status = kExitRefused;
  } catch (const EReplyLogError& e) {
    ctx.Err << CliText(e.what()) << "\n";
    status = kExitRefused;
  } catch (const EBlockListError& e) {
    ctx.Err << CliText(e.what()) << "\n";
    status = kExitRefused;
  }
  if (box) box->Close();
  for (const std::string& problem : trust.TakeProblems()) ctx.Err << CliText(problem) << "\n";
  return status;
}

const TCliRegistrar reg({"bounces",
                         "liest R\xFC" "ckl\xE4ufer, Abmeldungen und Beschwerden aus dem Posteingang eines Kontos; "
                         "mit --apply kommen die Adressen auf die Sperrliste",
                         "",
                         0,
                         0,
                         {{"--account", "NUMMER", "Nummer des Kontos (siehe postello-cli accounts)", true},
                          {"--apply", "", "Adressen sperren und erkannte Nachrichten in den Ordner f\xFCr "
                                          "Verarbeitete verschieben; ohne wird nichts ge\xE4ndert"}},
                         RunBounces});

} // namespace
} // namespace postello
