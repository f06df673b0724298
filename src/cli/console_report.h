// What the console front end shows of a run. By default: the progress line on a
// terminal, every failure and every pair left unsynchronised on standard error as it
// happens, and the summary with the list of them at the end. Verbose adds one line per
// action (the Text log line form, or one JSON object per line with --json); quiet shows
// the failures alone. The reporter sits in front of the job log's sink, which gets
// every record as before.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cli/run_progress.h"
#include "engine/job_run.h"
#include "engine/log_sink.h"

namespace crvl::cli {

// One failure, or one pair left as it was, as the end of a run lists it.
struct RunProblem {
  int32_t marker = 0;
  bool failed = false;    // an error; else a pair left unsynchronised
  std::u16string left;
  std::u16string right;
  std::u16string reason;  // the error text, or why the pair was left as it was
  std::u16string line;    // the report line
};

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
  std::vector<RunProblem> problems;            // failures and those pairs, the first kListedProblems
  [[nodiscard]] uint32_t leftUnsynchronised() const noexcept { return typeClashes + conflicts + leftDifferent; }
};

// How many of the pairs left unsynchronised, and of all problems, the summary lists.
inline constexpr size_t kListedUnsynchronised = 1000;
inline constexpr size_t kListedProblems = 1000;

enum class Verbosity : uint8_t { Quiet, Normal, Verbose };

struct ReportStyle {
  Verbosity verbosity = Verbosity::Normal;
  bool json = false;            // verbose lines as JSON objects
  bool progress = false;        // draw the progress line (standard output is a terminal)
  bool sharedTerminal = false;  // standard output and error are one terminal: a problem shows once
  size_t width = 80;            // the terminal's columns
  OptionFlags options = 0;      // the job's options, which tell the progress line what is copied
};

// Where the reporter writes; a null member: the console's stream.
struct ReportCapture {
  std::u16string* out = nullptr;
  std::u16string* err = nullptr;
};

class ConsoleReporter {
 public:
  // `next`: the job log's sink (or null).
  ConsoleReporter(const LogSink* next, const ReportStyle& style, ReportCapture capture = {});
  ConsoleReporter(const ConsoleReporter&) = delete;
  ConsoleReporter& operator=(const ConsoleReporter&) = delete;

  // The sink for the run; valid for the life of the reporter.
  [[nodiscard]] const LogSink* sink() const noexcept { return &sink_; }
  [[nodiscard]] const RunCounts& counts() const noexcept { return counts_; }

  // The run's other events, on its thread; `nowMs` a monotonic time.
  void copyProgress(uint64_t bytes, uint64_t nowMs);
  void folderScanned(const EntryList& list, uint32_t equalFiles, uint64_t nowMs);
  void folderCreated(std::u16string_view path);
  // The same with a reporter as the context and the console's clock.
  static void progressHook(void* self, uint64_t bytes);
  static void scannedHook(void* self, const EntryList& list, uint32_t equalFiles);
  static void createdHook(void* self, std::u16string_view path);

  // Erases a progress line that is showing.
  void clearProgress();

 private:
  static void write(void* self, int32_t marker, LogText left, LogText right,
                    std::u16string& state) noexcept;
  void record(int32_t marker, LogText left, LogText right, const std::u16string& state);
  void out(std::u16string_view text);
  void err(std::u16string_view text);
  void drawProgress(uint64_t nowMs);

  const LogSink* next_;
  ReportStyle style_;
  ReportCapture capture_;
  LogSink sink_;
  RunCounts counts_;
  RunProgress progress_;
  uint64_t startMs_ = 0;
  uint64_t lastDrawMs_ = 0;
  bool progressShown_ = false;
};

// "0 B", "512 B", "1.5 KiB", "3.25 MiB", "1.00 GiB".
[[nodiscard]] std::u16string formatBytes(uint64_t bytes);

// The summary lines after a run, each ending in a line end: the counts, then the
// failures and the pairs left unsynchronised, one line each.
[[nodiscard]] std::u16string formatSummary(const RunCounts& counts, const RunStatistics& stats,
                                           uint64_t elapsedMs, bool simulated, bool stopped);

// The words of an action marker ("copy new file to the right", "delete file").
[[nodiscard]] std::u16string_view actionName(int32_t marker) noexcept;

// What a run or simulation did, as one JSON object: job, simulated, stopped, the counts,
// the failures and pairs left unsynchronised (path, left, right, action, marker,
// reason), the log file (null without one) and the exit status.
struct RunJsonFacts {
  std::u16string_view job;
  bool simulated = false;
  bool stopped = false;
  std::u16string_view logPath;  // empty: no log
  int exitStatus = 0;
  uint64_t elapsedMs = 0;
};
[[nodiscard]] std::u16string formatRunJson(const RunCounts& counts, const RunStatistics& stats,
                                           const RunJsonFacts& facts);

}  // namespace crvl::cli
