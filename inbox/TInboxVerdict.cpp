#include "inbox/TInboxVerdict.h"

#include "core/Cp1252.h"
#include "core/HexValue.h"
#include "inbox/TReceivedMessage.h"
#include "mime/HeaderLines.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace postello {

namespace {

// The plain text read for codes, addresses and returned headers.
constexpr std::size_t kTextCap = 64 * 1024;
constexpr std::size_t kDiagnosticCap = 300;
// The result table shows the start of the server's text; the rest is in
// the recipient's Diagnostic.
constexpr std::size_t kReasonDiagnosticCap = 100;
// Lines of an unsubscribe mail's text searched for the address it asks
// to take off: a mail program puts the link's body there, a person types
// it there.
constexpr int kUnsubscribeLines = 10;

// Lower case of Windows-1252 text: ASCII and the accented capitals.
std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    const auto b = static_cast<unsigned char>(c);
    if ((b >= 'A' && b <= 'Z') || (b >= 0xC0 && b <= 0xDE && b != 0xD7)) c = static_cast<char>(b + 0x20);
  }
  return out;
}

bool Has(std::string_view lowered, std::string_view needle) { return lowered.find(needle) != std::string_view::npos; }

template <std::size_t N> bool HasAny(std::string_view lowered, const std::array<std::string_view, N>& needles) {
  return std::any_of(needles.begin(), needles.end(), [&](std::string_view n) { return Has(lowered, n); });
}

std::string_view Trim(std::string_view text) {
  const std::size_t begin = text.find_first_not_of(" \t\r\n");
  if (begin == std::string_view::npos) return {};
  return text.substr(begin, text.find_last_not_of(" \t\r\n") - begin + 1);
}

// Whitespace runs (folds, tabs, line ends) become one space.
std::string Unfolded(std::string_view text, std::size_t cap) {
  std::string out;
  bool space = false;
  for (char c : Trim(text)) {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      space = true;
      continue;
    }
    if (out.size() >= cap) break;
    if (space && !out.empty()) out += ' ';
    if (out.size() >= cap) break;
    out += c;
    space = false;
  }
  return out;
}

bool SameAddress(std::string_view a, std::string_view b) { return Lower(a) == Lower(b); }

bool Contains(const std::vector<std::string>& list, std::string_view address) {
  return std::any_of(list.begin(), list.end(), [&](const std::string& a) { return SameAddress(a, address); });
}

std::string StripAngles(std::string_view text) {
  text = Trim(text);
  if (text.size() >= 2 && text.front() == '<' && text.back() == '>') text = Trim(text.substr(1, text.size() - 2));
  return std::string(text);
}

// "+HH" of xtext (when asked) and "\x{HHHH}" of unitext undone; the text
// is Windows-1252.
std::string DecodeXtext(std::string_view text, bool xtext) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (xtext && text[i] == '+' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
      const int value = HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]);
      std::string utf8;
      AppendUtf8(utf8, static_cast<char32_t>(value));
      out += Utf8ToCp1252(utf8);
      i += 2;
      continue;
    }
    if (text.substr(i, 3) == "\\x{") {
      const std::size_t close = text.find('}', i + 3);
      if (close != std::string_view::npos && close - i - 3 >= 1 && close - i - 3 <= 6) {
        char32_t cp = 0;
        bool ok = true;
        for (std::size_t k = i + 3; k < close; ++k) {
          const int h = HexValue(text[k]);
          ok = ok && h >= 0;
          cp = cp * 16 + static_cast<char32_t>(std::max(h, 0));
        }
        if (ok && cp <= 0x10FFFF) {
          std::string utf8;
          AppendUtf8(utf8, cp);
          out += Utf8ToCp1252(utf8);
          i = close;
          continue;
        }
      }
    }
    out += text[i];
  }
  return out;
}

bool UsableAddress(std::string_view address) {
  const std::size_t at = address.find('@');
  return at != std::string_view::npos && at > 0 && at + 1 < address.size() &&
         std::none_of(address.begin(), address.end(), [](char c) {
           return static_cast<unsigned char>(c) <= ' ' || std::string_view(",<>;").find(c) != std::string_view::npos;
         });
}

