#include "engine/job_run.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>

#include "engine/engine_test_support.h"
#include "engine/run_test_support.h"
#include "platform/environment.h"
#include "platform/paths.h"
#include "platform/volumes.h"
#include "jobs/filter_format.h"
#include "os_traits.h"

namespace crvl {
namespace {

using testing::EngineFixture;
using testing::RecordingSink;
using testing::TempFolder;
using testing::readFile;
using testing::u16;
using testing::writeFile;
namespace fs = std::filesystem;

constexpr uint64_t kT = 132000000000000000ull;  // a time in 2019
constexpr uint64_t kSec = 10'000'000;

constexpr OptionFlags kMirror = testing::kMirrorFlags;
constexpr OptionFlags kBidirectional = testing::kBidirectionalFlags;
using testing::pairOf;
using testing::providerTable;
using testing::snapshot;

class JobRunTest : public testing::JobRunFixture {};

TEST_F(JobRunTest, ExcludedLeftFolderMakesTheWholePairDoNothing) {
  TempFolder tmp;
  writeFile(tmp / "L/a.txt", "a", kT);
  writeFile(tmp / "R/old.txt", "old", kT);
  const auto before = snapshot(tmp.root());
  RecordingSink sink = run(tmp.text("L"), tmp.text("R"), kMirror, true,
                           {pairOf(tmp.text("L"), tmp.text("elsewhere"))});
  EXPECT_TRUE(sink.records.empty());
  EXPECT_EQ(snapshot(tmp.root()), before);

  // Excluded sub-folders are left alone, on either side, while their siblings are
  // synchronised: a one-sided excluded folder is neither created nor deleted.
  writeFile(tmp / "L/skip/x.txt", "x", kT);
  writeFile(tmp / "L/take/y.txt", "y", kT);
  writeFile(tmp / "R/keep/mine.txt", "mine", kT);
  writeFile(tmp / "R/drop/z.txt", "z", kT);
  sink = run(tmp.text("L"), tmp.text("R"), kMirror, true,
             {pairOf(tmp.text("L/skip"), tmp.text("R/keep"))});
  EXPECT_TRUE(fs::exists(tmp / "R/take/y.txt"));
  EXPECT_FALSE(fs::exists(tmp / "R/skip"));
  EXPECT_EQ(readFile(tmp / "R/keep/mine.txt"), "mine");
  EXPECT_FALSE(fs::exists(tmp / "R/drop"));
  EXPECT_FALSE(fs::exists(tmp / "R/old.txt"));
  for (const auto& r : sink.records) {
    EXPECT_EQ(r.left.find(u"skip"), std::u16string::npos);
    EXPECT_EQ(r.right.find(u"keep"), std::u16string::npos);
  }
}

TEST_F(JobRunTest, SimulatedMirrorReportsEveryActionAsOkAndChangesNothing) {
  TempFolder tmp;
  writeFile(tmp / "L/new.txt", "new", kT);
  writeFile(tmp / "L/newer.txt", "v2", kT + 100 * kSec);
  writeFile(tmp / "R/newer.txt", "v1", kT);
  writeFile(tmp / "L/sub/deep.txt", "deep", kT);
  writeFile(tmp / "R/orphan.txt", "orphan", kT);
  writeFile(tmp / "R/gone/a.txt", "a", kT);
  writeFile(tmp / "R/gone/b.txt", "b", kT);
  const auto before = snapshot(tmp.root());

  RecordingSink sink = run(tmp.text("L"), tmp.text("R"), kMirror, /*execute=*/false);
  EXPECT_EQ(snapshot(tmp.root()), before);
  for (const auto& r : sink.records) EXPECT_TRUE(r.state.empty()) << r.marker;
  EXPECT_EQ(sink.count(kMarkerCopiedNewRight), 2u);   // new.txt, sub/deep.txt
  EXPECT_EQ(sink.count(kMarkerCopiedOverRight), 1u);  // newer.txt
  EXPECT_EQ(sink.count(kMarkerFileDeleted), 3u);      // orphan.txt and the two in gone/
  EXPECT_EQ(sink.count(kMarkerFolderRemoved), 1u);    // gone
  EXPECT_EQ(sink.records.size(), 7u);

  // Executing the same job gives the left tree on the right, and nothing to do after.
  sink = run(tmp.text("L"), tmp.text("R"), kMirror);
  for (const auto& r : sink.records) EXPECT_TRUE(r.state.empty()) << r.marker;
  EXPECT_EQ(snapshot(tmp / "R"), snapshot(tmp / "L"));
  EXPECT_TRUE(run(tmp.text("L"), tmp.text("R"), kMirror).records.empty());
}

TEST_F(JobRunTest, BidirectionalNeverLosesAnythingAndSettles) {
  for (OptionFlags flags : {kBidirectional, OptionFlags{0x3C81 | 0x4000 | 0x20000}}) {
    SCOPED_TRACE(flags);
    TempFolder tmp;
    writeFile(tmp / "L/a.txt", "a", kT);
    writeFile(tmp / "R/b.txt", "b", kT);
    writeFile(tmp / "L/ldir/x/1.txt", "1", kT);
    writeFile(tmp / "R/rdir/y/2.txt", "2", kT);
    writeFile(tmp / "L/same/new.txt", "new", kT + 50 * kSec);
    writeFile(tmp / "R/same/new.txt", "old", kT);
    RecordingSink sink = run(tmp.text("L"), tmp.text("R"), flags);
    for (const auto& r : sink.records) EXPECT_TRUE(r.state.empty()) << r.marker;
    EXPECT_EQ(sink.count(kMarkerFileDeleted), 0u);
    EXPECT_EQ(sink.count(kMarkerFolderRemoved), 0u);
    const std::map<std::string, std::string> all = {
        {"a.txt", "a"}, {"b.txt", "b"}, {"ldir", "/"}, {"ldir/x", "/"}, {"ldir/x/1.txt", "1"},
        {"rdir", "/"}, {"rdir/y", "/"}, {"rdir/y/2.txt", "2"}, {"same", "/"}, {"same/new.txt", "new"}};
    EXPECT_EQ(snapshot(tmp / "L"), all);
    EXPECT_EQ(snapshot(tmp / "R"), all);
    EXPECT_TRUE(run(tmp.text("L"), tmp.text("R"), flags).records.empty());
  }
}

TEST_F(JobRunTest, TheFolderHookSeesEqualFilesCountedAndNoRecordOfThem) {
  TempFolder tmp;
  for (const char* side : {"L", "R"}) {
    writeFile(tmp / side / "a.txt", "a", kT);
    writeFile(tmp / side / "b.txt", "b", kT);
    writeFile(tmp / side / "sub/c.txt", "c", kT);
  }
  writeFile(tmp / "L/sub/new.txt", "n", kT);
  // What the hook is told per folder, in the run's order: equal pairs and record codes.
  struct Seen {
    std::vector<std::pair<uint32_t, std::vector<int>>> folders;
  };
  for (uint32_t threads : {1u, 2u}) {
    SCOPED_TRACE(threads);
    Seen seen;
    JobRun jr;
    jr.job.optionFlags = kMirror;
    jr.job.includedPairs = {pairOf(tmp.text("L"), tmp.text("R"))};
    jr.scanThreads = threads;
    jr.sync.copyProgressContext = &seen;
    jr.sync.folderScanned = [](void* context, const EntryList& list, uint32_t equalFiles) {
      std::vector<int> codes;
      action_record::Fields f;
      for (uint32_t off = list.next(0); off < list.byteSize(); off = list.next(off)) {
        action_record::load(list, off, f);
        codes.push_back(f.code);
      }
      static_cast<Seen*>(context)->folders.emplace_back(equalFiles, std::move(codes));
    };
    RecordingSink sink = run(jr, /*execute=*/false);
    const std::vector<std::pair<uint32_t, std::vector<int>>> expected = {
        {2u, {kCodeFolderPair}}, {1u, {kCodeFileLeftOnly}}};
    EXPECT_EQ(seen.folders, expected);
    EXPECT_EQ(sink.count(kMarkerCopiedNewRight), 1u);
  }
}

TEST_F(JobRunTest, AMissingTopFolderIsCreatedOnlyBelowAFolderThatIsThere) {
  struct Case {
    const char* name;
    std::string target;  // below the test folder
    bool targetLeft;
    OptionFlags flags;
    bool execute;
    ErrorCode failure;  // the one failure reported, 0 for none
  };
  const Case cases[] = {
      {"Mirror into a new folder", "R/new", false, kMirror, true, 0},
      {"simulated Mirror into a new folder", "R/new", false, kMirror, false, 0},
      {"adds to the left into a new folder", "new", true, kOptAddLeft, true, 0},
      {"Mirror below a missing folder", "gone/new", false, kMirror, true, kErrorPathNotFound},
      {"adds to the left below a missing folder", "gone/deeper", true, kOptAddLeft, true, kErrorPathNotFound},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder tmp;
    writeFile(tmp / "S/a.txt", "a", kT);
    writeFile(tmp / "S/b.txt", "b", kT);
    tmp.makeFolder("R");
    const std::u16string target = tmp.text(c.target);
    RecordingSink sink = c.targetLeft ? run(target, tmp.text("S"), c.flags, c.execute)
                                      : run(tmp.text("S"), target, c.flags, c.execute);
    size_t failures = 0;
    for (const auto& r : sink.records) failures += r.state.empty() ? 0 : 1;
    if (c.failure != 0) {
      // Nothing is created: the pair is skipped with its error.
      ASSERT_EQ(sink.records.size(), 1u);
      EXPECT_EQ(sink.records[0].marker, kMarkerSideUnavailable);
      EXPECT_EQ(sink.records[0].state, platform::systemMessage(c.failure));
      EXPECT_EQ(c.targetLeft ? sink.records[0].left : sink.records[0].right, target);
      EXPECT_FALSE(fs::exists(tmp / "gone"));
      continue;
    }
    EXPECT_EQ(failures, 0u);
    ASSERT_FALSE(sink.records.empty());
    // The creation is the first report, then every file is copied into the new folder.
    EXPECT_EQ(sink.records[0].marker, kMarkerFolderNotCreated);
    EXPECT_EQ(c.targetLeft ? sink.records[0].left : sink.records[0].right, target);
    EXPECT_EQ(sink.count(c.targetLeft ? kMarkerCopiedNewLeft : kMarkerCopiedNewRight), 2u);
    EXPECT_EQ(fs::exists(tmp / c.target), c.execute);
    if (c.execute) {
      EXPECT_EQ(readFile(tmp / c.target / "a.txt"), "a");
      EXPECT_EQ(readFile(tmp / c.target / "b.txt"), "b");
    }
    EXPECT_EQ(readFile(tmp / "S/a.txt"), "a");
  }
}

// A folder named as a mount point in the mount table is no place to write while nothing
// is mounted on it: its folder belongs to the system disk.
TEST_F(JobRunTest, ATargetOnAMountPointWithNothingMountedIsUnreachable) {
  if constexpr (os::kWindows) GTEST_SKIP() << "drive letters stand for mount points on Windows";
  TempFolder tmp;
  writeFile(tmp / "S/a.txt", "a", kT);
  tmp.makeFolder("stick");
  writeFile(tmp / "fstab", "# test table\nLABEL=STICK " + (tmp / "stick").string() + " vfat noauto,user 0 0\n", kT);
  testing::ScopedVariable table(u"CRVL_FSTAB", tmp.text("fstab"));
  const std::string stick = "'" + (tmp / "stick").string() + "'";
  // Unmounted however the test ends, before the test folder is removed.
  struct Mount {
    std::string point;
    bool active = false;
    ~Mount() {
      if (active) (void)std::system(("umount " + point).c_str());
    }
  } mount{stick};

  for (const bool mounted : {false, true}) {
    SCOPED_TRACE(mounted ? "mounted" : "not mounted");
    if (mounted) {
      mount.active = std::system(("mount -t tmpfs crvl-test " + stick + " 2>/dev/null").c_str()) == 0;
      if (!mount.active) GTEST_SKIP() << "mounting a tmpfs is not permitted here";
    }
    for (const char* target : {"stick", "stick/backup"}) {
      SCOPED_TRACE(target);
      RecordingSink sink = run(tmp.text("S"), tmp.text(target), kMirror);
      if (mounted) {
        for (const auto& r : sink.records) EXPECT_TRUE(r.state.empty()) << r.marker;
        EXPECT_EQ(readFile(tmp / target / "a.txt"), "a");
      } else {
        ASSERT_EQ(sink.records.size(), 1u);
        EXPECT_EQ(sink.records[0].state, platform::systemMessage(kErrorNotReady));
        EXPECT_TRUE(fs::is_empty(tmp / "stick"));
      }
    }
  }
  mount.active = false;
  EXPECT_EQ(std::system(("umount " + stick).c_str()), 0);
  EXPECT_TRUE(fs::is_empty(tmp / "stick"));  // everything went onto the medium
}

// A folder link back into the tree on the side a Mirror only reads is entered, except
// where it leads to a folder already being synchronised: that pair is left alone, its
// right folder untouched, on one scan thread and on several.
TEST_F(JobRunTest, ALinkBackToAnAncestorIsNotEnteredAgain) {
  for (const uint32_t threads : {1u, 3u}) {
    SCOPED_TRACE(threads);
    TempFolder tmp;
    writeFile(tmp / "L/a.txt", "a", kT);
    writeFile(tmp / "L/sub/b.txt", "b", kT);
    writeFile(tmp / "R/sub/up/keep.txt", "keep", kT);
    writeFile(tmp / "R/sub/ahead/keep.txt", "keep", kT);
    std::error_code ec;
    fs::create_directory_symlink("..", tmp / "L/sub/up", ec);
    if (ec) GTEST_SKIP() << "no folder links here";
    fs::create_directory_symlink(".", tmp / "L/sub/ahead", ec);
    JobRun jr;
    jr.job.optionFlags = kMirror;
    jr.job.includedPairs = {pairOf(tmp.text("L"), tmp.text("R"))};
    jr.scanThreads = threads;
    const RecordingSink sink = run(jr);
    EXPECT_EQ(sink.count(kMarkerTypeClash), 0u);
    EXPECT_EQ(readFile(tmp / "R/a.txt"), "a");
    EXPECT_EQ(readFile(tmp / "R/sub/b.txt"), "b");
    // Neither loop was synchronised: nothing copied into it, nothing deleted there.
    for (const char* loop : {"R/sub/up", "R/sub/ahead"}) {
      EXPECT_EQ(snapshot(tmp / loop), (std::map<std::string, std::string>{{"keep.txt", "keep"}})) << loop;
    }
  }
}

TEST_F(JobRunTest, NewFoldersWithoutRecursionAreCreatedEmpty) {
  struct Case {
    OptionFlags flags;
    bool folderCreated;
    bool contentsCopied;
  };
  const Case cases[] = {
      {kOptCopyNewFolders | kOptAddRight, true, false},
      {kOptCopyNewFolders | kOptAddRight | kOptRecurse, true, true},
      {kOptCopyNewFolders | kOptUpdateRight | kOptRecurse, true, false},  // "=>" adds no files
      {kOptAddRight | kOptRecurse, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.flags);
    TempFolder tmp;
    writeFile(tmp / "L/top.txt", "t", kT);
    writeFile(tmp / "L/sub/inner.txt", "i", kT);
    fs::create_directories(tmp / "R");
    RecordingSink sink = run(tmp.text("L"), tmp.text("R"), c.flags);
    EXPECT_EQ(fs::exists(tmp / "R/sub"), c.folderCreated);
    EXPECT_EQ(fs::exists(tmp / "R/sub/inner.txt"), c.contentsCopied);
    EXPECT_EQ(fs::exists(tmp / "R/top.txt"), (c.flags & kOptAddRight) != 0);
  }
}

TEST_F(JobRunTest, FilterAppliesOnlyWhileItsSwitchIsOn) {
  for (uint32_t filterSwitch : {0u, 1u}) {
    SCOPED_TRACE(filterSwitch);
    TempFolder tmp;
    writeFile(tmp / "L/keep.dat", "k", kT);
    writeFile(tmp / "L/skip.txt", "s", kT);
    writeFile(tmp / "L/sub/deep.txt", "d", kT);
    JobRun jr;
    jr.job.optionFlags = kMirror;
    jr.job.filterSwitch = filterSwitch;
    jr.job.filter.exclude.masks = u"*.txt";
    jr.job.includedPairs = {pairOf(tmp.text("L"), tmp.text("R"))};
    (void)run(jr);
    EXPECT_TRUE(fs::exists(tmp / "R/keep.dat"));
    EXPECT_EQ(fs::exists(tmp / "R/skip.txt"), filterSwitch == 0);
    EXPECT_EQ(fs::exists(tmp / "R/sub/deep.txt"), filterSwitch == 0);
  }
}

TEST_F(JobRunTest, RunsOnTheProviderTableItIsGiven) {
  TempFolder tmp;
  writeFile(tmp / "L/a.txt", "a", kT);
  writeFile(tmp / "R/orphan.txt", "o", kT);
  ProviderTable own;
  own.initialize(u"File System Plugins");
  providerTable().initialize(u"");
  for (FileSystemProvider& slot : providerTable().slots) slot = FileSystemProvider{};  // the fixture's table is empty
  JobRun jr;
  jr.providers = &own;
  jr.job.optionFlags = kMirror;
  jr.job.includedPairs = {pairOf(tmp.text("L"), tmp.text("R"))};
  RecordingSink sink = run(jr);
  for (const auto& r : sink.records) EXPECT_TRUE(r.state.empty()) << r.marker;
  EXPECT_EQ(snapshot(tmp / "R"), (std::map<std::string, std::string>{{"a.txt", "a"}}));
  EXPECT_EQ(own.slots[0].openCount.load(), 0);
}

// A plug-in slot that forwards to the local provider and can be told to misbehave.
struct WrapState {
  std::atomic<int32_t>* stop = nullptr;
  bool rootMissing = false;
  int getFileCalls = 0;
  ErrorCode getFileResult = 0;  // when set, every copy fails with it
  std::vector<std::pair<int32_t, int32_t>> finishes;
};
WrapState* g_wrap = nullptr;

FileSystemProvider& localSlot() { return providerTable().slots[0]; }

ProviderHandle* wrapOpen(FileSystemProvider* slot, void* owner, int32_t index, const char16_t* path) {
  std::u16string p(path);
  // "\C:\x" after the slot prefix: the local provider wants "C:\x".
  if (p.size() >= 3 && (p[0] == u'\\' || p[0] == u'/') && p[2] == u':') p.erase(0, 1);
  return localSlot().ops.open(slot, owner, index, p.c_str());
}
ErrorCode wrapGetFile(FileSystemProvider* slot, ProviderHandle* h, const char16_t* source, const char16_t* target,
                      const EntryBlock* block, uint32_t flags, ProgressCallback progress, void* data) {
  ++g_wrap->getFileCalls;
  if (g_wrap->stop != nullptr) g_wrap->stop->store(1);  // the user stops while the copy runs
  if (g_wrap->getFileResult != 0) return g_wrap->getFileResult;
  return localSlot().ops.getFile(slot, h, source, target, block, flags, progress, data);
}
uint32_t wrapGetAttributes(FileSystemProvider* slot, ProviderHandle* h, const char16_t* path, EntryBlock* block) {
  if (g_wrap->rootMissing && std::u16string_view(path) == platform::rootOf(h->path)) return 0xFFFFFFFFu;
  return localSlot().ops.getAttributes(slot, h, path, block);
}
int32_t wrapFinish(FileSystemProvider*, ProviderHandle*, int32_t a, int32_t b) {
  g_wrap->finishes.emplace_back(a, b);
  return 0;
}

class WrappedSideTest : public JobRunTest {
 protected:
  void SetUp() override {
    JobRunTest::SetUp();
    g_wrap = &state;
    FileSystemProvider& slot = providerTable().slots[2];
    slot = localSlot();
    slot.kind = kProviderPlugin;
    slot.name = u"wrap";
    slot.prefixLength = 7;
    slot.openCount = 0;
    slot.ops.open = wrapOpen;
    slot.ops.getFile = wrapGetFile;
    slot.ops.getAttributes = wrapGetAttributes;
    slot.ops.finish = wrapFinish;
  }
  void TearDown() override {
    g_wrap = nullptr;
    JobRunTest::TearDown();
  }
  static std::u16string wrapped(const std::u16string& path) {
    std::u16string prefix = os::kWindows ? u"\\\\\\wrap\\" : u"///wrap";
    return prefix + path;
  }
  WrapState state;
};

TEST_F(WrappedSideTest, StopDuringACopyCancelsItAndEndsTheRun) {
  TempFolder tmp;
  writeFile(tmp / "L/big.bin", std::string(3 << 20, 'x'), kT);
  writeFile(tmp / "L/other.bin", std::string(3 << 20, 'y'), kT);
  writeFile(tmp / "L/sub/z.txt", "z", kT);
  writeFile(tmp / "R/orphan.txt", "o", kT);
  state.stop = &stop;
  JobRun jr;
  jr.job.optionFlags = kMirror;
  jr.job.includedPairs = {pairOf(wrapped(tmp.text("L")), tmp.text("R")),
                          pairOf(tmp.text("L"), tmp.text("R2"))};
  RecordingSink sink = run(jr);
  ASSERT_EQ(sink.records.size(), 1u);
  EXPECT_EQ(sink.records[0].marker, kMarkerCopiedNewRight);
  EXPECT_EQ(sink.records[0].state, platform::systemMessage(kErrorRequestAborted));
  EXPECT_EQ(state.getFileCalls, 1);
  EXPECT_TRUE(fs::exists(tmp / "R/orphan.txt"));
  EXPECT_FALSE(fs::exists(tmp / "R/sub"));
  EXPECT_FALSE(fs::exists(tmp / "R2"));  // the next pair is not visited
  EXPECT_EQ(state.finishes, (std::vector<std::pair<int32_t, int32_t>>{{0, 0}}));
  EXPECT_EQ(providerTable().slots[2].openCount.load(), 0);

  // Without a stop the finish flags are (0, 1).
  state.stop = nullptr;
  state.finishes.clear();
  stop = 0;
  (void)run(jr);
  EXPECT_EQ(state.finishes, (std::vector<std::pair<int32_t, int32_t>>{{0, 1}}));
  EXPECT_EQ(readFile(tmp / "R/big.bin").size(), size_t(3 << 20));
}

TEST_F(WrappedSideTest, UnavailableSideReportsOnceAndLeavesTheOtherSideAlone) {
  TempFolder tmp;
  writeFile(tmp / "L/a.txt", "a", kT);
  writeFile(tmp / "R/orphan.txt", "o", kT);
  state.rootMissing = true;
  struct Case {
    const char* name;
    std::u16string left;
    std::u16string right;
    bool leftReported;
  };
  std::vector<Case> cases = {
      {"left root unreachable", wrapped(tmp.text("L")), tmp.text("R"), true},
      {"right root unreachable", tmp.text("L"), wrapped(tmp.text("R")), false},
  };
  if constexpr (os::kDrivePaths) {
    // A drive letter that is not present.
    uint32_t present = platform::presentDrives();
    char16_t letter = u'Y';
    while (letter > u'D' && (present & (1u << (letter - u'A'))) != 0) --letter;
    cases.push_back({"missing drive", std::u16string{letter} + u":\\data", tmp.text("R"), true});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto before = snapshot(tmp.root());
    RecordingSink sink = run(c.left, c.right, kMirror);
    ASSERT_EQ(sink.records.size(), 1u);
    const auto& r = sink.records[0];
    EXPECT_EQ(r.marker, kMarkerSideUnavailable);
    EXPECT_EQ(r.state, platform::systemMessage(kErrorNotReady));
    EXPECT_EQ(r.hasLeft, c.leftReported);
    EXPECT_EQ(r.hasRight, !c.leftReported);
    EXPECT_EQ(snapshot(tmp.root()), before);
  }
}

}  // namespace
}  // namespace crvl

