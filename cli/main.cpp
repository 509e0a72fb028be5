#include "cli/TCliCommand.h"

#include "core/ProgDir.h"

#include <iostream>

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  return postello::RunCli(args, postello::ResolveProgDir(postello::ProgramFileDir()), std::cout, std::cerr);
}
