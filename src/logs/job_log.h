// The job log of one run: whether the run is logged, where its log goes and under which
// name, opening it with its head, and closing it with the footer and an index line.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "engine/log_sink.h"
#include "logs/log_format.h"
#include "logs/log_writer.h"
#include "platform/clock.h"
#include "platform/errors.h"
#include "platform/files.h"

namespace crvl {

class ProfileStore;

// Bit of "Opt" (AppOptions) that switches job logs off.
inline constexpr uint32_t kOptionNoJobLogs = 4;

// Where a run reads its settings. The enabled state is read again at every step (head,
// each record, end): from `appOptions` when given (the tray program's copy of "Opt"),
// else from "Opt" in section "CRVL" of `store`.
struct JobLogSettings {
  ProfileStore* store = nullptr;
  const std::atomic<uint32_t>* appOptions = nullptr;
  // The run's format; 0 reads "ExpMode" from the store (0 or above 7 means 6).
  LogFormat format = 0;
  // Start time as FILETIME (UTC); 0 takes the system clock.
  uint64_t startTime = 0;
};

// Whether job logs are enabled now.
[[nodiscard]] bool jobLogsEnabled(const JobLogSettings& settings);

// The log folder of the settings is logFolder() of jobs/program_settings.h.

// The log file name of a run: `folder`, then the job name immediately followed by the
// decimal start stamp, ".", the format's extension. Path separators in the job name
// (Windows '\' and '/', POSIX '/') become '_', so that the name is one component in
// the folder.
[[nodiscard]] std::u16string logFilePath(std::u16string_view folder, std::u16string_view jobName,
                                         PackedDateTime stamp, LogFormat format);

// Creates (replacing) a log file and writes the format's byte order mark (none for
// format 0). Fails with 123 for a name that is not a valid file name; keeps hidden and
// system attributes of a file it replaces; deletes and retries once when creation
// fails; creates a missing folder with its parents once; 110 for any other failure.
[[nodiscard]] ErrorCode createLogFile(std::u16string_view path, LogFormat format,
                                      platform::File* file);

// As createLogFile, but only where no file of that name exists: a name already taken
// gives 80 and the existing file is left untouched (nothing is deleted or retried).
[[nodiscard]] ErrorCode createNewLogFile(std::u16string_view path, LogFormat format,
                                         platform::File* file);

// The log of one run. Owns the open file. Not copyable or movable (the sink points at
// it). REQUIRES: one thread uses a JobLog at a time (the run's thread).
//
// Records are gathered in memory and written in one piece: when enough have gathered,
// at once after a record that carries an error, at the end, and at least every
// kLogFlushMs by a thread of the log's own, so that a run that is killed leaves its
// records up to about a second before.
inline constexpr uint32_t kLogFlushMs = 1000;
inline constexpr size_t kLogGatherBytes = 64 * 1024;

class JobLog {
 public:
  explicit JobLog(const JobLogSettings& settings, std::u16string jobName);
  JobLog(const JobLog&) = delete;
  JobLog& operator=(const JobLog&) = delete;
  ~JobLog();

  // Takes the start stamp, builds the log path, creates the file and writes the head.
  // The file is created as a new file: when its name is taken (an earlier run in the
  // same second, or another run choosing it at the same moment) the next numbered name
  // is taken, up to 64 times. The index line (LogFolder/Log.txt) is written as soon as
  // the file exists, so that the log of a run that is killed is listed and removable
  // like any other. Does nothing (and returns 0) when logs are disabled. On error the
  // run goes on without a log file; the index line is then written by end().
  [[nodiscard]] ErrorCode begin();
  // Writes the footer and appends the index line (when begin() did not), when logs are
  // enabled now and begin() ran with logs enabled. Runs once; later calls do nothing.
  void end();

  // The sink for the engine: writes a record while logs are enabled and a file is open;
  // always empties the state text. Valid for the life of this object.
  [[nodiscard]] const LogSink* sink() const noexcept { return &sink_; }

  // Whether begin() ran with logs enabled.
  [[nodiscard]] bool begun() const noexcept { return begun_; }
  // Whether the log file is open.
  [[nodiscard]] bool fileOpen() const noexcept { return file_.isOpen(); }
  // Whether begin() created the log file (still true after end() closed it).
  [[nodiscard]] bool fileCreated() const noexcept { return fileCreated_; }
  // The log file path (expanded); empty before begin() or when logs were disabled.
  [[nodiscard]] const std::u16string& path() const noexcept { return path_; }
  [[nodiscard]] PackedDateTime stamp() const noexcept { return stamp_; }
  [[nodiscard]] LogFormat format() const noexcept { return context_.format; }

 private:
  static void sinkWrite(void* self, int32_t marker, LogText left, LogText right,
                        std::u16string& stateText) noexcept;
  static ErrorCode fileWrite(void* self, const void* data, size_t size) noexcept;
  // Writes what has gathered; the first failed write's (mapped) code, else 0.
  ErrorCode flush() noexcept;
  void startFlusher() noexcept;
  void stopFlusher() noexcept;

  JobLogSettings settings_;
  std::u16string jobName_;
  std::u16string folder_;
  std::u16string path_;
  PackedDateTime stamp_ = 0;
  platform::File file_;
  LogContext context_;
  LogSink sink_;
  bool begun_ = false;
  bool ended_ = false;
  bool indexed_ = false;  // the index line is written
  bool fileCreated_ = false;
  // What is gathered (guarded by gatherLock_); flushes take writeLock_ first, so that
  // pieces reach the file in the order they were gathered.
  std::string gathered_;
  std::string writing_;
  std::mutex gatherLock_;
  std::mutex writeLock_;
  std::condition_variable flushWake_;
  bool flusherStop_ = false;  // guarded by gatherLock_
  std::thread flusher_;
};

// The run log as the console front end and the run wrapper use it: constructs a JobLog
// and calls begin(). sink() goes to the engine; finish() (or destruction) ends it.
class RunLog {
 public:
  RunLog(const JobLogSettings& settings, std::u16string_view jobName);
  ~RunLog();
  RunLog(const RunLog&) = delete;
  RunLog& operator=(const RunLog&) = delete;

  [[nodiscard]] const LogSink* sink() const noexcept { return log_->sink(); }
  // Writes the footer and the index line (once).
  void finish();
  // The log file path; empty when logs are off. It names the path that was tried when
  // the file could not be created (see fileCreated).
  [[nodiscard]] const std::u16string& path() const noexcept { return log_->path(); }
  // Whether the log file was created (a log of this run exists at path()).
  [[nodiscard]] bool fileCreated() const noexcept { return log_->fileCreated(); }
  // The error of begin() (0 when the log opened or logs are off).
  [[nodiscard]] ErrorCode beginResult() const noexcept { return beginResult_; }

 private:
  std::unique_ptr<JobLog> log_;
  ErrorCode beginResult_ = 0;
};

// Opens the run log of `jobName` with the settings of `store`.
[[nodiscard]] std::unique_ptr<RunLog> openRunLog(ProfileStore& store, std::u16string_view jobName);

}  // namespace crvl
