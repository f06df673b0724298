#include "engine/pair_scanner.h"

#include <gtest/gtest.h>

#include <map>

#include "engine/engine_test_support.h"
#include "os_traits.h"
#include "platform/paths.h"

namespace crvl {
namespace {

using testing::providerTable;

using testing::EngineFixture;

constexpr uint64_t kT = 132000000000000000ull;  // a time in 2019
constexpr int64_t kSec = 10'000'000;

// A provider whose folders are tables in memory.
struct MemEntry {
  std::u16string name;
  uint16_t attributes = 0x20;
  uint64_t size = 0;
  uint64_t lastWrite = kT;
  std::u16string foreignFolder;  // reported as the folder being listed, when set
};
struct MemoryTree {
  std::map<std::u16string, std::vector<MemEntry>> folders;
  std::map<std::u16string, ErrorCode> errors;
};
MemoryTree* g_tree = nullptr;

ErrorCode memEnumerate(FileSystemProvider*, ProviderHandle*, const char16_t* folder, EnumerateConsumer consumer,
                       void* data) {
  const std::u16string key(folder);
  if (auto e = g_tree->errors.find(key); e != g_tree->errors.end()) return e->second;
  auto it = g_tree->folders.find(key);
  if (it == g_tree->folders.end()) return kErrorPathNotFound;
  for (const MemEntry& entry : it->second) {
    FindRecord record;
    record.folderPath = entry.foreignFolder.empty() ? folder : entry.foreignFolder.c_str();
    record.block.attributes = entry.attributes;
    record.block.size = entry.size;
    record.block.lastWriteTime = entry.lastWrite;
    record.name = entry.name.c_str();
    record.nameLength = entry.name.size();
    if (consumer(data, record) != 0) break;
  }
  return 0;
}
ProviderHandle* memOpen(FileSystemProvider*, void* owner, int32_t slotIndex, const char16_t* path) {
  auto* h = new ProviderHandle;
  h->slotIndex = slotIndex;
  h->owner = owner;
  h->path = path;
  return h;
}
void memRelease(FileSystemProvider*, ProviderHandle* h) { delete h; }

MemEntry file(std::u16string name, uint64_t size = 1, uint64_t lastWrite = kT) {
  return MemEntry{std::move(name), 0x20, size, lastWrite, {}};
}
MemEntry folder(std::u16string name) { return MemEntry{std::move(name), 0x10, 0, kT, {}}; }

struct Rec {
  int code;
  std::u16string left;
  std::u16string right;
  int32_t base;
  bool operator==(const Rec&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Rec& r) {
  return os << "{" << r.code << ", " << platform::toUtf8(r.left) << ", " << platform::toUtf8(r.right) << ", "
            << r.base << "}";
}

class ScannerTest : public EngineFixture {
 protected:
  void SetUp() override {
    EngineFixture::SetUp();
    g_tree = &tree;
    FileSystemProvider& slot = providerTable().slots[2];
    slot.kind = kProviderPlugin;
    slot.ops.open = &memOpen;
    slot.ops.release = &memRelease;
    slot.ops.enumerate = &memEnumerate;
  }
  PairScanResult lastScan;
  void TearDown() override {
    closeSides(run);
    g_tree = nullptr;
    EngineFixture::TearDown();
  }

  // Scans folder "L" against "R" of the memory tree; returns the records after the header.
  // The scan's own result stays in lastScan.
  std::vector<Rec> scan(uint32_t skipBytes = 0) {
    if (run.left.handle == nullptr) openSides(run, u"L", u"R", 2, 2);
    list = EntryList(true);
    if (skipBytes != 0) {
      (void)action_record::append(list, 7, 0, EntryBlock{}, EntryBlock{}, u"", u"");
    }
    run.scanner.actionList = &list;
    lastScan = scanPair(run.scanner, run.left, run.right);
    std::vector<Rec> out;
    action_record::Fields f;
    bool header = true;
    for (uint32_t off = skipBytes != 0 ? list.next(0) : 0; off < list.byteSize(); off = list.next(off)) {
      action_record::load(list, off, f);
      if (header) {
        header = false;
        headerOffset = off;
        EXPECT_EQ(f.code, kCodeFolderPair);
        EXPECT_EQ(f.baseReference, 0);
        EXPECT_EQ(f.leftName, u"L");
        EXPECT_EQ(f.rightName, u"R");
        EXPECT_EQ(uint16_t{f.left.attributes}, kFolderAttribute);
        continue;
      }
      out.push_back({f.code, f.leftName, f.rightName, f.baseReference});
    }
    EXPECT_FALSE(header) << "no header record";
    return out;
  }
  std::u16string full(std::u16string_view base, std::u16string_view name) {
    std::u16string out;
    platform::joinPath(base, name, out);
    return out;
  }

