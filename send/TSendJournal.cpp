#include "send/TSendJournal.h"

#include "core/Cp1252.h"
#include "core/SpreadsheetText.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <unordered_map>

namespace postello {
namespace {

constexpr const char* kLineEnd = "\r\n";
constexpr const char* kSuffix = ".csv";

// Columns of every line. Lines of a kind leave the others empty.
enum TColumn {
  cLine, cNr, cTime, cRecNos, cAddresses, cResult, cReason,
  cKind, cSubject, cMailDate, cAccount, cServer, cMode, cRecipients, cFilter, cDatabase, cCount, cContinues,
  cMailId, cMessageId,
  cColumns
};
// Journals of older versions end before the mail identity or before the
// Message-ID; newer ones may add columns after it, which this reader skips.
constexpr std::size_t kOldColumns = cMailId;

const char* const kHeader[cColumns] = {
    "Zeile", "Nr", "Zeit", "Datensatz-Nr", "Adressen", "Ergebnis", "Grund",
    "Lauf", "Betreff", "Maildatum", "Konto", "Server", "Modus", "Empf\xE4nger", "Filter", "Datenbank",
    "Nachrichten", "Bezug", "Mail-Kennung", "Message-ID"};

constexpr const char* kRunLine = "Lauf";
constexpr const char* kPlanLine = "Plan";
constexpr const char* kMessageLine = "Nachricht";
constexpr const char* kEndLine = "Ende";

constexpr const char* kBlockedReason = "gesperrt";

constexpr const char* kDataEndReason = "Datenende gesendet, Antwort des Servers steht aus";

bool IsControl(char c) { return static_cast<unsigned char>(c) < 32 || c == 127; }

// An address written bare could not be told from the list's separators
// or would lose bytes to the cell's own rules.
bool NeedsQuotes(std::string_view a) {
  if (a.empty() || a.front() == ' ' || a.back() == ' ') return true;
  return std::any_of(a.begin(), a.end(), [](char c) { return c == ',' || c == '"' || c == '\\' || IsControl(c); });
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::vector<std::string> SplitList(std::string_view text) {
  std::vector<std::string> out;
  if (text.empty()) return out;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = text.find(',', start);
    std::string_view piece = text.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
    while (!piece.empty() && piece.front() == ' ') piece.remove_prefix(1);
    while (!piece.empty() && piece.back() == ' ') piece.remove_suffix(1);
    out.emplace_back(piece);
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return out;
}

std::string JoinRecNos(const std::vector<std::uint32_t>& recNos) {
  if (std::all_of(recNos.begin(), recNos.end(), [](std::uint32_t r) { return r == 0; })) return {};
  std::string out;
  for (std::uint32_t r : recNos) {
    if (!out.empty()) out += ", ";
    out += std::to_string(r);
  }
  return out;
}

// Reads a journal file line by line in pieces, so that neither a huge file
// nor a line without end is ever held whole.
class TLineReader {
public:
  enum TRead { Line, Cut, TooLong, End };

  explicit TLineReader(const std::string& path) : FIn(path, std::ios::binary) {}
  bool Opened() const { return FIn.is_open(); }

  // Line: line holds the next line without its LF. Cut: the file ends
  // inside a line. TooLong: a line exceeds kMaxJournalLine; reading stops.
  TRead Next(std::string& line) {
    line.clear();
    for (;;) {
      if (FPos == FLen) {
        if (FEnd) return line.empty() ? End : Cut;
        FIn.read(FBuffer, sizeof FBuffer);
        FLen = static_cast<std::size_t>(FIn.gcount());
        FPos = 0;
        if (FLen == 0) {
          FEnd = true;
          continue;
        }
      }
      const char* start = FBuffer + FPos;
      const void* lf = std::memchr(start, '\n', FLen - FPos);
      const std::size_t take = lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - start) : FLen - FPos;
      if (line.size() + take > kMaxJournalLine) {
        FEnd = true;
        FPos = FLen = 0;
        return TooLong;
      }
      line.append(start, take);
      FPos += take;
      if (lf) {
        ++FPos;
        return Line;
      }
    }
  }

private:
  std::ifstream FIn;
  char FBuffer[64 * 1024];
  std::size_t FPos = 0, FLen = 0;
  bool FEnd = false;
};

bool ParseUnsigned(std::string_view s, std::uint32_t& value) {
  value = 0;
  if (s.empty()) return false;
  auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  return ec == std::errc() && ptr == s.data() + s.size();
}

bool ParseRecNos(std::string_view text, std::size_t count, std::vector<std::uint32_t>& out) {
  out.clear();
  if (text.empty()) {
    out.assign(count, 0);
    return true;
  }
  for (const std::string& piece : SplitList(text)) {
    std::uint32_t r = 0;
    if (!ParseUnsigned(piece, r)) return false;
    out.push_back(r);
  }
  return out.size() == count;
}

bool ParseNr(std::string_view s, int& nr) {
  std::uint32_t v = 0;
  if (!ParseUnsigned(s, v) || v > 100000000) return false;
  nr = static_cast<int>(v);
  return true;
}

std::string ErrnoText(int error) { return std::strerror(error); }

// Start time as a file name: "2024-05-01_10-00-00". Anything else in the
// text becomes '-', so the name is always harmless.
std::string StampOf(const std::string& startTime) {
  std::string stamp = startTime;
  for (char& c : stamp) {
    if (c == ' ') c = '_';
    else if (!(c >= '0' && c <= '9')) c = '-';
  }
  return stamp;
}

// Sort key of a journal name: its stamp, then the number after '_' that
// tells apart runs started within the same second (none counts as 1).
std::pair<std::string, int> SortKey(const std::string& name) {
  std::string base = name.substr(0, name.size() - std::strlen(kSuffix));
  int n = 1;
  const std::size_t cut = base.find('_', 11);  // after "YYYY-MM-DD_"
  if (cut != std::string::npos) {
    int v = 0;
    const std::string_view tail = std::string_view(base).substr(cut + 1);
    auto [ptr, ec] = std::from_chars(tail.data(), tail.data() + tail.size(), v);
    if (ec == std::errc() && ptr == tail.data() + tail.size() && v > 1) {
      n = v;
      base.resize(cut);
    }
  }
  return {base, n};
}

} // namespace

const char* JournalResultText(TJournalResult result) {
  switch (result) {
    case TJournalResult::Sent: return "gesendet";
    case TJournalResult::Failed: return "fehlgeschlagen";
    case TJournalResult::Uncertain: return "unsicher";
    case TJournalResult::NotSent: return "nicht gesendet";
    case TJournalResult::Blocked: return "gesperrt";
    case TJournalResult::None: break;
  }
  return "";
}

TJournalResult JournalResultFromText(std::string_view text) {
  for (TJournalResult r : {TJournalResult::Sent, TJournalResult::Failed, TJournalResult::Uncertain,
                           TJournalResult::NotSent, TJournalResult::Blocked})
    if (text == JournalResultText(r)) return r;
  return TJournalResult::None;
}

const char* JournalRunKindText(TJournalRunKind kind) {
  switch (kind) {
    case TJournalRunKind::Send: return "Versand";
    case TJournalRunKind::Resume: return "Fortsetzung";
    case TJournalRunKind::Retry: return "Wiederholung";
    case TJournalRunKind::Test: return "Test";
  }
  return "";
}

std::string TJournalRunInfo::ModeText() const {
  return BatchMode ? "BCC " + std::to_string(BatchSize) : std::string("personalisiert");
}

bool TJournalRunInfo::SetModeText(std::string_view text) {
  if (text == "personalisiert") {
    BatchMode = false;
    BatchSize = 1;
    return true;
  }
  std::uint32_t size = 0;
  if (text.starts_with("BCC ") && ParseUnsigned(text.substr(4), size) && size >= 1 && size <= 100) {
    BatchMode = true;
    BatchSize = static_cast<int>(size);
    return true;
  }
  return false;
}

std::string JournalCsvLine(const std::vector<std::string>& fields) {
  std::string line;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) line += ';';
    std::string cell = fields[i];
    // One record is one line of the file: a line end inside a field
    // (a server reply, a subject) would make a cut line look whole.
    for (char& c : cell)
      if (static_cast<unsigned char>(c) < 32 || c == 127) c = ' ';
    cell = EscapeFormula(cell);
    std::string utf8 = Cp1252ToUtf8(cell);
    if (utf8.find_first_of(";\"") != std::string::npos || (!utf8.empty() && utf8.front() == ' ')) {
      std::string quoted = "\"";
      for (char c : utf8) {
        if (c == '"') quoted += '"';
        quoted += c;
      }
      quoted += '"';
      utf8 = std::move(quoted);
    }
    line += utf8;
  }
  return line;
}