// The address of a recipient field: "rfc822; a@b", "utf-8; j\x{FC}rgen@b"
// (unitext), the original recipient also as the xtext of the sender's ORCPT
// ("a+2Bb@c" for "a+b@c"). "" when it names no usable address.
std::string FieldAddress(std::string_view value, bool xtext) {
  std::string_view type, address = value;
  if (const std::size_t semi = value.find(';'); semi != std::string_view::npos) {
    type = Trim(value.substr(0, semi));
    address = value.substr(semi + 1);
  }
  const std::string raw = StripAngles(address);
  const std::string out = Lower(type) == "utf-8" || xtext ? DecodeXtext(raw, xtext) : raw;
  return UsableAddress(out) ? out : std::string();
}

// The enhanced status code "4.2.2" or "5.1.1" at the start of a Status
// field or anywhere in a text (a 2.x.x success code is no failure).
std::string EnhancedCode(std::string_view text) {
  for (std::size_t i = 0; i + 5 <= text.size(); ++i) {
    if ((text[i] != '4' && text[i] != '5') || text[i + 1] != '.') continue;
    if (i > 0 && (std::isalnum(static_cast<unsigned char>(text[i - 1])) || text[i - 1] == '.')) continue;
    std::size_t j = i + 2, digits = 0;
    while (j < text.size() && std::isdigit(static_cast<unsigned char>(text[j])) && digits < 4) ++j, ++digits;
    if (digits == 0 || digits > 3 || j >= text.size() || text[j] != '.') continue;
    std::size_t k = j + 1;
    digits = 0;
    while (k < text.size() && std::isdigit(static_cast<unsigned char>(text[k])) && digits < 4) ++k, ++digits;
    if (digits == 0 || digits > 3) continue;
    if (k < text.size() && (std::isalnum(static_cast<unsigned char>(text[k])) || text[k] == '.')) continue;
    return std::string(text.substr(i, k - i));
  }
  return {};
}

// A reply code 4xx or 5xx standing alone in a text ("550 ", "Error 421-").
char BasicCodeClass(std::string_view text) {
  for (std::size_t i = 0; i + 3 <= text.size(); ++i) {
    if (text[i] != '4' && text[i] != '5') continue;
    if (!std::isdigit(static_cast<unsigned char>(text[i + 1])) || !std::isdigit(static_cast<unsigned char>(text[i + 2])))
      continue;
    const char before = i > 0 ? text[i - 1] : ' ';
    const char after = i + 3 < text.size() ? text[i + 3] : ' ';
    if (std::string_view(" \t\n(#:").find(before) == std::string_view::npos) continue;
    if (std::string_view(" \t\r\n-").find(after) == std::string_view::npos) continue;
    return text[i];
  }
  return 0;
}

// "5.1.1 Empfänger unbekannt": what a status says, in the user's words.
std::string StatusText(std::string_view status, bool soft) {
  std::string meaning = soft ? "Zustellung verz\xF6gert" : "Zustellung fehlgeschlagen";
  if (status.size() >= 5) {
    const std::string_view detail = status.substr(2);
    if (detail == "1.1") meaning = "Empf\xE4nger unbekannt";
    else if (detail == "1.2") meaning = "Zieldom\xE4ne unbekannt";
    else if (detail.substr(0, 2) == "1.") meaning = "Adresse ung\xFCltig";
    else if (detail == "2.1") meaning = "Postfach gesperrt";
    else if (detail == "2.2") meaning = "Postfach voll";
    else if (detail.substr(0, 2) == "2.") meaning = "Postfach nicht verf\xFCgbar";
    else if (detail.substr(0, 2) == "4.") meaning = soft ? "Zustellung verz\xF6gert (Netz)" : "Zustellung fehlgeschlagen (Netz)";
    else if (detail.substr(0, 2) == "7.") meaning = "Abgelehnt";
  }
  return status.empty() ? meaning : std::string(status) + " " + meaning;
}

std::string BounceReason(const TInboxRecipient& recipient, bool soft) {
  std::string reason = StatusText(recipient.Status, soft);
  if (!recipient.Diagnostic.empty()) reason += ": " + recipient.Diagnostic.substr(0, kReasonDiagnosticCap);
  if (recipient.Diagnostic.size() > kReasonDiagnosticCap) reason += "\x85";
  return reason;
}

