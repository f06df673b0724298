#include "cli/task_commands.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "jobs/job_register.h"
#include "jobs/profile_store.h"
#include "jobs/program_settings.h"
#include "jobs/value_list.h"
#include "language/language_table.h"
#include "platform/locale.h"
#include "platform/paths.h"
#include "platform/startup_entry.h"
#include "platform/system_scheduler.h"
#include "platform/text.h"
#include "os_traits.h"
#include "resources/string_ids.h"
#include "schedule/app_state.h"
#include "schedule/session_start.h"
#include "schedule/settings_tag.h"
#include "schedule/task_list.h"
#include "schedule/task_units.h"
#include "schedule/timed_task_export.h"

namespace crvl::cli {
namespace {

std::u16string ascii(const char* text) { return platform::fromUtf8(text); }

std::u16string twoDigits(unsigned value) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "%02u", value % 100u);
  return ascii(buffer);
}

// "Daily 08:30", "Weekly Monday, Friday 18:00", "Once 2026-12-24 18:00".
std::u16string timedDetails(const Task& task) {
  const CalendarTime t = unpackDateTime(task.delayOrStart);
  const std::u16string clock = twoDigits(t.hour) + u":" + twoDigits(t.minute);
  if (task.period == kPeriodDaily) return uiText(kTexttDay) + u" " + clock;
  if (task.period == kPeriodWeekly) {
    const auto names = platform::localWeekdayNames();
    std::u16string days;
    // Monday first, as calendars here read.
    for (size_t i = 1; i <= 7; ++i) {
      const size_t day = i % 7;
      if ((task.repeatOrWeekdays >> day & 1u) == 0) continue;
      if (!days.empty()) days += u", ";
      days += names[day];
    }
    return uiText(kTexttWly) + u" " + (days.empty() ? u"-" : days) + u" " + clock;
  }
  char date[24];
  std::snprintf(date, sizeof date, "%04u-%02u-%02u", unsigned(t.year), unsigned(t.month), unsigned(t.day));
  return uiText(kTexttOnc) + u" " + ascii(date) + u" " + clock;
}

std::u16string delayDetails(const Task& task) {
  const auto unitName = [](uint16_t id) { return uiText(id); };
  std::u16string out;
  if (task.delayOrStart != 0) out = uiText(kTexttDly) + u" " + describeSeconds(task.delayOrStart, unitName);
  if (task.repeatOrWeekdays != 0) {
    if (!out.empty()) out += u", ";
    out += uiText(kTexttRpt) + u" " + describeSeconds(task.repeatOrWeekdays, unitName);
  }
  return out;
}

// Reads exactly `digits` digits at `at`.
bool digitsAt(std::u16string_view text, size_t at, size_t digits, uint16_t* value) {
  if (at + digits > text.size()) return false;
  uint16_t v = 0;
  for (size_t i = at; i < at + digits; ++i) {
    if (text[i] < u'0' || text[i] > u'9') return false;
    v = static_cast<uint16_t>(v * 10 + (text[i] - u'0'));
  }
  *value = v;
  return true;
}

// The words of a task's kind and period codes, for the JSON listing.
std::u16string_view kindName(char kind) {
  switch (kind) {
    case kStartAtProgramStart: return u"start";
    case kStartWhenAvailable: return u"availability";
    case kStartTimed: return u"timed";
    default: return u"unknown";
  }
}

std::u16string_view periodName(char period) {
  switch (period) {
    case kPeriodDaily: return u"daily";
    case kPeriodWeekly: return u"weekly";
    default: return u"once";
  }
}

// What the export did, for the user; the exit status that goes with it.
int reportExport(const ExportReport& report, const std::u16string& message) {
  if (report.error == kErrorInvalidName && !message.empty()) {
    printError(message);
    return kExitActionsFailed;
  }
  if (report.error != kSuccess) {
    printError(u"the system's scheduler cannot be reached: " + messageText(report.error));
    return kExitActionsFailed;
  }
  if (report.timedTasks == 0) {
    print(u"No time-controlled tasks: " + decimal(report.deleted) + u" earlier timers of this settings file removed\n");
    return kExitOk;
  }
  print(decimal(report.timedTasks) + u" timed tasks: " + decimal(report.kept) + u" kept, " + decimal(report.created) +
        u" created, " + decimal(report.deleted) + u" removed\n");
  if (report.noPassword) {
    printError(u"no password for the account (give it with --password-stdin): no task was registered");
  }
  if (report.accountRefused) printError(u"the account was refused: tasks were saved without it");
  if (!message.empty()) print(message + u"\n");
  return report.failed != 0 || report.noPassword ? kExitActionsFailed : kExitOk;
}

