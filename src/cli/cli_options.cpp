#include "cli/cli_options.h"

#include <string_view>

namespace crvl::cli {

namespace {

struct CommandName {
  std::u16string_view name;
  CommandKind kind;
  bool takesJob;
};

constexpr CommandName kCommands[] = {
    {u"run", CommandKind::Run, true},     {u"simulate", CommandKind::Simulate, true},
    {u"jobs", CommandKind::Jobs, false},  {u"logs", CommandKind::Logs, false},
    {u"help", CommandKind::Help, false},
};

}  // namespace

bool parseCommandLine(const std::vector<std::u16string>& args, CommandLine* out, std::u16string* error) {
  *out = CommandLine{};
  std::vector<std::u16string_view> words;
  for (size_t i = 0; i < args.size(); ++i) {
    std::u16string_view a = args[i];
    if (a == u"--settings") {
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
    const size_t wanted = c.takesJob ? 2 : 1;
    if (words.size() < wanted) {
      *error = std::u16string(c.name) + u" needs a job name or a .job file";
      return false;
    }
    if (words.size() > wanted) {
      *error = u"unexpected argument " + std::u16string(words[wanted]);
      return false;
    }
    if (c.takesJob) {
      if (words[1].empty()) {
        *error = u"the job name is empty";
        return false;
      }
      out->job = words[1];
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
         u"  --settings FILE  use another program settings file\n"
         u"  --password-stdin when a file-system plug-in asks for a password, read it from the\n"
         u"                   first line of standard input (asked once, kept in memory only)\n"
         u"Exit status: 0 all actions succeeded, 1 some actions failed, 2 usage error,\n"
         u"unknown job or unreadable job file, 3 stopped by the user (Ctrl+C).\n";
}

}  // namespace crvl::cli
