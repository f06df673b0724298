// Task values: a task that reads, written and read again, is the same task (a missing
// period read back as the writer's "once").
#include <string>

#include "jobs/ini_text.h"
#include "jobs/profile_store.h"
#include "jobs/value_list.h"
#include "round_trip.h"
#include "schedule/task.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const crvl::fuzz::Input in = crvl::fuzz::splitInput(data, size);
  // A register that holds the task's own job name, in a store that is never flushed.
  static crvl::ProfileStore settings;
  static bool opened = false;
  if (!opened) {
    settings.openStore(std::u16string(u"/nonexistent-crvl-fuzz/settings.ini"), crvl::kStoreOwnFile);
    opened = true;
  }
  const std::vector<std::string_view> items = crvl::splitList(in.bytes);
  std::string entry;
  crvl::appendListItem(crvl::listItem(items, 0), entry);
  if (!crvl::ini::writable("Job", "1", entry)) return 0;
  settings.putString("Job", "1", entry);
  const crvl::Task first = crvl::parseTask(in.bytes, settings, in.utf8File);
  if (!first.valid()) return 0;
  const crvl::Task second = crvl::parseTask(crvl::formatTask(first, in.utf8File), settings, in.utf8File);
  // A task stored without a period is written with the period "once".
  crvl::Task expected = first;
  if (expected.period == 0) expected.period = crvl::kPeriodOnce;
  crvl::fuzz::require(second == expected, "task");
  return 0;
}
