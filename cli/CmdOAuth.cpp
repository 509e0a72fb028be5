// postello-cli oauth: signs an account in with OAuth 2.0 (or out again), so
// that it sends with XOAUTH2 instead of a password.
#include "cli/TCliCommand.h"

#include "core/Cp1252.h"
#include "core/TKontoStore.h"
#include "keyring/TSystemGrantStore.h"
#include "oauth/TOAuthSignIn.h"
#include "send/TOAuthTokens.h"
#include "smtp/TSMTPSend.h"

#include <sys/stat.h>

#include <fstream>
#include <iostream>
#include <ostream>
#include <stdexcept>

namespace postello {
namespace {

// The first line of in, without its line end; a secret is short, so at
// most 4 KB are read. Throws when the line is longer.
std::string FirstLine(std::istream& in) {
  constexpr std::size_t kMax = 4096;
  std::string line = ReadFirstLine(in, kMax);
  if (line.size() > kMax) throw std::runtime_error("Der Clientschl\xFCssel ist l\xE4nger als 4096 Zeichen.");
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

// The client secret from standard input or from a file only its owner
// can read: on the command line every user of the machine would see it in
// the list of processes. The first line counts; "" when none is asked for.
std::string ClientSecretOf(const TCliArgs& args) {
  const bool fromStdin = args.Has("--client-secret-stdin");
  if (fromStdin && args.Has("--client-secret-file"))
    throw TCliUsageError{CliText("--client-secret-stdin und --client-secret-file schlie\xDF" "en sich aus")};
  std::string secret;
  if (fromStdin) {
    secret = FirstLine(std::cin);
  } else if (args.Has("--client-secret-file")) {
    const std::string path = args.Get("--client-secret-file");
    const std::string shown = Utf8ToCp1252(path);
    std::ifstream in(path, std::ios::binary);
    struct stat st {};
    if (!in || ::stat(path.c_str(), &st) != 0)
      throw std::runtime_error("Die Datei " + shown + " mit dem Clientschl\xFCssel kann nicht gelesen werden.");
    if ((st.st_mode & 077) != 0)
      throw std::runtime_error("Die Datei " + shown + " mit dem Clientschl\xFCssel ist f\xFCr andere lesbar; bitte "
                               "mit chmod 600 nur f\xFCr ihren Besitzer lesbar machen.");
    secret = FirstLine(in);
  } else {
    return {};
  }
  if (secret.empty()) throw std::runtime_error("Der Clientschl\xFCssel ist leer.");
  return secret;
}

// The provider the options name; throws TCliUsageError for a mix that
// names none or more than one.
TOAuthProvider ProviderOf(const TCliArgs& args) {
  const bool custom = args.Has("--authorize-url") || args.Has("--token-url") || args.Has("--scope");
  const std::string name = args.Get("--provider");
  if (args.Has("--provider") && custom)
    throw TCliUsageError{CliText("--provider und --authorize-url/--token-url/--scope schlie\xDF" "en sich aus")};
  if (args.Has("--tenant") && name != "microsoft")
    throw TCliUsageError{"--tenant gibt es nur mit --provider microsoft"};
  TOAuthProvider p;
  if (name == "microsoft") {
    try {
      p = TOAuthProvider::Microsoft(Utf8ToCp1252(args.Get("--tenant")));
    } catch (const std::invalid_argument& e) {
      throw TCliUsageError{e.what()};
    }
  } else if (name == "google") {
    p = TOAuthProvider::Google();
  } else if (args.Has("--provider")) {
    throw TCliUsageError{CliText("--provider kennt microsoft und google; f\xFCr andere Anbieter --authorize-url, "
                                 "--token-url und --scope angeben")};
  } else if (custom) {
    if (!args.Has("--authorize-url") || !args.Has("--token-url") || !args.Has("--scope"))
      throw TCliUsageError{"ein anderer Anbieter braucht --authorize-url, --token-url und --scope"};
    p = TOAuthProvider::Custom(args.Get("--authorize-url"), args.Get("--token-url"), args.Get("--scope"));
  } else {
    throw TCliUsageError{"--provider microsoft, --provider google oder --authorize-url, --token-url und --scope "
                         "angeben"};
  }
  if (!args.Has("--client-id") || args.Get("--client-id").empty())
    throw TCliUsageError{"--client-id fehlt (die Anwendungs-ID der App-Registrierung)"};
  p.ClientId = args.Get("--client-id");
  return p;
}

int RunOAuth(TCliContext& ctx) {
  const long index = ctx.Args.GetInt("--account", -1);
  const bool signOut = ctx.Args.Has("--sign-out");
  TOAuthProvider provider;
  if (!signOut) {
    provider = ProviderOf(ctx.Args);
    try {
      provider.ClientSecret = ClientSecretOf(ctx.Args);
    } catch (const std::exception& e) {
      ctx.Err << CliText(e.what()) << "\n";
      return kExitRefused;
    }
  }

  TKontoList konten;
  const TKontoRec* konto = OpenCliKonto(ctx, index, konten);
  if (konto == nullptr) return kExitRefused;
  const std::string key = CliKontoServerKey(ctx, index, *konto);
  if (key.empty()) return kExitRefused;
  const std::string account = ExtractAddress(konto->Email);
  if (account.empty()) {
    ctx.Err << CliText("Das Konto " + std::to_string(index) + " hat keine eMail-Adresse.") << "\n";
    return kExitRefused;
  }

  // The reply mailbox reads with the account's grant: it must allow IMAP.
  if (!signOut && konto->Mailbox.OAuth && !konto->Mailbox.Server.empty()) provider.AddMailboxScope();

  TSystemGrantStore store(ctx.Dir);
  TOAuthTokens tokens(store);
  if (signOut) {
    try {
      const bool removed = tokens.Forget(account, key);
      ctx.Out << CliText(removed ? "Das Konto " + std::to_string(index) + " (" + account + ", " + key +
                                       ") ist abgemeldet."
                                 : "Das Konto " + std::to_string(index) + " war nicht mit OAuth angemeldet.")
              << "\n";
    } catch (const std::exception& e) {
      ctx.Err << CliText(e.what()) << "\n";
      return kExitRefused;
    }
    return kExitOk;
  }

  try {
    TOAuthSignIn signIn(provider, account, key);
    // The address alone on standard output, so a script can hand it on.
    ctx.Out << signIn.Address() << "\n" << std::flush;
    const int limit = TOAuthSignIn::WaitLimitMs();
    const std::string minutes = limit % 60000 == 0 ? std::to_string(limit / 60000) + " Minute" +
                                                         (limit == 60000 ? "" : "n")
                                                   : std::to_string(limit / 1000) + " Sekunden";
    ctx.Err << CliText("\xD6" "ffnen Sie diese Adresse im Browser und melden Sie sich als " + account +
                       " an. Postello wartet bis zu " + minutes + " auf die R\xFC" "ckmeldung an " +
                       signIn.RedirectUri() + ".")
            << "\n"
            << std::flush;
    const TOAuthGrant grant = signIn.Finish(limit);
    tokens.Store(grant);
    ctx.Err << CliText("Angemeldet: Konto " + std::to_string(index) + " (" + account + ", " + key +
                       ") sendet jetzt mit OAuth. Gespeichert: " + store.Where() + ".")
            << "\n";
  } catch (const EOAuthError& e) {
    ctx.Err << CliText(e.what()) << "\n";
    return kExitPartly;
  } catch (const std::exception& e) {
    ctx.Err << CliText(e.what()) << "\n";
    return kExitRefused;
  }
  return kExitOk;
}

const TCliRegistrar reg(
    {"oauth",
     "meldet ein Konto mit OAuth 2.0 an (Microsoft 365, Google oder ein anderer Anbieter) oder ab; das Konto "
     "sendet dann mit XOAUTH2 statt mit Passwort",
     "",
     0,
     0,
     {{"--account", "NUMMER", "Nummer des Kontos (siehe postello-cli accounts)", true},
      {"--provider", "TEXT", "microsoft oder google"},
      {"--tenant", "TEXT", "Mandant bei Microsoft 365 (Mandanten-ID oder Domain; ohne Angabe: common)"},
      {"--authorize-url", "ADRESSE", "Autorisierungsadresse eines anderen Anbieters"},
      {"--token-url", "ADRESSE", "Token-Adresse eines anderen Anbieters"},
      {"--scope", "TEXT", "Berechtigungen (scope) beim anderen Anbieter"},
      {"--client-id", "TEXT", "Anwendungs-ID (Client-ID) der App-Registrierung"},
      {"--client-secret-stdin", "",
       "geheimen Clientschl\xFCssel (wo der Anbieter einen verlangt) als erste Zeile der Standardeingabe lesen; "
       "auf der Kommandozeile s\xE4hen ihn alle Benutzer des Rechners"},
      {"--client-secret-file", "DATEI",
       "geheimen Clientschl\xFCssel aus der ersten Zeile einer Datei lesen, die nur ihr Besitzer lesen darf (chmod "
       "600)"},
      {"--sign-out", "", "die Anmeldung des Kontos entfernen"}},
     RunOAuth});

} // namespace
} // namespace postello
