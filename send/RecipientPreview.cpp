#include "send/RecipientPreview.h"

#include "send/MergeFields.h"

#include <stdexcept>
#include <utility>

namespace postello {

TRecipientPreview PreviewForRecord(const TMailRecFields& mail, TDbf& table, std::uint32_t position) {
  if (table.Active()) table.MoveTo(position);
  // MoveTo stops on the last record when the view is shorter: that record
  // belongs to somebody else.
  if (!table.Active() || table.Position() != position)
    throw std::out_of_range("Datensatz " + std::to_string(position + 1) +
                            " gibt es in der Adresstabelle nicht (Filter beachtet).");
  TRecipientPreview p;
  p.Subject = mail.MergeSubject ? MergeCurrentRecord(mail.Subject, table, &p.Unknown) : mail.Subject;
  p.Subject = OneLine(std::move(p.Subject));
  const std::string* html = SentHtml(mail);
  p.HasHtml = html != nullptr;
  if (html) p.Html = MergeCurrentRecord(*html, table, &p.Unknown);
  p.Text = MergeCurrentRecord(mail.PlainText, table, &p.Unknown);
  return p;
}

std::string MarkPlaceholders(const std::string& html, const std::vector<std::string>& placeholders) {
  std::string out = html;
  for (const std::string& ph : placeholders) {
    if (ph.empty()) continue;
    const std::string marked = "<mark style=\"background:#ffd54f;color:#000\">" + ph + "</mark>";
    for (std::size_t at = out.find(ph); at != std::string::npos; at = out.find(ph, at + marked.size()))
      out.replace(at, ph.size(), marked);
  }
  return out;
}

} // namespace postello
