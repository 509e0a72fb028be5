// postello-cli show: one stored mail, whole or one of its texts.
#include "cli/TCliCommand.h"

#include "core/Cp1252.h"
#include "core/StoredDateTime.h"
#include "core/SafeFile.h"
#include "core/TMailStore.h"

#include <ostream>

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

int RunShow(TCliContext& ctx) {
  if (!ctx.Args.Has("--mail")) throw TCliUsageError{"es fehlt --mail N"};
  const long index = ctx.Args.GetInt("--mail", 0);
  const std::string part = ctx.Args.Get("--part");
  if (ctx.Args.Has("--part") && part != "design" && part != "html" && part != "text" && part != "rtf") {
    throw TCliUsageError{"--part erwartet design, html, text oder rtf, nicht \"" + part + "\""};
  }
  // Read without TMailStore::Open: a damaged file is reported, not copied
  // aside, since showing a mail must write nothing.
  const std::string path = ctx.Dir + TMailStore::FileName;
  TMailList mails;
  if (const auto bytes = ReadWholeFile(path)) {
    std::size_t badDates = 0;
    try {
      TMailStore::Decode(*bytes, mails, badDates);
    } catch (const EInOutError& e) {
      ctx.Err << "Die Datei \"" << path << "\" ist besch\xC3\xA4" "digt (Byte " << e.Offset() << "): "
              << CliText(e.what()) << "\n";
      return kExitRefused;
    }
  }
  if (index < 0 || static_cast<unsigned long>(index) >= mails.Count()) {
    ctx.Err << "Es gibt keine Mail " << index << " (gespeichert: " << mails.Count() << ", gez\xC3\xA4hlt ab 0).\n";
    return kExitRefused;
  }
  const TMailRec& m = mails[static_cast<std::uint32_t>(index)];
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
                         "oder mit --part nur einen ihrer Texte",
                         "",
                         0,
                         0,
                         {{"--mail", "N", "Nummer der Mail, wie postello-cli mails sie zeigt (ab 0)"},
                          {"--part", "TEIL", "nur design (generiertes HTML), html (HTML-Quelltext), text (reiner Text) "
                                             "oder rtf (Design-Dokument)"}},
                         RunShow});

} // namespace
} // namespace postello
