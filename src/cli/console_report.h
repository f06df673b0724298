// What the console front end shows of a run: one line per reported action (the Text
// log line form) as it happens, a progress line for long copies on a terminal, and the
// summary at the end. The reporter sits in front of the job log's sink.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/job_run.h"
#include "engine/log_sink.h"

namespace crvl::cli {

struct RunCounts {
  uint32_t filesCopied = 0;
  uint32_t filesDeleted = 0;
  uint32_t foldersRemoved = 0;
  uint32_t errors = 0;   // reports that carry an error text (unreachable sides included)
  uint32_t reported = 0;
  // Pairs reported without an error yet left as they were: a folder facing a file (or a
  // link not entered), a conflict, files that differ and were not copied.
  uint32_t typeClashes = 0;
  uint32_t conflicts = 0;
  uint32_t leftDifferent = 0;
  std::vector<std::u16string> unsynchronised;  // their report lines, the first kListedUnsynchronised
  [[nodiscard]] uint32_t leftUnsynchronised() const noexcept { return typeClashes + conflicts + leftDifferent; }
};

// How many of the pairs left unsynchronised the summary lists by name.
inline constexpr size_t kListedUnsynchronised = 1000;

class ConsoleReporter {
 public:
  // `next`: the job log's sink (or null); `terminal`: whether to draw the progress
  // line; `capture`: when given, output goes there instead of the console.
  ConsoleReporter(const LogSink* next, bool terminal, std::u16string* capture = nullptr);
  ConsoleReporter(const ConsoleReporter&) = delete;
  ConsoleReporter& operator=(const ConsoleReporter&) = delete;

  // The sink for the run; valid for the life of the reporter.
  [[nodiscard]] const LogSink* sink() const noexcept { return &sink_; }
  [[nodiscard]] const RunCounts& counts() const noexcept { return counts_; }

  // Bytes of the running copy (the run's copy progress hook); `nowMs` a monotonic time.
  void copyProgress(uint64_t bytes, uint64_t nowMs);
  // The run's copy progress hook with a reporter as its context.
  static void progressHook(void* self, uint64_t bytes);

  // Erases a progress line that is showing.
  void clearProgress();

 private:
  static void write(void* self, int32_t marker, LogText left, LogText right,
                    std::u16string& state) noexcept;
  void out(std::u16string_view text);

  const LogSink* next_;
  bool terminal_;
  std::u16string* capture_;
  LogSink sink_;
  RunCounts counts_;
  uint64_t copyBytes_ = 0;
  uint64_t copyStartMs_ = 0;
  uint64_t lastDrawMs_ = 0;
  bool progressShown_ = false;
};

// "0 B", "512 B", "1.5 KiB", "3.25 MiB", "1.00 GiB".
[[nodiscard]] std::u16string formatBytes(uint64_t bytes);

// The summary lines after a run, each ending in a line end: the counts, then the pairs
// left unsynchronised, one line each.
[[nodiscard]] std::u16string formatSummary(const RunCounts& counts, const RunStatistics& stats,
                                           uint64_t elapsedMs, bool simulated, bool stopped);

}  // namespace crvl::cli