bool ParseJournalCsvLine(std::string_view line, std::vector<std::string>& fields) {
  fields.clear();
  std::string cell;
  std::size_t i = 0;
  for (;;) {
    cell.clear();
    if (i < line.size() && line[i] == '"') {
      ++i;
      for (;;) {
        if (i >= line.size()) return false;  // a quote never closed: a cut line
        if (line[i] == '"') {
          if (i + 1 < line.size() && line[i + 1] == '"') {
            cell += '"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        cell += line[i++];
      }
      if (i < line.size() && line[i] != ';') return false;
    } else {
      const std::size_t end = line.find(';', i);
      cell.assign(line.substr(i, end == std::string_view::npos ? std::string_view::npos : end - i));
      i = end == std::string_view::npos ? line.size() : end;
    }
    fields.push_back(UnescapeFormula(Utf8ToCp1252(cell)));
    if (i >= line.size()) break;
    ++i;  // the ';'
  }
  return true;
}

std::string JoinJournalAddresses(const std::vector<std::string>& addresses) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const std::string& a : addresses) {
    if (&a != &addresses.front()) out += ", ";
    if (!NeedsQuotes(a)) {
      out += a;
      continue;
    }
    out += '"';
    for (char c : a) {
      if (c == '"' || c == '\\') {
        out += '\\';
        out += c;
      } else if (IsControl(c)) {
        out += "\\x";
        out += kHex[static_cast<unsigned char>(c) >> 4];
        out += kHex[static_cast<unsigned char>(c) & 15];
      } else {
        out += c;
      }
    }
    out += '"';
  }
  return out;
}

