// Work items as systemd user timers: "corvell-N.timer" with the calendar, and
// "corvell-N.service" that runs the program once, in the user's unit folder. The units
// are written through a temporary file renamed into place, read back to list them, and
// enabled with systemctl when it answers.
#include "platform/system_scheduler.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "platform/environment.h"
#include "platform/files.h"
#include "platform/listings.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/text.h"
#include "platform/posix/key_value_lines.h"

namespace crvl::platform {
namespace {

constexpr std::u16string_view kTimerSuffix = u".timer";
constexpr std::u16string_view kServiceSuffix = u".service";
constexpr const char* kDayNames[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

std::string ascii(std::u16string_view text) { return toUtf8(text); }

// "2026-12-24 18:00:00", "*-*-* 08:30:00", "Mon,Fri *-*-* 18:00:00".
std::string calendarOf(const WorkTrigger& t) {
  char clock[16];
  std::snprintf(clock, sizeof clock, "%02u:%02u:00", unsigned(t.startHour % 24), unsigned(t.startMinute % 60));
  if (t.type == kTriggerDaily) return std::string("*-*-* ") + clock;
  if (t.type == kTriggerWeekly) {
    std::string days;
    for (int d = 0; d < 7; ++d) {
      if ((t.weekdays >> d & 1) == 0) continue;
      if (!days.empty()) days += ',';
      days += kDayNames[d];
    }
    // A weekly trigger without days never fires; systemd needs some day: it gets none
    // that could come (an impossible date), so that the unit stays valid and idle.
    if (days.empty()) return std::string("*-02-30 ") + clock;
    return days + " *-*-* " + clock;
  }
  char date[24];
  std::snprintf(date, sizeof date, "%04u-%02u-%02u ", unsigned(t.beginYear), unsigned(t.beginMonth),
                unsigned(t.beginDay));
  return date + std::string(clock);
}

bool readNumber(std::string_view& s, unsigned& value, size_t digits) {
  if (s.size() < digits) return false;
  value = 0;
  for (size_t i = 0; i < digits; ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    value = value * 10 + static_cast<unsigned>(s[i] - '0');
  }
  s.remove_prefix(digits);
  return true;
}

bool readClock(std::string_view s, WorkTrigger& t) {
  unsigned h = 0, m = 0, sec = 0;
  if (!readNumber(s, h, 2) || s.empty() || s[0] != ':') return false;
  s.remove_prefix(1);
  if (!readNumber(s, m, 2) || s.empty() || s[0] != ':') return false;
  s.remove_prefix(1);
  if (!readNumber(s, sec, 2) || !s.empty()) return false;
  t.startHour = static_cast<uint16_t>(h);
  t.startMinute = static_cast<uint16_t>(m);
  return true;
}

// The trigger of a calendar this program wrote; false for any other form.
bool triggerOf(std::string_view calendar, WorkTrigger& t) {
  t = WorkTrigger{};
  const size_t space = calendar.rfind(' ');
  if (space == std::string_view::npos) return false;
  if (!readClock(calendar.substr(space + 1), t)) return false;
  std::string_view date = calendar.substr(0, space);
  if (date == "*-*-*") {
    t.type = kTriggerDaily;
    t.daysInterval = 1;
    return true;
  }
  const size_t daysEnd = date.find(' ');
  if (daysEnd != std::string_view::npos) {
    if (date.substr(daysEnd + 1) != "*-*-*") return false;
    t.type = kTriggerWeekly;
    t.weeksInterval = 1;
    std::string_view days = date.substr(0, daysEnd);
    while (!days.empty()) {
      const size_t comma = days.find(',');
      const std::string_view day = days.substr(0, comma);
      const auto* found = std::find(std::begin(kDayNames), std::end(kDayNames), day);
      if (found == std::end(kDayNames)) return false;
      t.weekdays = static_cast<uint16_t>(t.weekdays | (1u << (found - std::begin(kDayNames))));
      days = comma == std::string_view::npos ? std::string_view() : days.substr(comma + 1);
    }
    return true;
  }
  if (date == "*-02-30") {  // the idle form of a weekly trigger without days
    t.type = kTriggerWeekly;
    t.weeksInterval = 1;
    return true;
  }
  unsigned y = 0, mo = 0, d = 0;
  if (!readNumber(date, y, 4) || date.empty() || date[0] != '-') return false;
  date.remove_prefix(1);
  if (!readNumber(date, mo, 2) || date.empty() || date[0] != '-') return false;
  date.remove_prefix(1);
  if (!readNumber(date, d, 2) || !date.empty()) return false;
  t.type = kTriggerOnce;
  t.beginYear = static_cast<uint16_t>(y);
  t.beginMonth = static_cast<uint16_t>(mo);
  t.beginDay = static_cast<uint16_t>(d);
  return true;
}

// Appends `text` as a quoted systemd word (`argument`: an argument; else the program).
// Backslash and quote are escaped, '%' doubled
// (specifiers) and, in arguments, '$' doubled (variables; the program word takes none);
// control characters and bytes that are not UTF-8 (held as U+DC80 + byte) become C
// escapes, which systemd reads back as those bytes. Other lone surrogates have no byte
// to stand for: false.
bool appendSystemdWord(std::u16string_view text, bool argument, std::string& out) {
  // systemd refuses to run a program whose path holds control characters, quotes or
  // backslashes, however they are escaped.
  if (!argument && text.find_first_of(u"\"'\\\x7f") != std::u16string_view::npos) return false;
  for (char16_t c : text) {
    if (!argument && c < 0x20) return false;
  }
  std::string word = "\"";
  char hex[8];
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    const bool high = c >= 0xD800 && c < 0xDC00;
    if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
      word += toUtf8(text.substr(i, 2));
      ++i;
    } else if (c >= 0xDC80 && c <= 0xDCFF) {
      std::snprintf(hex, sizeof hex, "\\x%02x", unsigned(c - 0xDC00));
      word += hex;
    } else if (c >= 0xD800 && c < 0xE000) {
      return false;
    } else if (c == u'\n') {
      word += "\\n";
    } else if (c == u'\t') {
      word += "\\t";
    } else if (c == u'\r') {
      word += "\\r";
    } else if (c < 0x20 || c == 0x7F) {
      if (c == 0) return false;
      std::snprintf(hex, sizeof hex, "\\x%02x", unsigned(c));
      word += hex;
    } else if (c == u'\\' || c == u'"') {
      word += '\\';
      word += static_cast<char>(c);
    } else if (c == u'%' || (argument && c == u'$')) {
      word += static_cast<char>(c);
      word += static_cast<char>(c);
    } else {
      word += toUtf8(text.substr(i, 1));
    }
  }
  out += word + "\"";
  return true;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Splits "ExecStart" into the program, read back as systemd reads the word this
// program writes (quotes, C escapes, "%%"), and the rest of the line as it stands.
void splitCommand(std::string_view line, std::string& program, std::string& rest) {
  program.clear();
  size_t i = 0;
  const bool quoted = !line.empty() && line[0] == '"';
  if (quoted) ++i;
  for (; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted ? c == '"' : c == ' ') break;
    if (c == '%' && i + 1 < line.size() && line[i + 1] == '%') {
      program += '%';
      ++i;
    } else if (c == '\\' && i + 1 < line.size()) {
      const char e = line[++i];
      if (e == 'n') {
        program += '\n';
      } else if (e == 't') {
        program += '\t';
      } else if (e == 'r') {
        program += '\r';
      } else if (e == 'x' && i + 2 < line.size() && hexDigit(line[i + 1]) >= 0 && hexDigit(line[i + 2]) >= 0) {
        program += static_cast<char>(hexDigit(line[i + 1]) * 16 + hexDigit(line[i + 2]));
        i += 2;
      } else {
        program += e;
      }
    } else {
      program += c;
    }
  }
  if (quoted && i < line.size()) ++i;
  while (i < line.size() && line[i] == ' ') ++i;
  rest.assign(line.substr(std::min(i, line.size())));
}

bool hasSuffix(std::u16string_view text, std::u16string_view suffix) {
  return text.size() > suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

}  // namespace

struct SystemScheduler::Impl {
  std::u16string folder;
  std::vector<std::u16string> created;  // unit names of the timers made in this session
  bool opened = false;

