#include "cli/TCliCommand.h"

#include "core/ProgDir.h"

#include <sys/prctl.h>

#include <iostream>

int main(int argc, char** argv) {
  // Passwords and tokens pass through this process: no core dump may
  // write them to disk, and no other process of the user may read them.
  ::prctl(PR_SET_DUMPABLE, 0);
  const std::vector<std::string> args(argv + 1, argv + argc);
  return postello::RunCli(args, postello::ResolveProgDir(postello::ProgramFileDir()), std::cout, std::cerr);
}