bool SplitJournalAddresses(std::string_view cell, std::vector<std::string>& addresses) {
  addresses.clear();
  if (cell.empty()) return true;
  std::size_t i = 0;
  const auto skipBlanks = [&] {
    while (i < cell.size() && cell[i] == ' ') ++i;
  };
  for (;;) {
    skipBlanks();
    std::string a;
    if (i < cell.size() && cell[i] == '"') {
      for (++i;; ++i) {
        if (i >= cell.size()) return false;
        const char c = cell[i];
        if (c == '"') break;
        if (c != '\\') {
          a += c;
          continue;
        }
        if (++i >= cell.size()) return false;
        if (cell[i] == '"' || cell[i] == '\\') {
          a += cell[i];
        } else if (cell[i] == 'x' && i + 2 < cell.size() && HexValue(cell[i + 1]) >= 0 && HexValue(cell[i + 2]) >= 0) {
          a += static_cast<char>(HexValue(cell[i + 1]) * 16 + HexValue(cell[i + 2]));
          i += 2;
        } else {
          return false;
        }
      }
      ++i;  // the closing quote
      skipBlanks();
    } else {
      const std::size_t end = std::min(cell.find(',', i), cell.size());
      std::string_view bare = cell.substr(i, end - i);
      while (!bare.empty() && bare.back() == ' ') bare.remove_suffix(1);
      // Only the writer's own form: what it would have quoted is damage.
      if (bare.empty() || NeedsQuotes(bare)) return false;
      a.assign(bare);
      i = end;
    }
    addresses.push_back(std::move(a));
    if (i >= cell.size()) return true;
    if (cell[i] != ',') return false;
    ++i;
  }
}

std::string JournalTimeNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

std::string TSendJournal::Folder(const std::string& dataDir) {
  std::string dir = dataDir;
  if (!dir.empty() && dir.back() != '/') dir += '/';
  return dir + "versand/";
}

