#include "cli/TCliCommand.h"

#include "core/CountedNoun.h"
#include "core/Cp1252.h"
#include "core/ProgDir.h"
#include "smtp/TSMTPSend.h"

#include <algorithm>
#include <climits>
#include <istream>
#include <ostream>

namespace postello {

std::vector<TCliCommand>& CliCommands() {
  static std::vector<TCliCommand> commands;
  return commands;
}

std::string TCliArgs::Get(const std::string& name, const std::string& fallback) const {
  const auto it = m_values.find(name);
  return it == m_values.end() ? fallback : it->second;
}

std::vector<std::string> TCliArgs::GetAll(const std::string& name) const {
  std::vector<std::string> values;
  for (auto [it, end] = m_all.equal_range(name); it != end; ++it) values.push_back(it->second);
  return values;
}

long TCliArgs::GetInt(const std::string& name, long fallback) const {
  if (!Has(name)) return fallback;
  const std::string v = Get(name);
  std::size_t used = 0;
  long n = 0;
  try {
    n = std::stol(v, &used);
  } catch (...) {
    used = 0;
  }
  if (used == 0 || used != v.size()) throw TCliUsageError{name + " erwartet eine ganze Zahl, nicht \"" + v + "\""};
  return n;
}

std::string NoSuchKontoText(long index, std::size_t count) {
  return "Es gibt kein Konto Nummer " + std::to_string(index) + " (gespeichert: " +
         CountedNoun(count, "Konto", "Konten") + ", gez\xE4hlt ab 0).";
}

std::string NoSuchMailText(long index, std::size_t count) {
  return "Es gibt keine Mail Nummer " + std::to_string(index) + " (gespeichert: " + CountedNoun(count, "Mail", "Mails") +
         ", gez\xE4hlt ab 0).";
}

TKontoRec* OpenCliKonto(TCliContext& ctx, long index, TKontoList& konten) {
  const TKontoLoadResult r = TKontoStore::Open(ctx.Dir, konten);
  if (!r.Error.empty()) {
    ctx.Err << CliText(r.Error) << "\n";
    return nullptr;
  }
  if (index < 0 || index >= static_cast<long>(konten.Count()) || index > INT_MAX) {
    ctx.Err << CliText(NoSuchKontoText(index, konten.Count())) << "\n";
    return nullptr;
  }
  return &konten[static_cast<std::uint32_t>(index)];
}

std::string CliKontoServerKey(TCliContext& ctx, long index, const TKontoRec& konto) {
  std::string key = ServerKeyOf(konto.Server);
  if (key.front() == ':') {
    ctx.Err << CliText("Das Konto " + std::to_string(index) + " nennt keinen Server.") << "\n";
    return {};
  }
  return key;
}

std::string CliText(const std::string& cp1252) {
  std::string s = cp1252;
  std::replace_if(s.begin(), s.end(), [](char c) { return c == '\r' || c == '\n' || c == '\t'; }, ' ');
  // Any other control character (an escape sequence in a stored text would
  // act on the terminal) shows as '?'.
  for (char& c : s) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F || b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D) c = '?';
  }
  return Cp1252ToUtf8(s);
}

