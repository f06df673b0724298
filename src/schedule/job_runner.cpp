#include "schedule/job_runner.h"

#include <memory>

#include "engine/copy_pool.h"
#include "jobs/profile_store.h"
#include "jobs/program_settings.h"
#include "logs/job_log.h"
#include "schedule/ui_requests.h"

namespace crvl {
namespace {

// Counts the reports that carry an error text on their way to the next sink.
struct FailureCount {
  const LogSink* next = nullptr;
  uint32_t failures = 0;
  LogSink sink{this, &FailureCount::write};

  static void write(void* self, int32_t marker, LogText left, LogText right, std::u16string& state) noexcept {
    auto* count = static_cast<FailureCount*>(self);
    if (!state.empty()) ++count->failures;
    writeLogRecord(count->next, marker, left, right, state);
  }
};

}  // namespace

RunResult runJobWithLog(const Job& job, ProfileStore& settings, ProviderTable& providers, bool execute,
                        StopWord stopWord, const RunObserver& observer, const VolumeQueries* volumes,
                        ListEnlargementHook enlargement) noexcept {
  RunResult result;
  try {
    const VolumeQueries& queries = volumes != nullptr ? *volumes : defaultVolumeQueries();
    const MediumCheck media = mediumCheckFor(queries);
    JobRun run;
    run.job = job;
    run.media = &media;
    run.providers = &providers;
    run.scanThreads = readScanThreads(settings);
    run.sync.scanner.enlargement = enlargement;
    run.sync.execute = execute ? 1 : 0;
    const uint32_t workers = readCopyWorkers(settings);
    run.copyWorkers = workers != 0 ? workers : defaultCopyWorkers();
    run.sync.scanner.stopWord = stopWord;
    std::unique_ptr<RunLog> log = openRunLog(settings, run.job.jobName);
    const LogSink* sink = log->sink();
    if (observer.begin != nullptr) {
      if (const LogSink* front = observer.begin(observer.context, sink); front != nullptr) sink = front;
    }
    FailureCount failures;
    failures.next = sink;
    run.sync.logSink = &failures.sink;
    run.sync.copyProgress = observer.copyProgress;
    run.sync.copyProgressContext = observer.context;
    run.sync.folderScanned = observer.folderScanned;
    run.sync.folderCreated = observer.folderCreated;
    // A plug-in's question that nobody answers during the run is noted in its log.
    const RunRequestScope questions(run.job.jobName, sink);
    runJob(run);
    if (observer.end != nullptr) observer.end(observer.context);
    log->finish();
    // Media are ejected once the log is closed, after an executing run only.
    if (execute) ejectMarkedDrives(run.ejectSet, queries);
    result.statistics = run.statistics;
    result.failures = failures.failures;
    result.stopped = stopRequested(stopWord);
    result.logCreated = log->fileCreated();
    if (result.logCreated) result.logPath = log->path();
  } catch (...) {
    // Out of memory around the run: what was done is in the log.
  }
  return result;
}

}  // namespace crvl
