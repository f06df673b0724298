#include "logs/log_index.h"

#include <algorithm>
#include <mutex>

#include "platform/file_lock.h"
#include "platform/files.h"
#include "jobs/marked_text.h"
#include "jobs/profile_store.h"
#include "jobs/path_macros.h"
#include "jobs/value_list.h"
#include "platform/locale.h"
#include "os_traits.h"

namespace crvl {
namespace {

// Appends of runs that end together, and compaction, take turns on the index.
std::mutex gIndexMutex;

PackedDateTime parseStamp(std::u16string_view text) {
  if (text.empty() || text.size() > 20) return 0;
  PackedDateTime value = 0;
  for (char16_t c : text) {
    if (c < u'0' || c > u'9') return 0;
    const uint64_t digit = static_cast<uint64_t>(c - u'0');
    if (value > (UINT64_MAX - digit) / 10) return 0;
    value = value * 10 + digit;
  }
  return value;
}

// Calls `visit(line)` for every line of `bytes`: lines end at CR or LF; empty lines are
// skipped.
template <typename Visit>
void forEachLine(std::string_view bytes, Visit&& visit) {
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = start;
    while (end < bytes.size() && bytes[end] != '\r' && bytes[end] != '\n') ++end;
    if (end > start) visit(bytes.substr(start, end - start));
    start = end + 1;
  }
}

}  // namespace

std::u16string logIndexPath(std::u16string_view folder) {
  std::u16string path(folder);
  if (path.empty() || (path.back() != os::kSeparator && !(os::kBackslashSeparates && path.back() == u'/'))) {
    path.push_back(os::kSeparator);
  }
  path += u"Log.txt";
  return path;
}

std::string formatLogIndexLine(std::u16string_view jobName, PackedDateTime stamp,
                               std::u16string_view logPath) {
  std::string line;
  appendListItem(encodeMarkedText(jobName), line);
  appendListItem("0", line);
  appendListItem(std::to_string(stamp), line);
  appendListItem(encodeMarkedText(contractPath(logPath)), line);
  return line;
}

LogIndexEntry parseLogIndexLine(std::string_view line) {
  LogIndexEntry entry;
  line = line.substr(0, std::min(line.size(), kLogIndexLineBytes));
  const std::vector<std::string_view> items = splitList(line);
  entry.jobName = listItemText(items, 0);
  if (entry.jobName.size() > kLogIndexNameChars) entry.jobName.resize(kLogIndexNameChars);
  entry.stamp = parseStamp(listItemText(items, 2));
  entry.storedPath = listItemText(items, 3);
  entry.logPath = entry.storedPath.empty() ? std::u16string() : expandPath(entry.storedPath);
  return entry;
}

ErrorCode appendLogIndexEntry(std::u16string_view folder, std::u16string_view jobName,
                              PackedDateTime stamp, std::u16string_view logPath) {
  std::string line = formatLogIndexLine(jobName, stamp, logPath);
  line += "\r\n";
  std::lock_guard<std::mutex> lock(gIndexMutex);
  // Between processes too: a compaction by another program must not replace the index
  // while this line goes into the old one.
  platform::FileLock held;
  if (lockStoredFile(logIndexPath(folder), held) == kErrorLockViolation) return kErrorLockViolation;
  platform::File index;
  if (ErrorCode code = platform::openFile(logIndexPath(folder), platform::OpenMode::OpenOrCreate,
                                          &index);
      code != kSuccess) {
    return code;
  }
  if (ErrorCode code = index.seekToEnd(); code != kSuccess) return code;
  // The line and its line end go out in one write.
  return index.write(line.data(), line.size());
}

std::vector<LogIndexEntry> readLogIndex(std::u16string_view indexPath) {
  std::vector<LogIndexEntry> entries;
  std::string bytes;
  if (platform::readWholeFile(indexPath, bytes) != kSuccess) return entries;
  forEachLine(bytes, [&](std::string_view line) { entries.push_back(parseLogIndexLine(line)); });
  return entries;
}

std::vector<LogIndexEntry> listJobLogs(std::u16string_view folder, size_t* missing) {
  const std::u16string indexPath = logIndexPath(folder);
  std::vector<LogIndexEntry> entries = readLogIndex(indexPath);
  size_t absent = 0;
  auto kept = std::remove_if(entries.begin(), entries.end(), [&](const LogIndexEntry& entry) {
    const bool gone = entry.logPath.empty() || !platform::pathExists(entry.logPath);
    absent += gone ? 1 : 0;
    return gone;
  });
  entries.erase(kept, entries.end());
  std::reverse(entries.begin(), entries.end());  // newest first
  if (absent > 0) (void)compactLogIndex(indexPath);
  if (missing != nullptr) *missing = absent;
  return entries;
}

std::u16string findLatestJobLog(std::u16string_view folder, std::u16string_view jobName) {
  std::u16string found;
  for (const LogIndexEntry& entry : readLogIndex(logIndexPath(folder))) {
    if (pathsEqual(entry.jobName, jobName)) found = entry.logPath;
  }
  return found;
}

std::u16string formatLogStamp(PackedDateTime stamp) {
  uint64_t utc = 0;
  if (!calendarToFileTime(unpackDateTime(stamp), &utc)) return {};
  return platform::formatLocalDateTime(utc);
}

ErrorCode compactLogIndex(std::u16string_view indexPath, size_t* dropped) {
  if (dropped != nullptr) *dropped = 0;
  std::lock_guard<std::mutex> lock(gIndexMutex);
  if (!platform::pathExists(indexPath)) return kSuccess;
  platform::FileLock held;  // read, changed and written by one holder at a time
  if (lockStoredFile(indexPath, held) == kErrorLockViolation) return kErrorLockViolation;
  std::string bytes;
  if (ErrorCode code = platform::readWholeFile(indexPath, bytes); code != kSuccess) return code;

  std::string kept;
  kept.reserve(bytes.size());
  size_t removed = 0;
  forEachLine(bytes, [&](std::string_view line) {
    const LogIndexEntry entry = parseLogIndexLine(line);
    if (entry.logPath.empty() || !platform::pathExists(entry.logPath)) {
      ++removed;
      return;
    }
    kept.append(line).append("\r\n");
  });
  if (removed == 0) return kSuccess;  // nothing to drop: the index stays byte for byte
  // Replaced as a whole, like the settings: a reader sees the old index or the new one.
  if (ErrorCode code = platform::writeWholeFile(indexPath, kept); code != kSuccess) return code;
  if (dropped != nullptr) *dropped = removed;
  return kSuccess;
}

}  // namespace crvl