bool IsSoft(const TInboxRecipient& r) { return r.Action == "delayed" || (!r.Status.empty() && r.Status[0] == '4'); }
bool IsHard(const TInboxRecipient& r) {
  return !IsSoft(r) && (r.Action == "failed" || (r.Action.empty() && !r.Status.empty() && r.Status[0] == '5'));
}

// The first word of a field in lower case ("failed", "abuse"), at most
// as long as any such keyword.
std::string FirstWord(std::string_view text) {
  text = Trim(text);
  return Lower(text.substr(0, std::min<std::size_t>(text.find_first_of(" \t;("), 40)));
}

// The diagnostic without its type: "smtp; 550 ..." -> "550 ...".
std::string Diagnostic(std::string_view value) {
  if (const std::size_t semi = value.find(';'); semi != std::string_view::npos) {
    const std::string_view type = Trim(value.substr(0, semi));
    if (!type.empty() && type.find_first_of(" \t") == std::string_view::npos) value = value.substr(semi + 1);
  }
  return Unfolded(value, kDiagnosticCap);
}

// The failed and delayed recipients of a status report; named counts the
// recipients it names at all (a report of successful delivery names some).
std::vector<TInboxRecipient> DeliveryRecipients(const std::vector<THeaderBlock>& blocks, int& named) {
  std::vector<TInboxRecipient> out;
  for (const THeaderBlock& block : blocks) {
    // The address as sent to, before any forwarding. Not every server
    // writes it as xtext: where it reads as the final one undecoded, a
    // plus address like "a+ab@c" stays what it is.
    const std::string final = FieldAddress(FieldValue(block, "Final-Recipient"), false);
    std::string address = FieldAddress(FieldValue(block, "Original-Recipient"), false);
    if (address.empty() || !SameAddress(address, final)) address = FieldAddress(FieldValue(block, "Original-Recipient"), true);
    if (address.empty()) address = final;
    if (address.empty()) continue;
    ++named;
    TInboxRecipient r;
    r.Address = address;
    r.Action = FirstWord(FieldValue(block, "Action"));
    const std::string status(Trim(FieldValue(block, "Status")));
    r.Status = EnhancedCode(status.substr(0, status.find_first_of(" \t(")));
    r.Diagnostic = Diagnostic(FieldValue(block, "Diagnostic-Code"));
    if ((IsHard(r) || IsSoft(r)) && !std::any_of(out.begin(), out.end(), [&](const TInboxRecipient& o) {
          return SameAddress(o.Address, r.Address);
        }))
      out.push_back(std::move(r));
  }
  return out;
}

// The addresses in a text: local@domain.tld, the domain with a dot.
std::vector<std::string> AddressesIn(std::string_view text) {
  auto local = [](unsigned char c) {
    return std::isalnum(c) || c >= 0x80 || std::string_view(".!#$%&'*+/=?^_`{|}~-").find(static_cast<char>(c)) != std::string_view::npos;
  };
  auto domain = [](unsigned char c) { return std::isalnum(c) || c >= 0x80 || c == '.' || c == '-'; };
  std::vector<std::string> out;
  std::size_t from = 0;
  for (std::size_t at = text.find('@'); at != std::string_view::npos && out.size() < 100; at = text.find('@', at + 1)) {
    std::size_t begin = at;
    while (begin > from && local(static_cast<unsigned char>(text[begin - 1]))) --begin;
    std::size_t end = at + 1;
    while (end < text.size() && domain(static_cast<unsigned char>(text[end]))) ++end;
    std::string_view left = text.substr(begin, at - begin), right = text.substr(at + 1, end - at - 1);
    while (!left.empty() && left.front() == '.') left.remove_prefix(1);
    while (!right.empty() && (right.back() == '.' || right.back() == '-')) right.remove_suffix(1);
    if (left.empty() || right.find('.') == std::string_view::npos || right.front() == '.') continue;
    out.push_back(std::string(left) + "@" + std::string(right));
    from = at + 1 + right.size();
  }
  return out;
}

std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    pos = end + 1;
  }
  return lines;
}

