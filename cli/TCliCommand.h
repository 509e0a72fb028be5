#pragma once
// The frame of postello-cli: each command lives in its own Cmd*.cpp and
// registers itself with a static TCliRegistrar, naming the options it
// takes. Every command also takes --dir DIR (the folder of the state
// files) and --help.
#include "core/TKontoStore.h"

#include <functional>
#include <iosfwd>
#include <map>
#include <string>
#include <vector>

namespace postello {

// Exit statuses: all done, done with failures, refused.
enum : int { kExitOk = 0, kExitPartly = 1, kExitRefused = 2 };

struct TCliOption {
  std::string Name;   // "--filter"
  std::string Value;  // German placeholder ("TEXT", "DATEI", "ANZAHL"); empty for a flag
  std::string Help;   // Windows-1252
  // A required option is shown without brackets and its absence is a
  // usage error, reported before the command runs.
  bool Required = false;
  // May be given more than once (shown as "[--map SPALTE=FELD]...").
  bool Repeated = false;
};

// Parsed arguments of one command. Arguments are UTF-8.
class TCliArgs {
public:
  bool Has(const std::string& name) const { return m_values.count(name) > 0; }
  // The option's value, or fallback when it was not given.
  std::string Get(const std::string& name, const std::string& fallback = {}) const;
  // The option's value as a whole number; throws TCliUsageError otherwise.
  long GetInt(const std::string& name, long fallback) const;
  // Every value of an option given more than once, in order.
  std::vector<std::string> GetAll(const std::string& name) const;
  const std::vector<std::string>& Positional() const { return m_positional; }

  std::map<std::string, std::string> m_values;  // the last value of each option
  std::multimap<std::string, std::string> m_all;
  std::vector<std::string> m_positional;
};

// Wrong arguments: reported with the command's usage, exit status 2.
struct TCliUsageError {
  std::string Message;
};

struct TCliContext {
  std::string Dir; // folder of the state files, ends in '/'
  TCliArgs Args;
  std::ostream& Out;
  std::ostream& Err;
};

struct TCliCommand {
  std::string Name;
  std::string Summary;
  std::string Positional; // German placeholder, e.g. "DATEI"; empty when none
  std::size_t MinPositional = 0;
  std::size_t MaxPositional = 0;
  std::vector<TCliOption> Options;
  std::function<int(TCliContext&)> Run;
};

std::vector<TCliCommand>& CliCommands();

struct TCliRegistrar {
  explicit TCliRegistrar(TCliCommand command) { CliCommands().push_back(std::move(command)); }
};

// Runs postello-cli with its arguments (argv[0] excluded); returns the
// exit status. defaultDir is used when --dir is not given.
int RunCli(const std::vector<std::string>& args, const std::string& defaultDir, std::ostream& out,
           std::ostream& err);

// Refusals of an index no list has, naming it and what there is:
// "Es gibt kein Konto Nummer 3 (gespeichert: 1 Konto, gez\xE4hlt ab 0)."
// (Windows-1252).
std::string NoSuchKontoText(long index, std::size_t count);
std::string NoSuchMailText(long index, std::size_t count);

// Reads konten.dat from ctx.Dir into konten and returns the account number
// index. On a refusal (a damaged file, no such number) the reason goes to
// ctx.Err and the result is null.
TKontoRec* OpenCliKonto(TCliContext& ctx, long index, TKontoList& konten);
// The key of the account's server (see ServerKeyOf), or "" after telling
// ctx.Err that the account names no server.
std::string CliKontoServerKey(TCliContext& ctx, long index, const TKontoRec& konto);

// Stored Windows-1252 text as one line of UTF-8 output: line breaks and
// tabs become blanks so a field never splits a line; every other control
// character becomes '?'.
std::string CliText(const std::string& cp1252);

// The first line of in without its '\n', read no further than max + 1
// bytes: a result longer than max means the line is longer (the rest stays
// unread). A '\r' before the line end is kept.
std::string ReadFirstLine(std::istream& in, std::size_t max);

} // namespace postello
