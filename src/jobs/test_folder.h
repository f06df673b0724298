// A fresh temporary folder per test of the jobs folder, removed afterwards.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/files.h"

namespace crvl::testing {

class TestFolder {
 public:
  TestFolder() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    root_ = std::filesystem::temp_directory_path() /
            ("crvl_jobs_" + std::string(info ? info->name() : "x") + "_" +
             std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    std::filesystem::create_directories(root_);
  }
  ~TestFolder() {
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }
  TestFolder(const TestFolder&) = delete;
  TestFolder& operator=(const TestFolder&) = delete;

  [[nodiscard]] std::u16string path(const std::string& relative = {}) const {
    return relative.empty() ? root_.u16string() : (root_ / relative).make_preferred().u16string();
  }

  void write(const std::string& relative, const std::string& bytes) const {
    std::filesystem::create_directories((root_ / relative).parent_path());
    std::ofstream out(root_ / relative, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }

  [[nodiscard]] std::string read(const std::string& relative) const {
    std::string bytes;
    EXPECT_EQ(platform::readWholeFile(path(relative), bytes), kSuccess) << relative;
    return bytes;
  }

  [[nodiscard]] bool exists(const std::string& relative) const {
    return std::filesystem::exists(root_ / relative);
  }

  void makeFolder(const std::string& relative) const {
    std::filesystem::create_directories(root_ / relative);
  }

  void remove(const std::string& relative) const {
    std::error_code ec;
    std::filesystem::remove_all(root_ / relative, ec);
  }

 private:
  std::filesystem::path root_;
};

}  // namespace crvl::testing
