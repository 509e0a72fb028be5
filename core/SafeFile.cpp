#include "core/SafeFile.h"

#include "core/Cp1252.h"
#include "core/CountedNoun.h"
#include "core/SystemErrorText.h"
#include "core/TFd.h"

#include <algorithm>
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
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
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

bool OpenStateFile(const std::string& path, std::ifstream& in, std::uint64_t& size) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  in.open(path, std::ios::binary);
  if (!in) return false;
  size = static_cast<std::uint64_t>(st.st_size);
  return true;
}

namespace {

constexpr std::size_t kBlock = 64 * 1024;

// Reads up to n bytes at offset; the count read, -1 on an error.
ssize_t ReadAt(int fd, char* buf, std::size_t n, off_t offset) {
  for (;;) {
    const ssize_t got = ::pread(fd, buf, n, offset);
    if (got >= 0 || errno != EINTR) return got;
  }
}

// Both files, of the same length, hold the same bytes.
bool SameContent(int a, int b, off_t length) {
  std::string ba(kBlock, '\0'), bb(kBlock, '\0');
  for (off_t at = 0; at < length;) {
    const std::size_t want = static_cast<std::size_t>(std::min<off_t>(kBlock, length - at));
    if (ReadAt(a, ba.data(), want, at) != static_cast<ssize_t>(want)) return false;
    if (ReadAt(b, bb.data(), want, at) != static_cast<ssize_t>(want)) return false;
    if (std::memcmp(ba.data(), bb.data(), want) != 0) return false;
    at += static_cast<off_t>(want);
  }
  return true;
}

bool CopyContent(int from, int to) {
  std::string buf(kBlock, '\0');
  for (off_t at = 0;;) {
    const ssize_t got = ReadAt(from, buf.data(), kBlock, at);
    if (got < 0) return false;
    if (got == 0) break;
    for (ssize_t done = 0; done < got;) {
      const ssize_t n = ::write(to, buf.data() + done, static_cast<std::size_t>(got - done));
      if (n < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      done += n;
    }
    at += got;
  }
  return ::fsync(to) == 0;
}

} // namespace

std::string KeepDamagedCopy(const std::string& path) {
  struct stat st {};
  // A link points at a file that is not ours to copy; anything else that
  // is no regular file has no content to keep.
  if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
  const TFd src(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (src.Fd < 0 || ::fstat(src.Fd, &st) != 0) return {};

  std::string freeName;
  for (int k = 1; k < 1000; ++k) {
    const std::string name = path + ".defekt" + (k == 1 ? std::string() : std::to_string(k));
    struct stat cst {};
    if (::lstat(name.c_str(), &cst) != 0) {
      if (errno == ENOENT && freeName.empty()) freeName = name;
      continue;
    }
    if (!S_ISREG(cst.st_mode) || cst.st_size != st.st_size) continue;
    const TFd copy(::open(name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (copy.Fd >= 0 && SameContent(src.Fd, copy.Fd, st.st_size)) return name;
  }
  if (freeName.empty()) return {};
  // O_EXCL with O_NOFOLLOW: never through a link someone placed there, never
  // over a file that appeared meanwhile. The copy may hold passwords.
  const TFd dst(::open(freeName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (dst.Fd < 0) return {};
  if (!CopyContent(src.Fd, dst.Fd)) {
    ::unlink(freeName.c_str());
    return {};
  }
  return freeName;
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