bool IsHeaderName(std::string_view line, std::string_view name) {
  return line.size() > name.size() && line[name.size()] == ':' && SameTextAscii(line.substr(0, name.size()), name);
}

// Where a bounce's text quotes the returned message's headers: the first
// run of header lines that names a Message-ID or a recipient.
THeaderBlock InlineReturnedHeaders(const std::vector<std::string_view>& lines, std::string_view text) {
  static constexpr std::array<std::string_view, 6> kStarts = {"Return-Path", "Received", "From", "Message-ID", "To", "Date"};
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (!std::any_of(kStarts.begin(), kStarts.end(), [&](std::string_view n) { return IsHeaderName(lines[i], n); }))
      continue;
    std::size_t end = i;
    while (end < lines.size() && !Trim(lines[end]).empty()) ++end;
    const char* first = lines[i].data();
    const char* last = lines[end - 1].data() + lines[end - 1].size();
    THeaderBlock block = TReceivedMessage::ParseHeaderBlock(text.substr(first - text.data(), last - first));
    if (!FieldValue(block, "Message-ID").empty() || !FieldValue(block, "To").empty()) return block;
    i = end;
  }
  return {};
}

void TakeReturned(const THeaderBlock& block, TInboxVerdict& verdict) {
  if (block.empty()) return;
  verdict.ReturnedMessageId = StripAngles(FieldValue(block, "Message-ID"));
  for (const THeaderField& field : block) {
    if (!SameTextAscii(field.Name, "to") && !SameTextAscii(field.Name, "cc")) continue;
    for (std::string& address : TReceivedMessage::ParseAddresses(field.Raw))
      if (!Contains(verdict.ReturnedTo, address)) verdict.ReturnedTo.push_back(std::move(address));
  }
}

bool IsReturnedPart(const TReceivedPart& part) {
  return part.MediaType == "message/rfc822" || part.MediaType == "message/global" ||
         part.MediaType == "text/rfc822-headers" || part.MediaType == "message/global-headers";
}

// The words of an HTML text, enough to find codes and addresses in: tags
// become line ends, the entities that wrap addresses are undone.
std::string HtmlWords(std::string_view html) {
  std::string out;
  for (std::size_t i = 0; i < html.size(); ++i) {
    if (html[i] == '<') {
      const std::size_t close = html.find('>', i);
      if (close == std::string_view::npos) break;
      out += '\n';
      i = close;
      continue;
    }
    static constexpr std::array<std::pair<std::string_view, char>, 4> kEntities = {
        {{"&lt;", '<'}, {"&gt;", '>'}, {"&amp;", '&'}, {"&nbsp;", ' '}}};
    const auto entity = std::find_if(kEntities.begin(), kEntities.end(), [&](const auto& e) {
      return html.substr(i, e.first.size()) == e.first;
    });
    if (entity != kEntities.end()) {
      out += entity->second;
      i += entity->first.size() - 1;
    } else {
      out += html[i];
    }
  }
  return out;
}

// The first plain text of the message (a report's human part), else the
// words of its first HTML text.
std::string PlainText(const TReceivedMessage& message) {
  const std::vector<TReceivedPart>& parts = message.Parts();
  for (std::size_t i = 0; i < parts.size(); ++i)
    if (parts[i].MediaType == "text/plain") return message.Content(i, kTextCap);
  for (std::size_t i = 0; i < parts.size(); ++i)
    if (parts[i].MediaType == "text/html") return HtmlWords(message.Content(i, kTextCap));
  return {};
}

std::string LocalPartOf(std::string_view address) { return Lower(address.substr(0, address.find('@'))); }

bool FromDaemon(const std::vector<std::string>& from) {
  if (from.empty()) return false;
  const std::string local = LocalPartOf(from.front());
  return local == "mailer-daemon" || local == "postmaster" || local == "mail-daemon" || local == "mailerdaemon" ||
         local.rfind("microsoftexchange", 0) == 0;
}

bool IsReply(std::string_view loweredSubject) {
  static constexpr std::array<std::string_view, 6> kPrefixes = {"re:", "aw:", "fw:", "fwd:", "wg:", "antw:"};
  const std::string_view s = Trim(loweredSubject);
  return std::any_of(kPrefixes.begin(), kPrefixes.end(), [&](std::string_view p) { return s.substr(0, p.size()) == p; });
}

