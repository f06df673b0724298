#include "cli/console_report.h"

#include <gtest/gtest.h>

#include "cli/run_progress.h"
#include "engine/pair_scanner.h"

namespace crvl::cli {
namespace {

struct Forwarded {
  int count = 0;
  std::u16string lastState;
  LogSink sink{this, [](void* c, int32_t, LogText, LogText, std::u16string& state) noexcept {
                 auto* self = static_cast<Forwarded*>(c);
                 ++self->count;
                 self->lastState = state;
                 state.clear();
               }};
};

TEST(ConsoleReporter, CountsPrintsAndForwardsEveryReport) {
  Forwarded log;
  std::u16string output, errors;
  ReportStyle verbose;
  verbose.verbosity = Verbosity::Verbose;
  ConsoleReporter reporter(&log.sink, verbose, ReportCapture{&output, &errors});
  struct Report {
    int32_t marker;
    const char16_t* left;
    const char16_t* right;
    const char16_t* state;
  };
  const Report reports[] = {
      {kMarkerCopiedNewRight, u"/l/a", u"/r/a", u""},
      {kMarkerCopiedOverLeft, u"/l/b", u"/r/b", u""},
      {kMarkerCopiedOverRight, u"/l/c", u"/r/c", u"Access is denied.\r\n"},
      {kMarkerFileDeleted, nullptr, u"/r/d", u""},
      {kMarkerFolderRemoved, nullptr, u"/r/e", u""},
      {kMarkerFolderRemoved, nullptr, u"/r/f", u"The directory is not empty.\r\n"},
      {kMarkerConflict, u"g", u"g", u""},
      {kMarkerSideUnavailable, u"Q:\\x", nullptr, u"The device is not ready.\r\n"},
  };
  for (const Report& r : reports) {
    std::u16string state = r.state;
    reporter.sink()->writeLogRecord(reporter.sink()->context, r.marker,
                                    r.left ? LogText(r.left) : LogText(), r.right ? LogText(r.right) : LogText(),
                                    state);
    EXPECT_TRUE(state.empty());
    EXPECT_EQ(log.lastState, r.state);  // the log gets the text unchanged
  }
  EXPECT_EQ(log.count, 8);
  const RunCounts& c = reporter.counts();
  EXPECT_EQ(c.filesCopied, 2u);
  EXPECT_EQ(c.filesDeleted, 1u);
  EXPECT_EQ(c.foldersRemoved, 1u);
  EXPECT_EQ(c.errors, 3u);
  EXPECT_EQ(c.reported, 8u);
  EXPECT_EQ(c.conflicts, 1u);  // reported without an error, yet not synchronised
  EXPECT_EQ(c.unsynchronised, std::vector<std::u16string>{u"? g g OK"});
  // One line per report; the message's own line end does not split a line.
  EXPECT_EQ(std::count(output.begin(), output.end(), u'\n'), 8);
  EXPECT_EQ(output.find(u'\r'), std::u16string::npos);
  EXPECT_NE(output.find(u"Access is denied."), std::u16string::npos);
}

TEST(ConsoleReporter, ProgressLineOnlyOnATerminalAtMostTenTimesASecond) {
  for (bool terminal : {false, true}) {
    std::u16string output;
    ReportStyle style;
    style.progress = terminal;
    ConsoleReporter reporter(nullptr, style, ReportCapture{&output, &output});
    reporter.copyProgress(1 << 20, 5000);
    EXPECT_EQ(output.empty(), !terminal);
    const size_t drawn = output.size();
    reporter.copyProgress(1 << 20, 5050);  // within a tenth of a second: not redrawn
    EXPECT_EQ(output.size(), drawn);
    reporter.copyProgress(1 << 20, 5200);
    EXPECT_EQ(output.size() > drawn, terminal);
    if (terminal) {
      EXPECT_NE(output.find(u"3.00 MiB"), std::u16string::npos);
      EXPECT_NE(output.find(u"15.0 MiB/s"), std::u16string::npos);  // 3 MiB in 0.2 s
    }
  }
}

TEST(ConsoleReporter, ScannedLineCountsEqualFilesTheListLeavesOut) {
  // A header, one file on the left only and one folder pair; 5 pairs of equal files
  // were counted by the scan, not recorded.
  EntryList list(true);
  const EntryBlock folder{0x10, 0, 0, 0, 0};
  const EntryBlock file{0x20, 7, 0, 0, 0};
  ASSERT_GE(action_record::append(list, kCodeFolderPair, 0, folder, folder, u"/l", u"/r"), 0);
  ASSERT_GE(action_record::append(list, kCodeFileLeftOnly, 0, file, EntryBlock{}, u"n", u""), 0);
  ASSERT_GE(action_record::append(list, kCodeFolderPair, 0, folder, folder, u"/l/d", u"/r/d"), 0);
  FolderPlan plan;
  planFolder(list, 5, kOptAddRight, plan);
  // The header is the folder itself, no entry of it.
  EXPECT_EQ(plan.leftEntries, 5u + 2u);
  EXPECT_EQ(plan.rightEntries, 5u + 1u);
  EXPECT_EQ(plan.copies, 1u);
  EXPECT_EQ(plan.bytes, 7u);
  planFolder(list, 0, kOptAddRight, plan);  // reused: nothing carried over
  EXPECT_EQ(plan.leftEntries, 2u);
  EXPECT_EQ(plan.rightEntries, 1u);
}

TEST(ConsoleReporter, FormatsByteCountsAndTheSummary) {
  const std::pair<uint64_t, std::u16string> sizes[] = {
      {0, u"0 B"}, {1023, u"1023 B"}, {1536, u"1.50 KiB"}, {10u << 20, u"10.0 MiB"},
      {uint64_t(300) << 30, u"300 GiB"}, {~0ull, u"16384 PiB"}};
  for (const auto& [bytes, text] : sizes) EXPECT_EQ(formatBytes(bytes), text);

  RunCounts counts;
  counts.filesCopied = 3;
  counts.errors = 1;
  RunStatistics stats;
  stats.foldersCreated = 2;
  stats.bytesCopied = 12345;
  const std::u16string s = formatSummary(counts, stats, 1234, /*simulated=*/true, /*stopped=*/false);
  EXPECT_NE(s.find(u"nothing was changed"), std::u16string::npos);
  EXPECT_NE(s.find(u"files copied:    3\n"), std::u16string::npos);
  EXPECT_NE(s.find(u"folders created: 2\n"), std::u16string::npos);
  EXPECT_NE(s.find(u"errors:          1\n"), std::u16string::npos);
  EXPECT_NE(s.find(u"bytes copied:    12345\n"), std::u16string::npos);
  EXPECT_NE(s.find(u"1.234 s"), std::u16string::npos);
  EXPECT_NE(formatSummary(counts, stats, 0, false, true).find(u"Stopped"), std::u16string::npos);
}

}  // namespace
}  // namespace crvl::cli
