// run, simulate, jobs and logs.
#include "cli/commands.h"

#include <atomic>
#include <cstdio>
#include <memory>
#include <optional>

#include "cli/console_io.h"
#include "cli/console_report.h"
#include "cli/help_topics.h"
#include "cli/job_commands.h"
#include "cli/log_commands.h"
#include "cli/settings_commands.h"
#include "cli/sftp_commands.h"
#include "cli/task_commands.h"
#include "cli/daemon.h"
#include "cli/stop_relay.h"
#include "engine/job_run.h"
#include "jobs/job.h"
#include "jobs/job_register.h"
#include "jobs/profile_store.h"
#include "jobs/program_settings.h"
#include "jobs/stored_file_leftovers.h"
#include "language/language_choice.h"
#include "language/language_table.h"
#include "logs/job_log.h"
#include "logs/log_index.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "schedule/app_state.h"
#include "schedule/job_runner.h"
#include "schedule/scheduler.h"
#include "schedule/session_start.h"
#include "schedule/timed_task_export.h"
#include "platform/startup_entry.h"
#include "platform/files.h"
#include "platform/text.h"
#include "resources/string_ids.h"

namespace crvl::cli {

namespace {

// "help COMMAND WORDS": the usage of that command; nothing for words that name none.
std::optional<std::u16string> helpFor(const std::vector<std::u16string>& words) {
  CommandLine line;
  std::u16string error;
  if (!parseCommandLine(words, &line, &error)) {
    // A command without its operands still names itself.
    std::vector<std::u16string> withHelp = words;
    withHelp.push_back(u"--help");
    if (!parseCommandLine(withHelp, &line, &error)) return std::nullopt;
  }
  if (!line.group.empty()) return groupUsage(line.group);
  return commandUsage(line.kind);
}

// The stop word of the console's one run: set by the first Ctrl+C.
std::atomic<int32_t> g_stopWord{0};

bool askForPassword(void* context, std::u16string_view title, std::u16string& typed) {
  auto* console = static_cast<ConsolePassword*>(context);
  if (console->fromInput) {
    // Read once: a second request finds the remembered password, or nothing left.
    console->fromInput = false;
    return platform::readInputLine(typed, 1023) && !typed.empty();
  }
  if (!console->hintShown) {
    console->hintShown = true;
    if (console->accountAsks) {
      printError(std::u16string(title) + u" (the account the timed tasks run as); give it with --password-stdin");
    } else {
      printError(u"a file-system plug-in (" + std::u16string(title) +
                 u") asks for a password; give it with --password-stdin");
    }
  }
  return false;
}

int runJobCommand(const CommandLine& command, ProfileStore& settings, AppState& app) {
  Job job;
  int jobNumber = -1;
  const ErrorCode loaded = loadJobByReference(command.job(), job, settings, &jobNumber);
  if (loaded == kErrorNotFound) {
    printError(u"no job named " + command.job() + u" in the job register");
    return kExitUsage;
  }
  if (loaded == kErrorFilenameExcedRange && jobNumber > 0) {
    printError(tooLongEntryText(jobNumber));
    return kExitUsage;
  }
  if (loaded == kErrorInvalidData) {
    printError(u"the file " + job.jobFilePath + u" is not a job file: it has no [CRVL] section and no folder pair");
    return kExitUsage;
  }
  if (loaded != 0) {
    printError(u"cannot read the job file " + job.jobFilePath + u": " + messageText(loaded));
    return kExitUsage;
  }

  const bool execute = command.kind == CommandKind::Run;
  // Ctrl+C asks the run to stop through its slot, as the tray program's "Stop" does.
  StopRelay relay(g_stopWord, kExitStopped, [&app] { stopAll(app); });
  const uint64_t started = platform::monotonicMilliseconds();

  // The live report stands in front of the job log's sink.
  ReportStyle style;
  style.verbosity = command.has(u"quiet")     ? Verbosity::Quiet
                    : command.has(u"verbose") ? Verbosity::Verbose
                                              : Verbosity::Normal;
  style.json = command.json;
  const bool terminal = platform::outputIsTerminal();
  style.progress = terminal && !command.json && style.verbosity != Verbosity::Quiet;
  style.sharedTerminal = terminal && platform::errorIsTerminal();
  style.width = platform::terminalColumns();
  style.options = job.optionFlags;
  struct Live {
    ReportStyle style;
    std::optional<ConsoleReporter> reporter;
  } live{style, std::nullopt};
  RunObserver observer;
  observer.context = &live;
  observer.begin = [](void* context, const LogSink* logSink) -> const LogSink* {
    auto* l = static_cast<Live*>(context);
    l->reporter.emplace(logSink, l->style);
    return l->reporter->sink();
  };
  observer.copyProgress = [](void* context, uint64_t bytes) {
    ConsoleReporter::progressHook(&*static_cast<Live*>(context)->reporter, bytes);
  };
  observer.folderScanned = [](void* context, const EntryList& list, uint32_t equalFiles) {
    ConsoleReporter::scannedHook(&*static_cast<Live*>(context)->reporter, list, equalFiles);
  };
  observer.folderCreated = [](void* context, std::u16string_view path) {
    ConsoleReporter::createdHook(&*static_cast<Live*>(context)->reporter, path);
  };
  observer.end = [](void* context) { static_cast<Live*>(context)->reporter->clearProgress(); };
  RunResult result;
  RunRequest request;
  request.jobNumber = jobNumber > 0 ? jobNumber : 0;
  request.job = &job;
  request.execute = execute;
  request.observer = &observer;
  request.result = &result;
  // The first line says what runs; quiet and JSON output leave it out.
  if (style.verbosity != Verbosity::Quiet && !style.json) {
    app.runEvents.started = [](void*, const Job& started, bool execute) {
      print(std::u16string(execute ? u"Running " : u"Simulating ") + started.jobName + u"\n");
    };
  }
  const RunOutcome outcome = runJobWrapped(app, request);
  if (outcome == RunOutcome::kAlreadyRunning) {
    printError(job.jobName + u" is running already; nothing was done");
    return kExitAlreadyRunning;
  }
  if (outcome != RunOutcome::kRan) {
    printError(u"the job could not be run");
    return kExitActionsFailed;
  }

  const bool stopped = result.stopped || g_stopWord.load() != 0;
  const RunCounts counts = live.reporter ? live.reporter->counts() : RunCounts{};
  const uint64_t elapsed = platform::monotonicMilliseconds() - started;
  // A pair left as it was (a clash, a conflict, files left different) is no success either.
  const int status = stopped                                                         ? kExitStopped
                     : counts.errors != 0 || counts.leftUnsynchronised() != 0 ? kExitActionsFailed
                                                                                     : kExitOk;
  // Only a log that exists is named: a log folder that cannot be made leaves none.
  const std::u16string logPath = result.logCreated ? result.logPath : std::u16string();
  if (style.json) {
    print(formatRunJson(counts, result.statistics,
                        RunJsonFacts{job.jobName, !execute, stopped, logPath, status, elapsed}));
  } else if (style.verbosity != Verbosity::Quiet) {
    print(formatSummary(counts, result.statistics, elapsed, !execute, stopped));
    if (!logPath.empty()) print(u"  log:             " + logPath + u"\n");
  }
  return status;
}

// A settings file that exists but cannot be read must not read as an empty one: every
// listing would be empty and every change would replace what the user has.
bool settingsFileReadable(const CommandLine& command, ProfileStore& settings) {
  const std::u16string path = command.settings ? std::u16string(*command.settings) : settings.path();
  ErrorCode r = command.settings ? settings.openResult() : kSuccess;
  if (r == kSuccess && !path.empty()) {
    std::string bytes;
    r = platform::readWholeFile(path, bytes);
    if (r == kErrorFileNotFound || r == kErrorPathNotFound) r = kSuccess;
  }
  if (r == kSuccess) return true;
  printError(u"cannot read the settings file " + path + u": " + messageText(r));
  return false;
}

// The commands that change the settings file: each holds it against other writers from
// its first read to its last write.
bool changesSettings(CommandKind kind) {
  switch (kind) {
    case CommandKind::JobNew:
    case CommandKind::JobSet:
    case CommandKind::JobRemove:
    case CommandKind::JobRename:
    case CommandKind::JobOrder:
    case CommandKind::TaskAdd:
    case CommandKind::TaskRemove:
    case CommandKind::PluginAdd:
    case CommandKind::PluginEnable:
    case CommandKind::PluginDisable:
    case CommandKind::PluginRemove:
    case CommandKind::ConfigSet:
    case CommandKind::Autostart:
      return true;
    default:
      return false;
  }
}

// Whether the command makes something new in the settings (and may so create a settings
// file named with --settings that does not exist yet).
bool createsSettings(CommandKind kind) {
  return kind == CommandKind::JobNew || kind == CommandKind::TaskAdd || kind == CommandKind::ConfigSet ||
         kind == CommandKind::PluginAdd;
}

// A settings file named with --settings that does not exist: commands that create
// things make it when its folder exists; every other command, and any command when the
// folder is missing, is refused (a mistyped name must not read as an empty register).
// Returns 0 to go on, else the exit status with the message printed.
int checkNamedSettings(const CommandLine& command, std::u16string_view path) {
  // Whether or not such a file exists, the store could never take its path.
  if (path.size() > kMaxStorePath) {
    return badInput(u"the settings file " + quoted(path) + u" cannot be used: its path is too long (at most " +
                    decimal(kMaxStorePath) + u" characters)");
  }
  if (platform::pathExists(path)) {
    if (platform::isFolder(path)) return badInput(u"the settings file " + quoted(path) + u" is a folder");
    return 0;
  }
  if (!createsSettings(command.kind)) {
    return badInput(u"the settings file " + quoted(path) + u" does not exist (commands that create jobs, tasks, "
                    u"plug-ins or settings create it)");
  }
  const std::u16string folder(platform::folderOf(path));
  if (folder.empty() || !platform::isFolder(folder)) {
    return badInput(u"the folder of the settings file " + quoted(path) + u" does not exist; nothing was created");
  }
  return 0;
}

}  // namespace

int runCommandLine(const CommandLine& command) {
  if (command.kind == CommandKind::Help) {
    if (!command.group.empty()) {
      print(groupUsage(command.group));
    } else {
      if (command.commandHelp || command.operands.empty()) {
        print(usageText());
        return kExitOk;
      }
      if (const std::u16string topic = command.operands.size() == 1 ? helpTopic(command.operands[0]) : u"";
          !topic.empty()) {
        print(topic);
        return kExitOk;
      }
      const std::optional<std::u16string> help = helpFor(command.operands);
      if (!help) {
        std::u16string words;
        for (const std::u16string& w : command.operands) words += (words.empty() ? u"" : u" ") + w;
        return badInput(u"help: no command or topic " + quoted(words) + u"; \"crvl help\" lists the commands, topics: " +
                        std::u16string(helpTopicNames()));
      }
      print(*help);
    }
    return kExitOk;
  }
  if (command.kind == CommandKind::Version) {
    print(versionText());
    return kExitOk;
  }
  if (command.commandHelp) {
    print(commandUsage(command.kind));
    return kExitOk;
  }
  ProfileStore& settings = programSettingsStore();
  if (command.settings) {
    // Absolute, so that its own job folder and later runs from elsewhere find it.
    std::u16string path = platform::absolutePath(*command.settings);
    if (path.empty()) path = *command.settings;
    if (const int refused = checkNamedSettings(command, path); refused != 0) return refused;
    openProgramSettings(settings, std::u16string_view(path));
  } else {
    // The tray program and the console share "CRVL.INI"; an earlier console kept its
    // own file, which is taken over once.
    const std::u16string notice = takeOverLegacySettings();
    if (!notice.empty()) platform::writeConsole(platform::ConsoleStream::Err, u"crvl: " + notice);
    openProgramSettings(settings);
  }
  if (!settingsFileReadable(command, settings)) return kExitUsage;
  // What a killed settings write left behind goes at the next start.
  (void)removeStaleTemporaries(settings.path(), {defaultJobFolder(settings), logFolder(settings)});
  // Lock files of jobs that no run holds any more.
  (void)removeFreeJobLocks();
  // Before the state, which hands requests to it until it goes.
  ConsolePassword console;
  console.fromInput = command.passwordFromInput;
  AppStateScope scope;
  AppState& app = scope.state();
  // Log heads and other texts come from the language the settings choose, as in the
  // tray program.
  app.language.applyLanguage(settings);
  // The plug-in root is addressed by its language text; the configured plug-ins load
  // when a path first needs them.
  app.providers.initialize(uiText(kTextFSPg));
  attachPluginBinding(app, settings, PasswordPrompt{&console, &askForPassword});

  std::optional<StoreUpdate> update;
  if (changesSettings(command.kind)) {
    update.emplace(settings);
    if (update->status() != kSuccess) {
      printError(u"the settings file " + settings.path() + u" is held by another program; nothing was changed");
      return kExitActionsFailed;
    }
  }
  Console c{command, settings, app, &console};
  switch (command.kind) {
    case CommandKind::Run:
    case CommandKind::Simulate:
      return runJobCommand(command, settings, app);
    case CommandKind::Jobs:
      return listJobs(c);
    case CommandKind::JobNew:
      return newJob(c);
    case CommandKind::JobShow:
      return showJob(c);
    case CommandKind::JobSet:
      return setJob(c);
    case CommandKind::JobRemove:
      return removeJob(c);
    case CommandKind::JobRename:
      return renameJob(c);
    case CommandKind::JobOrder:
      return orderJobs(c);
    case CommandKind::Tasks:
      return listTasks(c);
    case CommandKind::TaskAdd:
      return addTask(c);
    case CommandKind::TaskRemove:
      return removeTask(c);
    case CommandKind::TasksExport:
      return exportTasks(c);
    case CommandKind::PluginList:
      return listPlugins(c);
    case CommandKind::PluginAdd:
      return addPlugin(c);
    case CommandKind::PluginEnable:
    case CommandKind::PluginDisable:
    case CommandKind::PluginRemove:
      return changePlugin(c);
    case CommandKind::SftpAdd:
      return addSftpConnection(c);
    case CommandKind::SftpList:
      return listSftpConnections(c);
    case CommandKind::SftpRemove:
      return removeSftpConnection(c);
    case CommandKind::ConfigShow:
      return showConfig(c);
    case CommandKind::ConfigSet:
      return setConfig(c);
    case CommandKind::Logs:
      return listLogs(c);
    case CommandKind::LogsShow:
      return showLog(c);
    case CommandKind::LogsRemove:
      return removeLogs(c);
    case CommandKind::Autostart:
      return switchAutostart(c);
    case CommandKind::Daemon: {
      uint64_t delay = 0;
      if (const auto d = command.value(u"delay"); d && (!parseDuration(*d, &delay) || delay > 86400)) {
        return badInput(u"--delay needs a duration of at most a day, not " + quoted(*d));
      }
      return runDaemon(settings, app, static_cast<uint32_t>(delay));
    }
    case CommandKind::Help:
    case CommandKind::Version:
      break;
  }
  return kExitOk;
}

}  // namespace crvl::cli