bool BounceSubject(std::string_view lowered) {
  static constexpr std::array<std::string_view, 14> kWords = {
      "undelivered mail", "undeliverable", "unzustellbar", "mail delivery failed", "delivery status notification",
      "failure notice", "returned mail", "delivery failure", "nicht zustellbar", "delivery has failed",
      "zustellung fehlgeschlagen", "delivery failed", "non remis", "mail delivery system"};
  return HasAny(lowered, kWords);
}

bool DelaySubject(std::string_view lowered) {
  static constexpr std::array<std::string_view, 4> kWords = {"delay", "verz\xF6gert", "warning:", "warnung:"};
  return HasAny(lowered, kWords);
}

bool LooksLikeBounce(const std::vector<std::string>& from, std::string_view loweredSubject) {
  return FromDaemon(from) || (BounceSubject(loweredSubject) && !IsReply(loweredSubject));
}

bool OutOfOfficeSubject(std::string_view lowered) {
  static constexpr std::array<std::string_view, 13> kWords = {
      "abwesenheitsnotiz", "automatische antwort", "automatische r\xFC" "ckantwort", "out of office", "out of the office",
      "automatic reply", "abwesend", "abwesenheit", "autoreply", "auto-reply", "auto reply", "nicht im b\xFC" "ro",
      "au\xDF" "er haus"};
  return HasAny(lowered, kWords);
}

bool UnsubscribeSubject(std::string_view lowered) {
  static constexpr std::array<std::string_view, 3> kWords = {"abmelden", "abmeldung", "unsubscribe"};
  return HasAny(lowered, kWords);
}

// Where a bounce's text stops speaking and quotes the returned message:
// a "--- Below this line is a copy" line or the first quoted header.
bool StartsReturnedCopy(std::string_view line) {
  static constexpr std::array<std::string_view, 6> kWords = {"copy", "below this line", "original message",
                                                              "kopie", "headers", "returned message"};
  static constexpr std::array<std::string_view, 4> kHeaders = {"Return-Path", "Received", "Message-ID", "From"};
  if (line.rfind("--", 0) == 0 && HasAny(Lower(line), kWords)) return true;
  return std::any_of(kHeaders.begin(), kHeaders.end(), [&](std::string_view n) { return IsHeaderName(line, n); });
}

// Words by which a server's text says a message did not arrive.
bool FailureWords(std::string_view lowered) {
  static constexpr std::array<std::string_view, 14> kWords = {
      "permanent", "could not be delivered", "couldn't be delivered", "wasn't delivered", "not delivered",
      "undeliverable", "unzustellbar", "nicht zugestellt", "delivery failed", "delivery has failed", "user unknown",
      "does not exist", "mailbox full", "fehlgeschlagen"};
  return HasAny(lowered, kWords);
}

