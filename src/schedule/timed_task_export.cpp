#include "schedule/timed_task_export.h"

#include <algorithm>

#include "jobs/profile_store.h"
#include "language/language_table.h"
#include "os_traits.h"
#include "platform/environment.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "plugins/remembered_password.h"
#include "resources/string_ids.h"
#include "schedule/app_state.h"
#include "schedule/session_start.h"
#include "schedule/settings_tag.h"

namespace crvl {
namespace {

using platform::WorkItem;
using platform::WorkTrigger;

constexpr size_t kMaxParameterChars = 255;
constexpr std::u16string_view kProductName = u"Corvell";

bool triggerMatches(const WorkTrigger& have, const WorkTrigger& want) {
  if (have.type != want.type || have.startHour != want.startHour || have.startMinute != want.startMinute) return false;
  switch (want.type) {
    case platform::kTriggerOnce:
      return have.beginYear == want.beginYear && have.beginMonth == want.beginMonth && have.beginDay == want.beginDay;
    case platform::kTriggerDaily:
      return have.daysInterval == want.daysInterval;
    default:
      return have.weeksInterval == want.weeksInterval && (have.weekdays & 0x7F) == (want.weekdays & 0x7F);
  }
}

// Whether `name` is one of the export's own items: its prefix, then a number. Items of
// other settings files (another tag after the prefix) and of other programs are not.
bool ownName(std::u16string_view name, std::u16string_view prefix) {
  if (name.size() <= prefix.size() || !platform::namesEqual(name.substr(0, prefix.size()), prefix)) return false;
  for (char16_t c : name.substr(prefix.size())) {
    if (c < u'0' || c > u'9') return false;
  }
  return true;
}

bool nameTaken(const std::vector<std::u16string>& names, std::u16string_view name) {
  for (const std::u16string& n : names) {
    if (platform::namesEqual(n, name)) return true;
  }
  return false;
}

// The real scheduler behind the export's operations.
struct RealScheduler {
  platform::SystemScheduler scheduler;
  std::u16string tag;
  std::u16string prefix;

  explicit RealScheduler(std::u16string_view settingsPath)
      : tag(settingsTag(settingsPath)), prefix(platform::SystemScheduler::itemNamePrefix(kProductName, tag)) {}

