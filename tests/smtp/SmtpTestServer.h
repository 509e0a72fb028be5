#pragma once
// A real SMTP server for the tests: tests/data/send/smtp_test_server.py
// (aiosmtpd) run by Debian's Python, on a port the system picks, with its
// own spool folder. Also a throw-away folder and certificates made with the
// openssl command.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace postello::test {

class TTempDir {
public:
  TTempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "postello-smtp-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    FPath = pattern;
  }
  ~TTempDir() {
    std::error_code ec;
    std::filesystem::remove_all(FPath, ec);
  }
  const std::filesystem::path& Path() const { return FPath; }

private:
  std::filesystem::path FPath;
};

inline std::string ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// A self-signed certificate (it serves as its own authority) for the given
// subjectAltName list, such as "DNS:localhost,IP:127.0.0.1". Files cert.pem
// and key.pem in dir.
inline void MakeCertificate(const std::filesystem::path& dir, const std::string& altNames) {
  const std::string command =
      "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2"
      " -subj /CN=postello-test -addext subjectAltName=" + altNames +
      " -keyout '" + (dir / "key.pem").string() + "' -out '" + (dir / "cert.pem").string() +
      "' 2>/dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

// The same certificate made expired: valid from now, ending a day before.
inline void MakeExpiredCertificate(const std::filesystem::path& dir, const std::string& altNames) {
  MakeCertificate(dir, altNames);
  const std::string command = "openssl x509 -in '" + (dir / "cert.pem").string() + "' -signkey '" +
                              (dir / "key.pem").string() + "' -days -1 -out '" +
                              (dir / "expired.pem").string() + "' 2>/dev/null && mv '" +
                              (dir / "expired.pem").string() + "' '" + (dir / "cert.pem").string() + "'";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

// The SHA-256 fingerprint of a PEM certificate as openssl prints it
// ("AB:CD:..."), or "" when openssl fails.
inline std::string OpensslFingerprint(const std::filesystem::path& pem) {
  const std::string command = "openssl x509 -noout -fingerprint -sha256 -in '" + pem.string() + "' 2>/dev/null";
  std::string out;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buf[256];
    while (fgets(buf, sizeof buf, pipe) != nullptr) out += buf;
    pclose(pipe);
  }
  const size_t eq = out.find('=');
  if (eq == std::string::npos) return {};
  out = out.substr(eq + 1);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

class TSmtpTestServer {
public:
  // Starts the server script (from tests/data/send) with the given extra
  // arguments; Port() is 0 when it failed to come up.
  explicit TSmtpTestServer(const std::vector<std::string>& args,
                           const std::string& script = "smtp_test_server.py") {
    int out[2];
    if (pipe(out) != 0) return;
    std::vector<std::string> argv = {"/usr/bin/python3",
                                     std::string(POSTELLO_TEST_DATA) + "/send/" + script,
                                     "--spool", FSpool.Path().string()};
    argv.insert(argv.end(), args.begin(), args.end());
    FPid = fork();
    if (FPid == 0) {
      dup2(out[1], STDOUT_FILENO);
      // The server's own complaints go to a log beside the messages.
      const int log = open((FSpool.Path() / "server.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (log >= 0) dup2(log, STDERR_FILENO);
      close(out[0]);
      close(out[1]);
      std::vector<char*> raw;
      for (std::string& a : argv) raw.push_back(a.data());
      raw.push_back(nullptr);
      execv(raw[0], raw.data());
      _exit(127);
    }
    close(out[1]);
    FILE* f = fdopen(out[0], "r");
    char line[64] = {};
    if (f != nullptr && fgets(line, sizeof line, f) != nullptr) std::sscanf(line, "PORT %d", &FPort);
    if (f != nullptr) fclose(f);
  }
  ~TSmtpTestServer() {
    if (FPid > 0) {
      kill(FPid, SIGTERM);
      waitpid(FPid, nullptr, 0);
    }
  }
  TSmtpTestServer(const TSmtpTestServer&) = delete;
  TSmtpTestServer& operator=(const TSmtpTestServer&) = delete;

  int Port() const { return FPort; }
  const std::filesystem::path& Spool() const { return FSpool.Path(); }

  // Messages stored so far, in order of arrival.
  int Count() const {
    int n = 0;
    while (std::filesystem::exists(FSpool.Path() / ("msg-" + std::to_string(n + 1) + ".eml"))) ++n;
    return n;
  }
  std::string Message(int n) const {
    return ReadFileBytes(FSpool.Path() / ("msg-" + std::to_string(n) + ".eml"));
  }
  // What the server noted about the message: envelope, SIZE, AUTH, TLS.
  std::string Notes(int n) const {
    return ReadFileBytes(FSpool.Path() / ("msg-" + std::to_string(n) + ".json"));
  }

private:
  TTempDir FSpool;
  pid_t FPid = -1;
  int FPort = 0;
};

// What hostile_smtp_server.py wrote of each connection so far
// (conn-<n>.txt), each read once the server is done with it.
inline std::vector<std::string> HostileTranscripts(const TSmtpTestServer& server) {
  std::vector<std::string> out;
  for (int n = 1;; ++n) {
    const auto path = server.Spool() / ("conn-" + std::to_string(n) + ".txt");
    if (!std::filesystem::exists(path)) return out;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    std::string text = ReadFileBytes(path);
    while (text.find("<END>") == std::string::npos && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      text = ReadFileBytes(path);
    }
    out.push_back(std::move(text));
  }
}

// How often text occurs in all of them.
inline int Occurrences(const std::vector<std::string>& transcripts, const std::string& text) {
  int n = 0;
  for (const std::string& t : transcripts)
    for (std::size_t at = t.find(text); at != std::string::npos; at = t.find(text, at + 1)) ++n;
  return n;
}

} // namespace postello::test
