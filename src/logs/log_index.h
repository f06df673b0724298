// The log index Log.txt in the log folder: one ';'-separated line per finished log
// (job name, "0", start stamp, log path in macro form), each field stored as MarkedText.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "platform/errors.h"

namespace crvl {

class ProfileStore;

// One line of the index as read back.
struct LogIndexEntry {
  std::u16string jobName;     // at most 40 characters
  PackedDateTime stamp = 0;   // 0 when the field is not a number
  std::u16string storedPath;  // field 4 as stored (macro form)
  std::u16string logPath;     // field 4 with its macros expanded
};

// At most this many bytes of an index line are read.
inline constexpr size_t kLogIndexLineBytes = 2729;
inline constexpr size_t kLogIndexNameChars = 40;

// "<folder>/Log.txt".
[[nodiscard]] std::u16string logIndexPath(std::u16string_view folder);

// The stored bytes of one index line, without its line end.
[[nodiscard]] std::string formatLogIndexLine(std::u16string_view jobName, PackedDateTime stamp,
                                             std::u16string_view logPath);

// Reads one stored line (without its line end).
[[nodiscard]] LogIndexEntry parseLogIndexLine(std::string_view line);

// Appends the index line of a finished log to the index in `folder` as one write.
// Appends of concurrent runs in this process are serialised. An index that cannot be
// opened returns its error and nothing is written.
[[nodiscard]] ErrorCode appendLogIndexEntry(std::u16string_view folder, std::u16string_view jobName,
                                            PackedDateTime stamp, std::u16string_view logPath);

// Every entry of the index in file order (oldest first); an index that cannot be read
// gives no entries.
[[nodiscard]] std::vector<LogIndexEntry> readLogIndex(std::u16string_view indexPath);

// The logs as the Logs dialog lists them: newest first, only those whose file exists.
// When lines with missing files were found, the index is compacted; `*missing` (when
// given) receives their number.
[[nodiscard]] std::vector<LogIndexEntry> listJobLogs(std::u16string_view folder,
                                                     size_t* missing = nullptr);

// The expanded log path of the last index line whose job name equals `jobName`
// (compared as paths, without regard to case); empty when there is none.
[[nodiscard]] std::u16string findLatestJobLog(std::u16string_view folder,
                                              std::u16string_view jobName);

// A start stamp as the Logs list shows it: converted from UTC to local time, the
// user's short date, two spaces, the time with seconds. Empty for a stamp that is not
// a valid date.
[[nodiscard]] std::u16string formatLogStamp(PackedDateTime stamp);

// Rewrites the index without the lines whose log files no longer exist. A missing
// index is left alone; when the temporary file cannot be created the index stays as it
// is. `*dropped` receives the number of lines removed.
[[nodiscard]] ErrorCode compactLogIndex(std::u16string_view indexPath, size_t* dropped = nullptr);

}  // namespace crvl
