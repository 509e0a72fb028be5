#pragma once
// Runs the built postello-cli with a command line and returns its exit
// status and both outputs.
#include "../core/TestBytes.h"

#include <chrono>
#include <csignal>
#include <filesystem>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace postello::test {

struct Result {
  int status = -1;
  std::string out, err;
};

// prefix goes before the command line (e.g. "cd 'x' && ", "" for none).
inline Result Cli(const std::string& args, const std::string& prefix = {}) {
  TempDir tmp;
  const std::string cmd = prefix + std::string(POSTELLO_BIN_DIR) + "/postello-cli " + args + " >" +
                          tmp.file("out") + " 2>" + tmp.file("err");
  const int rc = std::system(cmd.c_str());
  Result r;
  r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  r.out = ReadFile(tmp.file("out"));
  r.err = ReadFile(tmp.file("err"));
  return r;
}

// Runs postello-cli on the program folder dir; args are shell-quoted
// already.
inline Result CliIn(const std::string& dir, const std::string& args) { return Cli(args + " --dir '" + dir + "'"); }

// The same with the outputs kept in outDir (outside the folder, which a
// test may list) and prefix before the command (variables of the
// environment, "" for none).
inline Result CliIn(const std::string& dir, const std::string& args, const std::filesystem::path& outDir,
                    const std::string& prefix = {}) {
  const std::string out = (outDir / "o").string(), err = (outDir / "e").string();
  const std::string cmd = prefix + std::string(POSTELLO_BIN_DIR) + "/postello-cli " + args + " --dir '" + dir +
                          "' >'" + out + "' 2>'" + err + "'";
  const int rc = std::system(cmd.c_str());
  Result r;
  r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  r.out = ReadFile(out);
  r.err = ReadFile(err);
  return r;
}

// The umlauts of expected texts (Windows-1252) as the command line prints
// them, in UTF-8.
inline std::string Utf8(const std::string& cp1252) {
  std::string out;
  for (char c : cp1252) {
    switch (static_cast<unsigned char>(c)) {
      case 0xE4: out += "\xC3\xA4"; break;
      case 0xF6: out += "\xC3\xB6"; break;
      case 0xFC: out += "\xC3\xBC"; break;
      case 0xD6: out += "\xC3\x96"; break;
      case 0xDF: out += "\xC3\x9F"; break;
      default: out += c;
    }
  }
  return out;
}

// Starts postello-cli with args in the background, standard output and
// error going to the files out and err; returns its process id.
inline pid_t StartCli(const std::vector<std::string>& args, const std::string& out, const std::string& err) {
  const std::string bin = std::string(POSTELLO_BIN_DIR) + "/postello-cli";
  // Built before the fork: the child only opens, duplicates and executes.
  std::vector<char*> argv{const_cast<char*>(bin.c_str())};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDOUT_FILENO);
    dup2(open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDERR_FILENO);
    execv(bin.c_str(), argv.data());
    _exit(127);
  }
  return pid;
}

// Sends Ctrl-C to pid once ready() holds (after 20 s at the latest) and
// returns its wait status.
inline int InterruptWhen(pid_t pid, const std::function<bool()>& ready) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!ready() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  kill(pid, SIGINT);
  int status = 0;
  waitpid(pid, &status, 0);
  return status;
}

} // namespace postello::test
