// Tasks: when a job starts without the user's hand. A task names one job and how it
// starts: with the program ('s'), when the job's folders become reachable ('a'), or at
// calendar times handed to the system's scheduler ('t').
//
// Stored in section "Task" of the program settings, keys "1".."n" in list order, one
// task per value: the job name; the kind and period characters ("so", "ao", "to", "td",
// "tw"); "d" + delayOrStart when not 0; "r" + repeatOrWeekdays when not 0. Items go
// through the value-list quoting, and names as marked text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "platform/errors.h"

namespace crvl {

class ProfileStore;
class JobNumberIndex;

inline constexpr std::string_view kTaskSection = "Task";
inline constexpr size_t kTaskJobNameChars = 40;

// Start kinds.
inline constexpr char kStartAtProgramStart = 's';
inline constexpr char kStartWhenAvailable = 'a';
inline constexpr char kStartTimed = 't';
[[nodiscard]] constexpr bool isStartKind(char c) noexcept {
  return c == kStartAtProgramStart || c == kStartWhenAvailable || c == kStartTimed;
}
// Periods of timed tasks.
inline constexpr char kPeriodOnce = 'o';
inline constexpr char kPeriodDaily = 'd';
inline constexpr char kPeriodWeekly = 'w';

// Bit 0 Sunday ... bit 6 Saturday; only the low 7 bits mean anything.
using WeekdayMask = uint8_t;

struct Task {
  std::u16string jobName;         // at most 40 characters; empty: an invalid record
  int32_t jobNumber = -1;         // looked up from the name on every read; -1: no such job
  char kind = 0;                  // 's', 'a', 't'; 0 not set
  char period = 0;                // 'o', 'd', 'w' (timed tasks)
  uint64_t delayOrStart = 0;      // 's'/'a': delay in seconds; 't': PackedDateTime (local)
  uint64_t repeatOrWeekdays = 0;  // 's'/'a': repeat in seconds (0 once); 't': WeekdayMask

  [[nodiscard]] bool valid() const noexcept { return !jobName.empty(); }
  bool operator==(const Task&) const = default;
};

// Reads one stored value. The name is cut to 40 characters and looked up in the job
// register of `settings`; a name that names no job, or a kind that is not 's', 'a' or
// 't', gives an invalid record (empty name). Fields after the second are read until an
// empty one: "d" and "r" set delayOrStart and repeatOrWeekdays (a later one wins;
// numbers that do not parse, and negative numbers, read as 0); others are ignored.
// `utf8File`: the settings file is UTF-8.
[[nodiscard]] Task parseTask(std::string_view value, ProfileStore& settings, bool utf8File = false);
// The same with the register already read (one look-up per task when loading many).
[[nodiscard]] Task parseTask(std::string_view value, const JobNumberIndex& jobs, bool utf8File = false);

// The stored value of a task (the period 'o' when none is set).
[[nodiscard]] std::string formatTask(const Task& task, bool utf8File = false);

// The valid tasks of section "Task", in file order.
[[nodiscard]] std::vector<Task> loadTasks(ProfileStore& settings);

// Replaces section "Task" by the valid tasks of `tasks` (a name and a known kind) under keys "1".."n" in order,
// then flushes the settings. Returns the flush result.
[[nodiscard]] ErrorCode saveTasks(const std::vector<Task>& tasks, ProfileStore& settings);

}  // namespace crvl