TSendJournal::TSendJournal(const std::string& dataDir, TJournalRunInfo info,
                           const std::vector<TJournalMessage>& plan)
    : FInfo(std::move(info)) {
  if (FInfo.StartTime.empty()) FInfo.StartTime = JournalTimeNow();
  const std::string folder = Folder(dataDir);
  const std::string shownFolder = "\"" + Utf8ToCp1252(folder) + "\"";
  const auto refuse = [&](int error) {
    throw EJournalError("Das Versandprotokoll im Ordner " + shownFolder +
                        " kann nicht geschrieben werden (" + Utf8ToCp1252(ErrnoText(error)) +
                        "). Ohne Protokoll wird nichts gesendet.");
  };

  CheckJournalFolders(dataDir);
  // Addresses are personal data, and what the folder holds decides whom a
  // resumed run writes to: it is the user's alone.
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) refuse(errno);
  CheckJournalFolders(dataDir);
  struct stat st {};
  if (::stat(folder.c_str(), &st) != 0) refuse(errno);
  if (!S_ISDIR(st.st_mode)) refuse(ENOTDIR);

  const std::string stamp = StampOf(FInfo.StartTime);
  for (int n = 1; FFd < 0; ++n) {
    FPath = folder + stamp + (n > 1 ? "_" + std::to_string(n) : std::string()) + kSuffix;
    // Addresses are personal data: the journal is the user's alone.
    FFd = ::open(FPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0600);
    if (FFd < 0 && (errno != EEXIST || n >= 1000)) refuse(errno);
  }

  // Header, run line and plan go out in one piece and reach the disk before
  // the first message: a journal that cannot take them stops the run here.
  std::string head(kUtf8Bom);
  head += JournalCsvLine(std::vector<std::string>(std::begin(kHeader), std::end(kHeader))) + kLineEnd;
  std::vector<std::string> run(cColumns);
  run[cLine] = kRunLine;
  run[cTime] = FInfo.StartTime;
  run[cKind] = JournalRunKindText(FInfo.Kind);
  run[cSubject] = FInfo.Subject;
  run[cMailDate] = FInfo.MailDate;
  run[cAccount] = FInfo.Account;
  run[cServer] = FInfo.Server;
  run[cMode] = FInfo.ModeText();
  run[cRecipients] = FInfo.Recipients;
  run[cFilter] = FInfo.Filter;
  run[cDatabase] = FInfo.Database;
  run[cCount] = std::to_string(FInfo.MessageCount);
  run[cContinues] = FInfo.Continues;
  run[cMailId] = FInfo.MailId;
  head += JournalCsvLine(run) + kLineEnd;
  for (const TJournalMessage& m : plan) {
    std::vector<std::string> line(cColumns);
    line[cLine] = kPlanLine;
    line[cNr] = std::to_string(m.Nr);
    line[cRecNos] = JoinRecNos(m.RecNos);
    line[cAddresses] = JoinJournalAddresses(m.Addresses);
    head += JournalCsvLine(line) + kLineEnd;
  }
  int error = WriteRaw(head);
  if (error == 0 && ::fdatasync(FFd) != 0) error = errno;
  if (error != 0) {
    ::close(FFd);
    FFd = -1;
    ::unlink(FPath.c_str());
    refuse(error);
  }
  // The file's name in the folder must survive a power cut too.
  const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
  FSyncer = std::thread([this] { SyncLoop(); });
}

TSendJournal::~TSendJournal() {
  try {
    Close();
  } catch (const std::exception&) {
  }
}

std::string TSendJournal::FileName() const { return std::filesystem::path(FPath).filename().string(); }

void TSendJournal::Fail(const std::string& what, int error) {
  throw EJournalError("Das Versandprotokoll \"" + Utf8ToCp1252(FPath) + "\" kann nicht geschrieben werden (" +
                      what + Utf8ToCp1252(ErrnoText(error)) + ").");
}

int TSendJournal::WriteRaw(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(FFd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) return EIO;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return 0;
}

void TSendJournal::WriteLine(const std::string& line) {
  std::lock_guard<std::mutex> lock(FMutex);
  if (FFd < 0) throw EJournalError("Das Versandprotokoll \"" + Utf8ToCp1252(FPath) + "\" ist schon geschlossen.");
  if (FSyncError != 0) Fail("beim Sichern auf die Platte: ", FSyncError);
  if (const int error = WriteRaw(line + kLineEnd); error != 0) Fail("", error);
  if (!FDirty) {
    FDirty = true;
    FWake.notify_one();
  }
}

