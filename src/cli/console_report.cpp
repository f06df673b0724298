#include "cli/console_report.h"

#include <cstdio>

#include "logs/log_writer.h"
#include "platform/console.h"

namespace crvl::cli {

namespace {

// A copy shows a progress line once it has run this long, redrawn at most this often.
constexpr uint64_t kProgressAfterMs = 1000;
constexpr uint64_t kProgressEveryMs = 250;
constexpr size_t kProgressWidth = 60;

std::u16string ascii(const char* text) { return std::u16string(text, text + std::char_traits<char>::length(text)); }

}  // namespace

ConsoleReporter::ConsoleReporter(const LogSink* next, bool terminal, std::u16string* capture)
    : next_(next), terminal_(terminal), capture_(capture), sink_{this, &ConsoleReporter::write} {}

void ConsoleReporter::out(std::u16string_view text) {
  if (capture_ != nullptr) {
    capture_->append(text);
  } else {
    platform::writeConsole(platform::ConsoleStream::Out, text);
  }
}

void ConsoleReporter::clearProgress() {
  if (!progressShown_) return;
  out(u"\r" + std::u16string(kProgressWidth, u' ') + u"\r");
  progressShown_ = false;
}

void ConsoleReporter::write(void* context, int32_t marker, LogText left, LogText right,
                            std::u16string& state) noexcept {
  auto* self = static_cast<ConsoleReporter*>(context);
  try {
    RunCounts& c = self->counts_;
    ++c.reported;
    const bool failed = !state.empty();
    if (failed) {
      ++c.errors;
    } else if (marker >= kMarkerCopiedNewRight && marker <= kMarkerCopiedOverLeft) {
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
    self->clearProgress();
    // The system messages end in CR LF; the line shows them without it.
    std::u16string shownState = state;
    while (!shownState.empty() && (shownState.back() == u'\n' || shownState.back() == u'\r')) {
      shownState.pop_back();
    }
    std::u16string line = formatRecordLine(marker, left, right, shownState);
    if (unsynchronised != nullptr) {
      ++*unsynchronised;
      if (c.unsynchronised.size() < kListedUnsynchronised) c.unsynchronised.push_back(line);
    }
    self->out(line + u"\n");
    self->copyBytes_ = 0;
    self->copyStartMs_ = 0;
  } catch (...) {
    // Output is best effort; the log below still gets the record.
  }
  writeLogRecord(self->next_, marker, left, right, state);
}

void ConsoleReporter::copyProgress(uint64_t bytes, uint64_t nowMs) {
  if (!terminal_) return;
  if (copyStartMs_ == 0) copyStartMs_ = nowMs == 0 ? 1 : nowMs;
  copyBytes_ += bytes;
  const uint64_t running = nowMs - copyStartMs_;
  if (running < kProgressAfterMs || nowMs - lastDrawMs_ < kProgressEveryMs) return;
  lastDrawMs_ = nowMs;
  const uint64_t rate = running == 0 ? 0 : copyBytes_ * 1000 / running;
  std::u16string line = u"\r  copying: " + formatBytes(copyBytes_) + u" at " + formatBytes(rate) + u"/s";
  if (line.size() < kProgressWidth) line.append(kProgressWidth - line.size(), u' ');
  out(line);
  progressShown_ = true;
}

void ConsoleReporter::progressHook(void* self, uint64_t bytes) {
  static_cast<ConsoleReporter*>(self)->copyProgress(bytes, platform::monotonicMilliseconds());
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
  if (counts.leftUnsynchronised() == 0) return summary;
  summary += u"Left unsynchronised (type clash Err, conflict ?, different !):\n";
  for (const std::u16string& line : counts.unsynchronised) summary += u"  " + line + u"\n";
  if (counts.leftUnsynchronised() > counts.unsynchronised.size()) {
    std::snprintf(buffer, sizeof buffer, "  ... and %zu more\n",
                  static_cast<size_t>(counts.leftUnsynchronised() - counts.unsynchronised.size()));
    summary += ascii(buffer);
  }
  return summary;
}

}  // namespace crvl::cli
