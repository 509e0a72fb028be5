#include "core/SafeFile.h"

#include "core/Cp1252.h"
#include "core/CountedNoun.h"
#include "core/SystemErrorText.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace postello {
namespace {

std::string Reason(int err) { return SystemErrorText(err); }

[[noreturn]] void Fail(const std::string& path, int err) {
  throw ESaveError("Die Datei \"" + Utf8ToCp1252(path) + "\" konnte nicht gespeichert werden: " + Reason(err));
}

} // namespace

std::optional<std::string> ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  if (size < 0) return std::nullopt;
  in.seekg(0, std::ios::beg);
  std::string data(static_cast<std::size_t>(size), '\0');
  if (size > 0 && !in.read(data.data(), size)) return std::nullopt;
  return data;
}

void SaveFileSafely(const std::string& path, std::string_view bytes, unsigned mode) {
  std::string tmp = path + ".tmpXXXXXX";
  const int fd = ::mkstemp(tmp.data());
  if (fd < 0) Fail(path, errno);
  // mkstemp creates 0600; widen to the wanted mode, keeping an existing
  // file's stricter bits when it has them.
  struct stat st {};
  const mode_t wanted = ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777 & mode) : mode;
  ::fchmod(fd, wanted);
  const char* p = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      ::close(fd);
      ::unlink(tmp.c_str());
      Fail(path, err);
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  if (::fsync(fd) != 0 || ::close(fd) != 0) {
    const int err = errno;
    ::unlink(tmp.c_str());
    Fail(path, err);
  }
  if (::rename(tmp.c_str(), path.c_str()) != 0) {
    const int err = errno;
    ::unlink(tmp.c_str());
    Fail(path, err);
  }
}

std::string KeepDamagedCopy(const std::string& path) {
  namespace fs = std::filesystem;
  for (int k = 1; k < 1000; ++k) {
    const std::string name = path + ".defekt" + (k == 1 ? std::string() : std::to_string(k));
    std::error_code ec;
    if (fs::exists(name, ec)) continue;
    if (fs::copy_file(path, name, ec)) return name;
    return {};
  }
  return {};
}

std::string DescribeDamagedFile(const std::string& path, const EInOutError& error,
                                std::size_t loaded, std::string_view singular, std::string_view plural) {
  const std::string kept = KeepDamagedCopy(path);
  std::string text = "Die Datei \"" + Utf8ToCp1252(path) + "\" ist besch\xE4" "digt (Byte " +
                     std::to_string(error.Offset()) + "): " + error.what() + ".\n" +
                     CountedNoun(loaded, singular, plural) + " davor " + std::string(ByCount(loaded, "wurde", "wurden")) +
                     " geladen.";
  if (!kept.empty()) {
    text += " Die besch\xE4" "digte Datei bleibt als \"" + Utf8ToCp1252(kept) + "\" erhalten.";
  }
  return text;
}

} // namespace postello