void TSendJournal::SyncLoop() {
  std::unique_lock<std::mutex> lock(FMutex);
  for (;;) {
    FWake.wait(lock, [this] { return FDirty || FStop; });
    if (FStop) return;
    // Lines written within the next second share one flush; the stop
    // request cuts the wait short (Close flushes itself).
    FWake.wait_for(lock, std::chrono::seconds(1), [this] { return FStop; });
    if (FStop) return;
    FDirty = false;
    const int fd = FFd;
    lock.unlock();
    const int rc = ::fdatasync(fd);
    const int error = rc != 0 ? errno : 0;
    lock.lock();
    if (error != 0 && FSyncError == 0) FSyncError = error;
  }
}

void TSendJournal::Record(TJournalEntry entry) {
  if (entry.Time.empty()) entry.Time = JournalTimeNow();
  std::vector<std::string> line(cColumns);
  line[cLine] = kMessageLine;
  line[cNr] = entry.Nr > 0 ? std::to_string(entry.Nr) : std::string();
  line[cTime] = entry.Time;
  line[cRecNos] = JoinRecNos(entry.RecNos);
  line[cAddresses] = JoinJournalAddresses(entry.Addresses);
  line[cResult] = JournalResultText(entry.Result);
  line[cReason] = entry.Reason;
  line[cMessageId] = entry.MessageId;
  if (entry.Result == TJournalResult::Blocked) {
    line[cResult] = JournalResultText(TJournalResult::NotSent);
    line[cReason] = entry.Reason.empty() ? kBlockedReason : std::string(kBlockedReason) + ": " + entry.Reason;
  }
  WriteLine(JournalCsvLine(line));
}

void TSendJournal::RecordDataEnd(const TJournalMessage& message, std::string_view messageId) {
  TJournalEntry entry;
  entry.MessageId = std::string(messageId);
  entry.Nr = message.Nr;
  entry.Addresses = message.Addresses;
  entry.RecNos = message.RecNos;
  entry.Result = TJournalResult::Uncertain;
  entry.Reason = kDataEndReason;
  Record(std::move(entry));
}

void TSendJournal::RecordEnd(std::string_view ended, std::string_view note) {
  std::vector<std::string> line(cColumns);
  line[cLine] = kEndLine;
  line[cTime] = JournalTimeNow();
  line[cResult] = std::string(ended);
  line[cReason] = std::string(note);
  WriteLine(JournalCsvLine(line));
}

void TSendJournal::Close() {
  {
    std::lock_guard<std::mutex> lock(FMutex);
    if (FStop) return;
    FStop = true;
  }
  FWake.notify_all();
  if (FSyncer.joinable()) FSyncer.join();
  if (FFd < 0) return;
  const int rc = ::fdatasync(FFd);
  const int error = rc != 0 ? errno : FSyncError;
  ::close(FFd);
  FFd = -1;
  if (error != 0) Fail("beim Sichern auf die Platte: ", error);
}

// ---- reading ----

std::string TJournalRun::FileName() const { return std::filesystem::path(Path).filename().string(); }

const TJournalEntry* TJournalRun::LastEntryOf(int nr) const {
  for (auto it = Entries.rbegin(); it != Entries.rend(); ++it)
    if (it->Nr == nr) return &*it;
  return nullptr;
}

TJournalResult TJournalRun::ResultOf(int nr) const {
  const TJournalEntry* e = LastEntryOf(nr);
  return e ? e->Result : TJournalResult::None;
}

int TJournalRun::Count(TJournalResult r) const {
  // One pass: the last line of each planned number.
  std::vector<TJournalResult> last(Plan.size() + 1, TJournalResult::None);
  std::vector<int> index(Plan.size() + 1, -1);
  for (std::size_t i = 0; i < Plan.size(); ++i)
    if (Plan[i].Nr >= 1 && static_cast<std::size_t>(Plan[i].Nr) <= Plan.size()) index[Plan[i].Nr] = static_cast<int>(i);
  for (const TJournalEntry& e : Entries)
    if (e.Nr >= 1 && static_cast<std::size_t>(e.Nr) <= Plan.size()) last[e.Nr] = e.Result;
  int n = 0;
  for (std::size_t nr = 1; nr <= Plan.size(); ++nr)
    if (index[nr] >= 0 && last[nr] == r) ++n;
  return n;
}

