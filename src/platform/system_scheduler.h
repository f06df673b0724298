// The system's scheduler for work items that start the program at calendar times: the
// Windows Task Scheduler (its 1.0 interfaces, which keep triggers and actions under Wine
// as on Windows) and, on POSIX, systemd user timers written as unit files. What items
// to keep, create and delete is decided above this layer; here they are only listed,
// created and deleted.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/errors.h"

namespace crvl::platform {

// Trigger types.
inline constexpr uint16_t kTriggerOnce = 0;
inline constexpr uint16_t kTriggerDaily = 1;
inline constexpr uint16_t kTriggerWeekly = 2;

// One trigger of a work item (the fields of the Task Scheduler's trigger record that
// the program sets; everything else is 0).
struct WorkTrigger {
  uint16_t type = kTriggerOnce;
  uint16_t beginYear = 0;
  uint16_t beginMonth = 0;
  uint16_t beginDay = 0;
  uint16_t startHour = 0;
  uint16_t startMinute = 0;
  uint16_t daysInterval = 0;   // daily
  uint16_t weeksInterval = 0;  // weekly
  uint16_t weekdays = 0;       // weekly: bit 0 Sunday ... bit 6 Saturday
  bool operator==(const WorkTrigger&) const = default;
};

// A work item: what it starts and when.
struct WorkItem {
  std::u16string name;         // as the scheduler names it ("Corvell 3", "corvell-3")
  std::u16string application;  // the program's full path
  std::u16string parameters;   // its command line after the program
  std::vector<WorkTrigger> triggers;
};

// One session with the scheduler. Windows: COM on the calling thread and the Task
// Scheduler object; POSIX: the user's systemd unit folder ($XDG_CONFIG_HOME, else
// ~/.config, then "systemd/user"). Not thread-safe; one thread at a time.
class SystemScheduler {
 public:
  SystemScheduler();
  ~SystemScheduler();
  SystemScheduler(const SystemScheduler&) = delete;
  SystemScheduler& operator=(const SystemScheduler&) = delete;

  // Connects to the scheduler. Nothing else works when this fails.
  [[nodiscard]] ErrorCode open();
  // The work items whose names begin with `namePrefix` (POSIX; Windows lists every
  // item, as other programs' items take part in name collisions there). Names come
  // without the ".job" that some schedulers append.
  [[nodiscard]] ErrorCode list(std::u16string_view namePrefix, std::vector<WorkItem>& items);
  // Deletes the item of that name; 0 when there is none.
  [[nodiscard]] ErrorCode remove(std::u16string_view name);
  // Creates the item (an item of that name is replaced). Windows saves it once, sets the
  // application, parameters, flags and the one trigger, then the account; when the
  // account is refused the item stays saved without it and `*accountRefused` is set.
  // POSIX: writes the timer and service units (no account).
  [[nodiscard]] ErrorCode create(const WorkItem& item, std::u16string_view account, std::u16string_view password,
                                 bool* accountRefused);
  // After a pass of changes. POSIX: reloads the user's systemd and enables and starts
  // the timers created in this session, when systemctl answers; otherwise `*message`
  // says how to do it by hand. Windows: nothing.
  [[nodiscard]] ErrorCode finish(std::u16string* message);

  // Whether items run under an account that needs a password (Windows).
  [[nodiscard]] static bool needsAccount() noexcept;
  // The name of work item `number` of the product for the settings file tagged `tag`
  // (empty: the program's own settings): "Corvell 3", "Corvell 1a2b3c4d 3" (Windows),
  // "corvell-3", "corvell-1a2b3c4d-3" (POSIX, unit names).
  [[nodiscard]] static std::u16string itemName(std::u16string_view product, std::u16string_view tag, int number);
  // The prefix every item name of the product and tag begins with; the number follows.
  [[nodiscard]] static std::u16string itemNamePrefix(std::u16string_view product, std::u16string_view tag);
  // `text` as one word of an item's command line, appended to `line`. Windows: as it is,
  // or in double quotes with inner quotes escaped when it holds a blank or a quote.
  // POSIX: a systemd word that systemd reads back as exactly `text` (quoted, with C
  // escapes for control characters and for bytes that are not UTF-8, '%' and '$'
  // doubled). False, `line` unchanged, when the text cannot be written exactly, and
  // for a `program` path that systemd would not run (control characters, quotes,
  // backslashes).
  [[nodiscard]] static bool appendCommandWord(std::u16string_view text, std::u16string& line, bool program = false);
  // The current user's account name (GetUserNameW; POSIX: the login name).
  [[nodiscard]] static std::u16string accountName();
  // POSIX: the folder of the unit files; Windows: the folder of the items' files.
  [[nodiscard]] std::u16string itemFolder() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace crvl::platform