// The bounce of an old server: codes and "<address>:" lines in its text.
// False when nothing in it says that a message failed: a server's notice
// of another kind (an acknowledgement, a ticket number) blocks nobody.
bool ClassifyPlainBounce(const TReceivedMessage& message, std::string_view loweredSubject, TInboxVerdict& verdict) {
  static constexpr std::array<std::string_view, 3> kSuccess = {"success", "erfolgreich", "relayed"};
  if (HasAny(loweredSubject, kSuccess)) return false;
  const std::string text = PlainText(message);
  const std::vector<std::string_view> lines = Lines(text);
  const std::vector<std::string> own = message.Addresses("To");
  const std::size_t copy = static_cast<std::size_t>(
      std::find_if(lines.begin(), lines.end(), StartsReturnedCopy) - lines.begin());
  auto joined = [&](std::size_t first, std::size_t last) {
    if (first >= last) return std::string_view();
    const char* begin = lines[first].data();
    return std::string_view(begin, lines[last - 1].data() + lines[last - 1].size() - begin);
  };
  const bool delayed = DelaySubject(loweredSubject);
  auto judge = [&](std::string_view part, std::string_view diagnostic) {
    TInboxRecipient r;
    r.Status = EnhancedCode(part);
    const char basic = BasicCodeClass(part);
    const bool soft = r.Status.empty() ? (basic ? basic == '4' : delayed) : r.Status[0] == '4';
    r.Action = soft ? "delayed" : "failed";
    r.Diagnostic = Unfolded(diagnostic, kDiagnosticCap);
    return r;
  };

  // Each "<address>:" line (sendmail: "<address>" alone) opens the part of
  // the text about that address.
  std::vector<std::pair<std::size_t, std::string>> opens;
  for (std::size_t i = 0; i < copy; ++i) {
    const std::string_view line = Trim(lines[i]);
    std::size_t close = line.find(">:");
    if (close == std::string_view::npos && !line.empty() && line.back() == '>') close = line.size() - 1;
    if (line.empty() || line.front() != '<' || close == std::string_view::npos) continue;
    const std::string address(line.substr(1, close - 1));
    const std::vector<std::string> found = AddressesIn(address);
    if (found.size() != 1 || found.front() != address || Contains(own, address)) continue;
    if (std::none_of(opens.begin(), opens.end(), [&](const auto& o) { return SameAddress(o.second, address); }))
      opens.emplace_back(i, address);
  }
  for (std::size_t k = 0; k < opens.size(); ++k) {
    const std::string_view part = joined(opens[k].first, k + 1 < opens.size() ? opens[k + 1].first : copy);
    // qmail and its kin quote the remote server after "said:".
    std::string_view diagnostic = part.substr(part.find('>') + 1);
    if (!diagnostic.empty() && diagnostic.front() == ':') diagnostic.remove_prefix(1);
    if (const std::size_t said = Lower(diagnostic).find("said:"); said != std::string::npos)
      diagnostic = diagnostic.substr(said + 5);
    TInboxRecipient r = judge(part, diagnostic);
    r.Address = opens[k].second;
    verdict.Recipients.push_back(std::move(r));
  }
  const std::string_view told = joined(0, copy);
  if (opens.empty() && !BounceSubject(loweredSubject) && !delayed && EnhancedCode(told).empty() &&
      !BasicCodeClass(told) && !FailureWords(Lower(told)))
    return false;
  TInboxRecipient overall;
  if (verdict.Recipients.empty()) {
    overall = judge(told, "");
  } else {
    const auto hard = std::find_if(verdict.Recipients.begin(), verdict.Recipients.end(), IsHard);
    overall = hard != verdict.Recipients.end() ? *hard : verdict.Recipients.front();
  }
  const bool soft = !IsHard(overall);
  verdict.Kind = soft ? TInboxKind::SoftBounce : TInboxKind::HardBounce;
  verdict.Reason = BounceReason(overall, soft);
  if (verdict.Recipients.empty()) verdict.Reason += " (Empf\xE4nger nicht genannt)";

  const std::vector<TReceivedPart>& parts = message.Parts();
  for (std::size_t i = 0; i < parts.size() && verdict.ReturnedMessageId.empty(); ++i)
    if (IsReturnedPart(parts[i])) TakeReturned(message.ReturnedHeaders(i), verdict);
  if (verdict.ReturnedMessageId.empty() && verdict.ReturnedTo.empty())
    TakeReturned(InlineReturnedHeaders(lines, text), verdict);
  return true;
}

