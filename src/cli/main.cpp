// crvl (Linux) and crvlc.exe (Windows): the console front end.
#include "cli/cli_options.h"
#include "cli/commands.h"
#include "cli/completion.h"
#include "platform/console.h"
#include "platform/modules.h"

int main(int argc, char** argv) {
  using namespace crvl;
  // Libraries are never taken from the current folder.
  platform::restrictLibrarySearch();
  try {
    std::vector<std::u16string> args = platform::commandArguments(argc, argv);
    if (!args.empty() && args[0] == cli::kCompleteCommand) {
      args.erase(args.begin());
      return cli::printCompletion(args);
    }
    cli::CommandLine command;
    std::u16string error;
    if (!cli::parseCommandLine(args, &command, &error)) {
      platform::writeConsole(platform::ConsoleStream::Err, cli::usageErrorText(command, error));
      return cli::kExitUsage;
    }
    return cli::runCommandLine(command);
  } catch (...) {
    platform::writeConsole(platform::ConsoleStream::Err, u"crvl: out of memory\n");
    return cli::kExitActionsFailed;
  }
}
