// run, simulate, jobs and logs.
#include "cli/commands.h"

#include <atomic>
#include <cstdio>
#include <memory>
#include <optional>

#include "cli/console_report.h"
#include "cli/daemon.h"
#include "cli/stop_relay.h"
#include "engine/job_run.h"
#include "jobs/job.h"
#include "jobs/job_register.h"
#include "jobs/profile_store.h"
#include "jobs/program_settings.h"
#include "language/language_choice.h"
#include "language/language_table.h"
#include "logs/job_log.h"
#include "logs/log_index.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "schedule/app_state.h"
#include "schedule/job_runner.h"
#include "schedule/scheduler.h"
#include "schedule/session_start.h"
#include "schedule/timed_task_export.h"
#include "platform/startup_entry.h"
#include "platform/text.h"
#include "resources/string_ids.h"

namespace crvl::cli {

namespace {

// The stop word of the console's one run: set by the first Ctrl+C.
std::atomic<int32_t> g_stopWord{0};

void print(std::u16string_view text) { platform::writeConsole(platform::ConsoleStream::Out, text); }
void printError(std::u16string_view text) {
  platform::writeConsole(platform::ConsoleStream::Err, u"crvl: " + std::u16string(text) + u"\n");
}

// The system's message of a code, without its line end.
std::u16string messageText(ErrorCode code) {
  std::u16string message = platform::systemMessage(code);
  while (!message.empty() && (message.back() == u'\n' || message.back() == u'\r')) message.pop_back();
  return message;
}

// How the console answers a plug-in's password request: the first line of standard
// input with --password-stdin; otherwise it cannot ask, and says once how to give one.
struct ConsolePassword {
  bool fromInput = false;
  bool hintShown = false;
};

bool askForPassword(void* context, std::u16string_view title, std::u16string& typed) {
  auto* console = static_cast<ConsolePassword*>(context);
  if (console->fromInput) {
    // Read once: a second request finds the remembered password, or nothing left.
    console->fromInput = false;
    return platform::readInputLine(typed, 1023) && !typed.empty();
  }
  if (!console->hintShown) {
    console->hintShown = true;
    printError(u"a file-system plug-in (" + std::u16string(title) +
               u") asks for a password; give it with --password-stdin");
  }
  return false;
}

// The start stamp in local time as the Logs list shows it; the UTC stamp in ISO form
// when the system cannot format it.
std::u16string stampText(PackedDateTime stamp) {
  std::u16string shown = formatLogStamp(stamp);
  if (!shown.empty()) return shown;
  const CalendarTime t = unpackDateTime(stamp);
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%04u-%02u-%02u %02u:%02u:%02u UTC", unsigned(t.year),
                unsigned(t.month), unsigned(t.day), unsigned(t.hour), unsigned(t.minute),
                unsigned(t.second));
  return std::u16string(buffer, buffer + std::char_traits<char>::length(buffer));
}

int runJobCommand(const CommandLine& command, ProfileStore& settings, AppState& app) {
  Job job;
  int jobNumber = -1;
  const ErrorCode loaded = loadJobByReference(command.job, job, settings, &jobNumber);
  if (loaded == kErrorNotFound) {
    printError(u"no job named " + command.job + u" in the job register");
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
  struct Live {
    std::optional<ConsoleReporter> reporter;
  } live;
  RunObserver observer;
  observer.context = &live;
  observer.begin = [](void* context, const LogSink* logSink) -> const LogSink* {
    auto& r = static_cast<Live*>(context)->reporter;
    r.emplace(logSink, platform::outputIsTerminal());
    return r->sink();
  };
  observer.copyProgress = [](void* context, uint64_t bytes) {
    ConsoleReporter::progressHook(&*static_cast<Live*>(context)->reporter, bytes);
  };
  observer.end = [](void* context) { static_cast<Live*>(context)->reporter->clearProgress(); };
  RunResult result;
  RunRequest request;
  request.jobNumber = jobNumber > 0 ? jobNumber : 0;
  request.job = &job;
  request.execute = execute;
  request.observer = &observer;
  request.result = &result;
  app.runEvents.started = [](void*, const Job& started, bool execute) {
    print(std::u16string(execute ? u"Running " : u"Simulating ") + started.jobName + u"\n");
  };
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
  print(formatSummary(counts, result.statistics, platform::monotonicMilliseconds() - started, !execute, stopped));
  // Only a log that exists is named: a log folder that cannot be made leaves none.
  if (result.logCreated) print(u"  log:             " + result.logPath + u"\n");
  if (stopped) return kExitStopped;
  return counts.errors != 0 ? kExitActionsFailed : kExitOk;
}

int listJobs(ProfileStore& settings) {
  int depth = 0;
  for (const RegisterRow& row : readRegister(settings)) {
    const std::u16string indent(static_cast<size_t>(depth) * 2, u' ');
    switch (row.kind) {
      case RegisterKind::Job:
        print(indent + row.name + (row.path.empty() ? u"" : u"\t" + row.path) + u"\n");
        break;
      case RegisterKind::GroupStart:
        print(indent + u"[" + row.name + u"]\n");
        ++depth;
        break;
      case RegisterKind::GroupEnd:
        if (depth > 0) --depth;
        break;
      case RegisterKind::Separator:
        print(indent + u"--\n");
        break;
    }
  }
  return kExitOk;
}

int exportTasks(ProfileStore& settings, AppState& app) {
  std::u16string message;
  // Where the system's scheduler needs the account's password, it is the process's
  // remembered password, given with --password-stdin.
  const AccountPassword password = accountPasswordOf(app);
  const ExportReport report = exportTimedTasks(settings, &password, &message);
  if (report.error != kSuccess) {
    printError(u"the system's scheduler cannot be reached: " + messageText(report.error));
    return kExitActionsFailed;
  }
  if (report.timedTasks == 0) {
    print(u"No time-controlled tasks: the system's scheduler is left as it is.\n");
    return kExitOk;
  }
  const auto number = [](size_t n) { return platform::fromUtf8(std::to_string(n)); };
  print(number(report.timedTasks) + u" timed tasks: " + number(report.kept) + u" kept, " + number(report.created) +
        u" created, " + number(report.deleted) + u" removed\n");
  if (report.noPassword) {
    printError(u"no password for the account (give it with --password-stdin): no task was registered");
  }
  if (report.accountRefused) printError(u"the account was refused: tasks were saved without it");
  if (!message.empty()) print(message + u"\n");
  return report.failed != 0 || report.noPassword ? kExitActionsFailed : kExitOk;
}

int switchAutostart(ProfileStore& settings, bool on) {
  // The setting and the entry go together, so that the tray program keeps the entry.
  const uint32_t options = readAppOptions(settings);
  const uint32_t wanted = on ? options | kAppStartWithWindows : options & ~uint32_t{kAppStartWithWindows};
  if (wanted != options) {
    settings.putInt(kSettingsSection, "Opt", wanted);
    const ErrorCode flushed = settings.flushStore();
    if (flushed != kSuccess) {
      printError(u"cannot write the settings: " + messageText(flushed));
      return kExitActionsFailed;
    }
  }
  const ErrorCode r = updateSessionStart(on, readStartDelay(settings), settings.path());
  if (r != kSuccess) {
    printError(u"cannot " + std::u16string(on ? u"write" : u"remove") + u" the start entry " +
               platform::startupEntryPath(scheduledProgramPath()) + u": " + messageText(r));
    return kExitActionsFailed;
  }
  print(std::u16string(on ? u"Starts with the session: " : u"No longer starts with the session: ") +
        platform::startupEntryPath(scheduledProgramPath()) + u"\n");
  return kExitOk;
}

int listLogs(ProfileStore& settings) {
  for (const LogIndexEntry& entry : listJobLogs(logFolder(settings))) {
    print(stampText(entry.stamp) + u"  " + entry.jobName + u"  " + entry.logPath + u"\n");
  }
  return kExitOk;
}

}  // namespace

int runCommandLine(const CommandLine& command) {
  if (command.kind == CommandKind::Help) {
    print(usageText());
    return kExitOk;
  }
  ProfileStore& settings = programSettingsStore();
  if (command.settings) {
    openProgramSettings(settings, std::u16string_view(*command.settings));
  } else {
    openProgramSettings(settings);
  }
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

  switch (command.kind) {
    case CommandKind::Run:
    case CommandKind::Simulate:
      return runJobCommand(command, settings, app);
    case CommandKind::Jobs:
      return listJobs(settings);
    case CommandKind::Logs:
      return listLogs(settings);
    case CommandKind::Tasks:
      return command.word == u"export" ? exportTasks(settings, app) : listTasks(settings);
    case CommandKind::Autostart:
      return switchAutostart(settings, command.word == u"on");
    case CommandKind::Daemon:
      return runDaemon(settings, app, command.delay);
    case CommandKind::Help:
      break;
  }
  return kExitOk;
}

}  // namespace crvl::cli