bool ClassifyReport(const TReceivedMessage& message, TInboxVerdict& verdict) {
  const std::vector<TReceivedPart>& parts = message.Parts();
  std::size_t returned = parts.size();
  for (std::size_t i = 0; i < parts.size(); ++i)
    if (returned == parts.size() && IsReturnedPart(parts[i])) returned = i;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const std::string& type = parts[i].MediaType;
    if (type == "message/delivery-status" || type == "message/global-delivery-status") {
      int named = 0;
      std::vector<TInboxRecipient> recipients = DeliveryRecipients(message.StatusBlocks(i), named);
      if (recipients.empty() && named > 0) {
        verdict.Reason = "Zustellbericht ohne Fehler";
        return true;
      }
      if (recipients.empty()) continue;
      const auto hard = std::find_if(recipients.begin(), recipients.end(), IsHard);
      const bool soft = hard == recipients.end();
      verdict.Kind = soft ? TInboxKind::SoftBounce : TInboxKind::HardBounce;
      verdict.Reason = BounceReason(soft ? recipients.front() : *hard, soft);
      verdict.Recipients = std::move(recipients);
    } else if (type == "message/feedback-report") {
      const std::vector<THeaderBlock> blocks = message.StatusBlocks(i);
      if (blocks.empty()) continue;
      const std::string feedback = FirstWord(FieldValue(blocks.front(), "Feedback-Type"));
      if (feedback == "not-spam") continue;
      verdict.Kind = TInboxKind::Complaint;
      verdict.Reason = "Beschwerde" + (feedback.empty() ? std::string() : " (" + feedback + ")");
      for (const THeaderField& field : blocks.front()) {
        if (!SameTextAscii(field.Name, "original-rcpt-to") && !SameTextAscii(field.Name, "removal-recipient")) continue;
        const std::string address = FieldAddress(field.Value, false);
        if (!address.empty() && !std::any_of(verdict.Recipients.begin(), verdict.Recipients.end(),
                                              [&](const TInboxRecipient& r) { return SameAddress(r.Address, address); }))
          verdict.Recipients.push_back({address, "", "", ""});
      }
    } else {
      continue;
    }
    if (returned < parts.size()) TakeReturned(message.ReturnedHeaders(returned), verdict);
    if (verdict.Kind == TInboxKind::Complaint && verdict.Recipients.empty())
      for (const std::string& address : verdict.ReturnedTo) verdict.Recipients.push_back({address, "", "", ""});
    return true;
  }
  return false;
}

bool IsAutoReply(const TReceivedMessage& message, std::string_view loweredSubject, std::string& reason) {
  const std::string submitted = FirstWord(message.Header("Auto-Submitted"));
  const std::string precedence = FirstWord(message.Header("Precedence"));
  if ((!submitted.empty() && submitted != "no") || !message.Header("X-Autoreply").empty() ||
      !message.Header("X-Autorespond").empty() || precedence == "auto_reply") {
    reason = "Automatische Antwort";
    return true;
  }
  // "AW: ich bin am 18. abwesend" is a person writing back.
  if (OutOfOfficeSubject(loweredSubject) && !IsReply(loweredSubject)) {
    reason = "Abwesenheitsnotiz";
    return true;
  }
  return false;
}

bool ToUnsubscribeMailbox(const TReceivedMessage& message, const TInboxContext& context) {
  for (std::string_view field : {"To", "Delivered-To", "X-Original-To", "Cc"})
    for (const std::string& address : message.Addresses(field))
      if (Contains(context.UnsubscribeMailboxes, address)) return true;
  return false;
}