  MemoryTree tree;
  SyncRun run;
  EntryList list;
  uint32_t headerOffset = 0;
};

TEST(TimeCompare, ToleranceCodes) {
  struct Case {
    int64_t difference;  // b - a, in 100-ns units
    int32_t tolerance;
    int32_t expected;
  };
  const Case cases[] = {
      {0, 0, 0},           {1, 0, -1},          {-1, 0, 1},
      {2 * kSec, 2, 0},    {-2 * kSec, 2, 0},   {2 * kSec + 1, 2, -1},  {-(2 * kSec + 1), 2, 1},
      {3600 * kSec, 100, 0}, {-3600 * kSec, 100, 0}, {3601 * kSec, 100, -1}, {3599 * kSec, 100, -1},
      {3602 * kSec, 102, 0}, {-3598 * kSec, 102, 0}, {3603 * kSec, 102, -1}, {3600 * kSec, 2, -1},
      {7200 * kSec, 102, -1}, {kSec, 100, -1},
  };
  for (const Case& c : cases) {
    const uint64_t a = kT;
    const uint64_t b = static_cast<uint64_t>(static_cast<int64_t>(kT) + c.difference);
    EXPECT_EQ(timeCompare(a, b, c.tolerance), c.expected) << c.difference << " t=" << c.tolerance;
  }
  // Times near the ends of the range do not wrap.
  EXPECT_EQ(timeCompare(UINT64_MAX, 0, 2), 1);
  EXPECT_EQ(timeCompare(0, UINT64_MAX, 102), -1);
}

TEST_F(ScannerTest, DecisionRowsWithoutContentComparison) {
  struct Case {
    const char* what;
    int32_t ignoreDate;
    int32_t tolerance;
    uint64_t leftSize, rightSize;
    int64_t leftOffset;  // left time - right time
    int expected;
  };
  const Case cases[] = {
      {"equal", 0, 0, 5, 5, 0, kCodeEqual},
      {"conflict", 0, 0, 5, 6, 0, kCodeConflict},
      {"left newer", 0, 0, 5, 5, 10 * kSec, kCodeLeftNewer},
      {"right newer", 0, 0, 5, 6, -10 * kSec, kCodeRightNewer},
      {"1s with 2s", 0, 2, 5, 5, -1 * kSec, kCodeEqual},
      {"1s without 2s", 0, 0, 5, 5, -1 * kSec, kCodeRightNewer},
      {"2s boundary, other size", 0, 2, 5, 6, 2 * kSec, kCodeConflict},
      {"3s with 2s", 0, 2, 5, 5, 3 * kSec, kCodeLeftNewer},
      {"hour with 1h", 0, 100, 5, 5, 3600 * kSec, kCodeEqual},
      {"hour with 1h, other size", 0, 100, 5, 6, -3600 * kSec, kCodeConflict},
      {"hour without 1h", 0, 0, 5, 5, 3600 * kSec, kCodeLeftNewer},
      {"hour without 1h, right", 0, 2, 5, 5, -3600 * kSec, kCodeRightNewer},
      {"hour and 2s with both", 0, 102, 5, 5, 3602 * kSec, kCodeEqual},
      {"nd, sizes differ", 1, 0, 5, 6, 0, kCodeDifferent},
      {"nd, equal sizes, times differ", 1, 0, 5, 5, 99 * kSec, kCodeEqual},
      {"two empty files", 0, 0, 0, 0, 0, kCodeEqual},
  };
  for (const Case& c : cases) {
    tree.folders[u"L"] = {file(u"f", c.leftSize, kT + c.leftOffset)};
    tree.folders[u"R"] = {file(u"f", c.rightSize, kT)};
    run.scanner.ignoreDate = c.ignoreDate;
    run.scanner.toleranceCode = c.tolerance;
    const auto records = scan();
    ASSERT_EQ(records.size(), 1u) << c.what;
    EXPECT_EQ(records[0].code, c.expected) << c.what;
  }
}

TEST_F(ScannerTest, TimesAreComparedAtTheCoarserResolutionOfTheSides) {
  struct Case {
    const char* what;
    uint64_t resolution;
    int64_t leftOffset;  // the left file's time against the right one's
    ActionCode expected;
  };
  const Case cases[] = {
      {"exact, sub-second newer", 0, 7500000, kCodeLeftNewer},
      {"whole seconds, sub-second part only", static_cast<uint64_t>(kSec), 7500000, kCodeEqual},
      {"whole seconds, a second newer", static_cast<uint64_t>(kSec), kSec + 2000000, kCodeLeftNewer},
      {"whole seconds, older", static_cast<uint64_t>(kSec), -3000000, kCodeRightNewer},
  };
  for (const Case& c : cases) {
    tree.folders[u"L"] = {file(u"f", 5, kT + c.leftOffset)};
    tree.folders[u"R"] = {file(u"f", 5, kT)};
    run.scanner.timeResolution = c.resolution;
    const auto records = scan();
    ASSERT_EQ(records.size(), 1u) << c.what;
    EXPECT_EQ(records[0].code, c.expected) << c.what;
  }
}

TEST(SideTimeResolution, OnlyLoadedPluginsAreTakenToKeepWholeSeconds) {
  EXPECT_EQ(sideTimeResolution(kProviderPlugin), static_cast<uint64_t>(kSec));
  EXPECT_EQ(sideTimeResolution(kProviderLocal), 0u);
}

TEST_F(ScannerTest, CaseOnlyDifferencesPairWithEachOther) {
  tree.folders[u"L"] = {file(u"a.txt", 4, kT)};
  tree.folders[u"R"] = {file(u"A.TXT", 4, kT + kSec)};
  run.scanner.toleranceCode = 2;
  EXPECT_EQ(scan(), (std::vector<Rec>{{kCodeEqual, u"a.txt", u"A.TXT", 0}}));
  run.scanner.toleranceCode = 0;
  EXPECT_EQ(scan(), (std::vector<Rec>{{kCodeRightNewer, u"a.txt", u"A.TXT", 0}}));
}

TEST_F(ScannerTest, NamesBeyondAsciiPairByTheirFoldedForm) {
  struct Case {
    std::u16string left;
    std::u16string right;
    bool pairs;
  };
  const Case cases[] = {
      {u"\u00C4rger.txt", u"\u00E4RGER.TXT", true},  // upper and lower A with diaeresis
      {u"caf\u00E9", u"CAF\u00C9", true},
      {u"caf\u00E9", u"caf\u00E9", true},  // identical
      {u"cafe", u"caf\u00E9", false},  // a different letter, not another case
      {u"x\u00E9", u"X\u00E8", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(platform::toUtf8(c.left) + " / " + platform::toUtf8(c.right));
    tree.folders[u"L"] = {file(c.left, 3)};
    tree.folders[u"R"] = {file(c.right, 3)};
    const std::vector<Rec> expected =
        c.pairs ? std::vector<Rec>{{kCodeEqual, c.left, c.right, 0}}
                : std::vector<Rec>{{kCodeFileLeftOnly, c.left, u"", 0}, {kCodeFileRightOnly, u"", c.right, 0}};
    EXPECT_EQ(scan(), expected);
  }
}

TEST_F(ScannerTest, TwoRightNamesMatchingOneLeftName) {
  tree.folders[u"L"] = {file(u"a.txt", 1)};
  tree.folders[u"R"] = {file(u"A.TXT", 1), file(u"a.TXT", 2)};
  // The first right name pairs in the left pass; the second is never paired with the
  // same left file again: it stands alone on the right.
  EXPECT_EQ(scan(), (std::vector<Rec>{{kCodeEqual, u"a.txt", u"A.TXT", 0}, {kCodeFileRightOnly, u"", u"a.TXT", 0}}));
}

TEST_F(ScannerTest, ExactNamesPairFirstAndNoEntryIsPairedTwice) {
  struct Case {
    const char* name;
    std::vector<MemEntry> left;
    std::vector<MemEntry> right;
    std::vector<Rec> expected;
  };
  const Case cases[] = {
      {"two left twins, one right name", {file(u"A.txt"), file(u"a.txt")}, {file(u"a.txt")},
       {{kCodeFileLeftOnly, u"A.txt", u"", 0}, {kCodeEqual, u"a.txt", u"a.txt", 0}}},
      {"two right twins, one left name", {file(u"a.txt")}, {file(u"A.TXT"), file(u"a.txt")},
       {{kCodeEqual, u"a.txt", u"a.txt", 0}, {kCodeFileRightOnly, u"", u"A.TXT", 0}}},
      {"twins on both sides in other orders", {file(u"x"), file(u"X", 2)}, {file(u"X", 2), file(u"x")},
       {{kCodeEqual, u"x", u"x", 0}, {kCodeEqual, u"X", u"X", 0}}},
      {"a name in other case only still pairs", {file(u"README")}, {file(u"readme")},
       {{kCodeEqual, u"README", u"readme", 0}}},
      {"a folder twin takes its exact name", {folder(u"Docs"), folder(u"docs")}, {folder(u"docs")},
       {{kCodeFolderLeftOnly, full(u"L", u"Docs"), full(u"R", u"Docs"), 0},
        {kCodeFolderPair, full(u"L", u"docs"), full(u"R", u"docs"), 0}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    tree.folders[u"L"] = c.left;
    tree.folders[u"R"] = c.right;
    EXPECT_EQ(scan(), c.expected);
  }
}

TEST_F(ScannerTest, EqualFilesCountedInsteadOfRecordedLeaveEveryOtherRecordAsItWas) {
  struct Case {
    const char* name;
    std::vector<MemEntry> left;
    std::vector<MemEntry> right;
  };
  const Case cases[] = {
      {"all equal", {file(u"a"), file(u"b"), file(u"c")}, {file(u"c"), file(u"a"), file(u"b")}},
      {"mixed", {file(u"same"), file(u"new", 1, kT + kSec), file(u"left"), folder(u"d"), file(u"x")},
       {file(u"x"), folder(u"d"), file(u"new"), file(u"same"), file(u"right"), file(u"d2")}},
      {"case twins and a clash", {file(u"A"), file(u"a"), folder(u"t")}, {file(u"a"), file(u"t"), file(u"A")}},
      {"nothing equal", {file(u"p", 2)}, {file(u"p", 3)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    tree.folders[u"L"] = c.left;
    tree.folders[u"R"] = c.right;
    run.scanner.recordEqualFiles = true;
    const std::vector<Rec> all = scan();
    ASSERT_EQ(lastScan.equalFiles, 0u);
    std::vector<Rec> expected;
    uint32_t equal = 0;
    for (const Rec& r : all) {
      if (r.code == kCodeEqual) {
        ++equal;
      } else {
        expected.push_back(r);
      }
    }
    run.scanner.recordEqualFiles = false;
    EXPECT_EQ(scan(), expected);
    EXPECT_EQ(lastScan.equalFiles, equal);
  }
}

TEST_F(ScannerTest, AFileTheFilterHidesOnOneSideKeepsItsTwin) {
  // The filter takes files under 10 bytes: the same name can pass on one side only.
  ScanFilter filter{nullptr, [](const void*, const FindRecord& e) { return e.block.size < 10; }};
  run.scanner.filter = &filter;
  tree.folders[u"L"] = {file(u"grown", 20), file(u"big-alone", 20), file(u"small", 5), file(u"dir", 20),
                        file(u"both-big", 30)};
  tree.folders[u"R"] = {file(u"grown", 5), folder(u"dir"), file(u"both-big", 40), file(u"r-small", 1)};
  // No record for a pair with a hidden file, nor for a hidden file alone; the folder
  // whose name a hidden file bears is left alone too.
  EXPECT_EQ(scan(), (std::vector<Rec>{{kCodeFileLeftOnly, u"small", u"", 0}, {kCodeFileRightOnly, u"", u"r-small", 0}}));
}

TEST_F(ScannerTest, OneSidedFilesFoldersAndTypeClashes) {
  tree.folders[u"L"] = {file(u"left.txt"), folder(u"only-left"), folder(u"both"), file(u"clash"), folder(u"Clash2")};
  tree.folders[u"R"] = {file(u"right.txt"), folder(u"only-right"), folder(u"BOTH"), folder(u"CLASH"),
                        file(u"clash2")};
  const auto records = scan(1);
  const int32_t base = static_cast<int32_t>(headerOffset);
  ASSERT_NE(base, 0);
  const std::vector<Rec> expected = {
      {kCodeFileLeftOnly, u"left.txt", u"", base},
      {kCodeTypeClash, u"clash", u"CLASH", base},
      {kCodeFileRightOnly, u"", u"right.txt", base},
      {kCodeTypeClash, u"Clash2", u"clash2", base},
      {kCodeFolderLeftOnly, full(u"L", u"only-left"), full(u"R", u"only-left"), 0},
      {kCodeFolderPair, full(u"L", u"both"), full(u"R", u"BOTH"), 0},
      {kCodeFolderRightOnly, full(u"L", u"only-right"), full(u"R", u"only-right"), 0},
  };
  EXPECT_EQ(records, expected);
}

TEST_F(ScannerTest, UnsafeAndForeignEntriesNeverReachTheList) {
  std::u16string withNul(u"bad");
  withNul.push_back(u'\0');
  withNul += u"x";
  tree.folders[u"L"] = {file(u""), file(u"."), file(u".."), file(u"../escape"), file(u"a/b"), file(withNul),
                        folder(u".."), file(u"kept")};
  MemEntry foreign = file(u"foreign");
  foreign.foreignFolder = u"Elsewhere";
  tree.folders[u"R"] = {file(u"r1"), foreign, file(u"after")};
  std::vector<Rec> expected = {{kCodeFileLeftOnly, u"kept", u"", 0}, {kCodeFileRightOnly, u"", u"r1", 0}};
  if constexpr (!os::kBackslashSeparates) {
    // '\' is an ordinary character of POSIX names and must survive.
    tree.folders[u"L"].push_back(file(u"back\\slash"));
    expected.insert(expected.begin() + 1, {kCodeFileLeftOnly, u"back\\slash", u"", 0});
  } else {
    // A name that holds '\' came from a POSIX side: reported as one that cannot be
    // handled, never joined into a path, even when its parts would climb out.
    tree.folders[u"L"].push_back(file(u"..\\escape"));
    expected.insert(expected.begin() + 1, {kCodeUnusableName, u"..\\escape", u"", 0});
  }
  EXPECT_EQ(scan(), expected);
}

TEST_F(ScannerTest, FilterAppliesToFilesOnly) {
  ScanFilter filter{nullptr, [](const void*, const FindRecord& e) { return e.name[0] == u'k'; }};
  run.scanner.filter = &filter;
  tree.folders[u"L"] = {file(u"keep"), file(u"drop"), folder(u"dir")};
  tree.folders[u"R"] = {};
  EXPECT_EQ(scan(), (std::vector<Rec>{{kCodeFileLeftOnly, u"keep", u"", 0},
                                      {kCodeFolderLeftOnly, full(u"L", u"dir"), full(u"R", u"dir"), 0}}));
}

TEST_F(ScannerTest, UnreadableMissingExcludedAndStoppedSides) {
  tree.folders[u"R"] = {file(u"r")};
  // A missing left folder is an empty side.
  EXPECT_EQ(scan(), (std::vector<Rec>{{kCodeFileRightOnly, u"", u"r", 0}}));
  // Any other listing error leaves only the header.
  tree.errors[u"L"] = kErrorAccessDenied;
  EXPECT_TRUE(scan().empty());
  tree.errors[u"L"] = kErrorContinue;  // 1246 is success: the scan goes on
  EXPECT_EQ(scan(), (std::vector<Rec>{{kCodeFileRightOnly, u"", u"r", 0}}));
  tree.errors.clear();
  // An excluded folder lists as empty; its name is compared as the file system compares
  // names (exactly on POSIX).
  tree.folders[u"L"] = {file(u"x")};
  run.scanner.excludedFolders = {u"L"};
  EXPECT_EQ(scan(), (std::vector<Rec>{{kCodeFileRightOnly, u"", u"r", 0}}));
  run.scanner.excludedFolders = {u"l"};
  EXPECT_EQ(scan().size(), os::kWindows ? 1u : 2u);
  run.scanner.excludedFolders.clear();
  tree.folders.erase(u"L");
  // A stop request leaves only the header.
  std::atomic<int32_t> stop{1};
  run.scanner.stopWord = &stop;
  EXPECT_TRUE(scan().empty());
}

TEST_F(ScannerTest, LocalFoldersListWithoutDotEntriesAndMissingFoldersGiveThree) {
  testing::TempFolder temp;
  testing::writeFile(temp / "side/a", "x");
  std::filesystem::create_directories(temp / "side/sub");
  std::filesystem::create_directories(temp / "empty");
  FileSystemProvider* local = &providerTable().slots[0];
  EntryList out(true);
  EXPECT_EQ(scanFolder(local, nullptr, temp.text("side"), nullptr, out), 0u);
  EXPECT_EQ(out.count(), 2u);
  EntryList empty(true);
  EXPECT_EQ(scanFolder(local, nullptr, temp.text("empty"), nullptr, empty), 0u);
  EXPECT_EQ(empty.count(), 0u);
  EXPECT_EQ(scanFolder(local, nullptr, temp.text("missing"), nullptr, empty), kErrorPathNotFound);
}

TEST_F(ScannerTest, ContentComparisonDecidesBetweenEqualSizedFiles) {
  testing::TempFolder temp;
  struct Case {
    const char* what;
    int32_t ignoreDate;
    std::string left, right;
    int64_t leftOffset;
    int expected;
  };
  const std::string big(10000, 'q');
  const Case cases[] = {
      {"same bytes, other time", 0, "same", "same", 100 * kSec, kCodeEqual},
      {"other bytes, left newer", 0, "abcd", "abce", 100 * kSec, kCodeLeftNewer},
      {"difference in a later block", 0, big + "1", big + "2", -100 * kSec, kCodeRightNewer},
      {"sizes differ are never read", 0, "abc", "abcd", 100 * kSec, kCodeLeftNewer},
      {"nd, other bytes", 1, "abcd", "abce", 0, kCodeDifferent},
      {"nd, same bytes", 1, "abcd", "abcd", 50 * kSec, kCodeEqual},
      {"empty files", 0, "", "", 50 * kSec, kCodeEqual},
  };
  for (const Case& c : cases) {
    testing::writeFile(temp / "L/f", c.left, kT + c.leftOffset);
    testing::writeFile(temp / "R/f", c.right, kT);
    SyncRun local;
    openSides(local, temp.text("L"), temp.text("R"));
    EntryList actions(true);
    local.scanner.actionList = &actions;
    local.scanner.contentComparison = 1;
    local.scanner.ignoreDate = c.ignoreDate;
    (void)scanPair(local.scanner, local.left, local.right);
    closeSides(local);
    action_record::Fields f;
    ASSERT_EQ(actions.count(), 2u) << c.what;
    action_record::load(actions, actions.next(0), f);
    EXPECT_EQ(f.code, c.expected) << c.what;
  }
}

TEST(ContentsDiffer, UnreadableFilesCountAsDifferent) {
  testing::TempFolder temp;
  testing::writeFile(temp / "a", "12345");
  testing::writeFile(temp / "b", "12345");
  EXPECT_FALSE(contentsDiffer(temp.text("a"), temp.text("b"), 5, 5));
  EXPECT_TRUE(contentsDiffer(temp.text("a"), temp.text("missing"), 5, 5));
  EXPECT_TRUE(contentsDiffer(temp.text("missing"), temp.text("a"), 5, 5));
  EXPECT_TRUE(contentsDiffer(temp.text("a"), temp.text("b"), 5, 6));
  // The file grew since it was listed: the listed sizes no longer tell.
  testing::writeFile(temp / "b", "123456");
  EXPECT_TRUE(contentsDiffer(temp.text("a"), temp.text("b"), 5, 5));
}

}  // namespace
}  // namespace crvl
