#include "engine/provider_table.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "engine/engine_test_support.h"
#include "os_traits.h"

namespace crvl {
namespace {

using testing::EngineFixture;
using testing::providerTable;

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
    EXPECT_EQ(table.findSlot(c.path), c.slot) << std::string(c.path.begin(), c.path.end());
  }
}

int g_registrations = 0;
void registerLate(void*, ProviderTable& table) {
  ++g_registrations;
  namedSlot(table.slots[3], u"Late");
}

TEST_F(ProviderTableTest, AMissRegistersPluginsOnceAndLooksAgain) {
  ProviderTable& table = providerTable();
  g_registrations = 0;
  table.setPluginRegistration({&registerLate, nullptr});
  EXPECT_EQ(table.findSlot(u"\\\\\\Late\\x"), 3);
  EXPECT_EQ(g_registrations, 1);
  EXPECT_EQ(table.findSlot(u"\\\\\\Nowhere\\x"), -1);
  EXPECT_EQ(g_registrations, 2);
}

TEST_F(ProviderTableTest, OpeningStripsThePrefixAndCountsHandles) {
  ProviderTable& table = providerTable();
  namedSlot(table.slots[2], u"Demo");
  ScopedProviderHandle h = table.open(u"\\\\\\DEMO\\sub\\dir", nullptr);
  ASSERT_TRUE(h);
  EXPECT_EQ(g_openedWith, u"\\sub\\dir");
  EXPECT_EQ(h.get()->slotIndex, 2);
  EXPECT_EQ(h.get()->table, &table);
  EXPECT_EQ(slotOf(h.get())->name, table.slots[2].name);  // the handle's copy of slot 2
  ScopedProviderHandle second = table.open(u"x", nullptr, kProviderPlugin);
  ASSERT_TRUE(second);
  EXPECT_EQ(table.slots[2].openCount.load(), 2);
  h.reset();
  EXPECT_EQ(table.slots[2].openCount.load(), 1);
  { ScopedProviderHandle moved = std::move(second); }
  EXPECT_EQ(table.slots[2].openCount.load(), 0);
  EXPECT_FALSE(table.open(u"relative", nullptr));
}

TEST_F(ProviderTableTest, LocalOpenAcceptsOnlyRootedPaths) {
  ProviderTable& table = providerTable();
  const std::u16string good = os::kDrivePaths ? u"C:\\x" : u"/tmp";
  ScopedProviderHandle h = table.open(good, nullptr);
  ASSERT_TRUE(h);
  EXPECT_EQ(h.get()->slotIndex, 0);
  EXPECT_EQ(h.get()->path, good);
  h.reset();
  EXPECT_FALSE(table.open(u"C:", nullptr, kProviderLocal));
  EXPECT_FALSE(table.open(u"\\\\\\x\\y", nullptr, kProviderLocal));
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
