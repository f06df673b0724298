#include "engine/local_provider.h"

#include <gtest/gtest.h>

#include "engine/engine_test_support.h"
#include "os_traits.h"

namespace crvl {
namespace {

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
  ProviderHandle* h = openProviderHandle(providerTable(), start, nullptr);
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
  releaseProviderHandle(providerTable(), h);
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
  ASSERT_EQ(platform::setLocalAttributes(temp.text("new/deeper/a.txt"), 0x1), 0u);
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
  EXPECT_TRUE(fs::is_empty(temp.path()));
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

}  // namespace
}  // namespace crvl
