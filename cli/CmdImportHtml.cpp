// postello-cli import-html: an HTML file into the HTML source of a stored
// HTML mail, its pictures as embedded attachments, as the editor's
// "HTML-Import..." does.
#include "cli/TCliCommand.h"

#include "core/Cp1252.h"
#include "core/StoredDateTime.h"
#include "core/SafeFile.h"
#include "core/TMailIdStore.h"
#include "core/TMailStore.h"
#include "editor/HtmlFileLines.h"
#include "editor/HtmlToPlainText.h"
#include "editor/ImportHtmlLines.h"

#include <climits>
#include <filesystem>
#include <ostream>

namespace postello {
namespace {

std::string JoinCrLf(const std::vector<std::string>& lines) {
  std::string text;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) text += "\r\n";
    text += lines[i];
  }
  return text;
}

int RunImportHtml(TCliContext& ctx) {
  const long index = ctx.Args.GetInt("--mail", -1);
  const std::string file = ctx.Args.Positional().front();

  TMailList mails;
  const TMailLoadResult r = TMailStore::Open(ctx.Dir, mails);
  if (!r.Error.empty()) {
    ctx.Err << CliText(r.Error) << "\n";
    return kExitRefused;
  }
  if (index < 0 || index > INT_MAX || static_cast<std::uint32_t>(index) >= mails.Count()) {
    ctx.Err << CliText(NoSuchMailText(index, mails.Count())) << "\n";
    return kExitRefused;
  }
  TMailRec& mail = *mails.Select(static_cast<std::int32_t>(index));
  if (mail.MailType != 1) {
    ctx.Err << "Mail " << index << " ist keine HTML-Mail (Art " << static_cast<int>(mail.MailType)
            << "); HTML-Dateien lassen sich nur in HTML-Mails (Art 1) importieren.\n";
    return kExitRefused;
  }

  THtmlImport imported;
  try {
    const THtmlFileLines read = ReadHtmlFile(file);
    // Rows must name their files from anywhere, so the folder is absolute.
    std::string folder = std::filesystem::absolute(file).parent_path().string();
    if (folder.empty() || folder.back() != '/') folder += '/';
    imported = ImportHtmlLines(read.Lines, folder);
  } catch (const std::exception& e) {
    ctx.Err << CliText(e.what()) << "\n";
    return kExitRefused;
  }

  // What the editor does on import: the new source, the rows after those
  // already there, the plain text derived again while automatic, and the
  // date of the change.
  mail.HtmlText = JoinCrLf(imported.Lines);
  for (const TAttachRec& row : imported.Rows) *mail.Attachments.Add() = row;
  if (mail.AutoText) mail.PlainText = JoinCrLf(HtmlToPlainText(imported.Lines));
  TMailIdStore::Restamp(mail, NowDateTime());
  try {
    TMailStore::Save(ctx.Dir, mails);
  } catch (const ESaveError& e) {
    ctx.Err << CliText(e.what()) << "\n";
    return kExitRefused;
  }
  for (const TAttachRec& row : imported.Rows) ctx.Out << CliText(row.ContentId) << '\t' << row.FileName << '\n';
  return kExitOk;
}

const TCliRegistrar reg({"import-html",
                         "importiert eine HTML-Datei in eine HTML-Mail; vorhandene Bilder werden eingebettet "
                         "(Ausgabe: CID und Datei je Bild)",
                         "DATEI",
                         1,
                         1,
                         {{"--mail", "NUMMER", "Nummer der HTML-Mail (siehe postello-cli mails)", true}},
                         RunImportHtml});

} // namespace
} // namespace postello
