#include "cli/cli_options.h"

#include <string_view>

namespace crvl::cli {

namespace {

// What follows a command word.
enum class Operand { None, Job, OptionalExport, OnOff };

struct CommandName {
  std::u16string_view name;
  CommandKind kind;
  Operand operand;
};

constexpr CommandName kCommands[] = {
    {u"run", CommandKind::Run, Operand::Job},
    {u"simulate", CommandKind::Simulate, Operand::Job},
    {u"jobs", CommandKind::Jobs, Operand::None},
    {u"logs", CommandKind::Logs, Operand::None},
    {u"tasks", CommandKind::Tasks, Operand::OptionalExport},
    {u"autostart", CommandKind::Autostart, Operand::OnOff},
    {u"daemon", CommandKind::Daemon, Operand::None},
    {u"help", CommandKind::Help, Operand::None},
};

constexpr uint32_t kMaxDelaySeconds = 86400;

// A number of seconds from 0 to 86400; false for anything else.
bool parseDelay(std::u16string_view text, uint32_t* seconds) {
  if (text.empty() || text.size() > 5) return false;
  uint32_t value = 0;
  for (char16_t c : text) {
    if (c < u'0' || c > u'9') return false;
    value = value * 10 + static_cast<uint32_t>(c - u'0');
  }
  if (value > kMaxDelaySeconds) return false;
  *seconds = value;
  return true;
}

}  // namespace

bool parseCommandLine(const std::vector<std::u16string>& args, CommandLine* out, std::u16string* error) {
  *out = CommandLine{};
  std::vector<std::u16string_view> words;
  bool delayGiven = false;
  for (size_t i = 0; i < args.size(); ++i) {
    std::u16string_view a = args[i];
    if (a == u"--delay" || a.substr(0, 8) == u"--delay=") {
      const std::u16string_view value = a.size() > 7 ? a.substr(8) : (i + 1 < args.size() ? std::u16string_view(args[++i]) : u"");
      if (!parseDelay(value, &out->delay)) {
        *error = u"--delay needs a number of seconds from 0 to 86400";
        return false;
      }
      delayGiven = true;
    } else if (a == u"--settings") {
      if (i + 1 >= args.size() || args[i + 1].empty()) {
        *error = u"--settings needs a file";
        return false;
      }
      out->settings = args[++i];
    } else if (a.substr(0, 11) == u"--settings=") {
      if (a.size() == 11) {
        *error = u"--settings needs a file";
        return false;
      }
      out->settings = std::u16string(a.substr(11));
    } else if (a == u"--password-stdin") {
      out->passwordFromInput = true;
    } else if (a == u"--help" || a == u"-h" || a == u"/?") {
      out->kind = CommandKind::Help;
      return true;
    } else if (a == u"--") {
      for (++i; i < args.size(); ++i) words.push_back(args[i]);
    } else if (a.size() > 1 && a[0] == u'-') {
      *error = u"unknown option " + std::u16string(a);
      return false;
    } else {
      words.push_back(a);
    }
  }
  if (words.empty()) {
    *error = u"no command given";
    return false;
  }
  for (const CommandName& c : kCommands) {
    if (words[0] != c.name) continue;
    out->kind = c.kind;
    if (delayGiven && c.kind != CommandKind::Daemon) {
      *error = u"--delay goes with daemon only";
      return false;
    }
    const size_t most = c.operand == Operand::None ? 1 : 2;
    if (words.size() > most) {
      *error = u"unexpected argument " + std::u16string(words[most]);
      return false;
    }
    const std::u16string_view operand = words.size() > 1 ? words[1] : std::u16string_view();
    switch (c.operand) {
      case Operand::None:
        break;
      case Operand::Job:
        if (words.size() < 2) {
          *error = std::u16string(c.name) + u" needs a job name or a .job file";
          return false;
        }
        if (operand.empty()) {
          *error = u"the job name is empty";
          return false;
        }
        out->job = operand;
        break;
      case Operand::OptionalExport:
        if (words.size() > 1 && operand != u"export") {
          *error = u"unknown word " + std::u16string(operand) + u" after tasks (only export)";
          return false;
        }
        out->word = operand;
        break;
      case Operand::OnOff:
        if (operand != u"on" && operand != u"off") {
          *error = u"autostart needs on or off";
          return false;
        }
        out->word = operand;
        break;
    }
    return true;
  }
  *error = u"unknown command " + std::u16string(words[0]);
  return false;
}

std::u16string usageText() {
  return u"Usage: crvl [--settings FILE] [--password-stdin] COMMAND\n"
         u"  run JOB          run a job (a name from the job register or a path to a .job file)\n"
         u"  simulate JOB     report what a run would do, change nothing\n"
         u"  jobs             list the job register\n"
         u"  logs             list the job logs, newest first\n"
         u"  tasks            list the start, availability and timed tasks\n"
         u"  tasks export     hand the timed tasks to the system's scheduler\n"
         u"  autostart on|off start the daemon (Windows: the tray program) with the session\n"
         u"  daemon           run the start and availability tasks until stopped\n"
         u"                   (Ctrl+C or SIGTERM; ends by itself when no task is left)\n"
         u"    --delay SECONDS  wait this long before the tasks start (at most 86400)\n"
         u"  --settings FILE  use another program settings file\n"
         u"  --password-stdin when a file-system plug-in asks for a password, read it from the\n"
         u"                   first line of standard input (asked once, kept in memory only)\n"
         u"Exit status: 0 all actions succeeded, 1 some actions failed, 2 usage error,\n"
         u"unknown job or unreadable job file, 3 stopped by the user (Ctrl+C),\n"
         u"4 the job is running already (in this or another program); nothing was done.\n";
}

}  // namespace crvl::cli