bool TJournalRun::Unfinished() const {
  return Count(TJournalResult::None) > 0 || Count(TJournalResult::NotSent) > 0;
}

std::string TJournalRun::Problem() const {
  if (DamagedLines == 0 && !Broken) return {};
  const std::string file = "Das Versandprotokoll \"" + Utf8ToCp1252(FileName()) + "\" ";
  const std::string lines = DamagedLines == 1 ? "1 Zeile" : std::to_string(DamagedLines) + " Zeilen";
  if (!Broken)
    return file + "endet mit " + lines + ", die nicht vollst\xE4ndig geschrieben " +
           (DamagedLines == 1 ? "wurde" : "wurden") + " (das Programm endete mitten im Versand); sie " +
           (DamagedLines == 1 ? "wird" : "werden") + " \xFC" "bergangen.";
  return file + "ist besch\xE4" "digt (" + lines + " nicht lesbar" +
         (Plan.size() != static_cast<std::size_t>(Info.MessageCount)
              ? ", " + std::to_string(Plan.size()) + " von " + std::to_string(Info.MessageCount) + " Nachrichten im Plan"
              : std::string()) +
         "). Dieser Versand kann nicht fortgesetzt oder wiederholt werden; bitte pr\xFC" "fen Sie die Datei.";
}

namespace {

// The run line's fields into info; false when they are not the writer's.
bool ReadRunInfo(const std::vector<std::string>& f, TJournalRunInfo& info) {
  bool known = false;
  for (TJournalRunKind k : {TJournalRunKind::Send, TJournalRunKind::Resume, TJournalRunKind::Retry,
                            TJournalRunKind::Test})
    if (f[cKind] == JournalRunKindText(k)) {
      info.Kind = k;
      known = true;
    }
  int count = 0;
  if (!known || !info.SetModeText(f[cMode]) || !ParseNr(f[cCount], count)) return false;
  info.StartTime = f[cTime];
  info.Subject = f[cSubject];
  info.MailDate = f[cMailDate];
  info.Account = f[cAccount];
  info.Server = f[cServer];
  info.Recipients = f[cRecipients];
  info.Filter = f[cFilter];
  info.Database = f[cDatabase];
  info.MessageCount = count;
  info.Continues = f[cContinues];
  info.MailId = f[cMailId];
  return true;
}

// One line into fields, padded to every column (older journals lack the
// last); false for a line that is not one of the writer's.
bool ReadFields(std::string_view text, std::vector<std::string>& f) {
  if (text.find('\0') != std::string_view::npos || !ParseJournalCsvLine(text, f) || f.size() < kOldColumns)
    return false;
  f.resize(std::max<std::size_t>(f.size(), cColumns));
  return true;
}

} // namespace

