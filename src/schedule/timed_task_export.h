// Time-controlled tasks handed to the system's scheduler. The scheduler keeps one work
// item per timed task that starts this program with the job's name; an export makes the
// items match the task list: items that already match are kept, items of this program
// that match no task are deleted, and the tasks left get new items named after their
// position among the timed tasks ("Corvell 1", "Corvell 2", ...). Each settings file has
// items of its own (a tag of the file in their names, see settings_tag.h); an export
// touches only those of its settings file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/errors.h"
#include "platform/system_scheduler.h"
#include "schedule/task.h"

namespace crvl {

class ProfileStore;
struct AppState;

// The scheduler as the export uses it; tests put one of their own here.
struct SchedulerOps {
  void* context = nullptr;
  ErrorCode (*list)(void* context, std::vector<platform::WorkItem>& items) = nullptr;
  ErrorCode (*remove)(void* context, std::u16string_view name) = nullptr;
  ErrorCode (*create)(void* context, const platform::WorkItem& item, std::u16string_view account,
                      std::u16string_view password, bool* accountRefused) = nullptr;
  bool needsAccount = false;
  std::u16string (*itemName)(void* context, int number) = nullptr;
  // What every name itemName gives begins with, before the number: the items of the
  // export's settings file are the ones named so.
  std::u16string namePrefix;
  std::u16string account;  // the user the items run as (when needsAccount)
};

// The password of the account the items run as: the remembered one, else asked for
// (`title` names the account); `forget` drops the remembered one after a refusal.
struct AccountPassword {
  void* context = nullptr;
  bool (*obtain)(void* context, std::u16string_view title, std::u16string& password) = nullptr;
  void (*forget)(void* context) = nullptr;
};

// The seam over the process's remembered password (the one plug-in requests share):
// the remembered text, else what the state's prompt gives (then remembered, cut to 127
// characters); `forget` clears it. The state must outlive the seam.
[[nodiscard]] AccountPassword accountPasswordOf(AppState& state);

// What one export did.
struct ExportReport {
  size_t timedTasks = 0;   // valid time-controlled tasks in the list
  size_t kept = 0;         // items that matched a task
  size_t deleted = 0;      // items of this program that matched none
  size_t created = 0;
  size_t failed = 0;       // items that could not be created
  bool noPassword = false;       // no password was given: nothing was created
  bool accountRefused = false;   // an item was saved without its account
  ErrorCode error = kSuccess;    // the scheduler could not be reached or listed; 123:
                                 // a command line could not be written exactly
  std::u16string unwritable;     // with 123: the path or name that could not be written
};

// The program the items of `settingsPath` start. Windows: CRVL.exe for the program's
// own settings files (or an empty path), crvlc.exe beside it for any other, since the
// tray program reads only its own. POSIX: this program.
[[nodiscard]] std::u16string timedTaskProgram(std::u16string_view settingsPath);

// The parameters of a job's item. Windows, for the program's own settings files (or an
// empty path): the name as it is, or in double quotes with every inner quote preceded
// by a backslash when it holds a blank or a quote. Otherwise: "--settings" with the
// settings file, "run" and the job name, quoted for the system's command line (systemd's
// on POSIX) so that it reads back exactly these texts. Empty when one of them cannot be
// written exactly (a lone surrogate that stands for no byte).
[[nodiscard]] std::u16string timedTaskParameters(std::u16string_view jobName, std::u16string_view settingsPath);

// The trigger a timed task asks for: the start's date, hour and minute (seconds
// dropped); "Once", "Daily" every day, or "Weekly" every week on the task's weekdays.
[[nodiscard]] platform::WorkTrigger triggerForTask(const Task& task);

// Whether `item` runs `application` and one of its triggers matches the task with
// `parameters`: trigger type, hour, minute and parameters (case-insensitive) equal, and
// the date for "Once", the day interval for "Daily", the week interval and weekdays for
// "Weekly".
[[nodiscard]] bool itemMatchesTask(const platform::WorkItem& item, std::u16string_view application,
                                   std::u16string_view parameters, const Task& task);

// The export over `ops`. Only items named with ops.namePrefix and a number that start
// `application` take part; with no timed task in `tasks` those are all removed.
// Nothing changes (error 123) when a command line cannot be written exactly. `password`
// may be null where the scheduler needs no account.
[[nodiscard]] ExportReport exportTimedTasks(const std::vector<Task>& tasks, std::u16string_view application,
                                            std::u16string_view settingsPath, SchedulerOps& ops,
                                            const AccountPassword* password);

// The export of the tasks of `settings` to the system's scheduler, for the program
// that timedTaskProgram names. `*message` (when given) receives what the user should know (POSIX: how to
// enable the timers when systemctl does not answer).
[[nodiscard]] ExportReport exportTimedTasks(ProfileStore& settings, const AccountPassword* password,
                                            std::u16string* message);

}  // namespace crvl
