#include "send/TBlockList.h"

#include "core/Cp1252.h"
#include "core/SafeFile.h"
#include "send/TSendJournal.h"

#include <algorithm>
#include <fstream>
#include <sys/stat.h>

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

// The file's content is damaged (as opposed to unreadable): Load keeps a
// copy of it aside.
class EDamaged : public EBlockListError {
public:
  using EBlockListError::EBlockListError;
};

EDamaged Damaged(const std::string& path, std::size_t lineNo, const std::string& why) {
  return EDamaged("Die Sperrliste \"" + Utf8ToCp1252(path) + "\" ist besch\xE4" "digt (Zeile " + std::to_string(lineNo) +
                  ": " + why + "). Sie wurde nicht ver\xE4ndert; bitte pr\xFC" "fen Sie die Datei.");
}

// Takes the file line by line; lineNo counts from 1.
class TReader {
public:
  TReader(TBlockList& list, std::string path) : List(list), Path(std::move(path)) {}

  void Line(std::string_view text) {
    ++LineNo;
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    if (LineNo == 1) {
      if (text.starts_with(kBom)) text.remove_prefix(kBom.size());
      if (text != kHeader) throw Damaged(Path, LineNo, "die Kopfzeile fehlt");
      return;
    }
    if (text.empty()) return;
    std::vector<std::string> f;
    if (!ParseJournalCsvLine(text, f) || f.size() != 4)
      throw Damaged(Path, LineNo, "keine vier Spalten");
    if (List.Size() >= TBlockList::kMaxEntries)
      throw Damaged(Path, LineNo, "zu viele Zeilen");
    TBlockEntry e{Trim(f[0]), f[1], f[2], f[3]};
    // The same address twice is kept once, as a person may paste lines.
    if (!List.Contains(e.Address) && !List.Add(std::move(e)))
      throw Damaged(Path, LineNo, "keine g\xFCltige Adresse");
  }
  void TooLong() { throw Damaged(Path, LineNo + 1, "Zeile zu lang"); }
  void End() {
    if (LineNo == 0) throw Damaged(Path, 1, "die Kopfzeile fehlt");
  }

private:
  TBlockList& List;
  std::string Path;
  std::size_t LineNo = 0;
};

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

TBlockList TBlockList::Parse(std::string_view bytes, const std::string& path) {
  TBlockList list;
  TReader reader(list, path);
  while (!bytes.empty()) {
    const std::size_t end = bytes.find('\n');
    const std::string_view line = bytes.substr(0, end);
    if (line.size() > kMaxLine) reader.TooLong();
    reader.Line(line);
    bytes.remove_prefix(end == std::string_view::npos ? bytes.size() : end + 1);
  }
  reader.End();
  return list;
}

TBlockList TBlockList::Load(const std::string& dataDir) {
  const std::string path = PathIn(dataDir);
  TBlockList list;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 && errno == ENOENT) return list;
  std::ifstream in(path, std::ios::binary);
  if (!in || !S_ISREG(st.st_mode))
    throw EBlockListError("Die Sperrliste \"" + Utf8ToCp1252(path) + "\" kann nicht gelesen werden.");
  TReader reader(list, path);
  std::string line(kMaxLine + 2, '\0');
  try {
    for (;;) {
      in.getline(line.data(), static_cast<std::streamsize>(line.size()));
      const std::streamsize got = in.gcount();
      if (in.fail() && !in.eof()) reader.TooLong();  // no line end within the limit
      if (got == 0 && in.eof()) break;
      const std::size_t len = static_cast<std::size_t>(got) - (in.eof() ? 0 : 1);
      reader.Line(std::string_view(line.data(), len));
      if (in.eof()) break;
    }
    if (in.bad()) throw EBlockListError("Die Sperrliste \"" + Utf8ToCp1252(path) + "\" kann nicht gelesen werden.");
    reader.End();
  } catch (const EDamaged& e) {
    // Whoever mends the list, by hand or by saving a new one in the
    // window, must not lose the addresses of the damaged one.
    const std::string kept = KeepDamagedCopy(path);
    if (kept.empty()) throw;
    throw EBlockListError(std::string(e.what()) + " Eine Kopie bleibt als \"" + Utf8ToCp1252(kept) + "\" erhalten.");
  }
  return list;
}

std::string TBlockList::Csv() const {
  std::string out(kBom);
  out += kHeader;
  out += "\r\n";
  for (const TBlockEntry& e : FEntries) out += JournalCsvLine({e.Address, e.Reason, e.Date, e.Source}) + "\r\n";
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
