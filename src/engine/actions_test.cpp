#include "engine/actions.h"

#include <gtest/gtest.h>

#include "engine/descent_chain.h"
#include "engine/engine_test_support.h"
#include "engine/local_copy.h"
#include "engine/local_provider.h"
#include "os_traits.h"
#include "platform/clock.h"
#include "platform/paths.h"

namespace crvl {
namespace {

using testing::providerTable;

namespace fs = std::filesystem;
using testing::EngineFixture;
using testing::RecordingSink;
using testing::TempFolder;

constexpr uint64_t kT = 132000000000000000ull;

std::u16string message(ErrorCode code) { return platform::systemMessage(code); }

uint64_t lastWrite(const std::u16string& path) {
  platform::LocalEntryInfo info;
  return platform::queryEntry(path, &info) == 0 ? info.lastWriteTime : 0;
}

class ActionsTest : public EngineFixture {
 protected:
  void SetUp() override {
    EngineFixture::SetUp();
    fs::create_directories(temp / "L");
    fs::create_directories(temp / "R");
    run.execute = 1;
    run.logSink = &sink.sink;
    run.scanner.stopWord = &stop;
  }
  void TearDown() override {
    closeSides(run);
    setSystemCopyEnabled(true);
    EngineFixture::TearDown();
  }
  void open(int32_t slot = 0) { openSides(run, temp.text("L"), temp.text("R"), slot, slot); }

  // A list with the pair's header and one file record; returns the record's offset.
  uint32_t fileRecord(std::u16string_view leftName, std::u16string_view rightName, uint64_t size = 0,
                      std::u16string leftFolder = {}, std::u16string rightFolder = {}) {
    list = EntryList(true);
    EntryBlock folder;
    folder.attributes = kFolderAttribute;
    (void)action_record::append(list, 2, 0, folder, folder, leftFolder.empty() ? temp.text("L") : leftFolder,
                                rightFolder.empty() ? temp.text("R") : rightFolder);
    EntryBlock l, r;
    l.attributes = r.attributes = 0x20;
    l.size = r.size = size;
    l.lastWriteTime = r.lastWriteTime = kT;
    return static_cast<uint32_t>(action_record::append(list, 6, 0, l, r, leftName, rightName));
  }

