// Helpers shared by the engine's tests: temporary folders, files with chosen times,
// a recording log sink and a slot fixture that puts test providers into the table.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <fstream>
#include <string>
#include <vector>

#include "engine/log_sink.h"
#include "engine/provider_table.h"
#include "engine/sync_run.h"
#include "os_traits.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/test_folder.h"
#include "platform/text.h"

namespace crvl::testing {

namespace fs = std::filesystem;

inline void writeFile(const fs::path& p, const std::string& bytes, uint64_t lastWrite = 0) {
  fs::create_directories(p.parent_path());
  {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << bytes;
  }
  if (lastWrite != 0) {
    ASSERT_EQ(platform::setFileTimes(u16(p), 0, 0, lastWrite), 0u);
  }
}

inline std::string readFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

struct LoggedAction {
  int32_t marker;
  std::u16string left;
  std::u16string right;
  std::u16string state;
  bool hasLeft;
  bool hasRight;
};

// Keeps every report; empties the state as the job log does.
struct RecordingSink {
  std::vector<LoggedAction> records;
  LogSink sink{this, &RecordingSink::write};

  static void write(void* context, int32_t marker, LogText left, LogText right,
                    std::u16string& state) noexcept {
    auto* self = static_cast<RecordingSink*>(context);
    self->records.push_back({marker, left ? std::u16string(*left) : std::u16string(),
                             right ? std::u16string(*right) : std::u16string(), state, left.has_value(),
                             right.has_value()});
    state.clear();
  }
  [[nodiscard]] size_t count(int32_t marker) const {
    size_t n = 0;
    for (const auto& r : records) n += r.marker == marker ? 1 : 0;
    return n;
  }
};

// The provider table of the running engine test (see EngineFixture).
inline ProviderTable*& currentTestTable() noexcept {
  static ProviderTable* table = nullptr;
  return table;
}
inline ProviderTable& providerTable() noexcept { return *currentTestTable(); }

// Gives each test a provider table of its own with the built-in slots, reachable as
// testing::providerTable() (also from free functions of the test, such as test slots).
class EngineFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    currentTestTable() = table_.get();
    table_->initialize(u"File System Plugins");
  }
  void TearDown() override { currentTestTable() = nullptr; }

  // A run whose two sides are local folders, opened on slot `leftSlot` / `rightSlot`.
  void openSides(SyncRun& run, std::u16string_view left, std::u16string_view right, int32_t leftSlot = 0,
                 int32_t rightSlot = 0) {
    openSide(*table_, run.left, left, leftSlot);
    openSide(*table_, run.right, right, rightSlot);
  }
  void closeSides(SyncRun& run) {
    ScopedProviderHandle(run.left.handle).reset();
    ScopedProviderHandle(run.right.handle).reset();
    run.left.handle = run.right.handle = nullptr;
  }

 private:
  static void openSide(ProviderTable& table, SideState& side, std::u16string_view path, int32_t slotIndex) {
    FileSystemProvider& slot = table.slots[slotIndex];
    const std::u16string text(path);
    side.handle = slot.ops.open(&slot, nullptr, slotIndex, text.c_str());
    ASSERT_NE(side.handle, nullptr);
    side.handle->table = &table;
    slot.openCount.fetch_add(1);
    side.handle->provider = slot;
    side.kind = slot.kind;
    side.capabilities = callCapabilities(&slot, side.handle);
    side.path.assign(path);
  }
  std::unique_ptr<ProviderTable> table_ = std::make_unique<ProviderTable>();
};

}  // namespace crvl::testing
