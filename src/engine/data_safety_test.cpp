// Whole runs on real folders in the situations where a synchroniser loses data: folders
// that cannot be listed or do not exist, links on the side being changed, copies that
// break off, names that differ only in case, filters that hide a file on one side, and
// pairs whose folders lie one inside the other.
#include <gtest/gtest.h>

#include <cstdlib>
#include <iterator>
#include <string>

#include "engine/actions.h"
#include "engine/local_copy.h"
#include "engine/local_provider.h"
#include "platform/paths.h"
#include "engine/run_test_support.h"
#include "os_traits.h"
#include "platform/clock.h"
#include "platform/temporary_files.h"

namespace crvl {
namespace {

using testing::providerTable;

using testing::JobRunFixture;
using testing::RecordingSink;
using testing::TempFolder;
using testing::pairOf;
using testing::readFile;
using testing::snapshot;
using testing::writeFile;
namespace fs = std::filesystem;
using Tree = std::map<std::string, std::string>;

constexpr uint64_t kT = 132000000000000000ull;  // a time in 2019
constexpr uint64_t kSec = 10'000'000;
constexpr OptionFlags kMirror = testing::kMirrorFlags;
constexpr OptionFlags kBidirectional = testing::kBidirectionalFlags;

std::u16string message(ErrorCode code) { return platform::systemMessage(code); }

size_t failures(const RecordingSink& sink) {
  size_t n = 0;
  for (const auto& r : sink.records) n += r.state.empty() ? 0 : 1;
  return n;
}

// The names of the program's temporary files anywhere below `root`.
std::vector<std::string> temporariesBelow(const fs::path& root) {
  std::vector<std::string> found;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    if (platform::isTemporaryName(e.path().filename().u16string())) found.push_back(e.path().string());
  }
  return found;
}

// ---- folders that cannot be listed ----

// A slot that lists through the local provider but fails chosen folders, at once or
// after handing out their first entry.
struct ListingFaults {
  std::u16string failFolder;
  ErrorCode code = kErrorAccessDenied;
  bool afterFirstEntry = false;
};
ListingFaults* g_listing = nullptr;

struct FirstEntryOnly {
  EnumerateConsumer consumer;
  void* data;
  bool delivered = false;
};

int32_t deliverFirst(void* data, const FindRecord& entry) {
  auto* f = static_cast<FirstEntryOnly*>(data);
  if (f->delivered) return 1;
  f->delivered = true;
  return f->consumer(f->data, entry);
}

ErrorCode faultyEnumerate(FileSystemProvider* slot, ProviderHandle* h, const char16_t* folder,
                          EnumerateConsumer consumer, void* data) {
  FileSystemProvider& local = providerTable().slots[0];
  if (g_listing != nullptr && platform::sameFolderPath(folder, g_listing->failFolder)) {
    if (!g_listing->afterFirstEntry) return g_listing->code;
    FirstEntryOnly first{consumer, data};
    (void)local.ops.enumerate(slot, h, folder, &deliverFirst, &first);
    return g_listing->code;  // the listing breaks off after one entry
  }
  return local.ops.enumerate(slot, h, folder, consumer, data);
}

class DataSafetyTest : public JobRunFixture {
 protected:
  void SetUp() override {
    JobRunFixture::SetUp();
    // Slot 2 forwards to the local provider and is addressed as "///faulty" + path.
    FileSystemProvider& slot = providerTable().slots[2];
    slot = providerTable().slots[0];
    slot.kind = kProviderPlugin;
    slot.name = u"faulty";
    slot.prefixLength = 9;
    slot.openCount = 0;
    slot.ops.open = &faultyOpen;
    slot.ops.enumerate = &faultyEnumerate;
  }
  void TearDown() override {
    g_listing = nullptr;
    JobRunFixture::TearDown();
  }
  static ProviderHandle* faultyOpen(FileSystemProvider* slot, void* owner, int32_t index, const char16_t* path) {
    std::u16string p(path);
    if (p.size() >= 3 && (p[0] == u'\\' || p[0] == u'/') && p[2] == u':') p.erase(0, 1);  // "\C:\x"
    return providerTable().slots[0].ops.open(slot, owner, index, p.c_str());
  }
  static std::u16string faulty(const std::u16string& path) {
    return (os::kWindows ? u"\\\\\\faulty\\" : u"///faulty") + path;
  }
};

TEST_F(DataSafetyTest, AFolderThatCannotBeListedIsLeftAloneOnBothSides) {
  struct Case {
    const char* name;
    std::string failing;  // relative to the temporary folder
    bool afterFirstEntry;
    OptionFlags flags;
    bool leftSide;
  };
  const Case cases[] = {
      {"source sub-folder denied, Mirror", "L/docs", false, kMirror, true},
      {"source sub-folder breaks off, Mirror", "L/docs", true, kMirror, true},
      {"source top folder denied, Mirror", "L", false, kMirror, true},
      {"target sub-folder denied, Bidirectional", "R/docs", false, kBidirectional, false},
      {"target sub-folder breaks off, Bidirectional", "R/docs", true, kBidirectional, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder tmp;
    writeFile(tmp / "L/docs/a.txt", "new a", kT + 10 * kSec);
    writeFile(tmp / "L/docs/b.txt", "b", kT);
    writeFile(tmp / "L/other/c.txt", "c", kT);
    writeFile(tmp / "R/docs/a.txt", "old a", kT);
    writeFile(tmp / "R/docs/backup-only.txt", "kept", kT);
    writeFile(tmp / "R/docs/old/deep.txt", "deep", kT);
    const Tree leftBefore = snapshot(tmp / "L");
    const Tree docsBefore = snapshot(tmp / "R/docs");
    ListingFaults faults{tmp.text(c.failing), kErrorAccessDenied, c.afterFirstEntry};
    g_listing = &faults;

    RecordingSink sink = run(c.leftSide ? faulty(tmp.text("L")) : tmp.text("L"),
                             c.leftSide ? tmp.text("R") : faulty(tmp.text("R")), c.flags);
    EXPECT_EQ(snapshot(tmp / "R/docs"), docsBefore);
    EXPECT_EQ(snapshot(tmp / "L"), leftBefore);
    ASSERT_EQ(failures(sink), 1u);
    const auto failed = std::find_if(sink.records.begin(), sink.records.end(),
                                     [](const auto& r) { return !r.state.empty(); });
    EXPECT_EQ(failed->marker, kMarkerSideUnavailable);
    EXPECT_EQ(failed->state, message(kErrorAccessDenied));
    // The log names the folder as the job addresses it, through the wrapping slot.
    EXPECT_EQ(c.leftSide ? failed->left : failed->right, faulty(tmp.text(c.failing)));
    // Folders that could be listed are synchronised as usual.
    EXPECT_EQ(fs::exists(tmp / "R/other/c.txt"), c.failing != "L");
  }
}

TEST_F(DataSafetyTest, AMissingTopFolderNeverReadsAsEmpty) {
  struct Case {
    const char* name;
    std::string left;  // relative; "file" names a regular file
    OptionFlags flags;
    ErrorCode reported;  // 0: the missing folder is created, without a failure
    Tree leftAfter;
  };
  const Case cases[] = {
      {"missing source, Mirror", "gone/data", kMirror, kErrorPathNotFound, {}},
      {"a file instead of the source, Mirror", "file", kMirror, kErrorDirectory, {}},
      {"missing left, Bidirectional: it is created and everything is copied in", "new",
       kBidirectional, 0,
       {{"keep.txt", "k"}, {"sub", "/"}, {"sub/deep.txt", "d"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder tmp;
    writeFile(tmp / "file", "just a file", kT);
    writeFile(tmp / "R/keep.txt", "k", kT);
    writeFile(tmp / "R/sub/deep.txt", "d", kT);
    const Tree rightBefore = snapshot(tmp / "R");
    RecordingSink sink = run(tmp.text(c.left), tmp.text("R"), c.flags);
    EXPECT_EQ(snapshot(tmp / "R"), rightBefore);
    EXPECT_EQ(sink.count(kMarkerFileDeleted) + sink.count(kMarkerFolderRemoved), 0u);
    ASSERT_EQ(failures(sink), c.reported != 0 ? 1u : 0u);
    EXPECT_EQ(sink.records[0].marker, c.reported != 0 ? kMarkerSideUnavailable : kMarkerFolderNotCreated);
    EXPECT_EQ(sink.records[0].left, tmp.text(c.left));
    EXPECT_EQ(sink.records[0].state, c.reported != 0 ? message(c.reported) : std::u16string());
    if (c.left != "file") {
      EXPECT_EQ(snapshot(tmp / c.left), c.leftAfter);
    }
    EXPECT_EQ(readFile(tmp / "file"), "just a file");
  }
}

TEST_F(DataSafetyTest, APathNoProviderTakesIsReported) {
  TempFolder tmp;
  writeFile(tmp / "R/keep.txt", "k", kT);
  RecordingSink sink = run(u"relative-folder", tmp.text("R"), kMirror);
  ASSERT_EQ(sink.records.size(), 1u);
  EXPECT_EQ(sink.records[0].marker, kMarkerSideUnavailable);
  EXPECT_EQ(sink.records[0].state, message(kErrorBadPathname));
  EXPECT_TRUE(fs::exists(tmp / "R/keep.txt"));
}

// ---- links on the side that is changed ----

bool makeFolderLink(const fs::path& target, const fs::path& link) {
  std::error_code ec;
  fs::create_directory_symlink(target, link, ec);
  return !ec;
}
bool makeFileLink(const fs::path& target, const fs::path& link) {
  std::error_code ec;
  fs::create_symlink(target, link, ec);
  return !ec;
}

TEST_F(DataSafetyTest, LinksOnTheChangedSideAreEntriesOfTheirOwn) {
  struct Case {
    const char* name;
    // Builds the case below tmp (L, R and "outside"); false when links cannot be made.
    bool (*setUp)(const TempFolder& tmp);
    Tree rightAfter;
    size_t typeClashes;
  };
  const Case cases[] = {
      {"orphan folder link is removed as an entry",
       [](const TempFolder& t) { return makeFolderLink(t / "outside", t / "R/linkdir"); }, {}, 0},
      {"folder pair whose right side is a link is not entered",
       [](const TempFolder& t) {
         writeFile(t / "L/sub/new.txt", "n", kT);
         return makeFolderLink(t / "outside", t / "R/sub");
       },
       {{"sub", "->" + std::string("../outside")}}, 1},
      {"copy onto a file link replaces the link",
       [](const TempFolder& t) {
         writeFile(t / "L/f.txt", "from L", kT + 100 * kSec);
         return makeFileLink(t / "outside/target.txt", t / "R/f.txt");
       },
       {{"f.txt", "from L"}}, 0},
      {"copy onto a dangling link never creates its target",
       [](const TempFolder& t) {
         // A dangling link shows its own time (now): the source is made newer still.
         writeFile(t / "L/f.txt", "from L", platform::currentFileTime() + 86400 * kSec);
         return makeFileLink(t / "outside/missing.txt", t / "R/f.txt");
       },
       {{"f.txt", "from L"}}, 0},
      {"copy onto a hard link leaves the other name's data",
       [](const TempFolder& t) {
         writeFile(t / "L/h.txt", "from L", kT + 100 * kSec);
         std::error_code ec;
         fs::create_hard_link(t / "outside/target.txt", t / "R/h.txt", ec);
         return !ec;
       },
       {{"h.txt", "from L"}}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder tmp;
    writeFile(tmp / "outside/target.txt", "outside", kT);
    writeFile(tmp / "outside/orphan-there.txt", "o", kT);
    fs::create_directories(tmp / "L");
    fs::create_directories(tmp / "R");
    if (!c.setUp(tmp)) {
      std::cout << "links cannot be made here: " << c.name << " not run\n";
      continue;
    }
    const Tree outsideBefore = snapshot(tmp / "outside");
    RecordingSink sink = run(tmp.text("L"), tmp.text("R"), kMirror);
    EXPECT_EQ(failures(sink), 0u);
    EXPECT_EQ(snapshot(tmp / "outside"), outsideBefore);
    Tree right = snapshot(tmp / "R");
    // Link targets are written relative in the expectation; compare the link's own text.
    for (auto& [name, contents] : right) {
      if (contents.starts_with("->")) contents = "->../outside";
    }
    EXPECT_EQ(right, c.rightAfter);
    EXPECT_EQ(sink.count(kMarkerTypeClash), c.typeClashes);
  }
}

TEST_F(DataSafetyTest, TheSideThatIsOnlyReadIsReadThroughLinks) {
  TempFolder tmp;
  writeFile(tmp / "outside/a.txt", "a", kT);
  fs::create_directories(tmp / "L");
  fs::create_directories(tmp / "R");
  if (!makeFolderLink(tmp / "outside", tmp / "L/linked")) GTEST_SKIP() << "links cannot be made here";
  RecordingSink sink = run(tmp.text("L"), tmp.text("R"), kMirror);
  EXPECT_EQ(failures(sink), 0u);
  EXPECT_EQ(snapshot(tmp / "R"), (Tree{{"linked", "/"}, {"linked/a.txt", "a"}}));
}

// ---- fail-safe copies ----

struct CopyFaults {
  static inline uint64_t failAt = UINT64_MAX;
  static inline std::atomic<int32_t>* stopAt = nullptr;
  static inline const fs::path* folder = nullptr;  // its entries are counted mid-copy
  static inline size_t entriesMidCopy = 0;
  static ErrorCode beforeWrite(void*, uint64_t offset, size_t) {
    if (folder != nullptr && offset > 0 && entriesMidCopy == 0) {
      entriesMidCopy = static_cast<size_t>(std::distance(fs::directory_iterator(*folder), fs::directory_iterator()));
    }
    if (stopAt != nullptr && offset > 0) stopAt->store(1);
    return offset >= failAt ? ErrorCode{kErrorDiskFull} : ErrorCode{kSuccess};
  }
};

TEST_F(DataSafetyTest, ACopyThatBreaksOffLeavesTheOldFileAndNoTemporary) {
  // Larger than one kernel copy piece (8 MiB), so the copy takes several pieces.
  const std::string payload(20u << 20, 'n');
  struct Case {
    const char* name;
    uint64_t failAt;
    bool stop;
    bool replace;
    bool appearsMeanwhile;
    ErrorCode result;
  };
  const Case cases[] = {
      {"disk full in the middle", 262144, false, true, false, kErrorDiskFull},
      {"stopped in the middle", UINT64_MAX, true, true, false, kErrorRequestAborted},
      {"a new file whose name was taken meanwhile", UINT64_MAX, false, false, true, kErrorFileExists},
      {"complete replacement", UINT64_MAX, false, true, false, 0},
      {"complete new file", UINT64_MAX, false, false, false, 0},
      {"a new file stopped in the middle", UINT64_MAX, true, false, false, kErrorRequestAborted},
      {"a new file on a full disk", 262144, false, false, false, kErrorDiskFull},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder tmp;
    writeFile(tmp / "src.bin", payload, kT);
    const bool hadTarget = c.replace || c.appearsMeanwhile;
    if (hadTarget) writeFile(tmp / "dst.bin", "old version", kT - 100 * kSec);
    std::atomic<int32_t> stopWord{0};
    CopyFaults::failAt = c.failAt;
    CopyFaults::stopAt = c.stop ? &stopWord : nullptr;
    const fs::path folder = tmp.root();
    CopyFaults::folder = &folder;
    CopyFaults::entriesMidCopy = 0;
    const StreamCopyIo io{nullptr, &CopyFaults::beforeWrite, nullptr};
    SyncRun progressRun;
    progressRun.scanner.stopWord = &stopWord;
    const ErrorCode r =
        streamCopy(tmp.text("src.bin"), tmp.text("dst.bin"), nullptr, &runProgress, &progressRun, &io, c.replace);
    CopyFaults::failAt = UINT64_MAX;
    CopyFaults::stopAt = nullptr;
    CopyFaults::folder = nullptr;
    EXPECT_EQ(r, c.result);
    // While it is written, a new file has no name on Linux (an unnamed file, named when
    // complete); elsewhere, and for a replacement, a temporary file stands beside it.
    const size_t before = hadTarget ? 2 : 1;
    EXPECT_EQ(CopyFaults::entriesMidCopy, before + (os::kWindows || c.replace ? 1 : 0));
    if (c.result == 0) {
      EXPECT_TRUE(readFile(tmp / "dst.bin") == payload);
      EXPECT_EQ(fs::last_write_time(tmp / "dst.bin"), fs::last_write_time(tmp / "src.bin"));
    } else if (hadTarget) {
      EXPECT_EQ(readFile(tmp / "dst.bin"), "old version");
    } else {
      EXPECT_FALSE(fs::exists(tmp / "dst.bin"));
    }
    EXPECT_TRUE(temporariesBelow(tmp.root()).empty());
  }
}

TEST_F(DataSafetyTest, CopiesOfBothSystemsGoThroughTemporaries) {
  // The system copy (Windows) and the stream copy both replace, add, and refuse to add
  // over a file that appeared meanwhile.
  for (bool systemCopy : {true, false}) {
    SCOPED_TRACE(systemCopy ? "system copy" : "stream copy");
    setSystemCopyEnabled(systemCopy);
    TempFolder tmp;
    writeFile(tmp / "src.txt", "new", kT);
    writeFile(tmp / "taken.txt", "someone else's", kT);
    writeFile(tmp / "old.txt", "old", kT);
    EXPECT_EQ(localCopy(tmp.text("src.txt"), tmp.text("taken.txt"), nullptr, nullptr, nullptr, false),
              kErrorFileExists);
    EXPECT_EQ(readFile(tmp / "taken.txt"), "someone else's");
    EXPECT_EQ(localCopy(tmp.text("src.txt"), tmp.text("old.txt"), nullptr, nullptr, nullptr, true), 0u);
    EXPECT_EQ(readFile(tmp / "old.txt"), "new");
    EXPECT_EQ(localCopy(tmp.text("src.txt"), tmp.text("sub/added.txt"), nullptr, nullptr, nullptr, false), 0u);
    EXPECT_EQ(readFile(tmp / "sub/added.txt"), "new");
    EXPECT_TRUE(temporariesBelow(tmp.root()).empty());
  }
  setSystemCopyEnabled(true);
}

TEST_F(DataSafetyTest, LeftoverTemporariesAreRemovedAndNeverSynchronised) {
  for (bool execute : {true, false}) {
    SCOPED_TRACE(execute ? "run" : "simulation");
    TempFolder tmp;
    writeFile(tmp / "L/a.txt", "a", kT);
    writeFile(tmp / "R/a.txt", "a", kT);
    const std::u16string leftover = platform::temporaryPathFor(tmp.text("R/sub/x"));
    writeFile(fs::path(leftover), "half a copy", kT);
    RecordingSink sink = run(tmp.text("L"), tmp.text("R"), kBidirectional, execute);
    EXPECT_TRUE(sink.records.empty());  // sub/ is created on the left; nothing else to do
    EXPECT_EQ(fs::exists(fs::path(leftover)), !execute);
    EXPECT_TRUE(temporariesBelow(tmp / "L").empty());
  }
}

TEST_F(DataSafetyTest, ATemporaryBeingWrittenIsNotSwept) {
  TempFolder tmp;
  fs::create_directories(tmp / "R");
  const std::u16string path = platform::temporaryPathFor(tmp.text("R/x"));
  platform::File writing;
  ASSERT_EQ(platform::openFile(path, platform::OpenMode::Temporary, &writing), 0u);
  EXPECT_EQ(platform::removeAbandonedTemporary(path), kErrorSharingViolation);
  writing.close();
  EXPECT_EQ(platform::removeAbandonedTemporary(path), 0u);
  EXPECT_FALSE(fs::exists(fs::path(path)));
  // Only the program's own names are ever removed this way.
  writeFile(tmp / "R/user.tmp", "mine", kT);
  EXPECT_EQ(platform::removeAbandonedTemporary(tmp.text("R/user.tmp")), kErrorAccessDenied);
  EXPECT_TRUE(fs::exists(tmp / "R/user.tmp"));
}

// ---- pairing by name and the filter ----

TEST_F(DataSafetyTest, NamesThatDifferInCaseStayApartWhereTheFileSystemKeepsThem) {
  TempFolder tmp;
  writeFile(tmp / "L/A.txt", "upper", kT);
  writeFile(tmp / "L/probe", "p", kT);
  if (fs::exists(tmp / "L/a.txt") || fs::exists(tmp / "L/PROBE")) {
    GTEST_SKIP() << "the file system does not tell names apart by case";
  }
  writeFile(tmp / "L/a.txt", "lower", kT);
  writeFile(tmp / "R/a.txt", "lower", kT);
  RecordingSink sink = run(tmp.text("L"), tmp.text("R"), kBidirectional);
  EXPECT_EQ(failures(sink), 0u);
  EXPECT_EQ(snapshot(tmp / "R"), (Tree{{"A.txt", "upper"}, {"a.txt", "lower"}, {"probe", "p"}}));
  EXPECT_EQ(snapshot(tmp / "L"), snapshot(tmp / "R"));
}

TEST_F(DataSafetyTest, AFileHiddenByTheFilterOnOneSideKeepsItsTwin) {
  struct Case {
    const char* name;
    OptionFlags flags;
  };
  for (const Case& c : {Case{"Bidirectional", kBidirectional}, Case{"Mirror", kMirror}}) {
    SCOPED_TRACE(c.name);
    TempFolder tmp;
    // Synchronised while small, then rewritten on the left beyond the filter's limit.
    writeFile(tmp / "L/doc.txt", std::string(5000, 'L'), kT + 100 * kSec);
    writeFile(tmp / "R/doc.txt", std::string(500, 'R'), kT);
    writeFile(tmp / "L/small.txt", "s", kT);
    JobRun jr;
    jr.job.optionFlags = c.flags;
    jr.job.filterSwitch = 1;
    jr.job.filter.exclude.sizeUnit = 'B';
    jr.job.filter.exclude.sizeValue = 1000;
    jr.job.includedPairs = {pairOf(tmp.text("L"), tmp.text("R"))};
    RecordingSink sink = run(jr);
    EXPECT_EQ(failures(sink), 0u);
    EXPECT_EQ(readFile(tmp / "L/doc.txt"), std::string(5000, 'L'));
    EXPECT_EQ(readFile(tmp / "R/doc.txt"), std::string(500, 'R'));
    EXPECT_EQ(readFile(tmp / "R/small.txt"), "s");
  }
}

// ---- pairs whose folders overlap ----

TEST_F(DataSafetyTest, PairsWhoseFoldersLieOneInsideTheOtherAreRefused) {
  struct Case {
    const char* name;
    std::string left;
    std::string right;
    std::string excluded;  // an excluded folder (both sides), or empty
    bool refused;
  };
  const std::string sep(1, static_cast<char>(os::kSeparator));
  const Case cases[] = {
      {"target inside the source", "D", "D" + sep + "backup", "", true},
      {"source inside the target", "D" + sep + "src", "D", "", true},
      {"the same folder", "D", "D", "", true},
      {"the same folder, spelt with ..", "D", "D" + sep + "x" + sep + "..", "", true},
      {"a trailing separator", "D" + sep, "D" + sep + "backup", "", true},
      {"a sibling with a longer name", "D", "D2", "", false},
      {"the inner folder is excluded", "D", "D" + sep + "backup", "D" + sep + "backup", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder tmp;
    writeFile(tmp / "D/src/a.txt", "a", kT);
    writeFile(tmp / "D/b.txt", "b", kT);
    fs::create_directories(tmp / "D/backup");
    fs::create_directories(tmp / "D2");
    const Tree before = snapshot(tmp.root());
    std::vector<std::u16string> excluded;
    if (!c.excluded.empty()) excluded.push_back(pairOf(tmp.text(c.excluded), tmp.text(c.excluded)));
    RecordingSink sink = run(tmp.text(c.left), tmp.text(c.right), kMirror, true, excluded);
    if (c.refused) {
      ASSERT_EQ(sink.records.size(), 1u);
      EXPECT_EQ(sink.records[0].marker, kMarkerSideUnavailable);
      EXPECT_FALSE(sink.records[0].state.empty());
      EXPECT_EQ(snapshot(tmp.root()), before);
    } else {
      EXPECT_EQ(failures(sink), 0u);
      EXPECT_FALSE(fs::exists(tmp / "D/backup/backup"));
    }
  }
}

}  // namespace
}  // namespace crvl
