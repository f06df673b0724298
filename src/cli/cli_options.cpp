#include "cli/cli_options.h"

#include <algorithm>
#include <array>

#include "platform/text.h"

namespace crvl::cli {
namespace {

// Every option of every command: its name and how many values follow it.
struct OptionSpec {
  std::u16string_view name;
  int values;
  std::u16string_view help;
};

constexpr OptionSpec kOptions[] = {
    {u"mode", 1, u"Mirror, Augment, Refresh, Update, Consolidation, Bidirectional (or User)"},
    {u"option", 1, u"an option token (<+ +> <= => <- -> <_ _> ? != d d+ b nd 2s 1h); job set: -TOKEN clears it"},
    {u"filter", 1, u"the filter in its stored form, e.g. \"+*.txt;-~*;lK10\" (empty: no conditions)"},
    {u"filter-on", 0, u"apply the filter"},
    {u"filter-off", 0, u"do not apply the filter"},
    {u"file", 1, u"the job file (default: the default job folder, the job's name, \".job\")"},
    {u"add-pair", 2, u"LEFT RIGHT: add a folder pair"},
    {u"exclude-pair", 2, u"LEFT RIGHT: add an excluded folder pair"},
    {u"remove-pair", 1, u"N: remove the folder pair with this number (job show lists them)"},
    {u"delete-file", 0, u"delete the job file too"},
    {u"at-start", 0, u"run when the program (daemon, tray program) starts"},
    {u"when-available", 0, u"run when the job's folders become reachable"},
    {u"delay", 1, u"DURATION: 90, 90s, 5m, 2h, 1d"},
    {u"repeat", 1, u"DURATION after each run has ended"},
    {u"once", 1, u"YYYY-MM-DDTHH:MM: once at that local time"},
    {u"daily", 1, u"HH:MM: every day at that local time"},
    {u"weekly", 1, u"DAYS@HH:MM: e.g. mon,fri@18:00"},
    {u"params", 1, u"the plug-in's parameter text"},
    {u"key", 1, u"FILE: the private key to log in with (without: the password is asked for)"},
    {u"yes", 0, u"store without asking"},
    {u"verbose", 0, u"(-v) a line per action as it happens (with --json a JSON object per line)"},
    {u"quiet", 0, u"(-q) only the failures and the pairs left unsynchronised, on standard error"},
};

struct CommandSpec {
  std::u16string_view words;     // one or two words
  CommandKind kind;
  size_t minOperands;
  size_t maxOperands;            // SIZE_MAX: any number
  std::u16string_view operands;  // for the usage line
  std::array<std::u16string_view, 10> options;
  std::u16string_view summary;
};

constexpr size_t kAny = SIZE_MAX;

constexpr CommandSpec kCommands[] = {
    {u"run", CommandKind::Run, 1, 1, u"JOB", {u"verbose", u"quiet"},
     u"run a job (a name from the job register or a path to a .job file)"},
    {u"simulate", CommandKind::Simulate, 1, 1, u"JOB", {u"verbose", u"quiet"},
     u"report what a run would do, change nothing"},
    {u"jobs", CommandKind::Jobs, 0, 0, u"", {}, u"list the job register with its menu groups"},
    {u"job new", CommandKind::JobNew, 3, 3, u"NAME LEFT RIGHT", {u"mode", u"option", u"filter", u"file"},
     u"create a job file and its register entry (default mode Mirror)"},
    {u"job show", CommandKind::JobShow, 1, 1, u"NAME", {}, u"show a job: mode, options, folder pairs, filter, file"},
    {u"job set", CommandKind::JobSet, 1, 1, u"NAME",
     {u"mode", u"option", u"filter", u"filter-on", u"filter-off", u"add-pair", u"exclude-pair", u"remove-pair"},
     u"change a job's mode, options, filter and folder pairs"},
    {u"job remove", CommandKind::JobRemove, 1, 1, u"NAME", {u"delete-file"}, u"remove a job from the register"},
    {u"job rename", CommandKind::JobRename, 2, 2, u"OLD NEW", {}, u"rename a job"},
    {u"job order", CommandKind::JobOrder, 1, kAny, u"ITEM...", {},
     u"arrange the register: job names in order, \"[NAME\" opens a menu group, \"]\" closes it, \"-\" a separator"},
    {u"job group", CommandKind::JobOrder, 1, kAny, u"ITEM...", {},
     u"the same as job order: \"[NAME\" ... \"]\" makes a menu group of the jobs between"},
    {u"tasks", CommandKind::Tasks, 0, 0, u"", {}, u"list the tasks"},
    {u"task list", CommandKind::Tasks, 0, 0, u"", {}, u"list the tasks"},
    {u"task add", CommandKind::TaskAdd, 1, 1, u"JOB",
     {u"at-start", u"when-available", u"delay", u"repeat", u"once", u"daily", u"weekly"},
     u"add a task: --at-start or --when-available [--delay] [--repeat], or --once, --daily, --weekly"},
    {u"task remove", CommandKind::TaskRemove, 1, 1, u"N|JOB", {u"at-start", u"when-available", u"once", u"daily", u"weekly"},
     u"remove the task with this number (task list), or the task of JOB (of the kind given;\n"
     u"  --once, --daily and --weekly may be followed by the task's time, as task add takes it)"},
    {u"tasks export", CommandKind::TasksExport, 0, 0, u"", {}, u"hand the timed tasks to the system's scheduler"},
    {u"task export", CommandKind::TasksExport, 0, 0, u"", {}, u"hand the timed tasks to the system's scheduler"},
    {u"plugin list", CommandKind::PluginList, 0, 0, u"", {}, u"list the file-system plug-ins"},
    {u"plugins", CommandKind::PluginList, 0, 0, u"", {}, u"list the file-system plug-ins"},
    {u"plugin add", CommandKind::PluginAdd, 2, 2, u"NAME MODULE", {u"params"},
     u"add a file-system plug-in (the module is loaded once to check it)"},
    {u"plugin enable", CommandKind::PluginEnable, 1, 1, u"NAME", {}, u"enable a plug-in"},
    {u"plugin disable", CommandKind::PluginDisable, 1, 1, u"NAME", {}, u"disable a plug-in"},
    {u"plugin remove", CommandKind::PluginRemove, 1, 1, u"NAME", {}, u"remove a plug-in from the list"},
    {u"sftp add", CommandKind::SftpAdd, 2, 2, u"NAME USER@HOST[:PORT]", {u"key", u"yes"},
     u"connect once, show the server's host key and store the connection for ///SFTP/NAME (asks first)"},
    {u"sftp list", CommandKind::SftpList, 0, 0, u"", {}, u"list the connections of the SFTP plug-in"},
    {u"sftp remove", CommandKind::SftpRemove, 1, 1, u"NAME", {}, u"remove a connection of the SFTP plug-in"},
    {u"config show", CommandKind::ConfigShow, 0, 0, u"", {}, u"show the program settings"},
    {u"config set", CommandKind::ConfigSet, 2, 2, u"KEY VALUE", {},
     u"change a setting (config show lists the keys and their values)"},
    {u"logs", CommandKind::Logs, 0, 0, u"", {}, u"list the job logs, newest first"},
    {u"logs show", CommandKind::LogsShow, 0, 1, u"[JOB|FILE]", {}, u"print the newest log (of a job, or a log file) as text"},
    {u"logs remove", CommandKind::LogsRemove, 1, kAny, u"JOB|FILE...", {},
     u"remove every log of these jobs, or these log files, and compact the index"},
    {u"autostart", CommandKind::Autostart, 1, 1, u"on|off", {},
     u"start the daemon (Windows: the tray program) with the user's session"},
    {u"daemon", CommandKind::Daemon, 0, 0, u"", {u"delay"},
     u"run the start and availability tasks until stopped (Ctrl+C, SIGTERM); SIGHUP or a change of the\n"
     u"  settings file reads them again"},
    {u"help", CommandKind::Help, 0, 2, u"[COMMAND|TOPIC]", {},
     u"show this text, the usage of one command, or a topic: filter, options, output"},
    {u"version", CommandKind::Version, 0, 0, u"", {}, u"show the version"},
};

const OptionSpec* findOption(std::u16string_view name) {
  for (const OptionSpec& o : kOptions) {
    if (o.name == name) return &o;
  }
  return nullptr;
}

// The longest command whose words open `words`.
const CommandSpec* findCommand(const std::vector<std::u16string>& words, size_t* used) {
  const CommandSpec* found = nullptr;
  for (const CommandSpec& c : kCommands) {
    const size_t space = c.words.find(u' ');
    const size_t count = space == std::u16string_view::npos ? 1 : 2;
    if (words.size() < count) continue;
    const bool match = count == 1 ? words[0] == c.words
                                  : words[0] == c.words.substr(0, space) && words[1] == c.words.substr(space + 1);
    if (match && (found == nullptr || count > *used)) {
      found = &c;
      *used = count;
    }
  }
  return found;
}

// The second words of the two-word commands that start with `first`, comma-separated,
// or empty when `first` starts none.
std::u16string subcommandsOf(std::u16string_view first) {
  std::u16string list;
  for (const CommandSpec& c : kCommands) {
    const size_t space = c.words.find(u' ');
    if (space == std::u16string_view::npos || c.words.substr(0, space) != first) continue;
    if (!list.empty()) list += u", ";
    list += c.words.substr(space + 1);
  }
  return list;
}

bool allowed(const CommandSpec& c, std::u16string_view option) {
  for (std::u16string_view o : c.options) {
    if (o == option) return true;
  }
  return false;
}

std::u16string q(std::u16string_view text) { return u"\"" + std::u16string(text) + u"\""; }

std::u16string usageLine(const CommandSpec& c) {
  std::u16string line = u"crvl " + std::u16string(c.words);
  if (!c.operands.empty()) line += u" " + std::u16string(c.operands);
  for (std::u16string_view o : c.options) {
    if (o.empty()) break;
    const OptionSpec* spec = c.kind == CommandKind::TaskRemove ? nullptr : findOption(o);
    line += u" [--" + std::u16string(o) + (spec != nullptr && spec->values == 1 ? u" X" : u"") +
            (spec != nullptr && spec->values == 2 ? u" L R" : u"") + u"]";
  }
  return line;
}

}  // namespace

const std::u16string& CommandLine::job() const {
  static const std::u16string kNone;
  return operands.empty() ? kNone : operands[0];
}

std::vector<const GivenOption*> CommandLine::all(std::u16string_view name) const {
  std::vector<const GivenOption*> found;
  for (const GivenOption& o : options) {
    if (o.name == name) found.push_back(&o);
  }
  return found;
}

std::optional<std::u16string> CommandLine::value(std::u16string_view name) const {
  const auto found = all(name);
  if (found.empty() || found.back()->values.empty()) return std::nullopt;
  return found.back()->values.front();
}

bool parseDuration(std::u16string_view text, uint64_t* seconds) {
  if (text.empty()) return false;
  uint64_t unit = 1;
  switch (text.back()) {
    case u's': unit = 1; text.remove_suffix(1); break;
    case u'm': unit = 60; text.remove_suffix(1); break;
    case u'h': unit = 3600; text.remove_suffix(1); break;
    case u'd': unit = 86400; text.remove_suffix(1); break;
    default: break;
  }
  if (text.empty() || text.size() > 9) return false;
  uint64_t value = 0;
  for (char16_t c : text) {
    if (c < u'0' || c > u'9') return false;
    value = value * 10 + static_cast<uint64_t>(c - u'0');
  }
  value *= unit;
  if (value > 3650ull * 86400) return false;
  *seconds = value;
  return true;
}

// Whether the command words are "task remove": there the kind options name a kind of
// task ("task remove JOB --daily"), and the timed ones may be followed by the task's
// time ("task remove JOB --daily 08:30", see takesTaskTime).
bool removesTaskByKind(const std::vector<std::u16string>& args) {
  std::vector<std::u16string_view> words;
  for (size_t i = 0; i < args.size() && words.size() < 2; ++i) {
    if (args[i] == u"--settings") {
      ++i;
    } else if (args[i].empty() || args[i][0] != u'-') {
      words.push_back(args[i]);
    }
  }
  return words.size() == 2 && words[0] == u"task" && words[1] == u"remove";
}

// Whether the argument after a kind option of "task remove" is its time rather than
// the job: a time begins with a digit, weekdays and a time hold '@'.
bool takesTaskTime(std::u16string_view next) {
  return !next.empty() && next[0] != u'-' &&
         ((next[0] >= u'0' && next[0] <= u'9') || next.find(u'@') != std::u16string_view::npos);
}

bool parseCommandLine(const std::vector<std::u16string>& args, CommandLine* out, std::u16string* error) {
  *out = CommandLine{};
  const bool kindSwitches = removesTaskByKind(args);
  std::vector<std::u16string> words;
  bool help = false;
  bool version = false;
  bool optionsEnded = false;
  // The first mistake among the options; the words after it are still read, so that
  // the message can name the command it belongs to.
  std::u16string mistake;
  size_t i = 0;
  for (; i < args.size() && mistake.empty(); ++i) {
    std::u16string_view a = args[i];
    if (optionsEnded || a.size() < 2 || a[0] != u'-' || a == u"--") {
      if (!optionsEnded && a == u"--") {
        optionsEnded = true;
        continue;
      }
      words.emplace_back(a);
      continue;
    }
    if (a == u"-h" || a == u"--help" || a == u"/?") {
      help = true;
      continue;
    }
    static constexpr std::pair<std::u16string_view, std::u16string_view> kShort[] = {{u"-v", u"verbose"},
                                                                                   {u"-q", u"quiet"}};
    std::u16string_view name;
    for (const auto& [letter, longName] : kShort) {
      if (a == letter) name = longName;
    }
    if (name.empty() && a[1] != u'-') {
      mistake = u"unknown option " + q(a);
      break;
    }
    // "--name", "--name=value".
    if (name.empty()) name = a.substr(2);
    std::optional<std::u16string> inlineValue;
    if (const size_t eq = name.find(u'='); eq != std::u16string_view::npos) {
      inlineValue = std::u16string(name.substr(eq + 1));
      name = name.substr(0, eq);
    }
    if (name == u"version" && !inlineValue) {
      version = true;
    } else if ((name == u"password-stdin" || name == u"json") && !inlineValue) {
      (name == u"json" ? out->json : out->passwordFromInput) = true;
    } else if (name == u"settings") {
      if (!inlineValue && i + 1 < args.size()) inlineValue = args[++i];
      if (!inlineValue || inlineValue->empty()) {
        mistake = u"--settings needs a file";
        break;
      }
      out->settings = *inlineValue;
    } else if (const OptionSpec* spec = findOption(name); spec != nullptr) {
      GivenOption given{std::u16string(name), {}};
      const bool kindSwitch = kindSwitches && (name == u"once" || name == u"daily" || name == u"weekly");
      if (spec->values == 0 && inlineValue) {
        mistake = u"--" + std::u16string(name) + u" takes no value";
        break;
      }
      if (inlineValue) given.values.push_back(*inlineValue);
      if (kindSwitch && !inlineValue && i + 1 < args.size() && takesTaskTime(args[i + 1])) {
        given.values.push_back(args[++i]);
      }
      while (!kindSwitch && given.values.size() < static_cast<size_t>(spec->values)) {
        if (i + 1 >= args.size()) {
          mistake = u"--" + std::u16string(name) + (spec->values == 2 ? u" needs two folders" : u" needs a value");
          break;
        }
        given.values.push_back(args[++i]);
      }
      out->options.push_back(std::move(given));
    } else {
      mistake = u"unknown option " + q(a);
      break;
    }
  }
  if (!mistake.empty()) {
    // The words that follow the mistake may still name the command.
    for (size_t j = i + 1; j < args.size(); ++j) {
      if (args[j].empty() || args[j][0] != u'-') words.push_back(args[j]);
    }
    size_t used = 0;
    const CommandSpec* command = findCommand(words, &used);
    if (command == nullptr) {
      *error = mistake;
      return false;
    }
    out->usageCommand = std::u16string(command->words);
    *error = out->usageCommand + u": " + mistake;
    return false;
  }
  if (words.empty()) {
    if (help || version) {
      out->kind = version && !help ? CommandKind::Version : CommandKind::Help;
      return true;
    }
    *error = u"no command given";
    return false;
  }
  size_t used = 0;
  const CommandSpec* command = findCommand(words, &used);
  if (command == nullptr) {
    // "crvl job" or "crvl job --help": the commands of that group.
    const std::u16string subcommands = subcommandsOf(words[0]);
    if (!subcommands.empty() && help) {
      out->kind = CommandKind::Help;
      out->group = words[0];
      return true;
    }
    if (!subcommands.empty()) out->usageCommand = words[0];
    *error = subcommands.empty() ? u"unknown command " + q(words[0])
                                 : (words.size() > 1 ? u"unknown command " + q(words[0] + u" " + words[1]) + u"; "
                                                     : std::u16string()) +
                                       words[0] + u" needs one of: " + subcommands;
    return false;
  }
  out->kind = command->kind;
  out->operands.assign(words.begin() + static_cast<std::ptrdiff_t>(used), words.end());
  if (help) {
    out->commandHelp = true;
    return true;
  }
  const std::u16string words0(command->words);
  const auto refuse = [&](std::u16string_view reason) {
    out->usageCommand = words0;
    *error = words0 + u": " + std::u16string(reason);
    return false;
  };
  for (const GivenOption& o : out->options) {
    if (!allowed(*command, o.name)) return refuse(u"option --" + o.name + u" does not go with this command");
  }
  if (out->operands.size() < command->minOperands) return refuse(u"needs " + std::u16string(command->operands));
  if (out->operands.size() > command->maxOperands) {
    return refuse(u"unexpected argument " + q(out->operands[command->maxOperands]));
  }
  for (const std::u16string& operand : out->operands) {
    if (operand.empty()) return refuse(u"an empty name or value");
  }
  if (out->has(u"verbose") && out->has(u"quiet")) return refuse(u"--verbose and --quiet together");
  return true;
}

std::u16string usageText() {
  std::u16string text =
      u"Usage: crvl [--settings FILE] [--password-stdin] [--json] COMMAND [ARGUMENTS]\n";
  for (const CommandSpec& c : kCommands) {
    std::u16string line = u"  " + std::u16string(c.words);
    if (!c.operands.empty()) line += u" " + std::u16string(c.operands);
    if (line.size() < 30) line.resize(30, u' ');
    text += line + u" " + std::u16string(c.summary) + u"\n";
  }
  text +=
      u"Global options: --settings FILE (another settings file), --password-stdin (the first line of\n"
      u"standard input answers a password request), --json (listings, run and simulate as JSON),\n"
      u"--help, --version. Topics: crvl help filter, crvl help options, crvl help output.\n"
      u"crvl COMMAND --help shows the options of a command.\n"
      u"Exit status: 0 all actions succeeded, 1 some actions failed, 2 usage error, bad input,\n"
      u"unknown job or unreadable job file (nothing was changed), 3 stopped by the user (Ctrl+C),\n"
      u"4 the job is running already (in this or another program); nothing was done.\n";
  return text;
}

std::u16string commandUsage(CommandKind kind) {
  std::u16string text;
  for (const CommandSpec& c : kCommands) {
    if (c.kind != kind) continue;
    text += u"Usage: " + usageLine(c) + u"\n  " + std::u16string(c.summary) + u"\n";
    for (std::u16string_view o : c.options) {
      if (o.empty()) break;
      const OptionSpec* spec = findOption(o);
      std::u16string line = u"  --" + std::u16string(o);
      if (line.size() < 20) line.resize(20, u' ');
      text += line + u" " + (spec != nullptr ? std::u16string(spec->help) : std::u16string()) + u"\n";
    }
    // "logs", "tasks": the commands of the same word go with them.
    if (c.words.find(u' ') == std::u16string_view::npos) {
      std::u16string_view stem = c.words;
      if (stem.size() > 1 && stem.back() == u's') stem.remove_suffix(1);
      for (std::u16string_view first : {c.words, stem}) {
        const std::u16string related = subcommandsOf(first);
        if (!related.empty()) {
          text += u"See also: crvl " + std::u16string(first) + u" " + related;
          text += first == c.words ? u"\n" : u" (crvl " + std::u16string(first) + u" --help)\n";
        }
        if (stem == c.words) break;
      }
    }
    break;
  }
  return text.empty() ? usageText() : text;
}

std::u16string groupUsage(std::u16string_view first) {
  std::u16string text;
  for (const CommandSpec& c : kCommands) {
    const size_t space = c.words.find(u' ');
    if (space == std::u16string_view::npos || c.words.substr(0, space) != first) continue;
    text += u"  " + usageLine(c) + u"\n      " + std::u16string(c.summary) + u"\n";
  }
  if (text.empty()) return usageText();
  return u"Commands of crvl " + std::u16string(first) + u":\n" + text +
         u"crvl " + std::u16string(first) + u" COMMAND --help shows the options of a command.\n";
}

std::u16string usageErrorText(const CommandLine& line, std::u16string_view error) {
  const std::u16string help = line.usageCommand.empty() ? u"crvl --help" : u"crvl " + line.usageCommand + u" --help";
  return u"crvl: " + std::u16string(error) + u"\n\"" + help + u"\" shows the usage.\n";
}

namespace {

// The first words of every command, each once, in table order.
void appendFirstWords(std::vector<std::u16string>& out) {
  for (const CommandSpec& c : kCommands) {
    const std::u16string_view first = c.words.substr(0, c.words.find(u' '));
    if (std::find(out.begin(), out.end(), first) == out.end()) out.emplace_back(first);
  }
}

// The second words of the two-word commands that start with `first`, in table order.
void appendSecondWords(std::u16string_view first, std::vector<std::u16string>& out) {
  for (const CommandSpec& c : kCommands) {
    const size_t space = c.words.find(u' ');
    if (space != std::u16string_view::npos && c.words.substr(0, space) == first) {
      out.emplace_back(c.words.substr(space + 1));
    }
  }
}

// The values an option's argument may be completed with; `reply->files` for paths.
void completeOptionValue(std::u16string_view option, CompletionReply* reply) {
  if (option == u"settings" || option == u"file" || option == u"key") {
    reply->files = CompletionFiles::Files;
  } else if (option == u"add-pair" || option == u"exclude-pair") {
    reply->files = CompletionFiles::Folders;
  } else if (option == u"mode") {
    for (std::u16string_view mode : {u"Mirror", u"Augment", u"Refresh", u"Update", u"Consolidation", u"Bidirectional"}) {
      reply->words.emplace_back(mode);
    }
  }
}

// The operand at `index` of `command`.
void completeOperand(const CommandSpec& command, const std::vector<std::u16string>& operands,
                     CompletionReply* reply) {
  const size_t index = operands.size();
  if (index >= command.maxOperands) return;
  switch (command.kind) {
    case CommandKind::Run:
    case CommandKind::Simulate:
    case CommandKind::LogsShow:
    case CommandKind::LogsRemove:
      // A registered name, or a job or log file.
      reply->jobNames = true;
      reply->files = CompletionFiles::Files;
      break;
    case CommandKind::JobShow:
    case CommandKind::JobSet:
    case CommandKind::JobRemove:
    case CommandKind::TaskAdd:
    case CommandKind::TaskRemove:
    case CommandKind::JobOrder:
      reply->jobNames = true;
      break;
    case CommandKind::JobRename:
      reply->jobNames = index == 0;
      break;
    case CommandKind::JobNew:
      if (index > 0) reply->files = CompletionFiles::Folders;
      break;
    case CommandKind::PluginAdd:
      if (index == 1) reply->files = CompletionFiles::Files;
      break;
    case CommandKind::ConfigSet:
      if (index == 0) {
        reply->configKeys = true;
      } else {
        reply->configValuesOf = operands[0];
      }
      break;
    case CommandKind::Autostart:
      reply->words = {u"on", u"off"};
      break;
    case CommandKind::Help:
      if (index == 0) {
        appendFirstWords(reply->words);
        for (std::u16string_view topic : {u"filter", u"options", u"output"}) reply->words.emplace_back(topic);
      } else {
        appendSecondWords(operands[0], reply->words);
      }
      break;
    default:
      break;
  }
}

}  // namespace

CompletionReply completeArguments(const std::vector<std::u16string>& before, std::u16string_view current) {
  CompletionReply reply;
  const bool kindSwitches = removesTaskByKind(before);
  std::vector<std::u16string> words;
  std::u16string_view pending;  // the option whose values come next
  int pendingValues = 0;
  bool optionsEnded = false;
  for (size_t i = 0; i < before.size(); ++i) {
    const std::u16string& a = before[i];
    if (pendingValues > 0) {
      if (pending == u"settings") reply.settings = a;
      --pendingValues;
      continue;
    }
    if (optionsEnded || a.size() < 2 || a[0] != u'-') {
      words.push_back(a);
      continue;
    }
    if (a == u"--") {
      optionsEnded = true;
      continue;
    }
    if (a[1] != u'-') continue;  // -h, -v, -q
    std::u16string_view name = std::u16string_view(a).substr(2);
    if (const size_t eq = name.find(u'='); eq != std::u16string_view::npos) {
      if (name.substr(0, eq) == u"settings") reply.settings = std::u16string(name.substr(eq + 1));
      continue;
    }
    if (name == u"settings") {
      pending = u"settings";
      pendingValues = 1;
      continue;
    }
    const OptionSpec* spec = findOption(name);
    if (spec == nullptr) continue;
    if (kindSwitches && (name == u"once" || name == u"daily" || name == u"weekly")) {
      if (i + 1 < before.size() && takesTaskTime(before[i + 1])) ++i;
      continue;
    }
    pending = spec->name;
    pendingValues = spec->values;
  }

  size_t used = 0;
  const CommandSpec* command = words.empty() ? nullptr : findCommand(words, &used);
  if (pendingValues > 0) {
    completeOptionValue(pending, &reply);
  } else if (!optionsEnded && current.starts_with(u"-")) {
    for (std::u16string_view global : {u"--settings", u"--password-stdin", u"--json", u"--help", u"--version"}) {
      reply.words.emplace_back(global);
    }
    if (command != nullptr) {
      for (std::u16string_view o : command->options) {
        if (!o.empty()) reply.words.push_back(u"--" + std::u16string(o));
      }
    }
  } else if (words.empty()) {
    appendFirstWords(reply.words);
  } else if (words.size() == 1 && !subcommandsOf(words[0]).empty() &&
             (command == nullptr || command->maxOperands == 0)) {
    appendSecondWords(words[0], reply.words);  // "job", "task", "logs": the second word
  } else if (command != nullptr) {
    completeOperand(*command, std::vector<std::u16string>(words.begin() + static_cast<std::ptrdiff_t>(used), words.end()),
                    &reply);
  }
  std::erase_if(reply.words, [&](const std::u16string& w) { return !w.starts_with(current); });
  return reply;
}

std::u16string versionText() { return u"crvl (Corvell) 24.08\n"; }

}  // namespace crvl::cli
