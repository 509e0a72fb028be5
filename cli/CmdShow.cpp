// postello-cli show: one stored mail, whole or one of its texts, or as
// the personalised run merges it for one address record.
#include "cli/TCliCommand.h"
#include "cli/TCliState.h"

#include "core/Cp1252.h"
#include "core/StoredDateTime.h"
#include "core/SafeFile.h"
#include "core/TMailOptionsStore.h"
#include "core/TMailStore.h"
#include "send/RecipientPreview.h"
#include "send/TRecipientList.h"

#include <ostream>
#include <stdexcept>

namespace postello {
namespace {

// A stored text as UTF-8 lines: CR LF and lone CR become LF, and the last
// line ends with LF; an empty text prints nothing.
void PrintText(std::ostream& out, const std::string& cp1252) {
  std::string text;
  text.reserve(cp1252.size());
  for (std::size_t k = 0; k < cp1252.size(); ++k) {
    if (cp1252[k] == '\r') {
      text += '\n';
      if (k + 1 < cp1252.size() && cp1252[k + 1] == '\n') ++k;
    } else {
      text += cp1252[k];
    }
  }
  if (text.empty()) return;
  if (text.back() != '\n') text += '\n';
  out << Cp1252ToUtf8(text);
}

const char* TypeName(std::uint8_t type) {
  switch (type) {
  case 0: return "Design";
  case 1: return "HTML-Mail";
  case 2: return "Text-Mail";
  default: return "unbekannt";
  }
}

void PrintSection(std::ostream& out, const char* title, const std::string& text) {
  out << "\n--- " << title << " ---\n";
  PrintText(out, text);
}

void PrintSummary(std::ostream& out, std::uint32_t index, const TMailRec& m) {
  out << "Mail: " << index << "\n";
  out << "Betreff: " << CliText(m.Subject) << "\n";
  out << "Datum: " << DateTimeToText(m.Date) << "\n";
  out << "Art: " << static_cast<int>(m.MailType) << " (" << TypeName(m.MailType) << ")\n";
  out << "Reiner Text automatisch: " << (m.AutoText ? "ja" : "nein") << "\n";
  out << "Newsletter-Design: " << (m.NewsDesign ? "ja" : "nein") << "\n";
  out << "RTF: " << m.DesignRtf.size() << " Bytes\n";
  out << "Anh\xC3\xA4nge: " << m.Attachments.Count() << "\n";
  for (std::uint32_t k = 0; k < m.Attachments.Count(); ++k) {
    const TAttachRec& a = m.Attachments[k];
    out << "  " << CliText(a.FileName);
    if (!a.ContentId.empty()) out << " (CID " << CliText(a.ContentId) << ")";
    out << "\n";
  }
  PrintSection(out, "Generiertes HTML", m.DesignHtml);
  PrintSection(out, "HTML-Quelltext", m.HtmlText);
  PrintSection(out, "Reiner Text", m.PlainText);
}

// The mail as the personalised run sends it to the record at `position`
// (as postello-cli recipients lists it): the subject merged when the mail
// asks for it, the HTML part the mail type sends, and the plain text.
int ShowRecord(TCliContext& ctx, const TMailRec& m, long position, const std::string& part) {
  TDbf table;
  try {
    const TCliState state(ctx.Dir);
    state.OpenTable(table);
    bool listed = false;
    for (const TRecipientRow& row : ReadRecipientList(table, state.Options.MailField))
      listed = listed || row.Position == static_cast<unsigned long>(position);
    if (position < 0 || !listed)
      throw ECliStateError("Datensatz " + std::to_string(position) +
                           " ist kein Empf\xE4nger (siehe postello-cli recipients).");
  } catch (const ECliStateError& e) {
    ctx.Err << CliText(e.what()) << "\n";
    return kExitRefused;
  }
  TRecipientPreview p;
  try {
    p = PreviewForRecord(m, table, static_cast<std::uint32_t>(position));
  } catch (const std::out_of_range& e) {
    ctx.Err << CliText(e.what()) << "\n";
    return kExitRefused;
  }
  if (part == "html") {
    if (p.HasHtml) PrintText(ctx.Out, p.Html);
    return kExitOk;
  }
  if (part == "text") {
    PrintText(ctx.Out, p.Text);
    return kExitOk;
  }
  ctx.Out << "Betreff: " << CliText(p.Subject) << "\n";
  if (p.HasHtml) PrintSection(ctx.Out, "HTML", p.Html);
  PrintSection(ctx.Out, "Reiner Text", p.Text);
  return kExitOk;
}

int RunShow(TCliContext& ctx) {
  const long index = ctx.Args.GetInt("--mail", 0);
  const std::string part = ctx.Args.Get("--part");
  if (ctx.Args.Has("--part") && part != "design" && part != "html" && part != "text" && part != "rtf") {
    throw TCliUsageError{"--part erwartet design, html, text oder rtf, nicht \"" + part + "\""};
  }
  const bool record = ctx.Args.Has("--record");
  if (record && (part == "design" || part == "rtf"))
    throw TCliUsageError{"--part erwartet mit --record html oder text, nicht \"" + part + "\""};
  // Read without TMailStore::Open: a damaged file is reported, not copied
  // aside, since showing a mail must write nothing.
  const auto damaged = [&ctx](const std::string& file, const EInOutError& e) {
    ctx.Err << "Die Datei \"" << file << "\" ist besch\xC3\xA4" "digt (Byte " << e.Offset() << "): "
            << CliText(e.what()) << "\n";
    return kExitRefused;
  };
  const std::string path = ctx.Dir + TMailStore::FileName;
  TMailList mails;
  if (const auto bytes = ReadWholeFile(path)) {
    std::size_t badDates = 0;
    try {
      TMailStore::Decode(*bytes, mails, badDates);
    } catch (const EInOutError& e) {
      return damaged(path, e);
    }
  }
  if (index < 0 || static_cast<unsigned long>(index) >= mails.Count()) {
    ctx.Err << CliText(NoSuchMailText(index, mails.Count())) << "\n";
    return kExitRefused;
  }
  const TMailRec& m = mails[static_cast<std::uint32_t>(index)];
  if (record) {
    // The merged subject depends on the options beside mails.dat; they are
    // read as they are, so that showing writes nothing.
    const std::string optionsPath = ctx.Dir + TMailOptionsStore::FileName;
    if (const auto bytes = ReadWholeFile(optionsPath)) {
      try {
        TMailOptionsStore::Decode(*bytes, mails);
      } catch (const EInOutError& e) {
        return damaged(optionsPath, e);
      }
    }
    return ShowRecord(ctx, m, ctx.Args.GetInt("--record", -1), part);
  }
  if (part == "design") {
    PrintText(ctx.Out, m.DesignHtml);
  } else if (part == "html") {
    PrintText(ctx.Out, m.HtmlText);
  } else if (part == "text") {
    PrintText(ctx.Out, m.PlainText);
  } else if (part == "rtf") {
    PrintText(ctx.Out, m.DesignRtf);
  } else {
    PrintSummary(ctx.Out, static_cast<std::uint32_t>(index), m);
  }
  return kExitOk;
}

const TCliRegistrar reg({"show",
                         "zeigt eine gespeicherte Mail: Betreff, Datum, Art, Einstellungen, Anh\xE4nge und Texte, "
                         "oder mit --part nur einen ihrer Texte; mit --record so, wie der pers\xF6nliche Versand "
                         "sie f\xFCr diesen Datensatz zusammenf\xFChrt",
                         "",
                         0,
                         0,
                         {{"--mail", "NUMMER", "Nummer der Mail, wie postello-cli mails sie zeigt (ab 0)", true},
                          {"--part", "TEIL", "nur design (generiertes HTML), html (HTML-Quelltext), text (reiner Text) "
                                             "oder rtf (Design-Dokument); mit --record html oder text"},
                          {"--record", "NUMMER",
                           "Datensatz-Position, wie postello-cli recipients sie zeigt: Betreff und Texte mit "
                           "ersetzten Platzhaltern"}},
                         RunShow});

} // namespace
} // namespace postello
