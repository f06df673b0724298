// run, simulate, jobs and logs.
#include "cli/commands.h"

#include <atomic>
#include <cstdio>
#include <memory>
#include <optional>

#include "cli/console_report.h"
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
#include "resources/string_ids.h"

namespace crvl::cli {

namespace {

// The stop word of the console's one run: set by the first Ctrl+C.
std::atomic<int32_t> g_stopWord{0};

void print(std::u16string_view text) { platform::writeConsole(platform::ConsoleStream::Out, text); }
void printError(std::u16string_view text) {
  platform::writeConsole(platform::ConsoleStream::Err, u"crvl: " + std::u16string(text) + u"\n");
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
  const ErrorCode loaded = loadJobByReference(command.job, job, settings);
  if (loaded == kErrorNotFound) {
    printError(u"no job named " + command.job + u" in the job register");
    return kExitUsage;
  }
  if (loaded != 0) {
    std::u16string message = platform::systemMessage(loaded);
    while (!message.empty() && (message.back() == u'\n' || message.back() == u'\r')) message.pop_back();
    printError(u"cannot read the job file " + job.jobFilePath + u": " + message);
    return kExitUsage;
  }

  const bool execute = command.kind == CommandKind::Run;
  platform::installStopHandler(&g_stopWord, kExitStopped);
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
  print(std::u16string(execute ? u"Running " : u"Simulating ") + job.jobName + u"\n");
  const RunResult result = runJobWithLog(job, settings, app.providers, execute, &g_stopWord, observer);

  const bool stopped = g_stopWord.load() != 0;
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
    case CommandKind::Help:
      break;
  }
  return kExitOk;
}

}  // namespace crvl::cli
