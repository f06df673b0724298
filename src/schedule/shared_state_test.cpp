// What several threads share, used by several threads at once: handles opened, listed
// and released on one provider table while plug-in slots are registered and cleared,
// and one settings store read, written and flushed. Meant for the ThreadSanitizer
// build as much as for the counts it checks.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/engine_test_support.h"
#include "engine/provider_table.h"
#include "jobs/profile_store.h"
#include "os_traits.h"

namespace crvl {
namespace {

using testing::EngineFixture;
using testing::TestFolder;
using testing::providerTable;

constexpr int kThreads = 6;
constexpr int kRounds = 200;

int32_t countEntry(void* data, const FindRecord&) {
  ++*static_cast<int*>(data);
  return 0;
}

ProviderHandle* pluginOpen(FileSystemProvider*, void* owner, int32_t slotIndex, const char16_t* path) {
  auto* handle = new ProviderHandle;
  handle->slotIndex = slotIndex;
  handle->owner = owner;
  handle->path = path;
  return handle;
}
void pluginRelease(FileSystemProvider*, ProviderHandle* handle) { delete handle; }

// Fills slot 2 as the plug-in "Late" (under the table's lock, as registration runs).
void registerLate(void* registrations, ProviderTable& table) {
  static_cast<std::atomic<int>*>(registrations)->fetch_add(1);
  FileSystemProvider& slot = table.slots[2];
  if (slot.kind == kProviderPlugin) return;
  slot.kind = kProviderPlugin;
  slot.name = u"Late";
  slot.prefixLength = 7;
  slot.ops.open = &pluginOpen;
  slot.ops.release = &pluginRelease;
}

class SharedStateTest : public EngineFixture {};

TEST_F(SharedStateTest, ThreadsOpenListAndReleaseHandlesOnOneTable) {
  TestFolder folder;
  for (int i = 0; i < 5; ++i) folder.write("f" + std::to_string(i), "x");
  ProviderTable& table = providerTable();
  std::atomic<int> registrations{0};
  table.setPluginRegistration({&registerLate, &registrations});
  std::atomic<int> listed{0};
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < kRounds; ++round) {
        if ((round + t) % 3 == 0) {
          // Plug-in paths: the first misses register the slot; every later lookup finds it.
          ScopedProviderHandle plugin = table.open(os::kWindows ? u"\\\\\\Late\\x" : u"///Late/x", nullptr);
          if (!plugin) failures.fetch_add(1);
          continue;
        }
        ScopedProviderHandle handle = table.open(folder.path(), nullptr);
        if (!handle) {
          failures.fetch_add(1);
          continue;
        }
        int entries = 0;
        if (callEnumerate(slotOf(handle.get()), handle.get(), folder.path(), &countEntry, &entries) != 0 ||
            entries != 5) {
          failures.fetch_add(1);
        }
        listed.fetch_add(1);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_GT(listed.load(), 0);
  EXPECT_GE(registrations.load(), 1);
  for (const FileSystemProvider& slot : table.slots) EXPECT_EQ(slot.openCount.load(), 0);
}

TEST(SharedSettingsTest, ThreadsReadWriteAndFlushOneStore) {
  TestFolder folder;
  folder.write("s.ini", "[CRVL]\r\nOpt=0\r\n");
  ProfileStore store;
  store.openStore(folder.path("s.ini"), kStoreOwnFile);
  std::vector<std::thread> threads;
  std::atomic<int> lost{0};
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      const std::string key = "k" + std::to_string(t);
      for (int round = 1; round <= kRounds; ++round) {
        // The store's lock may make an operation give up after 50 ms; the next one
        // tries again, so a value is written until it reads back. On a loaded machine
        // (Wine, other builds) one thread may miss the lock many times in a row.
        for (int attempt = 0; attempt < 200 && store.getInt("T", key, 0) != static_cast<uint32_t>(round); ++attempt) {
          store.putInt("T", key, static_cast<uint32_t>(round));
        }
        if (store.getInt("T", key, 0) != static_cast<uint32_t>(round)) lost.fetch_add(1);
        if (round % 50 == 0) (void)store.flushStore();
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(lost.load(), 0);
  ASSERT_EQ(store.flushStore(), kSuccess);
  ProfileStore reread;
  reread.openStore(folder.path("s.ini"), kStoreOwnFile);
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_EQ(reread.getInt("T", "k" + std::to_string(t), 0), static_cast<uint32_t>(kRounds)) << t;
  }
}

}  // namespace
}  // namespace crvl