namespace crvl {
namespace {

// Two sides that are both plug-ins (local folders behind slots of kind 3): a copy goes
// through a temporary local file, which is gone afterwards whether the copy worked.
struct ThroughState {
  std::vector<std::u16string> putSources;  // the local files putFile was handed
  bool refusePut = false;
};
ThroughState* g_through = nullptr;

ErrorCode throughPutFile(FileSystemProvider* slot, ProviderHandle* h, const char16_t* source, const char16_t* target,
                         const EntryBlock* block, uint32_t flags, ProgressCallback progress, void* data) {
  g_through->putSources.emplace_back(source);
  if (g_through->refusePut) return kErrorAccessDenied;
  return localSlot().ops.putFile(slot, h, source, target, block, flags, progress, data);
}

class TwoPluginSidesTest : public JobRunTest {
 protected:
  void SetUp() override {
    JobRunTest::SetUp();
    g_through = &state;
    for (int32_t i : {2, 3}) {
      FileSystemProvider& slot = providerTable().slots[i];
      slot = localSlot();
      slot.kind = kProviderPlugin;
      slot.name = i == 2 ? u"srcfs" : u"dstfs";
      slot.prefixLength = 8;
      slot.openCount = 0;
      slot.ops.open = wrapOpen;
      slot.ops.putFile = throughPutFile;
    }
    previousTemp = platform::environmentVariable(os::kWindows ? u"TEMP" : u"TMPDIR");
    platform::setEnvironmentVariable(os::kWindows ? u"TEMP" : u"TMPDIR", tmp.text("temp"));
    fs::create_directories(tmp / "temp");
  }
  void TearDown() override {
    platform::setEnvironmentVariable(os::kWindows ? u"TEMP" : u"TMPDIR", previousTemp);
    g_through = nullptr;
    JobRunTest::TearDown();
  }
  static std::u16string through(const char16_t* name, const std::u16string& path) {
    return (os::kWindows ? u"\\\\\\" : u"///") + std::u16string(name) + (os::kWindows ? u"\\" : u"") + path;
  }
  ThroughState state;
  TempFolder tmp;
  std::optional<std::u16string> previousTemp;
};

TEST_F(TwoPluginSidesTest, ACopyGoesThroughATemporaryLocalFileThatIsRemovedAfterwards) {
  writeFile(tmp / "L/a.txt", "contents of a", kT);
  fs::create_directories(tmp / "R");
  RecordingSink sink = run(through(u"srcfs", tmp.text("L")), through(u"dstfs", tmp.text("R")), kMirror);
  ASSERT_EQ(sink.count(kMarkerCopiedNewRight), 1u);
  EXPECT_TRUE(sink.records[0].state.empty());
  EXPECT_EQ(readFile(tmp / "R/a.txt"), "contents of a");
  ASSERT_EQ(state.putSources.size(), 1u);
  EXPECT_TRUE(state.putSources[0].starts_with(tmp.text("temp")));  // a local file of its own
  EXPECT_TRUE(fs::is_empty(tmp / "temp"));

  // A put that fails is reported as a failure, and its temporary file is gone too.
  state.refusePut = true;
  writeFile(tmp / "L/b.txt", "b", kT);
  sink = run(through(u"srcfs", tmp.text("L")), through(u"dstfs", tmp.text("R")), kMirror);
  ASSERT_EQ(sink.count(kMarkerCopiedNewRight), 1u);
  EXPECT_EQ(sink.records[0].state, platform::systemMessage(kErrorAccessDenied));
  EXPECT_FALSE(fs::exists(tmp / "R/b.txt"));
  EXPECT_TRUE(fs::is_empty(tmp / "temp"));
  // The log names both sides as the job addresses them.
  EXPECT_EQ(sink.records[0].left, through(u"srcfs", tmp.text("L/b.txt")));
  EXPECT_EQ(sink.records[0].right, through(u"dstfs", tmp.text("R/b.txt")));
}

TEST_F(WrappedSideTest, AFailureWithoutASystemTextIsStillAFailure) {
  // 433 and 12345 have no system text: the code itself is shown.
  for (const ErrorCode code : {ErrorCode{433}, ErrorCode{12345}}) {
    SCOPED_TRACE(code);
    TempFolder tmp;
    writeFile(tmp / "L/a.txt", "a", kT);
    tmp.makeFolder("R");
    state.getFileResult = code;
    RecordingSink sink = run(wrapped(tmp.text("L")), tmp.text("R"), kMirror);
    ASSERT_EQ(sink.records.size(), 1u);
    EXPECT_EQ(sink.records[0].marker, kMarkerCopiedNewRight);
    EXPECT_EQ(sink.records[0].state, u"Error " + platform::fromUtf8(std::to_string(code)));
    EXPECT_FALSE(fs::exists(tmp / "R/a.txt"));
  }
}

}  // namespace
}  // namespace crvl