TJournalRun ReadJournal(const std::string& path) {
  TLineReader in(path);
  if (!in.Opened()) throw EJournalError("Das Versandprotokoll \"" + Utf8ToCp1252(path) + "\" kann nicht gelesen werden.");
  TJournalRun run;
  run.Path = path;
  bool haveRun = false;
  bool first = true;
  bool damageBefore = false;  // an unreadable line came before this one
  std::vector<int> lastOf;    // per planned number, its entry's index; -1 none
  std::string line;
  std::vector<std::string> f;
  const auto damaged = [&] {
    ++run.DamagedLines;
    damageBefore = true;
  };
  for (;;) {
    const TLineReader::TRead got = in.Next(line);
    if (got == TLineReader::End) break;
    // A line without its end is the one a crash cut short.
    if (got == TLineReader::Cut) {
      damaged();
      break;
    }
    if (got == TLineReader::TooLong) {
      damaged();
      run.Broken = true;
      break;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::string_view text = line;
    if (first) {
      first = false;
      if (text.starts_with(kUtf8Bom)) text.remove_prefix(kUtf8Bom.size());
      if (text.starts_with("Zeile;")) continue;  // the header
    }
    if (text.empty()) continue;
    if (!ReadFields(text, f)) {
      damaged();
      continue;
    }
    // A crash damages only the end (a cut line, zeros where the last lines
    // were not yet on the disk); damage with readable lines after it is not
    // a crash's.
    if (damageBefore) run.Broken = true;
    const std::string& kind = f[cLine];
    if (kind == kRunLine && !haveRun) {
      if (!ReadRunInfo(f, run.Info)) {
        damaged();
        continue;
      }
      haveRun = true;
    } else if (kind == kPlanLine && haveRun) {
      TJournalMessage m;
      if (!SplitJournalAddresses(f[cAddresses], m.Addresses) || !ParseNr(f[cNr], m.Nr) ||
          m.Nr != static_cast<int>(run.Plan.size()) + 1 || m.Nr > run.Info.MessageCount ||
          !ParseRecNos(f[cRecNos], m.Addresses.size(), m.RecNos)) {
        damaged();
        continue;
      }
      run.Plan.push_back(std::move(m));
    } else if (kind == kMessageLine && haveRun) {
      TJournalEntry e;
      e.Time = f[cTime];
      e.Result = JournalResultFromText(f[cResult]);
      e.Reason = f[cReason];
      e.MessageId = f[cMessageId];
      if (!SplitJournalAddresses(f[cAddresses], e.Addresses) || (!f[cNr].empty() && !ParseNr(f[cNr], e.Nr)) ||
          e.Result == TJournalResult::None || !ParseRecNos(f[cRecNos], e.Addresses.size(), e.RecNos)) {
        damaged();
        continue;
      }
      if (e.Nr == 0) {
        if (e.Result == TJournalResult::NotSent && e.Reason.starts_with(kBlockedReason) &&
            (e.Reason.size() == 8 || e.Reason.compare(8, 2, ": ") == 0)) {
          e.Result = TJournalResult::Blocked;
          e.Reason.erase(0, std::min<std::size_t>(e.Reason.size(), 10));
        }
        // A run leaves out few addresses; a flood of such lines is not
        // the writer's and must not fill the memory.
        if (run.Entries.size() >= run.Plan.size() * 100 + 100) {
          damaged();
          continue;
        }
        run.Entries.push_back(std::move(e));
        continue;
      }
      // A result counts only for the message the plan holds, as planned.
      const std::size_t nr = static_cast<std::size_t>(e.Nr);
      if (nr > run.Plan.size() || run.Plan[nr - 1].Addresses != e.Addresses || run.Plan[nr - 1].RecNos != e.RecNos) {
        damaged();
        continue;
      }
      if (lastOf.size() <= nr) lastOf.resize(run.Plan.size() + 1, -1);
      if (lastOf[nr] >= 0) {
        run.Entries[static_cast<std::size_t>(lastOf[nr])] = std::move(e);
      } else {
        lastOf[nr] = static_cast<int>(run.Entries.size());
        run.Entries.push_back(std::move(e));
      }
    } else if (kind == kEndLine && haveRun) {
      run.Ended = true;
      run.EndState = f[cResult];
      run.EndNote = f[cReason];
    } else {
      damaged();
    }
  }
  if (!haveRun)
    throw EJournalError("Das Versandprotokoll \"" + Utf8ToCp1252(path) + "\" enth\xE4lt keine Zeile \xFC" "ber den Lauf.");
  if (run.Plan.size() != static_cast<std::size_t>(run.Info.MessageCount)) run.Broken = true;
  return run;
}

namespace {

// Refuses a folder another user could change: see CheckJournalFolders.
void CheckFolder(std::string folder) {
  // With its trailing '/' lstat would look through a link.
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  struct stat st {};
  if (::lstat(folder.c_str(), &st) != 0) return;  // not there (yet): nothing to trust
  const uid_t me = ::geteuid();
  const std::string shown = "Der Ordner \"" + Utf8ToCp1252(folder) + "\" ";
  const std::string why =
      ". Darin wird kein Versandprotokoll geschrieben oder gelesen, denn ein fremdes Protokoll k\xF6nnte "
      "bestimmen, an wen gesendet wird.";
  if (S_ISLNK(st.st_mode) && st.st_uid != me && st.st_uid != 0)
    throw EJournalError(shown + "ist ein symbolischer Verweis eines anderen Benutzers" + why);
  if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return;  // the writer reports what is not a folder
  if (st.st_uid != me && st.st_uid != 0) throw EJournalError(shown + "geh\xF6rt einem anderen Benutzer" + why);
  if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0)
    throw EJournalError(shown + "kann von anderen Benutzern beschrieben werden" + why +
                        " Bitte nehmen Sie ihnen das Schreibrecht (chmod go-w).");
}

} // namespace

