// postello-cli mailbox: shows, sets and removes the reply mailbox of an
// account, kept beside konten.dat.
#include "cli/TCliCommand.h"

#include "core/Cp1252.h"
#include "core/SafeFile.h"
#include "core/TKontoStore.h"
#include "core/TPostfachStore.h"

#include <iostream>
#include <ostream>

namespace postello {
namespace {

// A usage error from Windows-1252 text; the frame prints it as it is.
TCliUsageError Usage(const std::string& cp1252) { return TCliUsageError{CliText(cp1252)}; }

// The first line of standard input, without its line end. A password is
// short: more than its limit is refused, not read on.
std::string PasswordFromStdin() {
  const std::size_t limit = TKontoStore::MaxPasswordLength;
  std::string line = ReadFirstLine(std::cin, 4 * limit);  // UTF-8: up to four bytes a character
  if (!line.empty() && line.back() == '\r') line.pop_back();
  const std::string password = line.size() > 4 * limit ? line : Utf8ToCp1252(line);
  if (password.size() > limit)
    throw Usage("Das Kennwort ist l\xE4nger als " + std::to_string(limit) + " Zeichen.");
  if (password.empty()) throw Usage("Das Kennwort ist leer (erwartet als erste Zeile der Standardeingabe).");
  return password;
}

void Show(std::ostream& out, const TKontoRec& k) {
  const TReplyMailbox& m = k.Mailbox;
  out << CliText("Konto: " + k.Absender + " " + k.Email) << "\n";
  if (m.Server.empty()) {
    out << CliText("Kein Posteingang f\xFCr R\xFC" "ckl\xE4ufer eingestellt.") << "\n";
    return;
  }
  out << CliText("IMAP-Server: " + m.Server) << "\n"
      << CliText("Benutzer: " + m.User) << "\n"
      << CliText(m.OAuth              ? "Kennwort: keins, Anmeldung mit OAuth (XOAUTH2)"
                 : m.Password.empty() ? "Kennwort: keins"
                                      : "Kennwort: gespeichert")
      << "\n"
      << CliText("Ordner: " + m.Folder) << "\n"
      << CliText("Ordner f\xFCr Verarbeitete: " + m.DoneFolder) << "\n";
}

// The mailbox as the options change it; throws TCliUsageError for a
// value it cannot take.
TReplyMailbox Changed(const TCliArgs& args, TReplyMailbox m) {
  const bool fresh = m.Server.empty();
  if (args.Has("--password-stdin") && args.Has("--oauth"))
    throw Usage("--password-stdin und --oauth schlie\xDF" "en einander aus");
  if (fresh && (!args.Has("--server") || !args.Has("--user") || !(args.Has("--password-stdin") || args.Has("--oauth"))))
    throw Usage("ein neuer Posteingang braucht --server, --user und --password-stdin oder --oauth");
  if (args.Has("--server")) {
    m.Server = Utf8ToCp1252(args.Get("--server"));
    if (const std::string reason = TPostfachStore::CheckServer(m.Server); !reason.empty()) throw Usage(reason);
  }
  if (args.Has("--user")) {
    m.User = Utf8ToCp1252(args.Get("--user"));
    if (m.User.empty() || m.User.size() > TKontoStore::MaxFieldLength)
      throw Usage("--user erwartet einen Benutzernamen von 1 bis 255 Zeichen");
  }
  const struct {
    const char* Option;
    std::string* Field;
    const char* What;
  } folders[] = {{"--folder", &m.Folder, "Ordner"}, {"--done-folder", &m.DoneFolder, "Ordner f\xFCr Verarbeitete"}};
  for (const auto& f : folders) {
    if (!args.Has(f.Option)) continue;
    *f.Field = Utf8ToCp1252(args.Get(f.Option));
    if (const std::string reason = TPostfachStore::CheckFolder(*f.Field, f.What); !reason.empty()) throw Usage(reason);
  }
  if (args.Has("--oauth")) {
    m.OAuth = true;
    m.Password.clear();
  } else if (args.Has("--password-stdin")) {
    m.OAuth = false;
    m.Password = CodePassw(PasswordFromStdin());
  }
  return m;
}

int RunMailbox(TCliContext& ctx) {
  const long index = ctx.Args.GetInt("--account", -1);
  const bool forget = ctx.Args.Has("--forget");
  bool change = false;
  for (const char* option : {"--server", "--user", "--password-stdin", "--oauth", "--folder", "--done-folder"})
    change = change || ctx.Args.Has(option);
  if (forget && change) throw Usage("--forget steht allein");

  TKontoList konten;
  TKontoRec* konto = OpenCliKonto(ctx, index, konten);
  if (konto == nullptr) return kExitRefused;
  TKontoRec& k = *konto;
  if (forget && k.Mailbox.Server.empty()) {
    ctx.Err << CliText("Das Konto " + std::to_string(index) + " hat keinen Posteingang f\xFCr R\xFC" "ckl\xE4ufer.")
            << "\n";
    return kExitOk;
  }
  if (forget || change) {
    k.Mailbox = forget ? TReplyMailbox{} : Changed(ctx.Args, k.Mailbox);
    // Only the mailbox file is written: konten.dat keeps its bytes.
    try {
      TPostfachStore::Save(ctx.Dir, konten);
    } catch (const ESaveError& e) {
      ctx.Err << CliText(e.what()) << "\n";
      return kExitRefused;
    }
  }
  Show(ctx.Out, k);
  if (change && k.Mailbox.OAuth)
    ctx.Err << CliText("Der Posteingang meldet sich mit der OAuth-Anmeldung des Kontos an. Bei Microsoft 365 das Konto "
                       "danach mit postello-cli oauth neu anmelden, damit die Anmeldung auch IMAP erlaubt.")
            << "\n";
  return kExitOk;
}

const TCliRegistrar reg(
    {"mailbox",
     "zeigt, setzt und entfernt den Posteingang eines Kontos, in dem R\xFC" "ckl\xE4ufer und Abmeldungen ankommen "
     "(IMAP)",
     "",
     0,
     0,
     {{"--account", "NUMMER", "Nummer des Kontos (siehe postello-cli accounts)", true},
      {"--server", "HOST:PORT", "IMAP-Server; Port 993: TLS von Anfang an, sonst STARTTLS; IPv6 in eckigen Klammern"},
      {"--user", "NAME", "Benutzername beim IMAP-Server"},
      {"--password-stdin", "", "Kennwort als erste Zeile der Standardeingabe lesen; auf der Kommandozeile s\xE4hen "
                               "es alle Benutzer des Rechners"},
      {"--oauth", "", "statt eines Kennworts mit der OAuth-Anmeldung des Kontos anmelden (siehe postello-cli oauth)"},
      {"--folder", "NAME", "Ordner mit den R\xFC" "ckl\xE4ufern; ohne Angabe INBOX"},
      {"--done-folder", "NAME", "Ordner f\xFCr verarbeitete Nachrichten; ohne Angabe Postello/Verarbeitet"},
      {"--forget", "", "den Posteingang des Kontos entfernen"}},
     RunMailbox});

} // namespace
} // namespace postello
