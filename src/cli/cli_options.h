// The command line of the console front end:
//   crvl [--settings FILE] [--password-stdin] run JOB | simulate JOB | jobs | logs |
//        tasks [export] | autostart on|off | daemon [--delay SECONDS] | help
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace crvl::cli {

enum class CommandKind { Run, Simulate, Jobs, Logs, Tasks, Autostart, Daemon, Help };

struct CommandLine {
  CommandKind kind = CommandKind::Help;
  std::u16string job;                        // run and simulate: a register name or a .job path
  std::u16string word;                       // tasks: "export" or empty; autostart: "on" or "off"
  uint32_t delay = 0;                        // daemon: --delay SECONDS (at most 86400)
  std::optional<std::u16string> settings;    // --settings FILE (or --settings=FILE)
  // --password-stdin: the first line of standard input answers the first password
  // request of a plug-in (and every later one, as the remembered password).
  bool passwordFromInput = false;
};

// Exit statuses.
enum ExitStatus : int {
  kExitOk = 0,          // every action succeeded
  kExitActionsFailed = 1,
  kExitUsage = 2,       // usage error, unknown job, unreadable job file
  kExitStopped = 3,     // stopped by the user
  kExitAlreadyRunning = 4,  // the job is running already (here or in another process)
};

// Parses the arguments (without the program name). Options may stand before or after
// the command. On a usage error returns false with a one-line reason in `*error`.
[[nodiscard]] bool parseCommandLine(const std::vector<std::u16string>& args, CommandLine* out,
                                    std::u16string* error);

// The usage text, ending in a line end.
[[nodiscard]] std::u16string usageText();

}  // namespace crvl::cli
