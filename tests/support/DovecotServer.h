#pragma once
// A real IMAP server for tests: Debian's Dovecot run as a child process on
// loopback ports, with its configuration, a throw-away certificate, a
// password file and the Maildirs all in a temporary folder that goes away
// with it. Messages are seeded by dropping files into a Maildir.
#include "support/LoopbackPort.h"

#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace postello::test {

class TDovecotServer {
public:
  // separator: "/" (folders as directories) or "." (Maildir++ names).
  explicit TDovecotServer(char separator = '/') : FSeparator(separator) {
    std::string pattern = (std::filesystem::temp_directory_path() / "postello-imap-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    FDir = pattern;
    // Dovecot's own processes, as root, run as an unprivileged user that
    // must reach the Maildirs.
    std::filesystem::permissions(FDir, std::filesystem::perms(0755));
    if (getuid() == 0) {
      const passwd* pw = getpwnam("nobody");
      const group* gr = getgrnam("nogroup");
      if (pw == nullptr || gr == nullptr) throw std::runtime_error("user nobody or group nogroup missing");
      FUser = "nobody";
      FGroup = "nogroup";
      FUid = pw->pw_uid;
      FGid = gr->gr_gid;
    } else {
      FUser = getpwuid(getuid())->pw_name;
      FGroup = getgrgid(getgid())->gr_name;
      FUid = getuid();
      FGid = getgid();
    }
    Run("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2"
        " -subj /CN=postello-test -addext subjectAltName=DNS:localhost,IP:127.0.0.1 -keyout '" +
        Path("key.pem") + "' -out '" + Path("cert.pem") + "' 2>/dev/null");
    std::filesystem::create_directories(FDir / "home");
    std::filesystem::create_directories(FDir / "run");
    Own(FDir / "home");
    FPlainPort = UnusedLoopbackPort();
    FTlsPort = UnusedLoopbackPort();
    WriteConfig();
  }

  ~TDovecotServer() {
    Stop();
    std::error_code ec;
    std::filesystem::remove_all(FDir, ec);
  }

  TDovecotServer(const TDovecotServer&) = delete;
  TDovecotServer& operator=(const TDovecotServer&) = delete;

  // A user with a password; call before Start.
  void AddUser(const std::string& user, const std::string& password) {
    std::ofstream(FDir / "passwd", std::ios::app) << user << ":{PLAIN}" << password << "::::::\n";
    Seed(user, "INBOX", {});
  }

  // Starts Dovecot and waits until both ports take connections.
  void Start() {
    FPid = fork();
    if (FPid == 0) {
      execlp("dovecot", "dovecot", "-F", "-c", Path("dovecot.conf").c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!Listening(FPlainPort) || !Listening(FTlsPort)) {
      int status = 0;
      if (waitpid(FPid, &status, WNOHANG) == FPid) {
        FPid = -1;
        throw std::runtime_error("dovecot ended at start: " + Log());
      }
      if (std::chrono::steady_clock::now() > until) throw std::runtime_error("dovecot does not listen: " + Log());
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }

  void Stop() {
    if (FPid <= 0) return;
    kill(FPid, SIGTERM);
    int status = 0;
    waitpid(FPid, &status, 0);
    FPid = -1;
  }

  // Drops messages into a folder of the user's Maildir ("/"-separated
  // levels; INBOX is the Maildir itself), as delivered and unread.
  void Seed(const std::string& user, const std::string& folder, const std::vector<std::string>& messages) {
    const std::filesystem::path dir = FolderDir(user, folder);
    for (const char* sub : {"cur", "new", "tmp"}) std::filesystem::create_directories(dir / sub);
    for (const std::string& message : messages) {
      const std::filesystem::path file = dir / "new" / (std::to_string(++FSeeded) + ".postello-test");
      std::ofstream(file, std::ios::binary) << message;
    }
    Own(FDir / "home");
  }

  // Number of messages in a folder of the Maildir (new and cur).
  std::size_t Messages(const std::string& user, const std::string& folder) const {
    std::size_t n = 0;
    const std::filesystem::path dir = FolderDir(user, folder);
    for (const char* sub : {"cur", "new"})
      if (std::filesystem::exists(dir / sub))
        for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir / sub)) ++n;
    return n;
  }

  std::filesystem::path FolderDir(const std::string& user, const std::string& folder) const {
    std::filesystem::path dir = FDir / "home" / user / "Maildir";
    if (folder == "INBOX") return dir;
    if (FSeparator == '/') return dir / folder;
    std::string name = folder;
    for (char& c : name)
      if (c == '/') c = '.';
    return dir / ("." + name);
  }

  int PlainPort() const { return FPlainPort; }  // STARTTLS
  int TlsPort() const { return FTlsPort; }      // TLS from the first byte
  std::string CertificateFile() const { return Path("cert.pem"); }
  std::string Log() const {
    std::ifstream in(FDir / "log");
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

private:
  std::string Path(const char* name) const { return (FDir / name).string(); }

  static void Run(const std::string& command) {
    if (std::system(command.c_str()) != 0) throw std::runtime_error("failed: " + command);
  }

  void Own(const std::filesystem::path& root) const {
    if (getuid() != 0) return;
    if (chown(root.c_str(), FUid, FGid) != 0) throw std::runtime_error("chown failed: " + root.string());
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
      if (chown(entry.path().c_str(), FUid, FGid) != 0) throw std::runtime_error("chown failed");
  }

  static bool Listening(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    close(fd);
    return ok;
  }

  void WriteConfig() const {
    const std::string dir = FDir.string();
    std::ofstream conf(FDir / "dovecot.conf");
    conf << "base_dir = " << dir << "/run\n"
         << "state_dir = " << dir << "/run\n"
         << "log_path = " << dir << "/log\n"
         << "protocols = imap\n"
         << "listen = 127.0.0.1\n"
         << "ssl = yes\nssl_cert = <" << dir << "/cert.pem\nssl_key = <" << dir << "/key.pem\n"
         << "disable_plaintext_auth = no\n"
         << "auth_mechanisms = plain login\nauth_failure_delay = 0\n"
         << "default_internal_user = " << FUser << "\ndefault_internal_group = " << FGroup << "\n"
         << "default_login_user = " << FUser << "\n"
         << "first_valid_uid = 1\n"
         << "passdb {\n  driver = passwd-file\n  args = " << dir << "/passwd\n}\n"
         << "userdb {\n  driver = static\n  args = uid=" << FUser << " gid=" << FGroup << " home=" << dir
         << "/home/%u\n}\n"
         << "mail_location = maildir:~/Maildir" << (FSeparator == '/' ? ":LAYOUT=fs" : "") << "\n"
         << "namespace inbox {\n  inbox = yes\n  separator = " << FSeparator << "\n}\n"
         << "service imap-login {\n  chroot =\n"
         << "  inet_listener imap {\n    port = " << FPlainPort << "\n  }\n"
         << "  inet_listener imaps {\n    port = " << FTlsPort << "\n    ssl = yes\n  }\n}\n"
         << "service anvil {\n  chroot =\n}\n";
  }

  char FSeparator;
  std::filesystem::path FDir;
  std::string FUser, FGroup;
  uid_t FUid = 0;
  gid_t FGid = 0;
  int FPlainPort = 0;
  int FTlsPort = 0;
  pid_t FPid = -1;
  int FSeeded = 0;
};

} // namespace postello::test