// "%20" and "%40" undone: some mail programs leave a mailto link's
// escapes in the subject they fill in.
std::string PercentDecoded(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

// The address an unsubscribe asks to take off: one its link carried in the
// subject or the text's first lines, else the sender.
std::string UnsubscribeAddress(const TReceivedMessage& message, const TInboxContext& context, std::string_view subject,
                               bool readText) {
  std::vector<std::string> own = context.UnsubscribeMailboxes;
  for (std::string_view field : {"To", "Delivered-To", "X-Original-To", "Cc"})
    for (std::string& address : message.Addresses(field)) own.push_back(std::move(address));
  for (const std::string& address : AddressesIn(PercentDecoded(subject)))
    if (!Contains(own, address)) return address;
  if (readText) {
    const std::string text = PlainText(message);
    int seen = 0;
    for (std::string_view line : Lines(text)) {
      line = Trim(line);
      if (line.empty()) continue;
      if (line.front() == '>' || ++seen > kUnsubscribeLines) break;
      for (const std::string& address : AddressesIn(PercentDecoded(line)))
        if (!Contains(own, address)) return address;
    }
  }
  const std::vector<std::string> from = message.Addresses("From");
  return from.empty() ? std::string() : from.front();
}

TInboxVerdict Classify(std::string_view bytes, const TInboxContext& context) {
  TInboxVerdict verdict;
  const TReceivedMessage message(bytes);
  verdict.MessageId = StripAngles(message.Header("Message-ID"));
  verdict.From = message.Header("From");
  verdict.Subject = message.Header("Subject");
  verdict.Date = message.Header("Date");
  const std::string subject = Lower(verdict.Subject);
  const std::vector<std::string> from = message.Addresses("From");

  // A report is a multipart/report (RFC 6522); a server that wraps one
  // otherwise still writes as MAILER-DAEMON or with a bounce subject. Both
  // show in the header, so the reader knows to fetch such a message whole.
  const std::vector<TReceivedPart>& parts = message.Parts();
  const bool report = !parts.empty() && parts.front().MediaType == "multipart/report";
  // A read receipt is an automatic answer: counted, never blocking.
  if (report && parts.front().ReportType == "disposition-notification") {
    verdict.Kind = TInboxKind::AutoReply;
    verdict.Reason = "Lesebest\xE4tigung";
    if (!from.empty()) verdict.Recipients.push_back({from.front(), "", "", ""});
    return verdict;
  }
  const bool bounce = LooksLikeBounce(from, subject);
  if ((report || bounce) && ClassifyReport(message, verdict)) return verdict;
  if (bounce && ClassifyPlainBounce(message, subject, verdict)) return verdict;

  const bool toMailbox = ToUnsubscribeMailbox(message, context);
  std::string autoReason;
  const bool autoReply = !toMailbox && IsAutoReply(message, subject, autoReason);
  if (toMailbox || (!autoReply && UnsubscribeSubject(subject))) {
    verdict.Kind = TInboxKind::Unsubscribe;
    verdict.Reason = "Abmeldung per E-Mail";
    const std::string address = UnsubscribeAddress(message, context, verdict.Subject, true);
    if (!address.empty()) verdict.Recipients.push_back({address, "", "", ""});
    return verdict;
  }
  if (autoReply) {
    verdict.Kind = TInboxKind::AutoReply;
    verdict.Reason = autoReason;
    if (!from.empty()) verdict.Recipients.push_back({from.front(), "", "", ""});
    return verdict;
  }
  verdict.Reason = "Pers\xF6nliche Nachricht";
  return verdict;
}

} // namespace

TInboxVerdict ClassifyMessage(std::string_view message, const TInboxContext& context) {
  try {
    return Classify(message, context);
  } catch (...) {
    // Out of memory or a library fault on damaged bytes: nothing is known,
    // so nothing may be done with the message.
    TInboxVerdict verdict;
    verdict.Reason = "Nachricht nicht lesbar";
    return verdict;
  }
}

bool ReadsWholeMessage(std::string_view header) { return ReadsWholeMessage(header, TInboxContext()); }

bool ReadsWholeMessage(std::string_view header, const TInboxContext& context) {
  try {
    const TReceivedMessage message(header);
    const std::string subject = Lower(message.Header("Subject"));
    const std::vector<TReceivedPart>& parts = message.Parts();
    const std::string top = parts.empty() ? std::string() : parts.front().MediaType;
    if (top == "multipart/report" || top.rfind("message/", 0) == 0) return true;
    if (LooksLikeBounce(message.Addresses("From"), subject)) return true;
    // An unsubscribe whose subject names no address may carry it in its text.
    const bool toMailbox = ToUnsubscribeMailbox(message, context);
    std::string reason;
    if (toMailbox || (UnsubscribeSubject(subject) && !IsAutoReply(message, subject, reason))) {
      const std::vector<std::string> inSubject = AddressesIn(PercentDecoded(message.Header("Subject")));
      std::vector<std::string> own = context.UnsubscribeMailboxes;
      for (std::string& a : message.Addresses("To")) own.push_back(std::move(a));
      return std::none_of(inSubject.begin(), inSubject.end(), [&](const std::string& a) { return !Contains(own, a); });
    }
    return false;
  } catch (...) {
    return true;
  }
}

const char* InboxKindText(TInboxKind kind) {
  switch (kind) {
  case TInboxKind::HardBounce: return "Harter R\xFC" "ckl\xE4" "ufer";
  case TInboxKind::SoftBounce: return "Weicher R\xFC" "ckl\xE4" "ufer";
  case TInboxKind::Unsubscribe: return "Abmeldung";
  case TInboxKind::Complaint: return "Beschwerde";
  case TInboxKind::AutoReply: return "Automatische Antwort";
  case TInboxKind::Other: return "Sonstige";
  }
  return "Sonstige";
}

} // namespace postello
