#include "send/TReplyLog.h"

#include "core/Cp1252.h"
#include "core/SafeFile.h"
#include "send/TBlockList.h"
#include "send/TCsvListFile.h"

#include <algorithm>

namespace postello {
namespace {

const TCsvListFile& ListFile() {
  static const TCsvListFile file("Datum;Art;Adresse;Status;Meldung;Lauf", 6, "keine sechs Spalten",
                                 TReplyLog::kMaxLine);
  return file;
}

std::string Shown(const std::string& path) { return "\"" + Utf8ToCp1252(path) + "\""; }

std::string Damaged(const std::string& path, std::size_t lineNo, const std::string& why) {
  return "Die Liste der R\xFC" "ckmeldungen " + Shown(path) + " ist besch\xE4" "digt (Zeile " +
         std::to_string(lineNo) + ": " + why + "). Es wurde nichts ver\xE4ndert; bitte pr\xFC" "fen Sie die Datei.";
}

} // namespace

std::string TReplyLog::PathIn(const std::string& dataDir) {
  return TCsvListFile::PathIn(dataDir, kFileName);
}

TReplyLog TReplyLog::Load(const std::string& dataDir) {
  const std::string path = PathIn(dataDir);
  TReplyLog log;
  TCsvListFile::TRead read = TCsvListFile::TRead::Missing;
  try {
    read = ListFile().Read(path, [&](std::vector<std::string>& f, std::size_t lineNo) {
      if (log.FLines.size() >= kMaxLines) throw TCsvListFile::EDamaged{lineNo, "zu viele Zeilen"};
      log.Add({f[0], f[1], f[2], f[3], f[4], f[5]});
    });
  } catch (const TCsvListFile::EDamaged& d) {
    throw EReplyLogError(Damaged(path, d.Line, d.Why));
  }
  if (read == TCsvListFile::TRead::Unreadable)
    throw EReplyLogError("Die Liste der R\xFC" "ckmeldungen " + Shown(path) + " kann nicht gelesen werden.");
  return log;
}

std::string TReplyLog::Csv() const {
  std::string out = ListFile().Head();
  for (const TReplyLogLine& l : FLines) out += TCsvListFile::Row({l.Date, l.Kind, l.Address, l.Status, l.ReportId, l.Run});
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