  SchedulerOps ops() {
    SchedulerOps o;
    o.context = this;
    o.list = [](void* c, std::vector<WorkItem>& items) {
      auto* self = static_cast<RealScheduler*>(c);
      return self->scheduler.list(self->prefix, items);
    };
    o.remove = [](void* c, std::u16string_view name) { return static_cast<RealScheduler*>(c)->scheduler.remove(name); };
    o.create = [](void* c, const WorkItem& item, std::u16string_view account, std::u16string_view password,
                  bool* refused) {
      return static_cast<RealScheduler*>(c)->scheduler.create(item, account, password, refused);
    };
    o.needsAccount = platform::SystemScheduler::needsAccount();
    o.itemName = [](void* c, int number) {
      return platform::SystemScheduler::itemName(kProductName, static_cast<RealScheduler*>(c)->tag, number);
    };
    o.namePrefix = prefix;
    o.account = platform::SystemScheduler::accountName();
    return o;
  }
};

}  // namespace

AccountPassword accountPasswordOf(AppState& state) {
  AccountPassword seam;
  seam.context = &state;
  seam.obtain = [](void* context, std::u16string_view title, std::u16string& password) {
    auto& s = *static_cast<AppState*>(context);
    std::u16string typed;
    const bool given = s.rememberedPassword.obtain(s.passwordRequests.prompt, title, typed);
    wipeText(typed);
    // The account gets what is remembered: at most 127 characters.
    return given && s.rememberedPassword.get(password) && !password.empty();
  };
  seam.forget = [](void* context) { static_cast<AppState*>(context)->rememberedPassword.clear(); };
  return seam;
}

namespace {

// Whether the items of `settingsPath` start the tray program, which reads only the
// program's own settings files; those of any other settings file start the console
// program with that file, so that an item never runs a job of another settings file.
bool startsTrayProgram(std::u16string_view settingsPath) {
  return os::kWindows && (settingsPath.empty() || settingsTag(settingsPath).empty());
}

// `text` as one word of a console program's command line, as CommandLineToArgvW reads
// it back: quoted when it holds a blank or a quote, with the backslashes before a quote
// or the closing quote doubled.
void appendArgumentWord(std::u16string_view text, std::u16string& line) {
  if (!text.empty() && text.find_first_of(u" \t\"") == std::u16string_view::npos) {
    line += text;
    return;
  }
  line += u'"';
  size_t backslashes = 0;
  for (char16_t c : text) {
    if (c == u'\\') {
      ++backslashes;
      continue;
    }
    line.append(c == u'"' ? 2 * backslashes + 1 : backslashes, u'\\');
    backslashes = 0;
    line += c;
  }
  line.append(2 * backslashes, u'\\');
  line += u'"';
}

// One word of the console program's command line in an item: systemd's form on POSIX.
bool appendConsoleWord(std::u16string_view text, std::u16string& line) {
  if constexpr (os::kWindows) {
    appendArgumentWord(text, line);
    return true;
  }
  return platform::SystemScheduler::appendCommandWord(text, line);
}

}  // namespace

std::u16string timedTaskProgram(std::u16string_view settingsPath) {
  if (!os::kWindows || startsTrayProgram(settingsPath)) return scheduledProgramPath();
  std::u16string path = platform::programFolder();
  platform::appendPathComponent(path, u"crvlc.exe");
  return path;
}

std::u16string timedTaskParameters(std::u16string_view jobName, std::u16string_view settingsPath) {
  std::u16string out;
  if (startsTrayProgram(settingsPath)) {
    if (!platform::SystemScheduler::appendCommandWord(jobName, out)) return {};
    if (out.size() > kMaxParameterChars) out.resize(kMaxParameterChars);
  } else {
    out = u"--settings ";
    if (!appendConsoleWord(settingsPath, out)) return {};
    out += u" run ";
    if (!appendConsoleWord(jobName, out)) return {};
    // Never cut: a cut line would run another job or settings file.
    if (os::kWindows && out.size() > kMaxParameterChars) return {};
  }
  return out;
}

WorkTrigger triggerForTask(const Task& task) {
  const CalendarTime start = unpackDateTime(task.delayOrStart);
  WorkTrigger t;
  t.beginYear = start.year;
  t.beginMonth = start.month;
  t.beginDay = start.day;
  t.startHour = start.hour;
  t.startMinute = start.minute;
  if (task.period == kPeriodDaily) {
    t.type = platform::kTriggerDaily;
    t.daysInterval = 1;
  } else if (task.period == kPeriodWeekly) {
    t.type = platform::kTriggerWeekly;
    t.weeksInterval = 1;
    t.weekdays = static_cast<uint16_t>(task.repeatOrWeekdays & 0x7F);
  } else {
    t.type = platform::kTriggerOnce;
  }
  return t;
}

bool itemMatchesTask(const WorkItem& item, std::u16string_view application, std::u16string_view parameters,
                     const Task& task) {
  if (!platform::namesEqual(item.application, application) || !platform::namesEqual(item.parameters, parameters)) {
    return false;
  }
  const WorkTrigger want = triggerForTask(task);
  for (const WorkTrigger& have : item.triggers) {
    if (triggerMatches(have, want)) return true;
  }
  return false;
}

ExportReport exportTimedTasks(const std::vector<Task>& tasks, std::u16string_view application,
                              std::u16string_view settingsPath, SchedulerOps& ops, const AccountPassword* password) {
  ExportReport report;
  std::vector<const Task*> timed;
  for (const Task& task : tasks) {
    if (task.valid() && task.kind == kStartTimed) timed.push_back(&task);
  }
  report.timedTasks = timed.size();
  // Nothing changes when a command line cannot be written exactly: an item must never
  // start the program on another settings file or job.
  std::vector<std::u16string> parameters;
  for (const Task* task : timed) {
    parameters.push_back(timedTaskParameters(task->jobName, settingsPath));
    if (parameters.back().empty()) {
      report.error = kErrorInvalidName;
      report.unwritable = task->jobName;
      return report;
    }
  }

  std::vector<WorkItem> items;
  report.error = ops.list(ops.context, items);
  if (report.error != kSuccess) return report;
  std::vector<bool> done(timed.size(), false);
  std::vector<std::u16string> kept;
  // Only this settings file's items of this program take part; with no timed task
  // left they all go.
  for (const WorkItem& item : items) {
    if (!ownName(item.name, ops.namePrefix) || !platform::namesEqual(item.application, application)) continue;
    bool matched = false;
    for (const WorkTrigger& have : item.triggers) {
      for (size_t i = 0; i < timed.size(); ++i) {
        if (done[i] || !platform::namesEqual(item.parameters, parameters[i]) ||
            !triggerMatches(have, triggerForTask(*timed[i]))) {
          continue;
        }
        done[i] = true;  // already registered
        matched = true;
        break;
      }
    }
    if (matched) {
      kept.push_back(item.name);
      ++report.kept;
    } else if (ops.remove(ops.context, item.name) == kSuccess) {
      ++report.deleted;
    }
  }
  if (std::find(done.begin(), done.end(), false) == done.end()) return report;

  std::u16string secret;
  if (ops.needsAccount) {
    const std::u16string title = uiText(kTexttPsw) + ops.account;
    if (password == nullptr || password->obtain == nullptr || !password->obtain(password->context, title, secret) ||
        secret.empty()) {
      report.noPassword = true;
      return report;
    }
  }
  // Positions count over all timed tasks; a position whose name belongs to an item kept
  // for another task gives its task the next free number, so no kept item is lost.
  std::vector<std::u16string> taken = kept;
  int next = static_cast<int>(timed.size());
  for (size_t i = 0; i < timed.size(); ++i) {
    if (done[i]) continue;
    std::u16string name = ops.itemName(ops.context, static_cast<int>(i) + 1);
    while (nameTaken(taken, name)) name = ops.itemName(ops.context, ++next);
    taken.push_back(name);
    (void)ops.remove(ops.context, name);
    WorkItem item;
    item.name = name;
    item.application.assign(application);
    item.parameters = parameters[i];
    item.triggers.push_back(triggerForTask(*timed[i]));
    bool refused = false;
    if (ops.create(ops.context, item, ops.account, secret, &refused) != kSuccess) {
      ++report.failed;
      continue;
    }
    ++report.created;
    if (refused) {
      report.accountRefused = true;
      if (password != nullptr && password->forget != nullptr) password->forget(password->context);
    }
  }
  wipeText(secret);
  return report;
}

ExportReport exportTimedTasks(ProfileStore& settings, const AccountPassword* password, std::u16string* message) {
  if (message != nullptr) message->clear();
  RealScheduler real(settings.path());
  ExportReport report;
  report.error = real.scheduler.open();
  if (report.error != kSuccess) return report;
  SchedulerOps ops = real.ops();
  const std::u16string program = timedTaskProgram(settings.path());
  std::u16string word;
  if (!platform::SystemScheduler::appendCommandWord(program, word, /*program=*/true)) {
    report.error = kErrorInvalidName;
    report.unwritable = program;
  } else {
    report = exportTimedTasks(loadTasks(settings), program, settings.path(), ops, password);
  }
  if (message != nullptr && report.error == kErrorInvalidName) {
    *message = u"nothing was changed: a timer's command line cannot hold this path or name exactly: " +
               report.unwritable;
    return report;
  }
  (void)real.scheduler.finish(message);
  return report;
}

}  // namespace crvl
