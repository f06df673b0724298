// The command line of the console front end: global options, a command of one or two
// words, its operands and its options. Every command, its operands and options, and
// its usage line stand in one table (cli_options.cpp), which the parser, `--help` and
// the usage text all read.
//
//   crvl [--settings FILE] [--password-stdin] [--json] COMMAND [OPERANDS] [OPTIONS]
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace crvl::cli {

enum class CommandKind {
  Run, Simulate,
  Jobs, JobNew, JobShow, JobSet, JobRemove, JobRename, JobOrder,
  Tasks, TaskAdd, TaskRemove, TasksExport,
  PluginList, PluginAdd, PluginEnable, PluginDisable, PluginRemove,
  SftpAdd, SftpList, SftpRemove,
  ConfigShow, ConfigSet,
  Logs, LogsShow, LogsRemove,
  Autostart, Daemon,
  Help, Version,
};

// One option as given: its name without the dashes and its values (none for a switch,
// two for a folder pair).
struct GivenOption {
  std::u16string name;
  std::vector<std::u16string> values;
};

struct CommandLine {
  CommandKind kind = CommandKind::Help;
  std::vector<std::u16string> operands;    // after the command words
  std::vector<GivenOption> options;        // the command's options in the order given
  std::optional<std::u16string> settings;  // --settings FILE (or --settings=FILE)
  // --password-stdin: the first line of standard input answers the first password
  // request (of a plug-in, or of the account of timed tasks) and every later one.
  bool passwordFromInput = false;
  bool json = false;          // --json: listings as JSON
  bool commandHelp = false;   // COMMAND --help: that command's usage
  std::u16string group;       // "job --help": the commands that start with this word
  // On a usage error: the command words the mistake belongs to ("run", "job new"), or
  // empty when it names no command; the hint points at that command's --help.
  std::u16string usageCommand;

  // The first operand (run, simulate: the job), or empty.
  [[nodiscard]] const std::u16string& job() const;
  // The values of every occurrence of option `name`, in order.
  [[nodiscard]] std::vector<const GivenOption*> all(std::u16string_view name) const;
  // The first value of the last occurrence of `name`, or nothing.
  [[nodiscard]] std::optional<std::u16string> value(std::u16string_view name) const;
  [[nodiscard]] bool has(std::u16string_view name) const { return !all(name).empty(); }
};

// Exit statuses.
enum ExitStatus : int {
  kExitOk = 0,              // every action succeeded
  kExitActionsFailed = 1,
  kExitUsage = 2,           // usage error, bad input, unknown job, unreadable job file
  kExitStopped = 3,         // stopped by the user
  kExitAlreadyRunning = 4,  // the job is running already (here or in another process)
};

// Parses the arguments (without the program name). Options may stand before, between
// or after the command words; "--" ends the options, and every other word that starts
// with '-' (but "-" alone) is an option, never an operand: "-h", "-v" and "-q" stand for
// --help, --verbose and --quiet. On a usage error returns false with a one-line reason
// in `*error` that names the offending word, led by the command ("run: unknown option
// \"-x\""), and the command in out->usageCommand.
[[nodiscard]] bool parseCommandLine(const std::vector<std::u16string>& args, CommandLine* out,
                                    std::u16string* error);

// The usage text of every command, ending in a line end.
[[nodiscard]] std::u16string usageText();
// The usage of one command: its line, what it does, and its options.
[[nodiscard]] std::u16string commandUsage(CommandKind kind);
// The usage of every command that starts with the word `first` ("job", "task"...).
[[nodiscard]] std::u16string groupUsage(std::u16string_view first);
// The two lines of a usage error: "crvl: " and the reason, then the help to read
// ("crvl run --help", or "crvl --help" when no command is known).
[[nodiscard]] std::u16string usageErrorText(const CommandLine& line, std::u16string_view error);
// The program's version line.
[[nodiscard]] std::u16string versionText();

// What may stand at the word being completed, from the same tables as the parser.
enum class CompletionFiles { None, Files, Folders };
struct CompletionReply {
  std::vector<std::u16string> words;  // commands, options and fixed values
  bool jobNames = false;              // the job names of the register
  bool configKeys = false;            // the keys of "config set"
  std::u16string configValuesOf;      // the values "config set" offers for this key
  CompletionFiles files = CompletionFiles::None;
  std::optional<std::u16string> settings;  // a --settings among the words before
};

// The completion of the word `current` after `before` (the arguments without the
// program name, as typed so far): options when `current` starts with '-', else the
// command words, operands or option values that may stand there. `words` holds only
// those that start with `current`; the rest is for the caller to match.
[[nodiscard]] CompletionReply completeArguments(const std::vector<std::u16string>& before,
                                                std::u16string_view current);

// A duration: a number of seconds, or a number followed by "s", "m", "h" or "d"
// (seconds, minutes, hours, days). False for anything else or beyond 10 years.
[[nodiscard]] bool parseDuration(std::u16string_view text, uint64_t* seconds);

}  // namespace crvl::cli
