// A run whose folders are listed by several threads does exactly what a run on one
// thread does: the same actions, reports and order, the same trees afterwards.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <system_error>

#include "engine/job_run.h"
#include "engine/run_test_support.h"

namespace crvl {
namespace {

using testing::RecordingSink;
using testing::TempFolder;
using testing::writeFile;
namespace fs = std::filesystem;

constexpr uint64_t kT = 132000000000000000ull;  // a time in 2019
constexpr uint64_t kSec = 10'000'000;

// Every kind of pair in every folder of a tree two levels deep, four folders wide.
void makeCases(const fs::path& root, const std::string& at, int depth) {
  const fs::path l = root / "L" / at;
  const fs::path r = root / "R" / at;
  writeFile(l / "same.txt", "same", kT);
  writeFile(r / "same.txt", "same", kT);
  writeFile(l / "new.txt", "new", kT);
  writeFile(r / "orphan.txt", "orphan", kT);
  writeFile(l / "newer.txt", "v2", kT + 100 * kSec);
  writeFile(r / "newer.txt", "v1", kT);
  writeFile(l / "older.txt", "v1", kT);
  writeFile(r / "older.txt", "v2", kT + 100 * kSec);
  writeFile(l / "conflict.txt", "short", kT);
  writeFile(r / "conflict.txt", "much longer", kT);
  writeFile(l / "clash", "file", kT);
  writeFile(r / "clash/inside.txt", "in", kT);
  writeFile(l / "Case.txt", "A", kT + 5 * kSec);
  writeFile(r / "case.TXT", "a", kT);
  writeFile(l / "onlyleft/x/deep.txt", "deep", kT);
  writeFile(r / "onlyright/y/deep.txt", "deep", kT);
  if (depth == 2) return;
  for (int i = 0; i < 4; ++i) makeCases(root, at + "/d" + std::to_string(i), depth + 1);
  std::error_code ec;  // a link to a folder where the file system has them
  fs::create_directory_symlink("d0", l / "link", ec);
}

class ScanThreadsTest : public testing::JobRunFixture {
 protected:
  // The reports of a run with `threads` scan threads over a fresh copy of the cases,
  // paths given relative to the copy, and the trees it left.
  std::pair<std::vector<testing::LoggedAction>, std::map<std::string, std::string>> runWith(
      uint32_t threads, OptionFlags flags, bool execute) {
    const std::string name = "t" + std::to_string(threads) + "-" + std::to_string(flags) + (execute ? "x" : "s");
    makeCases(tmp_ / name, "top", 0);
    JobRun jr;
    jr.job.optionFlags = flags;
    jr.job.includedPairs = {testing::pairOf(tmp_.text(name + "/L/top"), tmp_.text(name + "/R/top"))};
    jr.job.excludedPairs = {testing::pairOf(tmp_.text(name + "/L/top/d1/d2"), tmp_.text(name + "/R/top/d3"))};
    jr.scanThreads = threads;
    RecordingSink sink = run(jr, execute);
    const std::u16string base = tmp_.text(name);
    for (testing::LoggedAction& r : sink.records) {
      for (std::u16string* text : {&r.left, &r.right}) {
        if (text->starts_with(base)) text->erase(0, base.size());
      }
    }
    return {sink.records, testing::snapshot(tmp_ / name)};
  }
  TempFolder tmp_;
};

struct RunCase {
  const char* name;
  OptionFlags flags;
  bool execute;
};

TEST_F(ScanThreadsTest, FourThreadsDoWhatOneDoesInTheSameOrder) {
  const RunCase cases[] = {
      {"mirror", testing::kMirrorFlags, true},
      {"bidirectional", testing::kBidirectionalFlags, true},
      {"simulated mirror", testing::kMirrorFlags, false},
  };
  for (const RunCase& c : cases) {
    const auto one = runWith(1, c.flags, c.execute);
    const auto four = runWith(4, c.flags, c.execute);
    ASSERT_GT(one.first.size(), 100u) << c.name;
    ASSERT_EQ(one.first.size(), four.first.size()) << c.name;
    for (size_t i = 0; i < one.first.size(); ++i) {
      const testing::LoggedAction& a = one.first[i];
      const testing::LoggedAction& b = four.first[i];
      EXPECT_TRUE(a.marker == b.marker && a.left == b.left && a.right == b.right && a.state == b.state &&
                  a.hasLeft == b.hasLeft && a.hasRight == b.hasRight)
          << c.name << ": report " << i << " differs";
    }
    EXPECT_EQ(one.second, four.second) << c.name;
  }
}

}  // namespace
}  // namespace crvl
