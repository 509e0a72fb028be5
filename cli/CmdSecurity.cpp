// postello-cli security: what is allowed for an account's SMTP server, and
// the decisions the window otherwise asks for.
#include "cli/TCliCommand.h"

#include "core/SafeFile.h"
#include "core/TKontoStore.h"
#include "smtp/TSMTPSend.h"
#include "smtp/TSecurityStore.h"

#include <optional>
#include <ostream>

namespace postello {
namespace {

// The current certificate, looked up by a short session without
// credentials, and what sicherheit.dat holds for the server.
int PrintServer(TCliContext& ctx, const std::string& server, const TSecurityStore& store) {
  TSMTPSendOptions options;
  options.ReadTimeout = 30000;
  options.MessageTimeLimit = 60000;
  const TServerProbe probe = ProbeServer(server, options);
  const TServerDecisions* d = store.Find(probe.Key);
  ctx.Out << "Server: " << CliText(probe.Key) << "\n";
  if (!probe.Reached && !probe.Tls) {
    ctx.Out << "Zertifikat: nicht abrufbar (" << CliText(probe.Reason) << ")\n";
  } else if (!probe.Tls) {
    ctx.Out << CliText("Zertifikat: keines (der Server bietet keine Verschl\xFCsselung an)") << "\n";
  } else {
    std::string state = CertProblemText(probe.Certificate.Problem);
    if (probe.Certificate.Problem != TCertProblem::None && d != nullptr &&
        d->Pins.count(probe.Certificate.Fingerprint) > 0)
      state += ", hier vertraut";
    ctx.Out << "Zertifikat: " << FormatFingerprint(probe.Certificate.Fingerprint) << " (" << CliText(state)
            << ")\n";
  }
  if (d == nullptr || d->Pins.empty()) {
    ctx.Out << "Vertraute Zertifikate: keine\n";
  } else {
    for (const std::string& pin : d->Pins) ctx.Out << "Vertrautes Zertifikat: " << FormatFingerprint(pin) << "\n";
  }
  ctx.Out << CliText(std::string("Unverschl\xFCsseltes Passwort: ") +
                     (d != nullptr && d->PlainAuth ? "erlaubt" : "nicht erlaubt"))
          << "\n";
  ctx.Out << "STARTTLS gesehen: " << (d != nullptr && d->StartTlsSeen ? "ja" : "nein") << "\n";
  return probe.Reached || probe.Tls ? kExitOk : kExitPartly;
}

int RunSecurity(TCliContext& ctx) {
  const long index = ctx.Args.GetInt("--account", -1);
  std::optional<std::string> pin;
  if (ctx.Args.Has("--trust-certificate")) {
    pin = TSecurityStore::ParseFingerprint(ctx.Args.Get("--trust-certificate"));
    if (!pin) throw TCliUsageError{"--trust-certificate erwartet einen SHA-256-Fingerabdruck (64 Hex-Ziffern)"};
  }
  const bool forget = ctx.Args.Has("--forget");
  const bool allowPlain = ctx.Args.Has("--allow-plain-auth");

  TKontoList konten;
  const TKontoRec* konto = OpenCliKonto(ctx, index, konten);
  if (konto == nullptr) return kExitRefused;
  const std::string server = konto->Server;
  const std::string key = CliKontoServerKey(ctx, index, *konto);
  if (key.empty()) return kExitRefused;

  TSecurityStore store(ctx.Dir);
  if (const std::string damaged = store.Load(); !damaged.empty()) ctx.Err << CliText(damaged) << "\n";
  if (!forget && !allowPlain && !pin) return PrintServer(ctx, server, store);

  if (forget) {
    ctx.Out << CliText(store.Forget(key) ? "Alle Eintr\xE4ge f\xFCr " + key + " sind entfernt."
                                         : "F\xFCr " + key + " war nichts gespeichert.")
            << "\n";
  }
  if (allowPlain) {
    store.Entry(key).PlainAuth = true;
    ctx.Out << CliText("F\xFCr " + key + " darf das Passwort unverschl\xFCsselt gesendet werden.") << "\n";
  }
  if (pin) {
    store.Entry(key).Pins.insert(*pin);
    ctx.Out << CliText("Dem Zertifikat " + FormatFingerprint(*pin) + " wird f\xFCr " + key + " vertraut.") << "\n";
  }
  try {
    store.Save();
  } catch (const ESaveError& e) {
    ctx.Err << CliText(e.what()) << "\n";
    return kExitRefused;
  }
  return kExitOk;
}

const TCliRegistrar reg({"security",
                         "zeigt das Zertifikat des Servers eines Kontos und was f\xFCr ihn erlaubt ist, oder \xE4ndert es",
                         "",
                         0,
                         0,
                         {{"--account", "NUMMER", "Nummer des Kontos (siehe postello-cli accounts)", true},
                          {"--allow-plain-auth", "", "das Passwort darf unverschl\xFCsselt an den Server gehen"},
                          {"--trust-certificate", "FINGERABDRUCK",
                           "diesem Zertifikat f\xFCr den Server vertrauen (SHA-256-Fingerabdruck, 64 Hex-Ziffern)"},
                          {"--forget", "", "alle Eintr\xE4ge f\xFCr den Server entfernen"}},
                         RunSecurity});

} // namespace
} // namespace postello