namespace {

// The default folder is named, not printed: the manual page is made from
// this help at build time, on another machine than the one it is read on.
const TCliOption kDir{"--dir", "ORDNER",
                      "Ordner von mails.dat, konten.dat und options.dat; ohne Angabe der Datenordner des "
                      "Fensterprogramms (~/.local/share/Postello oder, nicht installiert, der Programmordner)"};
const TCliOption kHelp{"--help", "", "diese Hilfe"};

std::string OptionText(const TCliOption& o) { return o.Name + (o.Value.empty() ? "" : " " + o.Value); }

void PrintUsage(std::ostream& out, const TCliCommand& c) {
  out << "Aufruf: postello-cli " << c.Name;
  if (!c.Positional.empty()) out << ' ' << c.Positional;
  for (const TCliOption& o : c.Options) {
    if (o.Required) out << ' ' << OptionText(o);
  }
  for (const TCliOption& o : c.Options) {
    if (!o.Required) out << " [" << OptionText(o) << ']' << (o.Repeated ? "..." : "");
  }
  out << " [" << OptionText(kDir) << "]\n" << Cp1252ToUtf8(c.Summary) << "\n";
  std::vector<TCliOption> all = c.Options;
  all.push_back(kDir);
  all.push_back(kHelp);
  std::size_t width = 0;
  for (const TCliOption& o : all) width = std::max(width, OptionText(o).size());
  for (const TCliOption& o : all) {
    std::string left = "  " + OptionText(o);
    left.resize(width + 4, ' ');
    out << left << (o.Required ? "Pflichtangabe: " : "") << Cp1252ToUtf8(o.Help) << "\n";
  }
}

void PrintOverview(std::ostream& out) {
  out << "Aufruf: postello-cli BEFEHL [OPTIONEN] [--dir ORDNER]\nBefehle:\n";
  std::vector<const TCliCommand*> sorted;
  for (const TCliCommand& c : CliCommands()) sorted.push_back(&c);
  std::sort(sorted.begin(), sorted.end(), [](auto* a, auto* b) { return a->Name < b->Name; });
  std::size_t width = 0;
  for (const TCliCommand* c : sorted) width = std::max(width, c->Name.size());
  for (const TCliCommand* c : sorted) {
    std::string name = "  " + c->Name;
    name.resize(width + 4, ' ');
    out << name << Cp1252ToUtf8(c->Summary) << "\n";
  }
  out << "Ohne --dir arbeiten alle Befehle im Datenordner des Fensterprogramms (~/.local/share/Postello oder, "
         "nicht installiert, im Programmordner).\n"
         "postello-cli BEFEHL --help zeigt die Optionen eines Befehls.\n";
}

TCliArgs Parse(const TCliCommand& c, const std::vector<std::string>& args) {
  TCliArgs parsed;
  std::vector<TCliOption> known = c.Options;
  known.push_back(kDir);
  known.push_back(kHelp);
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a.size() > 2 && a.compare(0, 2, "--") == 0) {
      std::string name = a, value;
      bool inlineValue = false;
      if (const auto eq = a.find('='); eq != std::string::npos) {
        name = a.substr(0, eq);
        value = a.substr(eq + 1);
        inlineValue = true;
      }
      const auto opt = std::find_if(known.begin(), known.end(), [&](const TCliOption& o) { return o.Name == name; });
      if (opt == known.end()) {
        // A retired option lives on in longer names (--client-secret in
        // --client-secret-stdin): name them, so the user finds the way.
        std::string longer;
        for (const TCliOption& o : known)
          if (o.Name.rfind(name + "-", 0) == 0) longer += (longer.empty() ? "" : " oder ") + o.Name;
        throw TCliUsageError{"unbekannte Option " + name + (longer.empty() ? "" : " (gemeint: " + longer + "?)")};
      }
      if (opt->Value.empty()) {
        if (inlineValue) throw TCliUsageError{name + " erwartet keinen Wert"};
      } else if (!inlineValue) {
        if (i + 1 >= args.size()) throw TCliUsageError{name + " erwartet einen Wert (" + opt->Value + ")"};
        value = args[++i];
      }
      parsed.m_values[name] = value;
      parsed.m_all.emplace(name, value);
    } else {
      parsed.m_positional.push_back(a);
    }
  }
  if (parsed.Has("--help")) return parsed;
  if (parsed.m_positional.size() < c.MinPositional) throw TCliUsageError{"es fehlt " + c.Positional};
  if (parsed.m_positional.size() > c.MaxPositional) throw TCliUsageError{"zu viele Argumente: " + parsed.m_positional.back()};
  for (const TCliOption& o : c.Options) {
    if (o.Required && !parsed.Has(o.Name)) throw TCliUsageError{"die Pflichtangabe " + o.Name + " fehlt"};
  }
  return parsed;
}

} // namespace

int RunCli(const std::vector<std::string>& args, const std::string& defaultDir, std::ostream& out, std::ostream& err) {
  if (args.empty()) {
    PrintOverview(err);
    return kExitRefused;
  }
  if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    PrintOverview(out);
    return kExitOk;
  }
  const auto it = std::find_if(CliCommands().begin(), CliCommands().end(),
                               [&](const TCliCommand& c) { return c.Name == args[0]; });
  if (it == CliCommands().end()) {
    err << "postello-cli: unbekannter Befehl \"" << args[0] << "\"\n";
    PrintOverview(err);
    return kExitRefused;
  }
  try {
    TCliContext ctx{defaultDir, Parse(*it, args), out, err};
    if (ctx.Args.Has("--help")) {
      PrintUsage(out, *it);
      return kExitOk;
    }
    if (ctx.Args.Has("--dir")) ctx.Dir = WithTrailingSlash(ctx.Args.Get("--dir"));
    return it->Run(ctx);
  } catch (const TCliUsageError& e) {
    err << "postello-cli " << it->Name << ": " << e.Message << "\n";
    PrintUsage(err, *it);
    return kExitRefused;
  }
}

std::string ReadFirstLine(std::istream& in, std::size_t max) {
  std::string line;
  for (int c; line.size() <= max && (c = in.get()) != std::char_traits<char>::eof() && c != '\n';)
    line += static_cast<char>(c);
  return line;
}

} // namespace postello
