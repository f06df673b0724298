// Helpers shared by the engine's tests: temporary folders, files with chosen times,
// a recording log sink and a slot fixture that puts test providers into the table.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/log_sink.h"
#include "engine/provider_table.h"
#include "engine/sync_run.h"
#include "os_traits.h"
#include "platform/environment.h"
#include "platform/local_fs.h"
#include "platform/text.h"

namespace crvl::testing {

namespace fs = std::filesystem;

inline std::u16string u16(const fs::path& p) {
  // POSIX names are bytes that need not be UTF-8: read them as the program does.
  if constexpr (!os::kWindows) return platform::fromSystemBytes(p.string());
  const std::u16string s = p.u16string();
  if constexpr (os::kWindows) {
    std::u16string out = s;
    for (char16_t& c : out) {
      if (c == u'/') c = u'\\';
    }
    return out;
  }
  return s;
}

// A fresh folder under the temporary folder, removed with everything in it at the end.
class TempFolder {
 public:
  TempFolder() {
    static std::atomic<int> counter{0};
    const fs::path base(platform::tempFolder());
    for (;;) {
      path_ = base / ("crvl-engine-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                      std::to_string(counter++));
      std::error_code ec;
      if (fs::create_directories(path_, ec)) break;
    }
  }
  ~TempFolder() {
    std::error_code ec;
    makeWritable(path_);
    fs::remove_all(path_, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  [[nodiscard]] const fs::path& path() const { return path_; }
  [[nodiscard]] fs::path operator/(const std::string& relative) const { return path_ / relative; }
  [[nodiscard]] std::u16string text(const std::string& relative = {}) const {
    return relative.empty() ? u16(path_) : u16(path_ / relative);
  }

 private:
  static void makeWritable(const fs::path& p) {
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(p, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
      (void)platform::setLocalAttributes(u16(it->path()), 0);
    }
  }
  fs::path path_;
};

inline void writeFile(const fs::path& p, const std::string& bytes, uint64_t lastWrite = 0) {
  fs::create_directories(p.parent_path());
  {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << bytes;
  }
  if (lastWrite != 0) {
    ASSERT_EQ(platform::setLocalTimes(u16(p), 0, 0, lastWrite), 0u);
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

// Installs the built-in slots and frees the test slots afterwards.
class EngineFixture : public ::testing::Test {
 protected:
  void SetUp() override { initializeProviderTable(providerTable(), u"File System Plugins"); }
  void TearDown() override {
    setPluginRegistrationHook(nullptr);
    initializeProviderTable(providerTable(), u"File System Plugins");
  }

  // A run whose two sides are local folders, opened on slot `leftSlot` / `rightSlot`.
  void openSides(SyncRun& run, std::u16string_view left, std::u16string_view right, int32_t leftSlot = 0,
                 int32_t rightSlot = 0) {
    ProviderTable& table = providerTable();
    openSide(table, run.left, left, leftSlot);
    openSide(table, run.right, right, rightSlot);
  }
  void closeSides(SyncRun& run) {
    releaseProviderHandle(providerTable(), run.left.handle);
    releaseProviderHandle(providerTable(), run.right.handle);
    run.left.handle = run.right.handle = nullptr;
  }

 private:
  static void openSide(ProviderTable& table, SideState& side, std::u16string_view path, int32_t slotIndex) {
    FileSystemProvider& slot = table.slots[slotIndex];
    const std::u16string text(path);
    side.handle = slot.ops.open(&slot, nullptr, slotIndex, text.c_str());
    ASSERT_NE(side.handle, nullptr);
    ++slot.openCount;
    side.kind = slot.kind;
    side.capabilities = callCapabilities(&slot, side.handle);
    side.path.assign(path);
  }
};

}  // namespace crvl::testing
