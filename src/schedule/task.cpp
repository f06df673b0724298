// The text form of tasks and the task list in the settings.
#include "schedule/task.h"

#include "jobs/job_register.h"
#include "jobs/marked_text.h"
#include "jobs/profile_store.h"
#include "jobs/value_list.h"

namespace crvl {
namespace {

// A signed decimal number as stored after "d" or "r". Anything that is not a plain
// number, and every negative number, reads as 0: a negative delay would otherwise wrap
// to an endless wait. Values beyond 64 bits saturate.
uint64_t storedNumber(std::string_view digits) noexcept {
  size_t i = 0;
  while (i < digits.size() && (digits[i] == ' ' || digits[i] == '\t')) ++i;
  if (i < digits.size() && (digits[i] == '+' || digits[i] == '-')) {
    if (digits[i] == '-') return 0;
    ++i;
  }
  uint64_t value = 0;
  for (; i < digits.size() && digits[i] >= '0' && digits[i] <= '9'; ++i) {
    const uint64_t digit = static_cast<uint64_t>(digits[i] - '0');
    if (value > (UINT64_MAX - digit) / 10) return INT64_MAX;  // as far as a signed parse goes
    value = value * 10 + digit;
  }
  return value > INT64_MAX ? INT64_MAX : value;
}

struct TaskReader {
  const JobNumberIndex* jobs;
  bool utf8File;
  std::vector<Task>* tasks;
};

int collectTask(void* context, std::string_view /*key*/, std::string_view value) {
  auto* reader = static_cast<TaskReader*>(context);
  if (value.empty()) return 0;
  Task task = parseTask(value, *reader->jobs, reader->utf8File);
  if (task.valid()) reader->tasks->push_back(std::move(task));
  return 0;
}

}  // namespace

Task parseTask(std::string_view value, ProfileStore& settings, bool utf8File) {
  return parseTask(value, JobNumberIndex(settings), utf8File);
}

Task parseTask(std::string_view value, const JobNumberIndex& jobs, bool utf8File) {
  Task task;
  const std::vector<std::string_view> items = splitList(value);
  std::u16string name = listItemText(items, 0, utf8File);
  if (name.size() > kTaskJobNameChars) name.resize(kTaskJobNameChars);
  const std::string_view kinds = listItem(items, 1);
  if (name.empty() || kinds.empty()) return task;
  const char kind = kinds[0];
  if (!isStartKind(kind)) return task;
  const int number = jobs.find(name);
  if (number <= 0) return task;
  task.jobNumber = number;
  task.kind = kind;
  task.period = kinds.size() > 1 ? kinds[1] : 0;
  for (size_t i = 2; i < items.size() && !items[i].empty(); ++i) {
    if (items[i][0] == 'd') task.delayOrStart = storedNumber(items[i].substr(1));
    if (items[i][0] == 'r') task.repeatOrWeekdays = storedNumber(items[i].substr(1));
  }
  task.jobName = std::move(name);
  return task;
}

std::string formatTask(const Task& task, bool utf8File) {
  std::string value;
  std::u16string_view name = task.jobName;
  if (name.size() > kTaskJobNameChars) name = name.substr(0, kTaskJobNameChars);
  appendListItem(encodeMarkedText(name, utf8File), value);
  const char kinds[2] = {task.kind, task.period != 0 ? task.period : kPeriodOnce};
  appendListItem(std::string_view(kinds, 2), value);
  if (task.delayOrStart != 0) appendListItem("d" + std::to_string(task.delayOrStart), value);
  if (task.repeatOrWeekdays != 0) appendListItem("r" + std::to_string(task.repeatOrWeekdays), value);
  return value;
}

std::vector<Task> loadTasks(ProfileStore& settings) {
  std::vector<Task> tasks;
  // The register is read once: each task's name is then one look-up, wherever the
  // register stands in the file.
  const JobNumberIndex jobs(settings);
  TaskReader reader{&jobs, settings.isUtf8File(), &tasks};
  (void)settings.enumerateSection(kTaskSection, &collectTask, &reader);
  return tasks;
}

ErrorCode saveTasks(const std::vector<Task>& tasks, ProfileStore& settings) {
  const bool utf8File = settings.isUtf8File();
  std::vector<SectionEntry> entries;
  entries.reserve(tasks.size());
  for (const Task& task : tasks) {
    if (!task.valid() || !isStartKind(task.kind)) continue;
    entries.push_back({std::to_string(entries.size() + 1), formatTask(task, utf8File)});
  }
  settings.replaceSection(kTaskSection, entries);
  return settings.flushStore();
}

}  // namespace crvl
