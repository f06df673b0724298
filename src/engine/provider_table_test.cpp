#include "engine/provider_table.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "engine/engine_test_support.h"
#include "os_traits.h"

namespace crvl {
namespace {

using testing::EngineFixture;

class ProviderTableTest : public EngineFixture {};

std::u16string g_openedWith;

ProviderHandle* recordingOpen(FileSystemProvider*, void* owner, int32_t slotIndex, const char16_t* path) {
  g_openedWith = path;
  auto* h = new ProviderHandle;
  h->slotIndex = slotIndex;
  h->owner = owner;
  h->path = path;
  return h;
}
void deleteHandle(FileSystemProvider*, ProviderHandle* h) { delete h; }

void namedSlot(FileSystemProvider& slot, const char16_t* name) {
  slot = FileSystemProvider{};
  slot.kind = kProviderPlugin;
  slot.name = name;
  slot.prefixLength = static_cast<int32_t>(std::u16string_view(name).size()) + 3;
  slot.ops.open = &recordingOpen;
  slot.ops.release = &deleteHandle;
}

TEST_F(ProviderTableTest, LookupFindsTheSlotForAPath) {
  ProviderTable& table = providerTable();
  namedSlot(table.slots[2], u"Demo");
  struct Case {
    std::u16string path;
    int32_t slot;
  };
  std::vector<Case> cases = {
      {u"\\\\\\demo\\folder", 2},               // by name, case-insensitive
      {u"///Demo/folder", 2},                   // either separator
      {u"\\\\\\File System Plugins", 1},        // the plug-in root
      {u"relative\\path", -1},
      {u"\\\\\\Unknown\\x", -1},
  };
  if constexpr (os::kDrivePaths) {
    cases.push_back({u"C:\\data", 0});
    cases.push_back({u"z:", 0});
    cases.push_back({u"\\\\server\\share\\x", 0});
    cases.push_back({u"1:\\x", -1});
  } else {
    cases.push_back({u"/home/data", 0});
    cases.push_back({u"/", 0});
  }
  for (const Case& c : cases) {
    EXPECT_EQ(findProviderSlot(table, c.path), c.slot) << std::string(c.path.begin(), c.path.end());
  }
}

int g_registrations = 0;
void registerLate(ProviderTable& table) {
  ++g_registrations;
  namedSlot(table.slots[3], u"Late");
}

TEST_F(ProviderTableTest, AMissRegistersPluginsOnceAndLooksAgain) {
  ProviderTable& table = providerTable();
  g_registrations = 0;
  setPluginRegistrationHook(&registerLate);
  EXPECT_EQ(findProviderSlot(table, u"\\\\\\Late\\x"), 3);
  EXPECT_EQ(g_registrations, 1);
  EXPECT_EQ(findProviderSlot(table, u"\\\\\\Nowhere\\x"), -1);
  EXPECT_EQ(g_registrations, 2);
}

TEST_F(ProviderTableTest, OpeningStripsThePrefixAndCountsHandles) {
  ProviderTable& table = providerTable();
  namedSlot(table.slots[2], u"Demo");
  ProviderHandle* h = openProviderHandle(table, u"\\\\\\DEMO\\sub\\dir", nullptr);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(g_openedWith, u"\\sub\\dir");
  EXPECT_EQ(h->slotIndex, 2);
  ProviderHandle* second = openProviderHandle(table, u"x", nullptr, kProviderPlugin);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(table.slots[2].openCount, 2);
  releaseProviderHandle(table, h);
  EXPECT_EQ(table.slots[2].openCount, 1);
  { ScopedProviderHandle scoped(table, second); }
  EXPECT_EQ(table.slots[2].openCount, 0);
  EXPECT_EQ(openProviderHandle(table, u"relative", nullptr), nullptr);
}

TEST_F(ProviderTableTest, LocalOpenAcceptsOnlyRootedPaths) {
  ProviderTable& table = providerTable();
  const std::u16string good = os::kDrivePaths ? u"C:\\x" : u"/tmp";
  ProviderHandle* h = openProviderHandle(table, good, nullptr);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(h->slotIndex, 0);
  EXPECT_EQ(h->path, good);
  releaseProviderHandle(table, h);
  EXPECT_EQ(openProviderHandle(table, u"C:", nullptr, kProviderLocal), nullptr);
  EXPECT_EQ(openProviderHandle(table, u"\\\\\\x\\y", nullptr, kProviderLocal), nullptr);
}

ErrorCode throwingEnumerate(FileSystemProvider*, ProviderHandle*, const char16_t*, EnumerateConsumer, void*) {
  throw std::runtime_error("plug-in failure");
}
uint32_t throwingAttributes(FileSystemProvider*, ProviderHandle*, const char16_t*, EntryBlock*) {
  throw std::runtime_error("plug-in failure");
}
ProviderCapabilities throwingCapabilities(FileSystemProvider*, ProviderHandle*) { throw 1; }
int32_t throwingFinish(FileSystemProvider*, ProviderHandle*, int32_t, int32_t) { throw 1; }
ErrorCode continueMakeFolder(FileSystemProvider*, ProviderHandle*, const char16_t*) { return kErrorContinue; }
ErrorCode failingMakeFolder(FileSystemProvider*, ProviderHandle*, const char16_t*) { return kErrorAccessDenied; }

TEST_F(ProviderTableTest, GuardedCallsTurnThrowsAndGapsIntoNeutralAnswers) {
  FileSystemProvider slot;
  slot.kind = kProviderPlugin;
  // Empty entries.
  EXPECT_EQ(callEnumerate(&slot, nullptr, u"x", nullptr, nullptr), kErrorNotSupported);
  EXPECT_EQ(callGetAttributes(&slot, nullptr, u"x", nullptr), 0xFFFFFFFFu);
  EXPECT_EQ(callCapabilities(&slot, nullptr), 0);
  EXPECT_EQ(callFinish(&slot, nullptr, 0, 1), 0);
  EXPECT_EQ(callMakeFolder(nullptr, nullptr, u"x"), kErrorNotSupported);
  // Entries that throw.
  slot.ops.enumerate = &throwingEnumerate;
  slot.ops.getAttributes = &throwingAttributes;
  slot.ops.capabilities = &throwingCapabilities;
  slot.ops.finish = &throwingFinish;
  EXPECT_EQ(callEnumerate(&slot, nullptr, u"x", nullptr, nullptr), kErrorNotSupported);
  EXPECT_EQ(callGetAttributes(&slot, nullptr, u"x", nullptr), 0xFFFFFFFFu);
  EXPECT_EQ(callCapabilities(&slot, nullptr), 0);
  EXPECT_EQ(callFinish(&slot, nullptr, 0, 1), 0);
  // 1246 is success; other codes pass through.
  slot.ops.makeFolder = &continueMakeFolder;
  EXPECT_EQ(callMakeFolder(&slot, nullptr, u"x"), 0u);
  slot.ops.makeFolder = &failingMakeFolder;
  EXPECT_EQ(callMakeFolder(&slot, nullptr, u"x"), kErrorAccessDenied);
}

TEST_F(ProviderTableTest, CapabilitiesFollowTheFilledEntries) {
  FileSystemProvider slot;
  EXPECT_EQ(derivedCapabilities(slot), 0);
  slot.ops.makeFolder = &failingMakeFolder;
  EXPECT_EQ(derivedCapabilities(slot), 0x4);
  slot.ops.sendCommand = [](FileSystemProvider*, ProviderHandle*, const char16_t*) -> ErrorCode { return 0; };
  EXPECT_EQ(derivedCapabilities(slot), 0x24);
  slot.ops.makeFolder = nullptr;
  EXPECT_EQ(derivedCapabilities(slot), 0x20);
  FileSystemProvider& local = providerTable().slots[0];
  const ProviderCapabilities bits = callCapabilities(&local, nullptr);
  // makeFolder, rename, getFile, putFile, copy, deleteFile, setAttributes, setTimes
  EXPECT_EQ(bits, 0x4 | 0x80 | 0x100 | 0x400 | 0x1000 | 0x6000 | 0x8000 | 0x10000 | kLocalExtraCapabilities);
  EXPECT_NE(bits & kCapDirectContents, 0);
}

}  // namespace
}  // namespace crvl
