#include "send/TReplyLog.h"

#include "core/Cp1252.h"
#include "core/SafeFile.h"
#include "send/TBlockList.h"
#include "send/TSendJournal.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <fstream>

namespace postello {
namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr std::string_view kHeader = "Datum;Art;Adresse;Status;Meldung;Lauf";

std::string Shown(const std::string& path) { return "\"" + Utf8ToCp1252(path) + "\""; }

std::string Damaged(const std::string& path, std::size_t lineNo, const std::string& why) {
  return "Die Liste der R\xFC" "ckmeldungen " + Shown(path) + " ist besch\xE4" "digt (Zeile " +
         std::to_string(lineNo) + ": " + why + "). Es wurde nichts ver\xE4ndert; bitte pr\xFC" "fen Sie die Datei.";
}

} // namespace

std::string TReplyLog::PathIn(const std::string& dataDir) {
  if (dataDir.empty() || dataDir.back() == '/') return dataDir + kFileName;
  return dataDir + '/' + kFileName;
}

TReplyLog TReplyLog::Load(const std::string& dataDir) {
  const std::string path = PathIn(dataDir);
  TReplyLog log;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 && errno == ENOENT) return log;
  std::ifstream in(path, std::ios::binary);
  if (!in || !S_ISREG(st.st_mode))
    throw EReplyLogError("Die Liste der R\xFC" "ckmeldungen " + Shown(path) + " kann nicht gelesen werden.");
  // Line by line within kMaxLine: a file that is not ours must not fill the memory.
  std::string buffer(kMaxLine + 2, '\0');
  std::vector<std::string> f;
  for (std::size_t lineNo = 1;; ++lineNo) {
    in.getline(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    const std::streamsize got = in.gcount();
    if (in.fail() && !in.eof()) throw EReplyLogError(Damaged(path, lineNo, "Zeile zu lang"));
    if (got == 0 && in.eof()) {
      if (lineNo == 1) throw EReplyLogError(Damaged(path, 1, "die Kopfzeile fehlt"));
      break;
    }
    std::string_view text(buffer.data(), static_cast<std::size_t>(got) - (in.eof() ? 0 : 1));
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    if (lineNo == 1) {
      if (text.starts_with(kBom)) text.remove_prefix(kBom.size());
      if (text != kHeader) throw EReplyLogError(Damaged(path, 1, "die Kopfzeile fehlt"));
    } else if (!text.empty()) {
      if (!ParseJournalCsvLine(text, f) || f.size() != 6)
        throw EReplyLogError(Damaged(path, lineNo, "keine sechs Spalten"));
      if (log.FLines.size() >= kMaxLines) throw EReplyLogError(Damaged(path, lineNo, "zu viele Zeilen"));
      log.Add({f[0], f[1], f[2], f[3], f[4], f[5]});
    }
    if (in.eof()) break;
  }
  if (in.bad()) throw EReplyLogError("Die Liste der R\xFC" "ckmeldungen " + Shown(path) + " kann nicht gelesen werden.");
  return log;
}

std::string TReplyLog::Csv() const {
  std::string out(kBom);
  out += kHeader;
  out += "\r\n";
  for (const TReplyLogLine& l : FLines)
    out += JournalCsvLine({l.Date, l.Kind, l.Address, l.Status, l.ReportId, l.Run}) + "\r\n";
  return out;
}

void TReplyLog::Save(const std::string& dataDir) const {
  try {
    // Addresses are personal data: the file is its owner's alone.
    SaveFileSafely(PathIn(dataDir), Csv(), 0600);
  } catch (const ESaveError& e) {
    throw EReplyLogError(e.what());
  }
}

void TReplyLog::Add(TReplyLogLine line) {
  FReports.insert(line.ReportId);
  FLines.push_back(std::move(line));
}

bool TReplyLog::Holds(std::string_view reportId) const { return FReports.contains(std::string(reportId)); }

std::unordered_map<std::string, std::vector<std::string>> TReplyLog::SoftBounceRuns(std::string_view softKind) const {
  std::unordered_map<std::string, std::vector<std::string>> runs;
  for (const TReplyLogLine& l : FLines) {
    if (l.Kind != softKind || l.Run.empty()) continue;
    std::vector<std::string>& of = runs[TBlockList::Key(l.Address)];
    if (std::find(of.begin(), of.end(), l.Run) == of.end()) of.push_back(l.Run);
  }
  return runs;
}

} // namespace postello
