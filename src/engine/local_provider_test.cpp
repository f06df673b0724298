#include "engine/local_provider.h"

#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

#include "engine/engine_test_support.h"
#include "os_traits.h"
#include "platform/listings.h"

namespace crvl {
namespace {

using testing::providerTable;

namespace fs = std::filesystem;
using testing::EngineFixture;
using testing::TempFolder;

class LocalProviderTest : public EngineFixture {
 protected:
  FileSystemProvider& local() { return providerTable().slots[0]; }
};

TEST_F(LocalProviderTest, IsFolderPathAndChangeFolder) {
  FileSystemProvider& slot = local();
  struct Case {
    std::u16string path;
    int32_t expected;
  };
  const Case cases[] = {
      {u"C:\\", 0},          {u"C:\\x", 1},           {u"/abc", 1},
      {u"\\\\server", 0},    {u"\\\\server\\share", 0}, {u"\\\\server\\share\\dir", 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(slot.ops.isFolderPath(&slot, nullptr, c.path.c_str()), c.expected)
        << platform::toUtf8(c.path);
  }
  const std::u16string start = os::kDrivePaths ? u"C:\\data\\sub" : u"/data/sub";
  ScopedProviderHandle owner = testing::providerTable().open(start, nullptr);
  ProviderHandle* h = owner.get();
  ASSERT_NE(h, nullptr);
  std::u16string root;
  EXPECT_EQ(callRootName(&slot, h, root), 0u);
  EXPECT_EQ(root, os::kDrivePaths ? u"C:\\" : u"/");
  EXPECT_EQ(slot.ops.changeFolder(&slot, h, u".."), 0u);
  EXPECT_EQ(h->path, os::kDrivePaths ? u"C:\\data" : u"/data");
  EXPECT_EQ(slot.ops.changeFolder(&slot, h, u"\\"), 0u);
  EXPECT_EQ(h->path, root);
  EXPECT_EQ(slot.ops.changeFolder(&slot, h, start.c_str()), 0u);
  EXPECT_EQ(h->path, start);
}

TEST_F(LocalProviderTest, RenameMakesMissingParentsAndReplacesTargets) {
  TempFolder temp;
  FileSystemProvider& slot = local();
  testing::writeFile(temp / "a.txt", "a");
  testing::writeFile(temp / "b.txt", "b");
  // Into a folder that does not exist yet.
  EXPECT_EQ(callRename(&slot, nullptr, temp.text("a.txt"), temp.text("new/deeper/a.txt")), 0u);
  EXPECT_EQ(testing::readFile(temp / "new/deeper/a.txt"), "a");
  // Over an existing, read-only target.
  ASSERT_EQ(platform::setFileAttributes(temp.text("new/deeper/a.txt"), 0x1), 0u);
  EXPECT_EQ(callRename(&slot, nullptr, temp.text("b.txt"), temp.text("new/deeper/a.txt")), 0u);
  EXPECT_EQ(testing::readFile(temp / "new/deeper/a.txt"), "b");
  EXPECT_FALSE(fs::exists(temp / "b.txt"));
  EXPECT_NE(callRename(&slot, nullptr, temp.text("missing"), temp.text("x")), 0u);
}

TEST_F(LocalProviderTest, DeletionModes) {
  TempFolder temp;
  FileSystemProvider& slot = local();
  testing::writeFile(temp / "plain.txt", "p");
  testing::writeFile(temp / "secret.txt", std::string(10000, 's'));
  EXPECT_EQ(callDeleteFile(&slot, nullptr, temp.text("plain.txt"), 0, nullptr, nullptr), 0u);
  EXPECT_FALSE(fs::exists(temp / "plain.txt"));
  EXPECT_EQ(callDeleteFile(&slot, nullptr, temp.text("plain.txt"), 0, nullptr, nullptr), kErrorFileNotFound);
  // Overwrite, then delete: nothing is left under either name.
  uint64_t reported = 0;
  ProgressCallback count = [](int32_t kind, const void* data, intptr_t, void* context) -> int32_t {
    if (kind == kProgressBytes) *static_cast<uint64_t*>(context) += *static_cast<const uint64_t*>(data);
    return 0;
  };
  EXPECT_EQ(callDeleteFile(&slot, nullptr, temp.text("secret.txt"), 2, count, &reported), 0u);
  EXPECT_EQ(reported, 10000u);
  EXPECT_TRUE(fs::is_empty(temp.root()));
  // A folder is not a file.
  fs::create_directories(temp / "dir");
  EXPECT_NE(callDeleteFile(&slot, nullptr, temp.text("dir"), 0, nullptr, nullptr), 0u);
  EXPECT_TRUE(fs::exists(temp / "dir"));
}

TEST_F(LocalProviderTest, AttributesAndTimesRoundTrip) {
  TempFolder temp;
  FileSystemProvider& slot = local();
  testing::writeFile(temp / "f", "12345");
  constexpr uint64_t kWrite = 132000000012345670ull;
  EXPECT_EQ(callSetTimes(&slot, nullptr, temp.text("f"), 0, 0, kWrite), 0u);
  EntryBlock block;
  const uint32_t attributes = callGetAttributes(&slot, nullptr, temp.text("f"), &block);
  ASSERT_NE(attributes, 0xFFFFFFFFu);
  EXPECT_EQ(uint64_t{block.lastWriteTime}, kWrite);
  EXPECT_EQ(uint64_t{block.size}, 5u);
  EXPECT_EQ(attributes & 0x11, 0u);
  EXPECT_EQ(callSetAttributes(&slot, nullptr, temp.text("f"), 0x21), 0u);
  EXPECT_EQ(callGetAttributes(&slot, nullptr, temp.text("f"), nullptr) & 0x1, 0x1u);
  // Unix-mode attributes of a plug-in are not applied here.
  EXPECT_EQ(callSetAttributes(&slot, nullptr, temp.text("f"), 0x8000), 0u);
  EXPECT_EQ(callGetAttributes(&slot, nullptr, temp.text("f"), nullptr) & 0x1, 0x1u);
  EXPECT_EQ(callGetAttributes(&slot, nullptr, temp.text("missing"), nullptr), 0xFFFFFFFFu);
  EXPECT_EQ(callMakeFolder(&slot, nullptr, u""), kErrorInvalidParameter);
}

TEST_F(LocalProviderTest, SetTimesChangesOnlyTheNamedEntry) {
  TempFolder temp;
  FileSystemProvider& slot = local();
  constexpr uint64_t kBefore = 131000000000000000ull;
  constexpr uint64_t kWrite = 132000000012345670ull;
  testing::writeFile(temp / "plain", "p", kBefore);
  testing::writeFile(temp / "ro", "r", kBefore);
  testing::writeFile(temp / "dots", "d", kBefore);
  fs::create_directories(temp / "dir");
  ASSERT_EQ(platform::setFileAttributes(temp.text("ro"), 0x21), 0u);
  if constexpr (!os::kWindows) {
    // Every name is kept here: these are entries of their own.
    testing::writeFile(temp / "dots.", "1", kBefore);
    testing::writeFile(temp / "dots ", "2", kBefore);
  }
  // A trailing dot or space is kept, never dropped to reach "dots": on Windows the
  // writer above cannot make such names, so there they are missing.
  const ErrorCode altered = os::kWindows ? ErrorCode{kErrorFileNotFound} : ErrorCode{0};
  struct Case {
    const char* name;
    ErrorCode expected;
  };
  const Case cases[] = {
      {"plain", 0},           {"ro", 0},          {"dir", 0},          {"missing", kErrorFileNotFound},
      {"no/such", kErrorFileNotFound}, {"dots.", altered}, {"dots ", altered},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(callSetTimes(&slot, nullptr, temp.text(c.name), kWrite, 0, kWrite), c.expected);
    if (c.expected != 0) continue;
    EntryBlock block;
    ASSERT_NE(callGetAttributes(&slot, nullptr, temp.text(c.name), &block), 0xFFFFFFFFu);
    EXPECT_EQ(uint64_t{block.lastWriteTime}, kWrite);
  }
  EntryBlock dots;
  ASSERT_NE(callGetAttributes(&slot, nullptr, temp.text("dots"), &dots), 0xFFFFFFFFu);
  EXPECT_EQ(uint64_t{dots.lastWriteTime}, kBefore);
  // The read-only file is read-only again afterwards.
  EXPECT_EQ(callGetAttributes(&slot, nullptr, temp.text("ro"), nullptr) & 0x1, 0x1u);
}

// A listing whose folder and share answers are chosen by the test.
struct FakeListing {
  ErrorCode folderResult = 0;
  ErrorCode sharesResult = 0;
  int shareCalls = 0;
  std::u16string askedServer;

  static ErrorCode listFolder(void* context, std::u16string_view, platform::LocalEntryVisitor, void*) {
    return static_cast<FakeListing*>(context)->folderResult;
  }
  static ErrorCode listShares(void* context, std::u16string_view server, platform::LocalEntryVisitor visitor,
                              void* data) {
    auto* self = static_cast<FakeListing*>(context);
    ++self->shareCalls;
    self->askedServer.assign(server);
    if (self->sharesResult != 0) return self->sharesResult;
    platform::LocalEntryInfo info;
    info.attributes = kFolderAttribute;
    (void)visitor(data, u"Public", info, nullptr);
    return 0;
  }
};

int32_t countEntry(void* data, std::u16string_view, const platform::LocalEntryInfo&, const char16_t*) {
  ++*static_cast<int*>(data);
  return 0;
}

TEST(LocalListing, ServerPathsFallBackToTheirShares) {
  struct Case {
    std::u16string path;
    ErrorCode folderResult;
    ErrorCode sharesResult;
    ErrorCode expected;
    bool sharesListed;
  };
  const Case cases[] = {
      {u"\\\\srv", kErrorPathNotFound, 0, 0, true},
      {u"\\\\srv", kErrorBadNetPath, 0, 0, true},
      {u"\\\\srv\\", kErrorPathNotFound, 0, 0, true},
      {u"//srv", kErrorBadNetPath, 0, 0, true},
      // The shares cannot be had either: the folder listing's error stands.
      {u"\\\\srv", kErrorBadNetPath, kErrorNotSupported, kErrorBadNetPath, true},
      {u"\\\\srv", kErrorPathNotFound, 2114, kErrorPathNotFound, true},
      // Other errors, and paths that are more or less than a server, are left alone.
      {u"\\\\srv", kErrorAccessDenied, 0, kErrorAccessDenied, false},
      {u"\\\\srv", kErrorBadNetName, 0, kErrorBadNetName, false},
      {u"\\\\srv", 0, 0, 0, false},
      {u"\\\\srv\\share", kErrorPathNotFound, 0, kErrorPathNotFound, false},
      {u"\\\\\\srv", kErrorPathNotFound, 0, kErrorPathNotFound, false},
      {u"\\\\", kErrorPathNotFound, 0, kErrorPathNotFound, false},
      {u"\\srv", kErrorPathNotFound, 0, kErrorPathNotFound, false},
      {u"C:\\srv", kErrorPathNotFound, 0, kErrorPathNotFound, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(platform::toUtf8(c.path) + " " + std::to_string(c.folderResult));
    FakeListing fake;
    fake.folderResult = c.folderResult;
    fake.sharesResult = c.sharesResult;
    const LocalListingIo io{&FakeListing::listFolder, &FakeListing::listShares, &fake};
    int entries = 0;
    EXPECT_EQ(enumerateLocalPath(c.path, &countEntry, &entries, &io), c.expected);
    EXPECT_EQ(fake.shareCalls, c.sharesListed ? 1 : 0);
    EXPECT_EQ(entries, c.sharesListed && c.sharesResult == 0 ? 1 : 0);
    if (c.sharesListed) {
      EXPECT_EQ(fake.askedServer, c.path);
    }
  }
}

TEST_F(LocalProviderTest, UnknownServerIsAnErrorAndFoldersStillList) {
  FileSystemProvider& slot = local();
  struct Counter {
    int entries = 0;
    static int32_t add(void* data, const FindRecord&) {
      ++static_cast<Counter*>(data)->entries;
      return 0;
    }
  };
  Counter server;
  const ErrorCode r = callEnumerate(&slot, nullptr, u"\\\\nosuchserver", &Counter::add, &server);
  EXPECT_TRUE(r == kErrorPathNotFound || r == kErrorBadNetPath) << r;
  EXPECT_EQ(server.entries, 0);

  TempFolder temp;
  testing::writeFile(temp / "a", "a");
  fs::create_directories(temp / "sub");
  Counter folder;
  EXPECT_EQ(callEnumerate(&slot, nullptr, temp.text(), &Counter::add, &folder), 0u);
  EXPECT_EQ(folder.entries, 2);
}

// Each entry of a local listing carries the identity of the folder that was opened, the
// target's when the folder is reached through a link; other folders have other ones.
TEST_F(LocalProviderTest, ListingTellsTheIdentityOfTheFolderItOpened) {
  TempFolder temp;
  testing::writeFile(temp / "a/one", "1");
  testing::writeFile(temp / "a/two", "2");
  testing::writeFile(temp / "b/three", "3");
  std::error_code ec;
  fs::create_directory_symlink(temp / "a", temp / "via", ec);
  struct Seen {
    int entries = 0;
    int withIdentity = 0;
    platform::FolderIdentity last;
    static int32_t add(void* data, const FindRecord& r) {
      auto* s = static_cast<Seen*>(data);
      ++s->entries;
      if (r.folderIdentity != nullptr) {
        ++s->withIdentity;
        s->last = *r.folderIdentity;
      }
      return 0;
    }
  };
  struct Case {
    const char* listed;
    const char* identityOf;
  };
  const Case cases[] = {{"a", "a"}, {"b", "b"}, {"via", "a"}};
  for (const Case& c : cases) {
    if (std::string(c.listed) == "via" && ec) continue;  // no links here
    SCOPED_TRACE(c.listed);
    Seen seen;
    ASSERT_EQ(callEnumerate(&local(), nullptr, temp.text(c.listed), &Seen::add, &seen), 0u);
    EXPECT_GT(seen.entries, 0);
    if constexpr (!os::kListingTellsFolderIdentity) {
      EXPECT_EQ(seen.withIdentity, 0);
      continue;
    }
    EXPECT_EQ(seen.withIdentity, seen.entries);
    platform::FolderIdentity expected;
    ASSERT_EQ(platform::fileIdentity(temp.text(c.identityOf), &expected.volume, &expected.fileId), 0u);
    EXPECT_TRUE(seen.last.known);
    EXPECT_EQ(seen.last.volume, expected.volume);
    EXPECT_EQ(seen.last.fileId, expected.fileId);
  }
}

TEST_F(LocalProviderTest, OverwriteDeletionNeverRenamesOverAnotherFile) {
  TempFolder temp;
  FileSystemProvider& slot = local();
  testing::writeFile(temp / "secret.txt", "s");
  // The overwritten file's own name and its numbered forms up to 10 are taken.
  std::vector<std::string> taken{"@@@@@@.@@@"};
  for (int n = 0; n <= 10; ++n) taken.push_back("@@@@@@.@@@" + std::to_string(n));
  for (const std::string& name : taken) testing::writeFile(temp / name, "keep " + name);
  EXPECT_EQ(callDeleteFile(&slot, nullptr, temp.text("secret.txt"), 2, nullptr, nullptr), 0u);
  EXPECT_FALSE(fs::exists(temp / "secret.txt"));
  for (const std::string& name : taken) EXPECT_EQ(testing::readFile(temp / name), "keep " + name) << name;
  EXPECT_EQ(std::distance(fs::directory_iterator(temp.root()), fs::directory_iterator()),
            static_cast<std::ptrdiff_t>(taken.size()));
}

}  // namespace
}  // namespace crvl
