// The temporary folder of a test: a fresh folder under the system's temporary folder,
// removed with everything in it at the end (read-only entries made writable first).
// Shared by the tests of every folder.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "os_traits.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/text.h"

namespace crvl::testing {

namespace fs = std::filesystem;

// A path as the program's text: native separators; POSIX names read as the program
// reads them (bytes that are not UTF-8 as escapes).
inline std::u16string u16(const fs::path& p) {
  if constexpr (!os::kWindows) return platform::fromSystemBytes(p.string());
  std::u16string out = p.u16string();
  for (char16_t& c : out) {
    if (c == u'/') c = u'\\';
  }
  return out;
}

// Sets an environment variable for the life of the object, then restores it.
class ScopedVariable {
 public:
  ScopedVariable(std::u16string name, std::optional<std::u16string> value)
      : name_(std::move(name)), saved_(platform::environmentVariable(name_)) {
    platform::setEnvironmentVariable(name_, value);
  }
  ~ScopedVariable() { platform::setEnvironmentVariable(name_, saved_); }
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  std::u16string name_;
  std::optional<std::u16string> saved_;
};

class TestFolder {
 public:
  TestFolder() {
    static std::atomic<int> counter{0};
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const fs::path base(platform::tempFolder());
    const std::string name = info != nullptr ? info->name() : "test";
    for (;;) {
      root_ = base / ("crvl-" + name.substr(0, 40) + "-" +
                      std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                      std::to_string(counter++));
      std::error_code ec;
      if (fs::create_directories(root_, ec)) break;
    }
  }
  ~TestFolder() {
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root_, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
      (void)platform::setFileAttributes(u16(it->path()), 0);
    }
    fs::remove_all(root_, ec);
  }
  TestFolder(const TestFolder&) = delete;
  TestFolder& operator=(const TestFolder&) = delete;

  [[nodiscard]] const fs::path& root() const { return root_; }
  [[nodiscard]] fs::path operator/(const std::string& relative) const { return root_ / relative; }
  // The folder, or an entry in it, as the program's text.
  [[nodiscard]] std::u16string path(const std::string& relative = {}) const {
    return relative.empty() ? u16(root_) : u16(root_ / relative);
  }
  [[nodiscard]] std::u16string text(const std::string& relative = {}) const { return path(relative); }

  void write(const std::string& relative, const std::string& bytes) const {
    fs::create_directories((root_ / relative).parent_path());
    std::ofstream out(root_ / relative, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  [[nodiscard]] std::string read(const std::string& relative) const {
    std::string bytes;
    EXPECT_EQ(platform::readWholeFile(path(relative), bytes), kSuccess) << relative;
    return bytes;
  }
  [[nodiscard]] bool exists(const std::string& relative) const { return fs::exists(root_ / relative); }
  void makeFolder(const std::string& relative) const { fs::create_directories(root_ / relative); }
  void remove(const std::string& relative) const {
    std::error_code ec;
    fs::remove_all(root_ / relative, ec);
  }

 private:
  fs::path root_;
};

using TempFolder = TestFolder;

}  // namespace crvl::testing