// The timers of other settings files stay where they are (an export touches only its
// own): each is named with the command that stops it. POSIX only: there the units of
// this program are the ones the list finds.
void nameOtherTimers(std::u16string_view settingsPath) {
  if (os::kWindows) return;
  platform::SystemScheduler scheduler;
  std::vector<platform::WorkItem> items;
  const std::u16string every = platform::SystemScheduler::itemNamePrefix(u"Corvell", u"");
  if (scheduler.open() != kSuccess || scheduler.list(every, items) != kSuccess) return;
  const std::u16string own = platform::SystemScheduler::itemNamePrefix(u"Corvell", settingsTag(settingsPath));
  std::u16string others;
  for (const platform::WorkItem& item : items) {
    const std::u16string_view name = item.name;
    const std::u16string_view rest = name.substr(std::min(name.size(), own.size()));
    const bool mine = name.starts_with(own) && !rest.empty() &&
                      std::all_of(rest.begin(), rest.end(), [](char16_t ch) { return ch >= u'0' && ch <= u'9'; });
    if (!mine) others += u"  systemctl --user disable --now " + item.name + u".timer\n";
  }
  if (!others.empty()) print(u"Timers of other settings files stay in place; stop one with:\n" + others);
}

int exportNow(Console& c) {
  std::u16string message;
  const AccountPassword password = accountPasswordOf(c.app);
  if (c.password != nullptr) c.password->accountAsks = true;
  const ExportReport report = exportTimedTasks(c.settings, &password, &message);
  if (c.password != nullptr) c.password->accountAsks = false;
  const int status = reportExport(report, message);
  nameOtherTimers(c.settings.path());
  return status;
}

}  // namespace

bool parseClock(std::u16string_view text, CalendarTime* t) {
  uint16_t h = 0, m = 0, s = 0;
  if (!digitsAt(text, 0, 2, &h) || text.size() < 5 || text[2] != u':' || !digitsAt(text, 3, 2, &m)) return false;
  if (text.size() == 8) {
    if (text[5] != u':' || !digitsAt(text, 6, 2, &s)) return false;
  } else if (text.size() != 5) {
    return false;
  }
  if (h > 23 || m > 59 || s > 59) return false;
  t->hour = h;
  t->minute = m;
  t->second = s;
  return true;
}

bool parseOnce(std::u16string_view text, CalendarTime* t) {
  CalendarTime when;
  if (text.size() < 16 || text[4] != u'-' || text[7] != u'-' || (text[10] != u'T' && text[10] != u' ')) return false;
  if (!digitsAt(text, 0, 4, &when.year) || !digitsAt(text, 5, 2, &when.month) || !digitsAt(text, 8, 2, &when.day) ||
      !parseClock(text.substr(11), &when)) {
    return false;
  }
  uint64_t check = 0;
  if (!calendarToFileTime(when, &check)) return false;
  *t = when;
  return true;
}

