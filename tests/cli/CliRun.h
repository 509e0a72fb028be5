#pragma once
// Runs the built postello-cli with a command line and returns its exit
// status and both outputs.
#include "../core/TestBytes.h"

#include <cstdlib>
#include <string>
#include <sys/wait.h>

namespace postello::test {

struct Result {
  int status = -1;
  std::string out, err;
};

inline Result Cli(const std::string& args) {
  TempDir tmp;
  const std::string cmd =
      std::string(POSTELLO_BIN_DIR) + "/postello-cli " + args + " >" + tmp.file("out") + " 2>" + tmp.file("err");
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

} // namespace postello::test
