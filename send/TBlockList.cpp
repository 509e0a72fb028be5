#include "send/TBlockList.h"

#include "core/Cp1252.h"
#include "core/SafeFile.h"
#include "core/SpreadsheetText.h"
#include "mime/HeaderLines.h"
#include "smtp/TSMTPSend.h"
#include "send/TCsvListFile.h"
#include "send/TSendJournal.h"

#include <algorithm>

namespace postello {
namespace {

constexpr std::string_view kHeader = "Adresse;Grund;Datum;Quelle";

std::string Damaged(const std::string& path, std::size_t lineNo, const std::string& why) {
  return "Die Sperrliste \"" + Utf8ToCp1252(path) + "\" ist besch\xE4" "digt (Zeile " + std::to_string(lineNo) + ": " +
         why + "). Sie wurde nicht ver\xE4ndert; bitte pr\xFC" "fen Sie die Datei.";
}

const TCsvListFile& ListFile() {
  static const TCsvListFile file(kHeader, 4, "keine vier Spalten", TBlockList::kMaxLine);
  return file;
}

} // namespace

std::string TBlockList::PathIn(const std::string& dataDir) {
  return TCsvListFile::PathIn(dataDir, kFileName);
}

std::string TBlockList::Key(std::string_view address) {
  return LowerCaseAscii(TrimBlanksAndTabs(address));
}

TBlockList TBlockList::Load(const std::string& dataDir) {
  const std::string path = PathIn(dataDir);
  TBlockList list;
  TCsvListFile::TRead read = TCsvListFile::TRead::Missing;
  try {
    read = ListFile().Read(path, [&](std::vector<std::string>& f, std::size_t lineNo) {
      if (list.Size() >= kMaxEntries) throw TCsvListFile::EDamaged{lineNo, "zu viele Zeilen"};
      TBlockEntry e{TrimBlanksAndTabs(f[0]), f[1], f[2], f[3]};
      // The same address twice is kept once, as a person may paste lines.
      if (!list.Contains(e.Address) && !list.Add(std::move(e)))
        throw TCsvListFile::EDamaged{lineNo, "keine g\xFCltige Adresse"};
    });
  } catch (const TCsvListFile::EDamaged& d) {
    // Whoever mends the list, by hand or by saving a new one in the
    // window, must not lose the addresses of the damaged one.
    const std::string message = Damaged(path, d.Line, d.Why);
    const std::string kept = KeepDamagedCopy(path);
    if (kept.empty()) throw EBlockListError(message);
    throw EBlockListError(message + " Eine Kopie bleibt als \"" + Utf8ToCp1252(kept) + "\" erhalten.");
  }
  if (read == TCsvListFile::TRead::Unreadable)
    throw EBlockListError("Die Sperrliste \"" + Utf8ToCp1252(path) + "\" kann nicht gelesen werden.");
  return list;
}

std::string TBlockList::Csv() const {
  std::string out = ListFile().Head();
  for (const TBlockEntry& e : FEntries) out += TCsvListFile::Row({e.Address, e.Reason, e.Date, e.Source});
  return out;
}

void TBlockList::Save(const std::string& dataDir) const {
  try {
    SaveFileSafely(PathIn(dataDir), Csv(), 0600);
  } catch (const ESaveError& e) {
    throw EBlockListError(e.what());
  }
}

bool TBlockList::Contains(std::string_view address) const {
  return FKeys.contains(Key(address));
}

bool TBlockList::Add(TBlockEntry entry) {
  entry.Address = TrimBlanksAndTabs(entry.Address);
  if (entry.Address.empty() || HasControlCharacter(entry.Address) || Contains(entry.Address)) return false;
  if (entry.Date.empty()) entry.Date = JournalTimeNow();
  FKeys.insert(Key(entry.Address));
  FEntries.push_back(std::move(entry));
  return true;
}

bool TBlockList::Remove(std::string_view address) {
  const std::string k = Key(address);
  if (FKeys.erase(k) == 0) return false;
  FEntries.erase(std::find_if(FEntries.begin(), FEntries.end(), [&](const TBlockEntry& e) { return Key(e.Address) == k; }));
  return true;
}

std::vector<std::string> TBlockList::AddressesFromText(std::string_view bytes) {
  std::string text(bytes.starts_with(kUtf8Bom) ? bytes.substr(kUtf8Bom.size()) : bytes);
  if (LooksLikeUtf8(text)) text = Utf8ToCp1252(text);
  std::vector<std::string> out;
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t end = text.find('\n', i);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + i, end - i);
    line = line.substr(0, line.find_first_of(";,\t"));
    std::string a = TrimBlanksAndTabs(line);
    if (a.size() >= 2 && a.front() == '"' && a.back() == '"') a = TrimBlanksAndTabs(a.substr(1, a.size() - 2));
    while (!a.empty() && a.back() == '\r') a.pop_back();
    if (a.find('@') != std::string::npos && !HasControlCharacter(a)) out.push_back(a);
    i = end + 1;
  }
  return out;
}

} // namespace postello
