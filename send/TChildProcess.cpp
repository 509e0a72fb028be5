#include "send/TChildProcess.h"

#include "core/TFd.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace postello {
namespace {

// How long one wait may last: a cancel is noticed within this.
constexpr long long kWaitSliceMs = 50;

int RemainingMs(std::chrono::steady_clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  return left.count() <= 0 ? 0 : static_cast<int>(std::min<long long>(left.count(), kWaitSliceMs));
}

} // namespace

TChildResult TChildProcess::Run(const std::vector<std::string>& argv, std::string_view input,
                                std::chrono::milliseconds timeout, std::size_t maxOutput) {
  TChildResult r;
  if (argv.empty()) return r;
  // A socket pair for the input, so that writing to a child that stopped
  // reading gives an error (MSG_NOSIGNAL) instead of SIGPIPE.
  int in[2], out[2], report[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, in) != 0) {
    r.StartErrno = errno;
    return r;
  }
  TFd inParent{in[0]}, inChild{in[1]};
  if (::pipe2(out, O_CLOEXEC) != 0) {
    r.StartErrno = errno;
    return r;
  }
  TFd outParent{out[0]}, outChild{out[1]};
  // Closed by a successful exec; otherwise carries the exec's errno.
  if (::pipe2(report, O_CLOEXEC) != 0) {
    r.StartErrno = errno;
    return r;
  }
  TFd reportParent{report[0]}, reportChild{report[1]};
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  const pid_t pid = ::fork();
  if (pid < 0) {
    r.StartErrno = errno;
    return r;
  }
  if (pid == 0) {
    // Only async-signal-safe calls until exec.
    const int devNull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (::dup2(inChild.Fd, 0) < 0 || ::dup2(outChild.Fd, 1) < 0 || devNull < 0 || ::dup2(devNull, 2) < 0) _exit(127);
    ::execvp(args[0], args.data());
    const int e = errno;
    (void)!::write(reportChild.Fd, &e, sizeof e);
    _exit(127);
  }
  inChild.Close();
  outChild.Close();
  reportChild.Close();
  int execErrno = 0;
  ssize_t got;
  do got = ::read(reportParent.Fd, &execErrno, sizeof execErrno);
  while (got < 0 && errno == EINTR);
  if (got == static_cast<ssize_t>(sizeof execErrno)) {
    int status;
    ::waitpid(pid, &status, 0);
    r.StartErrno = execErrno;
    return r;
  }
  r.Started = true;

  ::fcntl(inParent.Fd, F_SETFL, ::fcntl(inParent.Fd, F_GETFL) | O_NONBLOCK);
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::size_t written = 0;
  if (input.empty()) inParent.Close();
  char buffer[65536];
  const auto cancelled = [this] { return Cancel && Cancel->load(); };
  while (outParent.Fd >= 0) {
    if (cancelled()) {
      r.Cancelled = true;
      break;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      r.TimedOut = true;
      break;
    }
    pollfd fds[2] = {{outParent.Fd, POLLIN, 0}, {inParent.Fd, POLLOUT, 0}};
    const int n = ::poll(fds, inParent.Fd >= 0 ? 2 : 1, RemainingMs(deadline));
    if (n < 0 && errno != EINTR) break;
    if (n <= 0) continue;
    if (inParent.Fd >= 0 && (fds[1].revents & (POLLOUT | POLLERR | POLLHUP))) {
      const ssize_t w = ::send(inParent.Fd, input.data() + written, input.size() - written, MSG_NOSIGNAL);
      if (w > 0) written += static_cast<std::size_t>(w);
      // A child that reads no further gets no more.
      if ((w < 0 && errno != EAGAIN && errno != EINTR) || written == input.size()) inParent.Close();
    }
    if (fds[0].revents & (POLLIN | POLLERR | POLLHUP)) {
      const ssize_t g = ::read(outParent.Fd, buffer, sizeof buffer);
      if (g < 0 && errno == EINTR) continue;
      if (g <= 0) {
        outParent.Close();
        break;
      }
      const std::size_t keep = std::min(static_cast<std::size_t>(g), maxOutput - std::min(maxOutput, r.Output.size()));
      r.Output.append(buffer, keep);
      if (keep < static_cast<std::size_t>(g)) r.Truncated = true;
    }
  }
  inParent.Close();
  outParent.Close();
  // A child that closed its output may still be running: it gets the rest
  // of the time, then it is killed.
  int status = 0;
  for (;;) {
    const bool stop = r.TimedOut || r.Cancelled;
    const pid_t done = stop ? 0 : ::waitpid(pid, &status, WNOHANG);
    if (done == pid || (done < 0 && errno != EINTR)) break;
    if (!stop && cancelled()) r.Cancelled = true;
    if (r.Cancelled || r.TimedOut || std::chrono::steady_clock::now() >= deadline) {
      r.TimedOut = !r.Cancelled;
      ::kill(pid, SIGKILL);
      while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
      break;
    }
    ::usleep(10000);
  }
  r.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

} // namespace postello
