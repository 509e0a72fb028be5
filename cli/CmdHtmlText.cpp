// postello-cli html-text: the plain text the editor derives from an HTML
// file, to check what a mail's text part will say.
#include "cli/TCliCommand.h"

#include "core/Cp1252.h"
#include "editor/HtmlFileLines.h"
#include "editor/HtmlToPlainText.h"

#include <ostream>

namespace postello {
namespace {

int RunHtmlText(TCliContext& ctx) {
  std::vector<std::string> lines;
  try {
    lines = ReadCp1252File(ctx.Args.Positional().front());
  } catch (const std::exception& e) {
    ctx.Err << CliText(e.what()) << "\n";
    return kExitRefused;
  }
  for (const std::string& line : HtmlToPlainText(lines)) ctx.Out << Cp1252ToUtf8(line) << '\n';
  return kExitOk;
}

const TCliRegistrar reg({"html-text",
                         "gibt den reinen Text aus, den der Editor aus einer HTML-Datei (Windows-1252) erzeugt",
                         "DATEI",
                         1,
                         1,
                         {},
                         RunHtmlText});

} // namespace
} // namespace postello
