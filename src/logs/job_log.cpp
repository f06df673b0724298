#include "logs/job_log.h"

#include <chrono>

#include "jobs/job.h"
#include "jobs/path_macros.h"
#include "jobs/profile_store.h"
#include "jobs/program_settings.h"
#include "language/language_table.h"
#include "logs/log_index.h"
#include "platform/locale.h"
#include "os_traits.h"
#include "platform/paths.h"
#include "resources/string_ids.h"

namespace crvl {
namespace {

constexpr uint32_t kDeleteRetryWaitMs = 1000;
// Names tried when another run takes the chosen log name first.
constexpr int kLogNameAttempts = 64;

size_t nameStart(std::u16string_view path) { return path.size() - platform::fileNameOf(path).size(); }

enum class LogCreation { Replace, New };

ErrorCode openForLog(std::u16string_view path, LogCreation how, platform::File* file) {
  return platform::openFile(
      path, how == LogCreation::New ? platform::OpenMode::CreateNew : platform::OpenMode::CreateAlways, file);
}

bool isNameTaken(ErrorCode code) { return code == kErrorFileExists || code == kErrorAlreadyExists; }

// createLogFile and createNewLogFile: the same steps except for a file already there.
ErrorCode openLogFile(std::u16string_view path, LogFormat format, LogCreation how, platform::File* file) {
  file->close();
  const size_t start = nameStart(path);
  if (!platform::isValidFileName(path.substr(start))) return kErrorInvalidName;
  bool folderCreated = false;
  for (;;) {
    // Hidden and system attributes of a file being replaced are kept by the open mode.
    ErrorCode code = openForLog(path, how, file);
    if (how == LogCreation::New && isNameTaken(code)) return kErrorFileExists;
    if (code != kSuccess && how == LogCreation::Replace) {
      const uint32_t attributes = platform::fileAttributes(path);
      ErrorCode removed = platform::deleteFile(path);
      if (removed == kErrorAccessDenied && attributes != platform::kInvalidAttributes &&
          (attributes & platform::kAttrReadOnly) != 0 &&
          platform::setFileAttributes(path, attributes & ~platform::kAttrReadOnly) == kSuccess) {
        removed = platform::deleteFile(path);
      }
      if (removed == kErrorFileNotFound) platform::sleepMilliseconds(kDeleteRetryWaitMs);
      code = openForLog(path, how, file);
    }
    if (code == kErrorPathNotFound && !folderCreated && start > 0) {
      folderCreated = true;
      const ErrorCode made = platform::createFolderChain(path.substr(0, start));
      if (made == kErrorAlreadyExists) return made;
      continue;
    }
    if (code == kErrorPathNotFound) return code;
    if (code != kSuccess) return kErrorOpenFailed;
    break;
  }
  if (const LogFormatInfo* info = logFormatInfo(format); info != nullptr) {
    const std::string_view bom = info->byteOrderMark;
    if (!bom.empty()) {
      if (ErrorCode code = file->write(bom.data(), bom.size()); code != kSuccess) {
        return mapLogWriteError(code);
      }
    }
  }
  return kSuccess;
}

}  // namespace

bool jobLogsEnabled(const JobLogSettings& settings) {
  if (settings.appOptions != nullptr) {
    return (settings.appOptions->load(std::memory_order_relaxed) & kOptionNoJobLogs) == 0;
  }
  if (settings.store == nullptr) return false;
  return (settings.store->getInt("CRVL", "Opt", 0) & kOptionNoJobLogs) == 0;
}

std::u16string logFilePath(std::u16string_view folder, std::u16string_view jobName,
                           PackedDateTime stamp, LogFormat format) {
  // The job name is one part of a file name: a separator in it must not lead out of
  // the log folder or into a folder below it, and a character that Windows file names
  // cannot hold ('"' in `Q";x`) must not cost the run its log. Both builds name logs
  // alike, so a log folder moves between them unchanged.
  std::u16string name(jobName);
  for (char16_t& c : name) {
    if (platform::isPathSeparator(c) || std::u16string_view(u"<>:\"|?*").find(c) != std::u16string_view::npos) {
      c = u'_';
    }
  }
  for (char c : std::to_string(stamp)) name.push_back(static_cast<char16_t>(c));
  name += u'.';
  name += logFormatExtension(format);
  std::u16string path(folder);
  platform::appendPathComponent(path, name);
  return path;
}

ErrorCode createLogFile(std::u16string_view path, LogFormat format, platform::File* file) {
  return openLogFile(path, format, LogCreation::Replace, file);
}

ErrorCode createNewLogFile(std::u16string_view path, LogFormat format, platform::File* file) {
  return openLogFile(path, format, LogCreation::New, file);
}

JobLog::JobLog(const JobLogSettings& settings, std::u16string jobName)
    : settings_(settings), jobName_(std::move(jobName)) {
  context_.output.context = this;
  sink_.context = this;
  sink_.writeLogRecord = &JobLog::sinkWrite;
}

JobLog::~JobLog() {
  stopFlusher();
  (void)flush();
}

ErrorCode JobLog::flush() noexcept {
  std::lock_guard<std::mutex> writing(writeLock_);
  {
    std::lock_guard<std::mutex> guard(gatherLock_);
    writing_.swap(gathered_);
  }
  if (writing_.empty()) return kSuccess;
  ErrorCode r = kSuccess;
  if (file_.isOpen()) r = file_.write(writing_.data(), writing_.size());
  writing_.clear();
  return r == kSuccess ? r : mapLogWriteError(r);
}

void JobLog::startFlusher() noexcept {
  try {
    flusher_ = std::thread([this] {
      std::unique_lock<std::mutex> lock(gatherLock_);
      while (!flusherStop_) {
        flushWake_.wait_for(lock, std::chrono::milliseconds(kLogFlushMs), [this] { return flusherStop_; });
        if (flusherStop_ || gathered_.empty()) continue;
        lock.unlock();
        (void)flush();
        lock.lock();
      }
    });
  } catch (...) {
    // Without the thread the records still go out when enough gather and at the end.
  }
}

void JobLog::stopFlusher() noexcept {
  if (!flusher_.joinable()) return;
  {
    std::lock_guard<std::mutex> guard(gatherLock_);
    flusherStop_ = true;
  }
  flushWake_.notify_all();
  flusher_.join();
}

ErrorCode JobLog::begin() {
  if (begun_ || !jobLogsEnabled(settings_)) return kSuccess;
  begun_ = true;
  uint32_t stored = static_cast<uint32_t>(settings_.format);
  if (stored == 0 && settings_.store != nullptr) stored = settings_.store->getInt("CRVL", "ExpMode", 0);
  context_.format = logFormatFromSetting(stored);
  const uint64_t start =
      settings_.startTime != 0 ? settings_.startTime : platform::currentFileTime();
  stamp_ = packDateTime(fileTimeToCalendar(start));

  // The index always lies in the log folder itself, whatever the job is called.
  folder_ = expandPath(settings_.store != nullptr ? logFolder(*settings_.store) : defaultSettingsFolder(u"Log"));
  const std::u16string wanted = expandPath(logFilePath(folder_, jobName_, stamp_, context_.format));
  if (wanted.empty()) return kErrorPathNotFound;
  // A second run of the job in the same second (or after the clock went back) gets a
  // numbered name beside it. The file is created only where no file is, so two runs
  // that chose the same name at the same moment never share or replace a log: the one
  // that comes second takes the next free name.
  ErrorCode code = kErrorFileExists;
  for (int attempt = 0; attempt < kLogNameAttempts && code == kErrorFileExists; ++attempt) {
    path_ = uniqueFileName(wanted);
    code = createNewLogFile(path_, context_.format, &file_);
  }
  if (code != kSuccess) return code;
  fileCreated_ = true;
  indexed_ = appendLogIndexEntry(folder_, jobName_, stamp_, path_) == kSuccess;
  context_.output.write = &JobLog::fileWrite;

  const std::u16string jobLabel = uiText(kTexttJob);
  const std::u16string createdAtLabel = uiText(kTextlCrd);
  const std::u16string stateLabel = uiText(kTextlSte);
  const std::u16string startText = platform::formatLocalDateTime(start);
  const LogHeadTexts texts{jobName_, startText, jobLabel, createdAtLabel, stateLabel};
  code = writeLogHead(context_, texts);
  // The head is on disk before the run begins; its failure ends it, as a write would.
  if (code == kSuccess) code = flush();
  startFlusher();
  return code;
}

void JobLog::end() {
  if (!begun_ || ended_) return;
  ended_ = true;
  stopFlusher();
  if (!jobLogsEnabled(settings_)) {
    (void)flush();
    return;
  }
  if (file_.isOpen()) (void)writeLogFooter(context_);
  (void)flush();
  context_.output.write = nullptr;
  file_.close();
  if (!path_.empty() && !indexed_) (void)appendLogIndexEntry(folder_, jobName_, stamp_, path_);
}

void JobLog::sinkWrite(void* self, int32_t marker, LogText left, LogText right,
                       std::u16string& stateText) noexcept {
  auto* log = static_cast<JobLog*>(self);
  bool enabled = false;
  try {
    enabled = jobLogsEnabled(log->settings_);
  } catch (...) {
  }
  if (enabled) {
    // A failure is on disk at once: it is what a reader of a broken-off run looks for.
    const bool failed = !stateText.empty();
    writeLogRecord(log->context_, marker, left, right, stateText);
    bool full = false;
    {
      std::lock_guard<std::mutex> guard(log->gatherLock_);
      full = log->gathered_.size() >= kLogGatherBytes;
    }
    if (failed || full) (void)log->flush();
  } else {
    stateText.clear();
  }
}

ErrorCode JobLog::fileWrite(void* self, const void* data, size_t size) noexcept {
  auto* log = static_cast<JobLog*>(self);
  try {
    std::lock_guard<std::mutex> guard(log->gatherLock_);
    log->gathered_.append(static_cast<const char*>(data), size);
    return kSuccess;
  } catch (...) {
  }
  // No memory to gather in: what has gathered goes first, then this piece directly.
  const ErrorCode r = log->flush();
  if (r != kSuccess) return r;
  std::lock_guard<std::mutex> writing(log->writeLock_);
  return log->file_.isOpen() ? log->file_.write(data, size) : kSuccess;
}

RunLog::RunLog(const JobLogSettings& settings, std::u16string_view jobName)
    : log_(std::make_unique<JobLog>(settings, std::u16string(jobName))) {
  beginResult_ = log_->begin();
}

RunLog::~RunLog() { finish(); }

void RunLog::finish() { log_->end(); }

std::unique_ptr<RunLog> openRunLog(ProfileStore& store, std::u16string_view jobName) {
  JobLogSettings settings;
  settings.store = &store;
  return std::make_unique<RunLog>(settings, jobName);
}

}  // namespace crvl
