#include "cli/log_commands.h"

#include <cstdio>

#include "jobs/path_macros.h"
#include "jobs/program_settings.h"
#include "logs/log_index.h"
#include "logs/log_list.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace crvl::cli {
namespace {

// The start stamp in local time as the Logs list shows it; the UTC stamp in ISO form
// when the system cannot format it.
std::u16string stampText(PackedDateTime stamp) {
  std::u16string shown = formatLogStamp(stamp);
  if (!shown.empty()) return shown;
  const CalendarTime t = unpackDateTime(stamp);
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%04u-%02u-%02u %02u:%02u:%02u UTC", unsigned(t.year), unsigned(t.month),
                unsigned(t.day), unsigned(t.hour), unsigned(t.minute), unsigned(t.second));
  return platform::fromUtf8(buffer);
}

// A log's time in ISO 8601, UTC ("2026-12-24T18:00:05Z").
std::u16string isoStamp(PackedDateTime stamp) {
  const CalendarTime t = unpackDateTime(stamp);
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%04u-%02u-%02uT%02u:%02u:%02uZ", unsigned(t.year), unsigned(t.month),
                unsigned(t.day), unsigned(t.hour), unsigned(t.minute), unsigned(t.second));
  return platform::fromUtf8(buffer);
}

char16_t entity(std::u16string_view name) {
  if (name == u"amp") return u'&';
  if (name == u"lt") return u'<';
  if (name == u"gt") return u'>';
  if (name == u"quot") return u'"';
  if (name == u"apos") return u'\'';
  if (name == u"nbsp") return u' ';
  if (name.size() > 1 && name[0] == u'#') {
    uint32_t code = 0;
    const bool hex = name[1] == u'x' || name[1] == u'X';
    for (char16_t c : name.substr(hex ? 2 : 1)) {
      const int digit = c >= u'0' && c <= u'9' ? c - u'0'
                        : hex && c >= u'a' && c <= u'f' ? c - u'a' + 10
                        : hex && c >= u'A' && c <= u'F' ? c - u'A' + 10
                                                        : -1;
      if (digit < 0 || code > 0xFFFF) return u'?';
      code = code * (hex ? 16 : 10) + static_cast<uint32_t>(digit);
    }
    return code > 0 && code <= 0xFFFF ? static_cast<char16_t>(code) : u'?';
  }
  return 0;
}

// Rows become lines, cells tabs; every other tag goes, entities are decoded.
std::u16string htmlAsText(std::u16string_view html) {
  std::u16string out;
  bool cellOpen = false;
  for (size_t i = 0; i < html.size();) {
    const char16_t c = html[i];
    if (c == u'<') {
      const size_t close = html.find(u'>', i);
      if (close == std::u16string_view::npos) break;
      std::u16string tag(html.substr(i + 1, close - i - 1));
      for (char16_t& t : tag) t = t >= u'A' && t <= u'Z' ? static_cast<char16_t>(t + 32) : t;
      if (tag.starts_with(u"tr") || tag == u"br" || tag.starts_with(u"/h") || tag == u"/title") {
        if (!out.empty() && out.back() != u'\n') out += u'\n';
        cellOpen = false;
      } else if (tag.starts_with(u"td") || tag.starts_with(u"th")) {
        if (cellOpen) out += u'\t';
        cellOpen = true;
      }
      i = close + 1;
    } else if (c == u'&') {
      const size_t semi = html.find(u';', i);
      const char16_t decoded = semi != std::u16string_view::npos && semi - i < 10 ? entity(html.substr(i + 1, semi - i - 1)) : 0;
      if (decoded != 0) {
        out += decoded;
        i = semi + 1;
      } else {
        out += c;
        ++i;
      }
    } else if (c == u'\r' || c == u'\n') {
      ++i;  // the markup's own line breaks carry no meaning
    } else {
      out += c;
      ++i;
    }
  }
  if (!out.empty() && out.back() != u'\n') out += u'\n';
  return out;
}

}  // namespace

std::u16string logAsText(std::string_view bytes) {
  std::u16string text;
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) {
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
      text += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8);
    }
  } else if (bytes.starts_with("\xEF\xBB\xBF")) {
    text = platform::fromUtf8(bytes.substr(3));
  } else {
    text = platform::ansiToUtf16(bytes);
  }
  const std::u16string_view start = std::u16string_view(text).substr(0, 512);
  if (start.find(u"<html") != std::u16string_view::npos || start.find(u"<HTML") != std::u16string_view::npos ||
      start.find(u"<table") != std::u16string_view::npos) {
    return htmlAsText(text);
  }
  std::u16string out;
  out.reserve(text.size());
  for (char16_t c : text) {
    if (c != u'\r') out += c;
  }
  return out;
}

int listLogs(Console& c) {
  JsonWriter json;
  json.beginArray();
  for (const LogIndexEntry& entry : listJobLogs(logFolder(c.settings))) {
    if (c.line.json) {
      json.beginObject().field(u"job", entry.jobName).field(u"stamp", entry.stamp).field(u"shown", stampText(entry.stamp));
      json.field(u"time", isoStamp(entry.stamp)).field(u"file", entry.logPath).endObject();
    } else {
      print(stampText(entry.stamp) + u"  " + entry.jobName + u"  " + entry.logPath + u"\n");
    }
  }
  if (c.line.json) print(json.endArray().text() + u"\n");
  return kExitOk;
}

int showLog(Console& c) {
  const std::u16string folder = logFolder(c.settings);
  std::u16string path;
  if (c.line.operands.empty()) {
    const auto logs = listJobLogs(folder);
    if (logs.empty()) return badInput(u"there are no logs");
    path = logs.front().logPath;
  } else {
    const std::u16string& which = c.line.operands[0];
    path = findLatestJobLog(folder, which);
    if (path.empty() && platform::pathExists(expandPath(which)) && !platform::isFolder(expandPath(which))) {
      path = expandPath(which);
    }
    if (path.empty()) return badInput(u"no log of a job named " + quoted(which) + u", and no such log file");
  }
  std::string bytes;
  const ErrorCode r = platform::readWholeFile(path, bytes);
  if (r != kSuccess) {
    printError(u"cannot read " + path + u": " + messageText(r));
    return kExitActionsFailed;
  }
  print(logAsText(bytes));
  return kExitOk;
}

int removeLogs(Console& c) {
  LogList list;
  list.load(logFolder(c.settings));
  for (size_t row = 0; row < list.rows().size(); ++row) list.select(row, false);
  // Every operand must name something before anything is removed.
  for (const std::u16string& which : c.line.operands) {
    const std::u16string asPath = expandPath(which);
    bool found = false;
    for (size_t row = 0; row < list.rows().size(); ++row) {
      const LogIndexEntry& e = list.rows()[row];
      if (platform::namesEqual(e.jobName, which) || platform::sameFolderPath(e.logPath, asPath)) {
        list.select(row, true);
        found = true;
      }
    }
    if (!found) return badInput(u"no log of a job named " + quoted(which) + u", and no such log file");
  }
  const size_t removed = list.removeSelected();
  print(decimal(removed) + (removed == 1 ? u" log removed\n" : u" logs removed\n"));
  return kExitOk;
}

}  // namespace crvl::cli