bool parseWeekdays(std::u16string_view text, WeekdayMask* mask, std::u16string* bad) {
  static constexpr std::u16string_view kDays[7] = {u"sunday", u"monday", u"tuesday", u"wednesday",
                                                   u"thursday", u"friday", u"saturday"};
  WeekdayMask m = 0;
  while (true) {
    const size_t comma = text.find(u',');
    std::u16string word(text.substr(0, comma));
    for (char16_t& c : word) c = c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
    bool found = false;
    for (size_t d = 0; d < 7; ++d) {
      if (word == kDays[d] || (word.size() == 3 && kDays[d].substr(0, 3) == word)) {
        m = static_cast<WeekdayMask>(m | (1u << d));
        found = true;
      }
    }
    if (!found) {
      *bad = std::u16string(text.substr(0, comma));
      return false;
    }
    if (comma == std::u16string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  *mask = m;
  return true;
}

namespace {

// The start of a timed task of `period` as typed after --once, --daily or --weekly:
// `when` (its date only for "once") and for weekly tasks the weekdays. False with the
// reason in `error`.
bool parseTimedStart(char period, std::u16string_view text, CalendarTime* when, WeekdayMask* mask,
                     std::u16string* error) {
  const std::u16string typed = quoted(text);
  if (period == kPeriodOnce) {
    if (parseOnce(text, when)) return true;
    *error = u"not a date and time (YYYY-MM-DDTHH:MM): " + typed;
    return false;
  }
  if (period == kPeriodDaily) {
    if (parseClock(text, when)) return true;
    *error = u"not a time (HH:MM): " + typed;
    return false;
  }
  const size_t at = text.find(u'@');
  std::u16string bad;
  if (at == std::u16string_view::npos || !parseClock(text.substr(at + 1), when)) {
    *error = u"not weekdays and a time (mon,fri@18:00): " + typed;
    return false;
  }
  if (!parseWeekdays(text.substr(0, at), mask, &bad)) {
    *error = u"unknown weekday " + quoted(bad);
    return false;
  }
  return true;
}

}  // namespace

int listTasks(Console& c) {
  JsonWriter json;
  json.beginArray();
  size_t position = 0;
  for (const Task& task : loadTasks(c.settings)) {
    ++position;
    const std::u16string kind = uiText(TaskList::detailsTextId(task.kind));
    const std::u16string details = task.kind == kStartTimed ? timedDetails(task) : delayDetails(task);
    if (c.line.json) {
      json.beginObject().field(u"number", position).field(u"job", task.jobName);
      const char period = task.period != 0 ? task.period : kPeriodOnce;
      json.field(u"kind", std::u16string(1, static_cast<char16_t>(task.kind))).field(u"kindName", kindName(task.kind));
      json.field(u"period", std::u16string(1, static_cast<char16_t>(period))).field(u"periodName", periodName(period));
      if (task.kind == kStartTimed) {
        const CalendarTime t = unpackDateTime(task.delayOrStart);
        char when[32];
        std::snprintf(when, sizeof when, "%04u-%02u-%02uT%02u:%02u", unsigned(t.year), unsigned(t.month),
                      unsigned(t.day), unsigned(t.hour), unsigned(t.minute));
        json.field(u"start", ascii(when)).field(u"weekdays", static_cast<int64_t>(task.repeatOrWeekdays & 0x7F));
      } else {
        json.field(u"delaySeconds", task.delayOrStart).field(u"repeatSeconds", task.repeatOrWeekdays);
      }
      json.field(u"details", details).endObject();
    } else {
      print(decimal(position) + u"\t" + task.jobName + u"\t" + kind + (details.empty() ? u"" : u"\t" + details) + u"\n");
    }
  }
  if (c.line.json) print(json.endArray().text() + u"\n");
  return kExitOk;
}

int addTask(Console& c) {
  const std::u16string& name = c.line.operands[0];
  if (!isStorableListItem(name)) return badInput(quoted(name) + u" cannot be stored in a task");
  const int number = findJobNumber(name, c.settings);
  if (number <= 0) return badInput(u"no job named " + quoted(name) + u" in the job register");
  const char* kinds[] = {"at-start", "when-available", "once", "daily", "weekly"};
  int chosen = -1;
  for (int i = 0; i < 5; ++i) {
    if (!c.line.has(platform::fromUtf8(kinds[i]))) continue;
    if (chosen >= 0) return badInput(u"one of --at-start, --when-available, --once, --daily, --weekly");
    chosen = i;
  }
  if (chosen < 0) return badInput(u"task add needs --at-start, --when-available, --once, --daily or --weekly");
  // The register's spelling of the name, as the task dialog would take it.
  Task task;
  for (const RegisterRow& row : readRegister(c.settings)) {
    if (row.kind == RegisterKind::Job && platform::namesEqual(row.name, name)) {
      task.jobName = row.name;
      break;
    }
  }
  task.jobNumber = number;
  if (chosen <= 1) {
    task.kind = chosen == 0 ? kStartAtProgramStart : kStartWhenAvailable;
    task.period = kPeriodOnce;
    for (const char16_t* which : {u"delay", u"repeat"}) {
      const auto text = c.line.value(which);
      if (!text) continue;
      uint64_t seconds = 0;
      if (!parseDuration(*text, &seconds)) return badInput(u"not a duration: " + quoted(*text));
      if (which[0] == u'd') {
        task.delayOrStart = seconds;
      } else {
        task.repeatOrWeekdays = seconds == 0 ? 1 : seconds;  // a repeat of 0 runs once a second
      }
    }
  } else {
    if (c.line.has(u"delay") || c.line.has(u"repeat")) return badInput(u"--delay and --repeat go with --at-start and --when-available");
    task.kind = kStartTimed;
    task.period = chosen == 2 ? kPeriodOnce : chosen == 3 ? kPeriodDaily : kPeriodWeekly;
    CalendarTime when;
    WeekdayMask mask = 0;
    std::u16string error;
    if (!parseTimedStart(task.period, *c.line.value(platform::fromUtf8(kinds[chosen])), &when, &mask, &error)) {
      return badInput(error);
    }
    if (task.period == kPeriodWeekly) task.repeatOrWeekdays = mask;
    if (task.period != kPeriodOnce) {
      // Daily and weekly tasks begin today.
      const CalendarTime today = fileTimeToCalendar(platform::utcToLocal(platform::currentFileTime()));
      when.year = today.year;
      when.month = today.month;
      when.day = today.day;
    }
    task.delayOrStart = packDateTime(when);
  }
  TaskList list;
  list.load(c.settings);
  (void)list.add(task);
  const ErrorCode saved = list.commit(c.settings);
  if (saved != kSuccess) {
    printError(u"cannot write the settings: " + messageText(saved));
    return kExitActionsFailed;
  }
  print(u"Task " + decimal(list.rows().size()) + u" added\n");
  return task.kind == kStartTimed ? exportNow(c) : kExitOk;
}

namespace {

// A kind of task a "task remove" command line names, with the time it gives.
struct GivenKind {
  char kind;
  char period;  // 0: any
  bool timed = false;  // a time was given: `when` (and `weekdays`) must match
  CalendarTime when;
  WeekdayMask weekdays = 0;
};

// The kinds the command line names (none: any task of the job). False with the message
// printed when a given time cannot be read.
bool givenKinds(const CommandLine& line, std::vector<GivenKind>* kinds) {
  struct KindOption {
    std::u16string_view name;
    char kind;
    char period;
  };
  static constexpr KindOption kKinds[] = {{u"at-start", kStartAtProgramStart, 0},
                                          {u"when-available", kStartWhenAvailable, 0},
                                          {u"once", kStartTimed, kPeriodOnce},
                                          {u"daily", kStartTimed, kPeriodDaily},
                                          {u"weekly", kStartTimed, kPeriodWeekly}};
  for (const KindOption& k : kKinds) {
    if (!line.has(k.name)) continue;
    GivenKind given{k.kind, k.period, /*timed=*/false, CalendarTime{}, 0};
    if (const auto text = line.value(k.name); text) {
      std::u16string error;
      if (!parseTimedStart(k.period, *text, &given.when, &given.weekdays, &error)) {
        printError(error);
        return false;
      }
      given.timed = true;
    }
    kinds->push_back(given);
  }
  return true;
}

// Whether `task` is of a kind in `kinds` (any kind when it is empty), at its time when
// one was given: the date too for "once", the weekdays too for "weekly"; hours and
// minutes, as the system's scheduler takes them.
bool ofGivenKind(const std::vector<GivenKind>& kinds, const Task& task) {
  if (kinds.empty()) return true;
  const CalendarTime start = unpackDateTime(task.delayOrStart);
  return std::any_of(kinds.begin(), kinds.end(), [&](const GivenKind& k) {
    if (task.kind != k.kind || (k.period != 0 && task.period != k.period)) return false;
    if (!k.timed) return true;
    if (start.hour != k.when.hour || start.minute != k.when.minute) return false;
    if (k.period == kPeriodOnce) {
      return start.year == k.when.year && start.month == k.when.month && start.day == k.when.day;
    }
    return k.period != kPeriodWeekly || (task.repeatOrWeekdays & 0x7F) == k.weekdays;
  });
}

// The position (from 1) of the one task of job `name` of the kind given; 0 with the
// message printed when there is none, or more than one (the candidates are listed).
size_t taskOfJob(Console& c, const TaskList& list, std::u16string_view name) {
  std::vector<GivenKind> kinds;
  if (!givenKinds(c.line, &kinds)) return 0;
  std::vector<size_t> found;
  for (size_t i = 0; i < list.rows().size(); ++i) {
    const Task& task = list.rows()[i];
    if (platform::namesEqual(task.jobName, name) && ofGivenKind(kinds, task)) found.push_back(i + 1);
  }
  if (found.size() == 1) return found[0];
  if (found.empty()) {
    printError(u"no task of the job " + quoted(name) + u" of that kind and time (\"crvl tasks\" lists them)");
    return 0;
  }
  std::u16string message = u"more than one task of the job " + quoted(name) +
                           u" fits; give its number or its kind (--at-start, --when-available, --once, --daily, "
                           u"--weekly):";
  for (size_t n : found) {
    const Task& task = list.rows()[n - 1];
    const std::u16string details = task.kind == kStartTimed ? timedDetails(task) : delayDetails(task);
    message += u"\n  " + decimal(n) + u"\t" + task.jobName + u"\t" + uiText(TaskList::detailsTextId(task.kind)) +
               (details.empty() ? u"" : u"\t" + details);
  }
  printError(message);
  return 0;
}

}  // namespace

int removeTask(Console& c) {
  TaskList list;
  list.load(c.settings);
  const std::u16string& text = c.line.operands[0];
  size_t n = 0;
  const bool byNumber = !text.empty() && text.size() <= 6 &&
                        std::all_of(text.begin(), text.end(), [](char16_t ch) { return ch >= u'0' && ch <= u'9'; });
  if (byNumber) {
    for (char16_t ch : text) n = n * 10 + static_cast<size_t>(ch - u'0');
    if (n == 0 || n > list.rows().size()) {
      return badInput(u"no task " + quoted(text) + u" (there are " + decimal(list.rows().size()) + u")");
    }
  } else {
    // By job and kind: positions shift when tasks are removed, names do not.
    n = taskOfJob(c, list, text);
    if (n == 0) return kExitUsage;
  }
  const bool timed = list.rows()[n - 1].kind == kStartTimed;
  const std::u16string jobName = list.rows()[n - 1].jobName;
  list.select(static_cast<int>(n - 1));
  (void)list.removeSelected();
  const ErrorCode saved = list.commit(c.settings);
  if (saved != kSuccess) {
    printError(u"cannot write the settings: " + messageText(saved));
    return kExitActionsFailed;
  }
  print(u"Task " + decimal(n) + u" (" + jobName + u") removed\n");
  return timed ? exportNow(c) : kExitOk;
}

int exportTasks(Console& c) { return exportNow(c); }

int switchAutostart(Console& c) {
  const bool on = c.line.operands[0] == u"on";
  if (!on && c.line.operands[0] != u"off") return badInput(u"autostart needs on or off, not " + quoted(c.line.operands[0]));
  // The setting and the entry go together, so that the tray program keeps the entry.
  const uint32_t options = readAppOptions(c.settings);
  const uint32_t wanted = on ? options | kAppStartWithWindows : options & ~uint32_t{kAppStartWithWindows};
  if (wanted != options) {
    c.settings.putInt(kSettingsSection, "Opt", wanted);
    const ErrorCode flushed = c.settings.flushStore();
    if (flushed != kSuccess) {
      printError(u"cannot write the settings: " + messageText(flushed));
      return kExitActionsFailed;
    }
  }
  const std::u16string entry = sessionStartEntryPath(c.settings.path());
  const ErrorCode r = updateSessionStart(on, readStartDelay(c.settings), c.settings.path());
  if (r == kErrorInvalidName) {
    printError(u"cannot write the start entry " + entry +
               u": the settings file's path holds characters an autostart entry cannot hold exactly");
    return kExitActionsFailed;
  }
  if (r != kSuccess) {
    printError(u"cannot " + std::u16string(on ? u"write" : u"remove") + u" the start entry " + entry + u": " +
               messageText(r));
    return kExitActionsFailed;
  }
  print(std::u16string(on ? u"Starts with the session: " : u"No longer starts with the session: ") + entry + u"\n");
  return kExitOk;
}

}  // namespace crvl::cli