  TempFolder temp;
  RecordingSink sink;
  std::atomic<int32_t> stop{0};
  SyncRun run;
  EntryList list;
};

TEST_F(ActionsTest, CopiesInBothDirectionsWithMissingParentsAndReadOnlyTargets) {
  open();
  struct Case {
    const char* what;
    bool streamCopy;
  };
  for (const Case& c : {Case{"system copy", false}, Case{"stream copy", true}}) {
    setSystemCopyEnabled(!c.streamCopy);
    fs::remove_all(temp / "R");
    testing::writeFile(temp / "L/new.txt", "left bytes", kT);
    // To the right into a folder that does not exist yet: its parents are made.
    const std::u16string deep = temp.text("R/x/y");
    uint32_t at = fileRecord(u"new.txt", u"", 10, {}, deep);
    EXPECT_EQ(copyRecord(run, list, at, CopyDirection::ToRight), 0u) << c.what;
    EXPECT_EQ(testing::readFile(temp / "R/x/y/new.txt"), "left bytes") << c.what;
    EXPECT_EQ(lastWrite(temp.text("R/x/y/new.txt")), kT) << c.what;
    // To the left over a read-only file.
    testing::writeFile(temp / "R/x/y/back.txt", "right bytes", kT);
    testing::writeFile(temp / "L/back.txt", "old");
    ASSERT_EQ(platform::setFileAttributes(temp.text("L/back.txt"), 0x1), 0u);
    at = fileRecord(u"back.txt", u"back.txt", 11, {}, deep);
    EXPECT_EQ(copyRecord(run, list, at, CopyDirection::ToLeft), 0u) << c.what;
    EXPECT_EQ(testing::readFile(temp / "L/back.txt"), "right bytes") << c.what;
  }
  ASSERT_EQ(sink.records.size(), 4u);
  const int32_t markers[] = {kMarkerCopiedNewRight, kMarkerCopiedOverLeft, kMarkerCopiedNewRight,
                             kMarkerCopiedOverLeft};
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(sink.records[i].marker, markers[i]);
    EXPECT_EQ(sink.records[i].state, u"");
  }
  EXPECT_EQ(sink.records[0].left, temp.text("L/new.txt"));
  EXPECT_EQ(sink.records[0].right, temp.text("R/x/y/new.txt"));
}

TEST_F(ActionsTest, SimulationChangesNothingAndReportsSuccess) {
  open();
  run.execute = 0;
  testing::writeFile(temp / "L/a.txt", "a");
  testing::writeFile(temp / "R/t/1", "1");
  testing::writeFile(temp / "R/t/2", "2");
  testing::writeFile(temp / "R/t/3", "3");
  const uint32_t at = fileRecord(u"a.txt", u"", 1);
  EXPECT_EQ(copyRecord(run, list, at, CopyDirection::ToRight), 0u);
  EXPECT_EQ(deleteOrphanFile(run, list, at, true, false), 0u);
  EXPECT_EQ(deleteFolderTree(run, Side::Right, temp.text("R/t"), kFolderAttribute), 0u);
  EXPECT_EQ(createFolder(run, Side::Right, temp.text("R/made")), 0u);
  EXPECT_FALSE(fs::exists(temp / "R/a.txt"));
  EXPECT_TRUE(fs::exists(temp / "L/a.txt"));
  EXPECT_TRUE(fs::exists(temp / "R/t/3"));
  EXPECT_FALSE(fs::exists(temp / "R/made"));
  EXPECT_EQ(sink.count(kMarkerCopiedNewRight), 1u);
  EXPECT_EQ(sink.count(kMarkerFileDeleted), 4u);  // the orphan and three files of the tree
  EXPECT_EQ(sink.count(kMarkerFolderRemoved), 1u);
  for (const auto& r : sink.records) EXPECT_EQ(r.state, u"");
}

TEST_F(ActionsTest, OrphanDeletionClearsReadOnlyAndStopsAfterALeftFailure) {
  open();
  testing::writeFile(temp / "L/ro.txt", "x");
  ASSERT_EQ(platform::setFileAttributes(temp.text("L/ro.txt"), 0x1), 0u);
  testing::writeFile(temp / "R/ro.txt", "y");
  uint32_t at = fileRecord(u"ro.txt", u"ro.txt");
  EXPECT_EQ(deleteOrphanFile(run, list, at, true, true), 0u);
  EXPECT_FALSE(fs::exists(temp / "L/ro.txt"));
  EXPECT_FALSE(fs::exists(temp / "R/ro.txt"));
  ASSERT_EQ(sink.records.size(), 2u);
  EXPECT_TRUE(sink.records[0].hasLeft);
  EXPECT_FALSE(sink.records[0].hasRight);
  EXPECT_FALSE(sink.records[1].hasLeft);
  EXPECT_EQ(sink.records[1].right, temp.text("R/ro.txt"));

  // A left file that is gone fails, and the right file is kept.
  testing::writeFile(temp / "R/keep.txt", "y");
  at = fileRecord(u"gone.txt", u"keep.txt");
  EXPECT_EQ(deleteOrphanFile(run, list, at, true, true), kErrorFileNotFound);
  EXPECT_TRUE(fs::exists(temp / "R/keep.txt"));
  ASSERT_EQ(sink.records.size(), 3u);
  EXPECT_EQ(sink.records[2].state, message(kErrorFileNotFound));
}

TEST_F(ActionsTest, TreeDeletionRemovesEverythingDepthFirst) {
  open();
  testing::writeFile(temp / "R/t/a", "a");
  testing::writeFile(temp / "R/t/sub/b", "b");
  testing::writeFile(temp / "R/t/sub/deeper/c", "c");
  ASSERT_EQ(platform::setFileAttributes(temp.text("R/t/sub/b"), 0x1), 0u);
  EXPECT_EQ(deleteFolderTree(run, Side::Right, temp.text("R/t"), kFolderAttribute), 0u);
  EXPECT_FALSE(fs::exists(temp / "R/t"));
  EXPECT_EQ(sink.count(kMarkerFileDeleted), 3u);
  EXPECT_EQ(sink.count(kMarkerFolderRemoved), 3u);
  for (const auto& r : sink.records) {
    EXPECT_EQ(r.state, u"");
    EXPECT_FALSE(r.hasLeft);
  }
  // The folder itself is reported last, after everything inside it.
  EXPECT_EQ(sink.records.back().right, temp.text("R/t"));
}

TEST_F(ActionsTest, TreeDeletionNeverFollowsLinks) {
  open();
  testing::writeFile(temp / "outside/keep.txt", "precious");
  testing::writeFile(temp / "R/t/own.txt", "x");
  std::error_code ec;
  fs::create_directory_symlink(temp / "outside", temp / "R/t/folderlink", ec);
  if (ec) GTEST_SKIP() << "links cannot be made here";
  fs::create_symlink(temp / "outside/keep.txt", temp / "R/t/filelink", ec);
  EXPECT_EQ(deleteFolderTree(run, Side::Right, temp.text("R/t"), kFolderAttribute), 0u);
  EXPECT_FALSE(fs::exists(temp / "R/t"));
  EXPECT_EQ(testing::readFile(temp / "outside/keep.txt"), "precious");
}

// A provider whose tree holds a link to a folder; it records what the deletion asks.
struct LinkTree {
  static inline std::vector<std::u16string> listed;
  static inline std::vector<std::u16string> removed;
  static ErrorCode enumerate(FileSystemProvider*, ProviderHandle*, const char16_t* folder,
                             EnumerateConsumer consumer, void* data) {
    listed.emplace_back(folder);
    if (listed.size() > 1) return 0;  // only the top folder has entries
    FindRecord link;
    link.folderPath = folder;
    link.block.attributes = kFolderAttribute | kReparsePointAttribute;
    link.name = u"link";
    link.nameLength = 4;
    return consumer(data, link);
  }
  static ErrorCode removeFolder(FileSystemProvider*, ProviderHandle*, const char16_t* path) {
    removed.emplace_back(path);
    return 0;
  }
};

TEST_F(ActionsTest, TreeDeletionRemovesAFolderLinkWithoutEnteringIt) {
  ProviderTable& table = providerTable();
  table.slots[2] = table.slots[0];
  table.slots[2].kind = kProviderPlugin;
  table.slots[2].ops.enumerate = &LinkTree::enumerate;
  table.slots[2].ops.removeFolder = &LinkTree::removeFolder;
  open(2);
  LinkTree::listed.clear();
  LinkTree::removed.clear();
  EXPECT_EQ(deleteFolderTree(run, Side::Left, u"top", kFolderAttribute), 0u);
  std::u16string link;
  platform::joinPath(u"top", u"link", link);
  EXPECT_EQ(LinkTree::listed, std::vector<std::u16string>{u"top"});
  EXPECT_EQ(LinkTree::removed, (std::vector<std::u16string>{link, u"top"}));
  EXPECT_EQ(sink.count(kMarkerFolderRemoved), 2u);
}

TEST_F(ActionsTest, StopWordCancelsACopyAndEndsTreeDeletion) {
  open();
  for (bool streamCopy : {false, true}) {
    setSystemCopyEnabled(!streamCopy);
    testing::writeFile(temp / "L/big.bin", std::string(300000, 'b'));
    stop = 1;
    const uint32_t at = fileRecord(u"big.bin", u"", 300000);
    EXPECT_EQ(copyRecord(run, list, at, CopyDirection::ToRight), kErrorRequestAborted);
    EXPECT_EQ(sink.records.back().state, message(kErrorRequestAborted));
    if (streamCopy) {
      EXPECT_FALSE(fs::exists(temp / "R/big.bin"));
    }
    stop = 0;
  }
  testing::writeFile(temp / "R/t/a", "a");
  testing::writeFile(temp / "R/t/b", "b");
  stop = 1;
  sink.records.clear();
  EXPECT_EQ(deleteFolderTree(run, Side::Right, temp.text("R/t"), kFolderAttribute), kErrorDirNotEmpty);
  EXPECT_TRUE(fs::exists(temp / "R/t/a"));
  ASSERT_EQ(sink.records.size(), 1u);
  EXPECT_EQ(sink.records[0].marker, kMarkerFolderRemoved);
  EXPECT_EQ(sink.records[0].state, message(kErrorDirNotEmpty));
}

TEST_F(ActionsTest, ErrorAccountingKeepsTheFirstMessage) {
  ASSERT_FALSE(message(kErrorAccessDenied).empty());
  ASSERT_NE(message(kErrorAccessDenied), message(kErrorDiskFull));
  struct Case {
    std::vector<ErrorCode> results;
    ErrorCode messageOf;  // 0: no text
  };
  const Case cases[] = {
      {{0}, 0},
      {{kErrorContinue}, 0},
      {{kErrorDiskFull}, kErrorDiskFull},
      {{kErrorAccessDenied, kErrorDiskFull}, kErrorAccessDenied},
      {{0, kErrorSharingViolation, kErrorAccessDenied}, kErrorSharingViolation},
      {{static_cast<ErrorCode>(-2)}, kErrorAccessDenied},
  };
  for (const Case& c : cases) {
    run.errorText.clear();
    bool allGood = true;
    for (ErrorCode r : c.results) allGood = accountResult(run, r) && allGood;
    EXPECT_EQ(allGood, c.messageOf == 0);
    EXPECT_EQ(run.errorText, c.messageOf == 0 ? std::u16string() : message(c.messageOf));
  }
  // A provider's own text arrives through the progress callback and is kept.
  run.errorText.clear();
  EXPECT_EQ(runProgress(kProgressText, u"server refused", 0, &run), 0);
  EXPECT_FALSE(accountResult(run, kErrorAccessDenied));
  EXPECT_EQ(run.errorText, u"server refused");
  stop = 2;
  EXPECT_EQ(runProgress(kProgressBytes, nullptr, 0, &run), 1);
}

// A slot that acts as the local provider but fails on chosen names.
struct Faults {
  static inline uint64_t failWriteAt = UINT64_MAX;
  static inline uint64_t freeBytes = UINT64_MAX;
  static ErrorCode freeSpace(void*, std::u16string_view, uint64_t* bytes) {
    *bytes = freeBytes;
    return 0;
  }
  static ErrorCode beforeWrite(void*, uint64_t offset, size_t) {
    return offset >= failWriteAt ? ErrorCode{kErrorDiskFull} : ErrorCode{kSuccess};
  }
  static ErrorCode getFile(FileSystemProvider*, ProviderHandle*, const char16_t* source, const char16_t* target,
                           const EntryBlock* block, uint32_t, ProgressCallback progress, void* data) {
    const StreamCopyIo io{&freeSpace, &beforeWrite, nullptr};
    return streamCopy(source, target, block, progress, data, &io);
  }
  static ErrorCode deleteFile(FileSystemProvider* slot, ProviderHandle* h, const char16_t* path, int32_t mode,
                              ProgressCallback progress, void* data) {
    const std::u16string_view p(path);
    if (p.ends_with(u"locked.txt")) return kErrorAccessDenied;
    if (p.ends_with(u"shared.txt")) return kErrorSharingViolation;
    return providerTable().slots[0].ops.deleteFile(slot, h, path, mode, progress, data);
  }
};

TEST_F(ActionsTest, InjectedFaultsAreReportedAndTheRunGoesOn) {
  ProviderTable& table = providerTable();
  table.slots[2] = table.slots[0];
  table.slots[2].ops.getFile = &Faults::getFile;
  table.slots[2].ops.deleteFile = &Faults::deleteFile;
  open(2);
  const std::string payload(600000, 'p');  // several pieces of the stream copy

  // Disk full in the middle of the copy: no partial target remains.
  Faults::failWriteAt = 262144;
  testing::writeFile(temp / "L/big.bin", payload);
  uint32_t at = fileRecord(u"big.bin", u"", payload.size());
  EXPECT_EQ(copyRecord(run, list, at, CopyDirection::ToRight), kErrorDiskFull);
  EXPECT_FALSE(fs::exists(temp / "R/big.bin"));
  EXPECT_EQ(sink.records.back().state, message(kErrorDiskFull));
  Faults::failWriteAt = UINT64_MAX;

  // Too little free space: the existing target is not touched.
  Faults::freeBytes = 1000;
  testing::writeFile(temp / "R/big.bin", "old copy");
  at = fileRecord(u"big.bin", u"big.bin", payload.size());
  EXPECT_EQ(copyRecord(run, list, at, CopyDirection::ToRight), kErrorDiskFull);
  EXPECT_EQ(testing::readFile(temp / "R/big.bin"), "old copy");
  Faults::freeBytes = UINT64_MAX;

  // Denied and shared files are reported with their messages; the others still go.
  for (const char* name : {"locked.txt", "shared.txt", "free.txt"}) testing::writeFile(temp / "R" / name, "x");
  sink.records.clear();
  for (const char16_t* name : {u"locked.txt", u"shared.txt", u"free.txt"}) {
    at = fileRecord(u"", name);
    (void)deleteOrphanFile(run, list, at, false, true);
  }
  at = fileRecord(u"big.bin", u"big.bin", payload.size());
  EXPECT_EQ(copyRecord(run, list, at, CopyDirection::ToRight), 0u);
  ASSERT_EQ(sink.records.size(), 4u);
  EXPECT_EQ(sink.records[0].state, message(kErrorAccessDenied));
  EXPECT_EQ(sink.records[1].state, message(kErrorSharingViolation));
  EXPECT_EQ(sink.records[2].state, u"");
  EXPECT_EQ(sink.records[3].state, u"");
  EXPECT_FALSE(fs::exists(temp / "R/free.txt"));
  EXPECT_TRUE(fs::exists(temp / "R/locked.txt"));
  EXPECT_EQ(testing::readFile(temp / "R/big.bin"), payload);
}

TEST_F(ActionsTest, FolderCreationReportsOnlyFailuresAndFolderTimesAreCopied) {
  open();
  EXPECT_EQ(createFolder(run, Side::Left, temp.text("L/a/b/c")), 0u);
  EXPECT_TRUE(fs::is_directory(temp / "L/a/b/c"));
  EXPECT_TRUE(sink.records.empty());
  testing::writeFile(temp / "L/file", "x");
  EXPECT_NE(createFolder(run, Side::Left, temp.text("L/file/sub")), 0u);
  ASSERT_EQ(sink.records.size(), 1u);
  EXPECT_EQ(sink.records[0].marker, kMarkerFolderNotCreated);
  EXPECT_FALSE(sink.records[0].state.empty());

  EntryBlock source;
  source.attributes = kFolderAttribute;
  source.lastWriteTime = kT;
  source.creationTime = 5;  // unset: left alone
  EXPECT_EQ(copyFolderTimesAndAttributes(run, Side::Left, temp.text("L/a"), source), 0u);
  platform::LocalEntryInfo info;
  ASSERT_EQ(platform::queryEntry(temp.text("L/a"), &info), 0u);
  EXPECT_EQ(info.lastWriteTime, kT);
  EXPECT_GE(info.creationTime, kUnsetTimeLimit);
}

TEST_F(ActionsTest, DescentChainRefusesAFolderAlreadyOnTheChain) {
  fs::create_directories(temp / "L/sub/deeper");
  fs::create_directories(temp / "R/sub");
  SideState left{nullptr, kProviderLocal, 0, temp.text("L"), {}};
  SideState right{nullptr, kProviderLocal, 0, temp.text("R"), {}};
  DescentChain chain;
  ASSERT_TRUE(chain.enter(left, right));
  SideState again = left;
  again.path = temp.text("L/sub/..");
  SideState rightSub = right;
  rightSub.path = temp.text("R/sub");
  EXPECT_FALSE(chain.enter(again, rightSub));  // the same folder by another path
  SideState leftSub = left;
  leftSub.path = temp.text("L/sub");
  {
    DescentScope scope(chain, leftSub, rightSub);
    EXPECT_TRUE(scope.entered());
    EXPECT_EQ(chain.depth(), 2u);
    std::error_code ec;
    fs::create_directory_symlink(temp / "L", temp / "L/sub/deeper/loop", ec);
    if (!ec) {
      SideState loop = left;
      loop.path = temp.text("L/sub/deeper/loop");
      SideState missing = right;
      missing.path = temp.text("R/sub/deeper/loop");  // not there: no identity
      EXPECT_FALSE(chain.enter(loop, missing));
    }
  }
  EXPECT_EQ(chain.depth(), 1u);
  // Sides of other providers give no identity and never block.
  SideState plugin{nullptr, kProviderPlugin, 0, u"x", {}};
  EXPECT_TRUE(chain.enter(plugin, plugin));
  chain.leave();

  // The identity a listing read is taken over the path's; without one, the path counts.
  platform::FolderIdentity top;
  ASSERT_EQ(platform::fileIdentity(temp.text("L"), &top.volume, &top.fileId), 0u);
  top.known = true;
  const platform::FolderIdentity none;
  platform::FolderIdentity other = top;
  other.fileId += 1;
  struct Case {
    const SideState* left;
    const platform::FolderIdentity* leftListed;
    const platform::FolderIdentity* rightListed;
    bool entered;
  };
  const Case cases[] = {
      {&leftSub, &top, &none, false},    // L/sub's path, but the listing read L
      {&leftSub, &none, &none, true},    // no listed identity: L/sub by its path
      {&again, &none, &none, false},     // L by another path, looked up
      {&again, &other, &none, true},     // the listing read another folder than the path names now
      {&plugin, &top, &none, true},      // a plug-in side never blocks
      {&leftSub, &none, &top, true},     // compared per side: L is not on the right chain
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    const Case& c = cases[i];
    ASSERT_EQ(chain.depth(), 1u);
    const bool entered = chain.enter(*c.left, rightSub, *c.leftListed, *c.rightListed);
    EXPECT_EQ(entered, c.entered);
    if (entered) chain.leave();
  }
}

}  // namespace
}  // namespace crvl