  std::u16string unitPath(std::u16string_view name, std::u16string_view suffix) const {
    std::u16string path = folder;
    appendPathComponent(path, std::u16string(name) + std::u16string(suffix));
    return path;
  }
};

SystemScheduler::SystemScheduler() : impl_(std::make_unique<Impl>()) {}
SystemScheduler::~SystemScheduler() = default;

ErrorCode SystemScheduler::open() {
  std::u16string folder = appDataFolder();
  if (folder.empty()) return kErrorPathNotFound;
  appendPathComponent(folder, u"systemd");
  appendPathComponent(folder, u"user");
  impl_->folder = std::move(folder);
  impl_->opened = true;
  return kSuccess;
}

ErrorCode SystemScheduler::list(std::u16string_view namePrefix, std::vector<WorkItem>& items) {
  items.clear();
  if (!impl_->opened) return kErrorInvalidFunction;
  std::vector<std::u16string> names;
  const ErrorCode r = listFileNames(impl_->folder, names);
  if (r == kErrorPathNotFound || r == kErrorFileNotFound) return kSuccess;  // no units yet
  if (r != kSuccess) return r;
  std::sort(names.begin(), names.end());
  for (const std::u16string& file : names) {
    if (!hasSuffix(file, kTimerSuffix) || file.substr(0, namePrefix.size()) != namePrefix) continue;
    WorkItem item;
    item.name = file.substr(0, file.size() - kTimerSuffix.size());
    std::string timer, service;
    if (readWholeFile(impl_->unitPath(item.name, kTimerSuffix), timer) != kSuccess) continue;
    (void)readWholeFile(impl_->unitPath(item.name, kServiceSuffix), service);
    WorkTrigger trigger;
    if (triggerOf(keyValueOf(timer, "OnCalendar"), trigger)) item.triggers.push_back(trigger);
    std::string program, rest;
    splitCommand(keyValueOf(service, "ExecStart"), program, rest);
    item.application = fromSystemBytes(program);
    item.parameters = fromUtf8(rest);
    items.push_back(std::move(item));
  }
  return kSuccess;
}

ErrorCode SystemScheduler::remove(std::u16string_view name) {
  if (!impl_->opened) return kErrorInvalidFunction;
  uint32_t status = 0;
  // A timer that systemd knows is stopped first; without systemctl only the files go.
  (void)runCommandLine(u"systemctl --user disable --now '" + std::u16string(name) + u".timer' >/dev/null 2>&1", {},
                       &status);
  ErrorCode r = deleteFile(impl_->unitPath(name, kTimerSuffix));
  if (r == kErrorFileNotFound || r == kErrorPathNotFound) r = kSuccess;
  ErrorCode s = deleteFile(impl_->unitPath(name, kServiceSuffix));
  if (s == kErrorFileNotFound || s == kErrorPathNotFound) s = kSuccess;
  return r != kSuccess ? r : s;
}

ErrorCode SystemScheduler::create(const WorkItem& item, std::u16string_view, std::u16string_view,
                                  bool* accountRefused) {
  if (accountRefused != nullptr) *accountRefused = false;
  if (!impl_->opened) return kErrorInvalidFunction;
  if (item.triggers.empty() || item.name.empty() || item.name.find(u'/') != std::u16string::npos) {
    return kErrorInvalidParameter;
  }
  // The parameters come as written words (appendCommandWord); a line break among them
  // would end the unit's line.
  std::string program;
  if (!appendSystemdWord(item.application, /*argument=*/false, program) ||
      item.parameters.find_first_of(u"\r\n") != std::u16string::npos) {
    return kErrorInvalidName;
  }
  const std::string name = ascii(item.name);
  const std::string service = "[Unit]\nDescription=" + name +
                              ": a timed task of the synchronisation program\n\n[Service]\nType=oneshot\n"
                              "ExecStart=" + program + " " + ascii(item.parameters) + "\n";
  const std::string timer = "[Unit]\nDescription=" + name + ": when the timed task runs\n\n[Timer]\nOnCalendar=" +
                            calendarOf(item.triggers.front()) + "\nUnit=" + name +
                            ".service\n\n[Install]\nWantedBy=timers.target\n";
  ErrorCode r = writeWholeFile(impl_->unitPath(item.name, kServiceSuffix), service);
  if (r == kSuccess) r = writeWholeFile(impl_->unitPath(item.name, kTimerSuffix), timer);
  if (r == kSuccess) impl_->created.push_back(item.name);
  return r;
}

ErrorCode SystemScheduler::finish(std::u16string* message) {
  if (message != nullptr) message->clear();
  if (!impl_->opened) return kErrorInvalidFunction;
  uint32_t status = 1;
  const ErrorCode started = runCommandLine(u"systemctl --user daemon-reload >/dev/null 2>&1", {}, &status);
  if (started == kSuccess && status == 0) {
    for (const std::u16string& name : impl_->created) {
      (void)runCommandLine(u"systemctl --user enable --now '" + name + u".timer' >/dev/null 2>&1", {}, &status);
    }
  } else if (message != nullptr && !impl_->created.empty()) {
    *message = u"systemctl --user does not answer here: the timers are written to " + impl_->folder +
               u". Enable them in your session with: systemctl --user daemon-reload && systemctl --user "
               u"enable --now";
    for (const std::u16string& name : impl_->created) *message += u" " + name + u".timer";
  }
  impl_->created.clear();
  return kSuccess;
}

bool SystemScheduler::needsAccount() noexcept { return false; }

std::u16string SystemScheduler::itemName(std::u16string_view product, std::u16string_view tag, int number) {
  return itemNamePrefix(product, tag) + fromUtf8(std::to_string(number));
}

std::u16string SystemScheduler::itemNamePrefix(std::u16string_view product, std::u16string_view tag) {
  std::u16string prefix;
  for (char16_t c : product) {
    prefix.push_back(c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c == u' ' ? u'-' : c);
  }
  prefix += u'-';
  if (!tag.empty()) prefix += std::u16string(tag) + u"-";
  return prefix;
}

bool SystemScheduler::appendCommandWord(std::u16string_view text, std::u16string& line, bool program) {
  std::string word;
  if (!appendSystemdWord(text, /*argument=*/!program, word)) return false;
  line += fromUtf8(word);
  return true;
}

std::u16string SystemScheduler::accountName() {
  if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr && entry->pw_name != nullptr) {
    return fromSystemBytes(entry->pw_name);
  }
  return {};
}

std::u16string SystemScheduler::itemFolder() const { return impl_->folder; }

}  // namespace crvl::platform
