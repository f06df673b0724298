#include "engine/copy_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "engine/run_test_support.h"
#include "platform/errors.h"

namespace crvl {
namespace {

using testing::RecordingSink;
using testing::TempFolder;
using testing::providerTable;
using testing::snapshot;
using testing::writeFile;

constexpr uint64_t kT = 132000000000000000ull;

// The local slot's getFile, counting the copies that run at once and failing every
// file whose name holds "bad" with 5; each copy takes a moment, so that copies handed
// to several workers meet.
struct CountingCopies {
  std::atomic<int> running{0};
  std::atomic<int> most{0};
  std::atomic<int> begun{0};
  bool holdFirst = false;  // the first copy waits (up to a second) until another runs
  ProviderOperations original{};
};
CountingCopies* g_copies = nullptr;

ErrorCode countingGetFile(FileSystemProvider* slot, ProviderHandle* h, const char16_t* source,
                          const char16_t* target, const EntryBlock* block, uint32_t flags, ProgressCallback progress,
                          void* data) {
  const int now = ++g_copies->running;
  for (int seen = g_copies->most.load(); now > seen && !g_copies->most.compare_exchange_weak(seen, now);) {
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(2));
  if (g_copies->holdFirst && g_copies->begun++ == 0) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (g_copies->running.load() < 2 && std::chrono::steady_clock::now() < until) std::this_thread::yield();
  }
  const ErrorCode r = std::u16string_view(source).find(u"bad") != std::u16string_view::npos
                          ? kErrorAccessDenied
                          : g_copies->original.getFile(slot, h, source, target, block, flags, progress, data);
  --g_copies->running;
  return r;
}

class CopyPoolTest : public testing::JobRunFixture {
 protected:
  void SetUp() override {
    JobRunFixture::SetUp();
    g_copies = &copies;
    copies.original = providerTable().slots[0].ops;
    providerTable().slots[0].ops.getFile = &countingGetFile;
  }
  void TearDown() override {
    providerTable().slots[0].ops = copies.original;
    g_copies = nullptr;
    JobRunFixture::TearDown();
  }
  CountingCopies copies;
};

std::u16string reportText(const RecordingSink& sink) {
  std::u16string text;
  for (const auto& r : sink.records) {
    text += std::u16string(1, static_cast<char16_t>(u'0' + r.marker + 8)) + u"|" + r.left + u"|" + r.right + u"|" +
            r.state + u"\n";
  }
  return text;
}

// One worker or eight: the same reports in the same order, the same statistics and the
// same folders, failures, deletions and record-only reports mixed in; only eight
// copy several files at once.
TEST_F(CopyPoolTest, ReportsAndResultsAreTheSameWithOneWorkerOrMany) {
  TempFolder tmp;
  for (int folder = 0; folder < 3; ++folder) {
    const std::string f = "L/f" + std::to_string(folder) + "/";
    for (int i = 0; i < 40; ++i) {
      const std::string name = (i % 7 == 3 ? "bad" : "file") + std::to_string(i) + ".txt";
      writeFile(tmp / (f + name), std::string(static_cast<size_t>(i * 37), 'a' + folder), kT + i);
    }
    writeFile(tmp / ("R" + std::to_string(0) + "/f" + std::to_string(folder) + "/orphan.txt"), "o", kT);
  }
  writeFile(tmp / "L/large.bin", std::string(kPooledCopyLimit, 'L'), kT);
  struct Run {
    uint32_t workers;
    std::u16string reports;
    std::map<std::string, std::string> tree;
    RunStatistics statistics;
  } runs[] = {{1, {}, {}, {}}, {2, {}, {}, {}}, {8, {}, {}, {}}};  // two: a folder fills their window
  for (Run& r : runs) {
    SCOPED_TRACE(r.workers);
    std::filesystem::remove_all(tmp / "R");
    std::filesystem::copy(tmp / "R0", tmp / "R", std::filesystem::copy_options::recursive);
    copies.most = 0;
    JobRun jr;
    jr.job.optionFlags = testing::kMirrorFlags;
    jr.job.includedPairs = {testing::pairOf(tmp.text("L"), tmp.text("R"))};
    jr.copyWorkers = r.workers;
    const RecordingSink sink = run(jr);
    r.reports = reportText(sink);
    r.tree = snapshot(tmp / "R");
    r.statistics = jr.statistics;
    EXPECT_EQ(sink.count(kMarkerCopiedNewRight), 121u);
    EXPECT_EQ(sink.count(kMarkerFileDeleted), 3u);
    EXPECT_EQ(copies.most.load() > 1, r.workers > 1) << copies.most.load();
  }
  for (const Run& r : runs) {
    SCOPED_TRACE(r.workers);
    EXPECT_EQ(r.reports, runs[0].reports);
    EXPECT_EQ(r.tree, runs[0].tree);
    EXPECT_EQ(r.statistics.filesCopied, 121u - 3u * 6u);
    EXPECT_EQ(r.statistics.bytesCopied, runs[0].statistics.bytesCopied);
  }
}

// Folders of one file each: while the first copy is held, the copy of the next folder's
// file starts, so the workers go on across folders. The reports (the notices of created
// folders among them) are those of one worker, and every created folder has its source's
// time although its files were linked after the walk had left it.
TEST_F(CopyPoolTest, CopiesGoOnAcrossFoldersAndFolderTimesComeAfterTheirFiles) {
  TempFolder tmp;
  const std::vector<std::string> folders = {"a0", "a0/b", "a0/b/c", "a1", "a2", "a3/d", "a3"};
  for (size_t i = 0; i < folders.size(); ++i) writeFile(tmp / ("L/" + folders[i] + "/f.txt"), "x", kT + i);
  writeFile(tmp / "L/a2/clash", "file", kT);
  std::filesystem::create_directories(tmp / "R0/a2/clash");
  writeFile(tmp / "R0/a3/orphan.txt", "o", kT);
  for (size_t i = 0; i < folders.size(); ++i) {
    ASSERT_EQ(platform::setFileTimes(tmp.text("L/" + folders[i]), 0, 0, kT + 1000 * i), 0u);
  }
  auto created = [](void* context, std::u16string_view path) {
    static_cast<RecordingSink*>(context)->records.push_back({99, std::u16string(path), {}, {}, true, false});
  };
  std::u16string reports[2];
  for (const uint32_t workers : {1u, 2u}) {
    SCOPED_TRACE(workers);
    std::filesystem::remove_all(tmp / "R");
    std::filesystem::copy(tmp / "R0", tmp / "R", std::filesystem::copy_options::recursive);
    copies.most = 0;
    copies.begun = 0;
    copies.holdFirst = workers > 1;
    JobRun jr;
    jr.job.optionFlags = testing::kMirrorFlags;
    jr.job.includedPairs = {testing::pairOf(tmp.text("L"), tmp.text("R"))};
    jr.copyWorkers = workers;
    RecordingSink sink;
    jr.providers = &providerTable();
    jr.sync.execute = 1;
    jr.sync.logSink = &sink.sink;
    jr.sync.scanner.stopWord = &stop;
    jr.sync.folderCreated = created;
    jr.sync.copyProgressContext = &sink;
    runJob(jr);
    reports[workers - 1] = reportText(sink);
    EXPECT_EQ(copies.most.load() > 1, workers > 1) << copies.most.load();
    EXPECT_EQ(sink.count(kMarkerCopiedNewRight), folders.size());
    EXPECT_EQ(sink.count(kMarkerTypeClash), 1u);
    EXPECT_EQ(sink.count(kMarkerFileDeleted), 1u);
    EXPECT_EQ(sink.count(99), 5u);
    for (const char* folder : {"a0", "a0/b", "a0/b/c", "a1", "a3/d"}) {  // a2 and a3 exist
      EXPECT_EQ(std::filesystem::last_write_time(tmp / "R" / folder),
                std::filesystem::last_write_time(tmp / "L" / folder))
          << folder;
    }
  }
  EXPECT_EQ(reports[1], reports[0]);
}

// A stop while the workers copy: nothing after it begins, every file that has its name
// is whole, and no temporary file is left.
TEST_F(CopyPoolTest, AStopEndsEveryWorkerAndLeavesOnlyWholeFiles) {
  TempFolder tmp;
  for (int i = 0; i < 200; ++i) writeFile(tmp / ("L/file" + std::to_string(i) + ".txt"), std::string(3000, 'x'), kT);
  std::thread stopper([this] {
    while (copies.most.load() == 0) std::this_thread::yield();
    stop = 1;
  });
  JobRun jr;
  jr.job.optionFlags = testing::kMirrorFlags;
  jr.job.includedPairs = {testing::pairOf(tmp.text("L"), tmp.text("R"))};
  jr.copyWorkers = 8;
  const RecordingSink sink = run(jr);
  stopper.join();
  EXPECT_LT(sink.records.size(), 200u);
  EXPECT_EQ(copies.running.load(), 0);
  for (const auto& [name, contents] : snapshot(tmp / "R")) EXPECT_EQ(contents, std::string(3000, 'x')) << name;
}

}  // namespace
}  // namespace crvl
