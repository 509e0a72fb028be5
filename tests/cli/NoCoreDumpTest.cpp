// Both programs hold passwords and tokens in memory: they switch off core
// dumps (and with them other processes' access to their memory) at once.
// The kernel shows the files of such a process in /proc as owned by root.
#include "../core/TestBytes.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

namespace {

// The "Name:" line of /proc/PID/status, which exec sets.
std::string NameOf(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  std::getline(in, line);
  return line.starts_with("Name:\t") ? line.substr(6) : std::string();
}

TEST(NoCoreDump, BothProgramsAreNotDumpable) {
  // As root, the programs run as nobody, or root would own /proc/PID anyway.
  const uid_t user = ::getuid() == 0 ? 65534 : ::getuid();
  postello::test::TempDir home;
  ::chmod(home.path().c_str(), 0777);
  const struct {
    std::string Program;
    std::vector<std::string> Args;
  } cases[] = {
      // Waits for the client secret on standard input.
      {"postello-cli", {"oauth", "--account", "0", "--provider", "google", "--client-id", "x", "--client-secret-stdin"}},
      // A copy, so the program folder it makes its state files in is a
      // throw-away one.
      {"postello", {}},
  };
  for (const auto& c : cases) {
    std::filesystem::path program = std::filesystem::path(POSTELLO_BIN_DIR) / c.Program;
    if (!std::filesystem::exists(program)) continue;  // built without the window program
    if (c.Program == "postello") {
      std::filesystem::copy_file(program, std::filesystem::path(home.path()) / c.Program);
      program = std::filesystem::path(home.path()) / c.Program;
    }
    int input[2];
    ASSERT_EQ(::pipe(input), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::dup2(input[0], STDIN_FILENO);
      ::close(input[1]);
      const int null = ::open("/dev/null", O_WRONLY);
      ::dup2(null, STDOUT_FILENO);
      ::dup2(null, STDERR_FILENO);
      ::setenv("HOME", home.path().c_str(), 1);
      ::setenv("XDG_DATA_HOME", home.path().c_str(), 1);
      ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
      ::setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent", 1);
      if (::getuid() == 0 && (::setgid(user) != 0 || ::setuid(user) != 0)) ::_exit(126);
      std::vector<std::string> args = c.Args;
      args.insert(args.begin(), program.string());
      std::vector<char*> argv;
      for (std::string& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    ::close(input[0]);
    // Once exec has named the process, the owner of its files tells.
    uid_t owner = user;
    for (int i = 0; i < 200 && owner != 0; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      struct stat st {};
      if (NameOf(pid) == c.Program && ::stat(("/proc/" + std::to_string(pid) + "/environ").c_str(), &st) == 0)
        owner = st.st_uid;
    }
    EXPECT_EQ(owner, 0u) << c.Program;
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    ::close(input[1]);
  }
}

} // namespace
