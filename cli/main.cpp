#include <iostream>
#include <string>
#include <vector>

#include "cli/app.h"
#include "cli/system.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  return fxaa_cli::RunFxaa(args, std::cout, std::cerr, fxaa_cli::StandardErrorIsTerminal());
}