void CheckJournalFolders(const std::string& dataDir) {
  std::string dir = dataDir.empty() ? std::string(".") : dataDir;
  CheckFolder(dir);
  CheckFolder(TSendJournal::Folder(dataDir));
}

std::vector<std::string> ListJournals(const std::string& dataDir) {
  CheckJournalFolders(dataDir);
  std::vector<std::string> names;
  std::error_code ec;
  std::filesystem::directory_iterator it(TSendJournal::Folder(dataDir), ec);
  if (ec) return {};
  for (const auto& entry : it) {
    const std::string name = entry.path().filename().string();
    // Only names the writer makes: a stamp of digits, '-' and '_'.
    if (name.size() < 19 + std::strlen(kSuffix) || !name.ends_with(kSuffix)) continue;
    if (!std::all_of(name.begin(), name.end() - 4,
                     [](char c) { return (c >= '0' && c <= '9') || c == '-' || c == '_'; }))
      continue;
    if (!entry.is_regular_file(ec)) continue;
    names.push_back(name);
  }
  std::sort(names.begin(), names.end(),
            [](const std::string& a, const std::string& b) { return SortKey(a) < SortKey(b); });
  std::vector<std::string> paths;
  for (const std::string& n : names) paths.push_back(TSendJournal::Folder(dataDir) + n);
  return paths;
}

namespace {

// The run line of a journal without reading its plan and results.
std::optional<TJournalRunInfo> ReadRunLine(const std::string& path) {
  TLineReader in(path);
  std::string line;
  std::vector<std::string> f;
  for (int i = 0; i < 2; ++i) {
    if (in.Next(line) != TLineReader::Line) break;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (i == 0) continue;
    TJournalRunInfo info;
    if (!ReadFields(line, f) || f[cLine] != kRunLine || !ReadRunInfo(f, info)) return std::nullopt;
    return info;
  }
  return std::nullopt;
}

} // namespace

std::optional<TJournalRun> LastRunOfMail(const std::string& dataDir, const std::string& mailId,
                                         const std::string& subject, const std::string& mailDate,
                                         const std::string& firstDate) {
  const std::vector<std::string> paths = ListJournals(dataDir);
  for (auto it = paths.rbegin(); it != paths.rend(); ++it) {
    const std::optional<TJournalRunInfo> info = ReadRunLine(*it);
    // A test and a run to one typed address took no part of the mail's
    // recipients: resuming after them would look at the wrong plan.
    if (!info || info->Kind == TJournalRunKind::Test || info->Recipients == kJournalTypedRecipient) continue;
    const bool mine = !info->MailId.empty() ? info->MailId == mailId
                                            : info->Subject == subject && (info->MailDate == mailDate ||
                                                                           (!firstDate.empty() && info->MailDate == firstDate));
    if (mine) return ReadJournal(*it);
  }
  return std::nullopt;
}

std::string FailedAddressesCsv(const TJournalRun& run, const TRecipientList& rows) {
  std::unordered_map<std::uint32_t, std::uint32_t> rowOf;
  for (const TRecipientRow& r : rows)
    if (r.RecNo != 0) rowOf.emplace(r.RecNo, r.Position + 1);
  std::string out(kUtf8Bom);
  out += JournalCsvLine({"Adresse", "Zeile", "Grund"}) + kLineEnd;
  for (const TJournalMessage& m : run.Plan) {
    const TJournalEntry* e = run.LastEntryOf(m.Nr);
    if (e == nullptr || e->Result != TJournalResult::Failed) continue;
    for (std::size_t i = 0; i < m.Addresses.size(); ++i) {
      const auto row = rowOf.find(m.RecNos[i]);
      out += JournalCsvLine({m.Addresses[i], row != rowOf.end() ? std::to_string(row->second) : std::string(),
                             e->Reason}) +
             kLineEnd;
    }
  }
  return out;
}

} // namespace postello
