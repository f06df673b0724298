// One job run with everything around it: the job log opened when logs are on, the
// engine run with the medium checks of removable media, the log closed with its index
// line, and the media ejected after an executing run. The console runs jobs through
// it; the scheduler's run wrapper adds the run slot and the counters around it.
#pragma once

#include <cstdint>
#include <string>

#include "engine/job_run.h"
#include "engine/log_sink.h"
#include "schedule/removable_media.h"

namespace crvl {

class ProfileStore;

// What the caller adds to a run. Every member may be null.
struct RunObserver {
  void* context = nullptr;
  // Called once the job log is open (`logSink` is the log's sink; it writes nothing when
  // logs are off): answers the sink the run reports to, such as a live report that
  // passes every record on to the log. Null answer or null function: the log's sink.
  const LogSink* (*begin)(void* context, const LogSink* logSink) = nullptr;
  // The bytes of each copy progress report, on the run's thread.
  void (*copyProgress)(void* context, uint64_t bytes) = nullptr;
  // Each folder pair's action list once scanned (with the pairs of equal files it leaves
  // out), and each folder created (simulating: that would be created), on the run's thread.
  void (*folderScanned)(void* context, const EntryList& list, uint32_t equalFiles) = nullptr;
  void (*folderCreated)(void* context, std::u16string_view path) = nullptr;
  // Called when the engine has finished, before the log is closed.
  void (*end)(void* context) = nullptr;
};

struct RunResult {
  RunStatistics statistics;
  uint32_t failures = 0;    // reports that carried an error text
  bool stopped = false;     // the run ended on a stop request
  bool logCreated = false;  // a log file was made
  std::u16string logPath;   // its path (empty without one)
};

// Runs `job` (already loaded) with the settings of `settings` through `providers`: as a
// simulation unless `execute`; `stopWord` stops it (null: cannot be stopped); `volumes`
// answers the medium checks and ejects (null: the system's drive queries);
// `enlargement` is where the run's lists grow (null: in place). Media are ejected after
// an executing run only, once the log is closed. Never throws.
[[nodiscard]] RunResult runJobWithLog(const Job& job, ProfileStore& settings, ProviderTable& providers,
                                      bool execute, StopWord stopWord, const RunObserver& observer,
                                      const VolumeQueries* volumes = nullptr,
                                      ListEnlargementHook enlargement = nullptr) noexcept;

}  // namespace crvl
