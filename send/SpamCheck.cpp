#include "send/SpamCheck.h"

#include "mime/HeaderLines.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace postello {
namespace {

// The header block, each header unfolded onto one line (fold kept as a
// line break inside the value, so that report lines stay apart).
std::vector<std::string> HeaderLines(std::string_view output) {
  std::vector<std::string> headers;
  std::size_t pos = 0;
  while (pos < output.size()) {
    std::size_t end = output.find('\n', pos);
    if (end == std::string_view::npos) end = output.size();
    std::string_view line = output.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    pos = end + 1;
    if (line.empty()) break;
    if ((line[0] == ' ' || line[0] == '\t') && !headers.empty())
      headers.back() += "\n" + std::string(line);
    else
      headers.emplace_back(line);
  }
  return headers;
}

const std::string* FirstHeader(const std::vector<std::string>& headers, std::string_view name) {
  for (const std::string& h : headers)
    if (h.size() > name.size() && h.compare(0, name.size(), name) == 0 && h[name.size()] == ':') return &h;
  return nullptr;
}

bool NumberAfter(const std::string& text, std::string_view key, double& value) {
  const std::size_t at = text.find(key);
  if (at == std::string::npos) return false;
  const char* start = text.c_str() + at + key.size();
  char* end = nullptr;
  value = std::strtod(start, &end);
  return end != start && std::isfinite(value);
}

bool IsRuleName(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_')) return false;
  return true;
}

std::string Points(double v) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.1f", std::fabs(v) < 0.05 ? 0.0 : v);
  std::string s = buffer;
  for (char& c : s)
    if (c == '.') c = ',';
  return s;
}

bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

} // namespace

TSpamReport ParseSpamReport(std::string_view output) {
  TSpamReport r;
  const std::vector<std::string> headers = HeaderLines(output);
  const std::string* status = FirstHeader(headers, "X-Spam-Status");
  if (!status || !NumberAfter(*status, "score=", r.Score) || !NumberAfter(*status, "required=", r.Threshold)) return r;
  r.Found = true;
  const std::string* report = FirstHeader(headers, "X-Spam-Report");
  if (!report) return r;
  std::size_t pos = 0;
  while (pos < report->size()) {
    std::size_t end = report->find('\n', pos);
    if (end == std::string::npos) end = report->size();
    std::string line = TrimBlanksAndTabs(std::string_view(*report).substr(pos, end - pos));
    pos = end + 1;
    if (line.empty() || line[0] != '*') continue;
    line = TrimBlanksAndTabs(std::string_view(line).substr(1));
    // "-0.0 NAME description" starts a rule; anything else continues the
    // description of the one before.
    const std::size_t blank = line.find(' ');
    const std::string first = line.substr(0, blank);
    char* numberEnd = nullptr;
    const double points = std::strtod(first.c_str(), &numberEnd);
    if (blank != std::string::npos && first.find('.') != std::string::npos && *numberEnd == '\0') {
      const std::string rest = TrimBlanksAndTabs(std::string_view(line).substr(blank + 1));
      const std::size_t nameEnd = rest.find(' ');
      const std::string name = rest.substr(0, nameEnd);
      if (IsRuleName(name)) {
        r.Rules.push_back({name, points, nameEnd == std::string::npos ? "" : TrimBlanksAndTabs(rest.substr(nameEnd + 1))});
        continue;
      }
    }
    if (!r.Rules.empty()) r.Rules.back().Description += " " + line;
  }
  return r;
}

std::string SpamRuleText(const TSpamRule& rule) {
  const std::string& n = rule.Name;
  if (n == "MISSING_HEADERS") return "Die Mail hat keine An-Zeile (To).";
  if (n == "REPLYTO_WITHOUT_TO_CC") return "Die Mail hat eine Antwortadresse, aber keine An- oder Cc-Zeile.";
  if (n == "MIME_HTML_ONLY") return "Die Mail besteht nur aus HTML, ohne reinen Text.";
  if (n == "HTML_MESSAGE") return "Die Mail enth\xE4lt HTML (f\xFCr sich allein unbedenklich).";
  if (StartsWith(n, "HTML_IMAGE_ONLY_")) return "Die HTML-Mail hat Bilder, aber kaum Text.";
  if (StartsWith(n, "HTML_IMAGE_RATIO_")) return "Gro\xDF" "e Bilder, wenig Text: die Bildfl\xE4" "che \xFC" "berwiegt.";
  if (n == "SUBJ_ALL_CAPS") return "Der Betreff steht ganz in Gro\xDF" "buchstaben.";
  if (n == "MISSING_MID") return "Die Mail hat keine Message-ID.";
  if (n == "MISSING_DATE") return "Die Mail hat kein Datum (Date).";
  return rule.Description;
}

TSpamVerdict TSpamCheck::Check(std::string_view message) const {
  TSpamVerdict v;
  const TChildResult run = FRunner.Run({FProgram, "--local", "--test-mode", "--nocreate-prefs", "--cf=use_bayes 0",
                                        "--cf=add_header all Report _REPORT_"},
                                       message, TimeLimit, MaxOutput);
  if (!run.Started) {
    v.Lines.push_back(run.StartErrno == ENOENT ? kSpamCheckMissing
                                               : "Spam-Pr\xFC" "fung nicht m\xF6glich: SpamAssassin l\xE4sst sich nicht starten.");
    return v;
  }
  if (run.Cancelled) {
    v.Lines.push_back("Spam-Pr\xFC" "fung abgebrochen.");
    return v;
  }
  if (run.TimedOut) {
    v.Lines.push_back("Spam-Pr\xFC" "fung nicht m\xF6glich: SpamAssassin hat nach " + std::to_string(TimeLimit.count()) +
                      " s nicht geantwortet.");
    return v;
  }
  const TSpamReport report = ParseSpamReport(run.Output);
  if (!report.Found) {
    v.Lines.push_back("Spam-Pr\xFC" "fung nicht m\xF6glich: SpamAssassin gab keine Bewertung aus (Status " +
                      std::to_string(run.ExitCode) + ").");
    return v;
  }
  v.Spam = report.Score >= report.Threshold;
  v.Lines.push_back(std::string(v.Spam ? "Die erste Mail gilt als Spam" : "Spam-Pr\xFC" "fung der ersten Mail") +
                    " (SpamAssassin): " + Points(report.Score) + " Punkte, Grenze " + Points(report.Threshold) + ".");
  for (const TSpamRule& rule : report.Rules) {
    // Every message checked before it travels lacks Received lines.
    if (rule.Name == "NO_RECEIVED" || rule.Name == "NO_RELAYS") continue;
    v.Lines.push_back("  " + Points(rule.Points) + " " + rule.Name + ": " + SpamRuleText(rule));
  }
  return v;
}

} // namespace postello
