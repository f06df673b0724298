#include "cli/console_report.h"

#include <cstdio>

#include "cli/console_io.h"
#include "logs/log_writer.h"
#include "platform/console.h"
#include "platform/errors.h"

namespace crvl::cli {

namespace {

// The progress line is redrawn at most this often (ten times a second).
constexpr uint64_t kProgressEveryMs = 100;

std::u16string ascii(const char* text) { return std::u16string(text, text + std::char_traits<char>::length(text)); }

bool isCopy(int32_t marker) { return marker >= kMarkerCopiedNewRight && marker <= kMarkerCopiedOverLeft; }

// Why a pair reported without an error was left as it was; empty for the others.
std::u16string_view unsynchronisedReason(int32_t marker) {
  switch (marker) {
    case kMarkerTypeClash: return u"type clash: a file faces a folder, or a linked folder was not entered";
    case kMarkerConflict: return u"conflict: equal times, different sizes";
    case kMarkerDifferent: return u"left different: the files differ and the job does not copy them";
    default: return {};
  }
}

// A record's state as shown: without the system message's line end and, where the
// system has words of its own for the cause (POSIX), with those.
std::u16string shownState(const std::u16string& state) {
  std::u16string shown = state;
  while (!shown.empty() && (shown.back() == u'\n' || shown.back() == u'\r')) shown.pop_back();
  if (shown.empty()) return shown;
  const std::u16string cause = platform::posixCause(platform::messageCode(state));
  if (!cause.empty()) shown += u" (" + cause + u")";
  return shown;
}

void actionJson(JsonWriter& json, int32_t marker, std::u16string_view left, std::u16string_view right,
                std::u16string_view reason, std::u16string_view path = {}) {
  if (path.empty()) path = left.empty() ? right : left;
  json.field(u"path", path).field(u"left", left).field(u"right", right);
  json.field(u"action", actionName(marker)).field(u"marker", markerText(marker)).field(u"reason", reason);
}

}  // namespace

std::u16string_view actionName(int32_t marker) noexcept {
  switch (marker) {
    case kMarkerFolderNotCreated: return u"create folder";
    case kMarkerFolderRemoved: return u"remove folder";
    case kMarkerFileDeleted: return u"delete file";
    case kMarkerCopiedNewRight: return u"copy new file to the right";
    case kMarkerCopiedNewLeft: return u"copy new file to the left";
    case kMarkerCopiedOverRight: return u"copy over the right file";
    case kMarkerCopiedOverLeft: return u"copy over the left file";
    case kMarkerSideUnavailable: return u"reach folder";
    case kMarkerConflict: return u"conflict";
    case kMarkerTypeClash: return u"type clash";
    case kMarkerDifferent: return u"left different";
    default: return u"report";
  }
}

ConsoleReporter::ConsoleReporter(const LogSink* next, const ReportStyle& style, ReportCapture capture)
    : next_(next), style_(style), capture_(capture), sink_{this, &ConsoleReporter::write}, progress_(style.options) {}

void ConsoleReporter::out(std::u16string_view text) {
  if (capture_.out != nullptr) {
    capture_.out->append(text);
  } else {
    platform::writeConsole(platform::ConsoleStream::Out, text);
  }
}

void ConsoleReporter::err(std::u16string_view text) {
  if (capture_.err != nullptr) {
    capture_.err->append(text);
  } else {
    platform::writeConsole(platform::ConsoleStream::Err, text);
  }
}

void ConsoleReporter::clearProgress() {
  if (!progressShown_) return;
  // Blanks over the line, without the last column (which would wrap on some terminals).
  const size_t width = style_.width > 1 ? style_.width - 1 : 1;
  out(u"\r" + std::u16string(width, u' ') + u"\r");
  progressShown_ = false;
}

void ConsoleReporter::drawProgress(uint64_t nowMs) {
  if (!style_.progress) return;
  if (startMs_ == 0) startMs_ = nowMs == 0 ? 1 : nowMs;
  if (progressShown_ && nowMs - lastDrawMs_ < kProgressEveryMs) return;
  lastDrawMs_ = nowMs;
  std::u16string line = progress_.line(nowMs - startMs_, style_.width);
  // Blanks over what a longer line before it left.
  if (style_.width > 1 && line.size() < style_.width - 1) line.resize(style_.width - 1, u' ');
  out(u"\r" + line);
  progressShown_ = true;
}

void ConsoleReporter::record(int32_t marker, LogText left, LogText right, const std::u16string& state) {
  RunCounts& c = counts_;
  ++c.reported;
  const bool failed = !state.empty();
  if (failed) {
    ++c.errors;
  } else if (isCopy(marker)) {
    ++c.filesCopied;
  } else if (marker == kMarkerFileDeleted) {
    ++c.filesDeleted;
  } else if (marker == kMarkerFolderRemoved) {
    ++c.foldersRemoved;
  }
  uint32_t* unsynchronised = failed                       ? nullptr
                             : marker == kMarkerTypeClash ? &c.typeClashes
                             : marker == kMarkerConflict  ? &c.conflicts
                             : marker == kMarkerDifferent ? &c.leftDifferent
                                                          : nullptr;
  progress_.reported(marker, left, right);
  const std::u16string shown = shownState(state);
  const std::u16string line = formatRecordLine(marker, left, right, shown);
  if (unsynchronised != nullptr) {
    ++*unsynchronised;
    if (c.unsynchronised.size() < kListedUnsynchronised) c.unsynchronised.push_back(line);
  }
  const bool problem = failed || unsynchronised != nullptr;
  if (problem && c.problems.size() < kListedProblems) {
    c.problems.push_back(RunProblem{marker, failed, std::u16string(left.value_or(u"")), std::u16string(right.value_or(u"")),
                                    failed ? shown : std::u16string(unsynchronisedReason(marker)), line});
  }
  const bool verbose = style_.verbosity == Verbosity::Verbose;
  if (!problem && !verbose) return;
  clearProgress();
  // A problem always reaches standard error; on a terminal shared with standard output
  // it is not shown twice.
  if (problem) err(line + u"\n");
  if (verbose && style_.json) {
    JsonWriter json;
    json.beginObject();
    actionJson(json, marker, left.value_or(u""), right.value_or(u""),
               failed ? std::u16string_view(shown) : unsynchronisedReason(marker));
    json.field(u"ok", !problem);
    out(json.endObject().text() + u"\n");
  } else if (verbose && !(problem && style_.sharedTerminal)) {
    out(line + u"\n");
  }
}

void ConsoleReporter::write(void* context, int32_t marker, LogText left, LogText right,
                            std::u16string& state) noexcept {
  auto* self = static_cast<ConsoleReporter*>(context);
  try {
    self->record(marker, left, right, state);
  } catch (...) {
    // Output is best effort; the log below still gets the record.
  }
  writeLogRecord(self->next_, marker, left, right, state);
}

void ConsoleReporter::copyProgress(uint64_t bytes, uint64_t nowMs) {
  progress_.copyBytes(bytes);
  drawProgress(nowMs);
}

void ConsoleReporter::folderScanned(const EntryList& list, uint32_t equalFiles, uint64_t nowMs) {
  if (!style_.progress) return;  // planning is for the progress line only
  progress_.folderScanned(list, equalFiles);
  drawProgress(nowMs);
}

void ConsoleReporter::folderCreated(std::u16string_view path) {
  if (style_.verbosity != Verbosity::Verbose) return;
  try {
    clearProgress();
    if (style_.json) {
      JsonWriter json;
      json.beginObject();
      actionJson(json, kMarkerFolderNotCreated, u"", u"", u"", path);
      out(json.field(u"ok", true).endObject().text() + u"\n");
    } else {
      out(u"++ " + std::u16string(path) + u" OK\n");
    }
  } catch (...) {
  }
}

void ConsoleReporter::progressHook(void* self, uint64_t bytes) {
  static_cast<ConsoleReporter*>(self)->copyProgress(bytes, platform::monotonicMilliseconds());
}

void ConsoleReporter::scannedHook(void* self, const EntryList& list, uint32_t equalFiles) {
  try {
    static_cast<ConsoleReporter*>(self)->folderScanned(list, equalFiles, platform::monotonicMilliseconds());
  } catch (...) {
  }
}

void ConsoleReporter::createdHook(void* self, std::u16string_view path) {
  static_cast<ConsoleReporter*>(self)->folderCreated(path);
}

std::u16string formatBytes(uint64_t bytes) {
  char buffer[32];
  if (bytes < 1024) {
    std::snprintf(buffer, sizeof buffer, "%llu B", static_cast<unsigned long long>(bytes));
    return ascii(buffer);
  }
  const char* units[] = {"KiB", "MiB", "GiB", "TiB", "PiB"};
  double value = static_cast<double>(bytes) / 1024.0;
  size_t unit = 0;
  while (value >= 1024.0 && unit + 1 < std::size(units)) {
    value /= 1024.0;
    ++unit;
  }
  std::snprintf(buffer, sizeof buffer, value < 10.0 ? "%.2f %s" : value < 100.0 ? "%.1f %s" : "%.0f %s",
                value, units[unit]);
  return ascii(buffer);
}

std::u16string formatSummary(const RunCounts& counts, const RunStatistics& stats, uint64_t elapsedMs,
                             bool simulated, bool stopped) {
  char buffer[512];
  std::snprintf(buffer, sizeof buffer,
                "%s\n"
                "  files copied:    %u\n"
                "  files deleted:   %u\n"
                "  folders created: %u\n"
                "  folders removed: %u\n"
                "  errors:          %u\n"
                "  type clashes:    %u\n"
                "  conflicts:       %u\n"
                "  left different:  %u\n"
                "  bytes copied:    %llu\n"
                "  elapsed:         %llu.%03llu s\n",
                stopped ? "Stopped by the user." : simulated ? "Simulation finished: nothing was changed." : "Run finished.",
                counts.filesCopied, counts.filesDeleted, stats.foldersCreated, counts.foldersRemoved,
                counts.errors, counts.typeClashes, counts.conflicts, counts.leftDifferent,
                static_cast<unsigned long long>(stats.bytesCopied),
                static_cast<unsigned long long>(elapsedMs / 1000), static_cast<unsigned long long>(elapsedMs % 1000));
  std::u16string summary = ascii(buffer);
  if (counts.errors != 0) {
    summary += u"Failed:\n";
    size_t listed = 0;
    for (const RunProblem& p : counts.problems) {
      if (!p.failed) continue;
      summary += u"  " + p.line + u"\n";
      ++listed;
    }
    if (counts.errors > listed) summary += u"  ... and " + decimal(counts.errors - listed) + u" more (see the log)\n";
  }
  if (counts.leftUnsynchronised() == 0) return summary;
  summary += u"Left unsynchronised (type clash Err, conflict ?, different !):\n";
  for (const std::u16string& line : counts.unsynchronised) summary += u"  " + line + u"\n";
  if (counts.leftUnsynchronised() > counts.unsynchronised.size()) {
    summary += u"  ... and " + decimal(counts.leftUnsynchronised() - counts.unsynchronised.size()) + u" more\n";
  }
  return summary;
}

std::u16string formatRunJson(const RunCounts& counts, const RunStatistics& stats, const RunJsonFacts& facts) {
  JsonWriter json;
  json.beginObject().field(u"job", facts.job).field(u"simulated", facts.simulated).field(u"stopped", facts.stopped);
  json.key(u"counts").beginObject();
  json.field(u"filesCopied", counts.filesCopied).field(u"filesDeleted", counts.filesDeleted);
  json.field(u"foldersCreated", stats.foldersCreated).field(u"foldersRemoved", counts.foldersRemoved);
  json.field(u"errors", counts.errors).field(u"typeClashes", counts.typeClashes);
  json.field(u"conflicts", counts.conflicts).field(u"leftDifferent", counts.leftDifferent);
  json.field(u"bytesCopied", stats.bytesCopied).field(u"elapsedMs", facts.elapsedMs).endObject();
  json.key(u"failures").beginArray();
  for (const RunProblem& p : counts.problems) {
    json.beginObject();
    actionJson(json, p.marker, p.left, p.right, p.reason);
    json.endObject();
  }
  json.endArray().key(u"logFile");
  if (facts.logPath.empty()) {
    json.null();
  } else {
    json.value(facts.logPath);
  }
  return json.field(u"exitStatus", facts.exitStatus).endObject().text() + u"\n";
}

}  // namespace crvl::cli
