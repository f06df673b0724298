// The commands of the console front end. Each returns the process exit status.
#pragma once

#include "cli/cli_options.h"

namespace crvl::cli {

// Runs the parsed command line: opens the settings (the given file, or the program's),
// initialises the provider table, and carries out the command.
[[nodiscard]] int runCommandLine(const CommandLine& command);

}  // namespace crvl::cli
