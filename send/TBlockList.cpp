#include "send/TBlockList.h"

#include "core/Cp1252.h"
#include "core/SafeFile.h"
#include "send/TCsvListFile.h"
#include "send/TSendJournal.h"

#include <algorithm>

namespace postello {
namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr std::string_view kHeader = "Adresse;Grund;Datum;Quelle";

bool HasControl(std::string_view s) {
  return std::any_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 32 || c == 127; });
}

std::string Trim(std::string_view s) {
  const std::size_t b = s.find_first_not_of(" \t");
  if (b == std::string_view::npos) return {};
  return std::string(s.substr(b, s.find_last_not_of(" \t") - b + 1));
}

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
  if (dataDir.empty() || dataDir.back() == '/') return dataDir + kFileName;
  return dataDir + '/' + kFileName;
}

std::string TBlockList::Key(std::string_view address) {
  std::string k = Trim(address);
  for (char& c : k)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return k;
}

TBlockList TBlockList::Load(const std::string& dataDir) {
  const std::string path = PathIn(dataDir);
  TBlockList list;
  TCsvListFile::TRead read = TCsvListFile::TRead::Missing;
  try {
    read = ListFile().Read(path, [&](std::vector<std::string>& f, std::size_t lineNo) {
      if (list.Size() >= kMaxEntries) throw TCsvListFile::EDamaged{lineNo, "zu viele Zeilen"};
      TBlockEntry e{Trim(f[0]), f[1], f[2], f[3]};
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
  const std::string k = Key(address);
  return std::any_of(FEntries.begin(), FEntries.end(), [&](const TBlockEntry& e) { return Key(e.Address) == k; });
}

bool TBlockList::Add(TBlockEntry entry) {
  entry.Address = Trim(entry.Address);
  if (entry.Address.empty() || HasControl(entry.Address) || Contains(entry.Address)) return false;
  if (entry.Date.empty()) entry.Date = JournalTimeNow();
  FEntries.push_back(std::move(entry));
  return true;
}

bool TBlockList::Remove(std::string_view address) {
  const std::string k = Key(address);
  const auto it = std::find_if(FEntries.begin(), FEntries.end(), [&](const TBlockEntry& e) { return Key(e.Address) == k; });
  if (it == FEntries.end()) return false;
  FEntries.erase(it);
  return true;
}

std::vector<std::string> TBlockList::AddressesFromText(std::string_view bytes) {
  std::string text(bytes.starts_with(kBom) ? bytes.substr(kBom.size()) : bytes);
  if (LooksLikeUtf8(text)) text = Utf8ToCp1252(text);
  std::vector<std::string> out;
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t end = text.find('\n', i);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + i, end - i);
    line = line.substr(0, line.find_first_of(";,\t"));
    std::string a = Trim(line);
    if (a.size() >= 2 && a.front() == '"' && a.back() == '"') a = Trim(a.substr(1, a.size() - 2));
    while (!a.empty() && a.back() == '\r') a.pop_back();
    if (a.find('@') != std::string::npos && !HasControl(a)) out.push_back(a);
    i = end + 1;
  }
  return out;
}

} // namespace postello
