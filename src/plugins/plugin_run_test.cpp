// Whole job runs with a side inside a plug-in: both directions, simulated and real,
// hostile listings, a copy between two plug-ins, and modules that fail in the middle.
#include <gtest/gtest.h>

#include <map>

#include "engine/engine_test_support.h"
#include "engine/job_run.h"
#include "plugins/plugin_test_support.h"

// The leak checker of the sanitizer build reads this: a module that crashed never frees
// what its abandoned frames held.
extern "C" const char* __lsan_default_suppressions() { return "leak:crashes.wfx\nleak:crashing.wfx64\n"; }

namespace crvl {
namespace {

using testing::pluginPath;
using testing::RecordingSink;
namespace fs = std::filesystem;

constexpr uint64_t kT = 132000000000000000ull;  // a time in 2019
constexpr uint64_t kSec = 10'000'000;
constexpr OptionFlags kMirror = 0x2AB81;
constexpr OptionFlags kBidirectional = 0x3FC81;

using Tree = std::map<std::string, std::string>;

Tree snapshot(const fs::path& root) {
  Tree tree;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    tree[fs::relative(e.path(), root).generic_string()] = e.is_directory() ? "/" : testing::readFile(e.path());
  }
  return tree;
}

class PluginRunTest : public testing::PluginFixture {
 protected:
  RecordingSink run(const std::vector<std::pair<std::u16string, std::u16string>>& pairs, OptionFlags flags,
                    bool execute = true) {
    RecordingSink sink;
    JobRun jr;
    jr.providers = &table;
    jr.job.optionFlags = flags;
    for (const auto& [left, right] : pairs) jr.job.includedPairs.push_back(left + u";" + right);
    jr.sync.execute = execute ? 1 : 0;
    jr.sync.logSink = &sink.sink;
    runJob(jr);
    return sink;
  }
  static size_t failures(const RecordingSink& sink) {
    size_t n = 0;
    for (const auto& r : sink.records) n += r.state.empty() ? 0 : 1;
    return n;
  }
};

TEST_F(PluginRunTest, APluginSideSynchronisesInBothDirections) {
  modules.configure("crvltest_both");
  listPlugins({entry(u"Remote", "crvltest_both.wfx64")});
  const fs::path remote = modules.root("crvltest_both") / "dir";
  testing::writeFile(tmp / "L/a.txt", "left a", kT + 10 * kSec);
  testing::writeFile(tmp / "L/sub/deep.txt", "deep", kT);
  testing::writeFile(remote / "a.txt", "old a", kT);
  testing::writeFile(remote / "r.txt", "remote only", kT);
  testing::writeFile(remote / "rsub/x.txt", "x", kT);
  const std::u16string right = pluginPath(u"Remote", "/dir");

  // A simulation reports and changes nothing.
  const Tree before = snapshot(remote);
  RecordingSink sim = run({{tmp.text("L"), right}}, kBidirectional, /*execute=*/false);
  EXPECT_EQ(snapshot(remote), before);
  EXPECT_FALSE(fs::exists(tmp / "L/r.txt"));
  EXPECT_EQ(sim.count(kMarkerCopiedOverRight), 1u);
  EXPECT_EQ(sim.count(kMarkerCopiedNewLeft), 2u);
  EXPECT_EQ(failures(sim), 0u);

  RecordingSink real = run({{tmp.text("L"), right}}, kBidirectional);
  EXPECT_EQ(failures(real), 0u);
  const Tree both = {{"a.txt", "left a"}, {"r.txt", "remote only"}, {"rsub", "/"}, {"rsub/x.txt", "x"},
                     {"sub", "/"},        {"sub/deep.txt", "deep"}};
  EXPECT_EQ(snapshot(tmp / "L"), both);
  EXPECT_EQ(snapshot(remote), both);
  // The log names plug-in files by their plug-in paths.
  bool named = false;
  for (const auto& r : real.records) named = named || r.right == pluginPath(u"Remote", "/dir/a.txt");
  EXPECT_TRUE(named);
  // Times went both ways: the next run has nothing to do.
  RecordingSink again = run({{tmp.text("L"), right}}, kBidirectional);
  EXPECT_TRUE(again.records.empty()) << again.records.size();
  // Deletions reach the plug-in too (Mirror to the right).
  fs::remove(tmp / "L/r.txt");
  fs::remove_all(tmp / "L/rsub");
  RecordingSink mirror = run({{tmp.text("L"), right}}, kMirror);
  EXPECT_EQ(failures(mirror), 0u);
  EXPECT_FALSE(fs::exists(remote / "r.txt"));
  EXPECT_FALSE(fs::exists(remote / "rsub"));
}

TEST_F(PluginRunTest, AMissingTargetFolderInsideAPluginIsCreatedWhenItsParentIsThere) {
  modules.configure("crvltest_both");
  listPlugins({entry(u"Remote", "crvltest_both.wfx64")});
  const fs::path remote = modules.root("crvltest_both");
  testing::writeFile(remote / "keep.txt", "k", kT);
  testing::writeFile(tmp / "L/a.txt", "a", kT);
  testing::writeFile(tmp / "L/sub/b.txt", "b", kT);
  struct Case {
    const char* name;
    const char* target;
    bool created;
  } cases[] = {{"below the root", "/new", true}, {"below a missing folder", "/gone/new", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingSink sink = run({{tmp.text("L"), pluginPath(u"Remote", c.target)}}, kMirror);
    EXPECT_EQ(failures(sink), c.created ? 0u : 1u);
    EXPECT_EQ(fs::exists(remote / (c.target + 1)), c.created);
    if (c.created) {
      EXPECT_EQ(snapshot(remote / "new"), (Tree{{"a.txt", "a"}, {"sub", "/"}, {"sub/b.txt", "b"}}));
    } else {
      EXPECT_FALSE(fs::exists(remote / "gone"));
    }
  }
  EXPECT_EQ(testing::readFile(remote / "keep.txt"), "k");
}

TEST_F(PluginRunTest, HostileNamesNeverLeaveTheFolder) {
  modules.configure("crvltest_both", "hostile=1");
  listPlugins({entry(u"Evil", "crvltest_both.wfx64")});
  testing::writeFile(modules.root("crvltest_both") / "box/good.txt", "good", kT);
  tmp.makeFolder("target/inner");
  RecordingSink sink = run({{pluginPath(u"Evil", "/box"), tmp.text("target/inner")}}, kMirror);
  EXPECT_EQ(failures(sink), 0u);
  EXPECT_EQ(snapshot(tmp / "target"), (Tree{{"inner", "/"}, {"inner/good.txt", "good"}}));
  EXPECT_FALSE(fs::exists(tmp / "escape.txt"));
  EXPECT_FALSE(fs::exists(fs::path("/crvl-evil.txt")));
  EXPECT_EQ(modules.calls("crvltest_both", "FsGetFileW"), 1u);  // good.txt only
}

TEST_F(PluginRunTest, ACopyBetweenTwoPluginsGoesThroughALocalFile) {
  modules.configure("crvltest_both");
  modules.configure("crvltest_wide");
  listPlugins({entry(u"From", "crvltest_both.wfx64"), entry(u"To", "crvltest_wide.uwfx")});
  testing::writeFile(modules.root("crvltest_both") / "a.txt", "contents", kT);
  testing::ScopedVariable temp(os::kWindows ? u"TEMP" : u"TMPDIR", tmp.text("temp"));
  tmp.makeFolder("temp");
  RecordingSink sink = run({{pluginPath(u"From"), pluginPath(u"To")}}, kMirror);
  EXPECT_EQ(failures(sink), 0u);
  ASSERT_EQ(sink.count(kMarkerCopiedNewRight), 1u);
  EXPECT_EQ(testing::readFile(modules.root("crvltest_wide") / "a.txt"), "contents");
  EXPECT_TRUE(fs::is_empty(tmp / "temp"));
}

TEST_F(PluginRunTest, FailingThrowingAndCrashingModulesLeaveTheRunToGoOn) {
  fs::copy_file(testing::testModuleFile("crvltest_ansi.wfx"), tmp / "crashes.wfx");
  modules.configure("crvltest_both", "throw=FsPutFile");
  modules.configure("crvltest_ansi", "crash=FsGetFile");
  listPlugins({entry(u"Throws", "crvltest_both.wfx64"), PluginEntry{true, u"Crashes", tmp.text("crashes.wfx"), u""}});
  testing::writeFile(tmp / "L/a.txt", "a", kT);
  testing::writeFile(tmp / "L2/b.txt", "b", kT);
  testing::writeFile(modules.root("crvltest_ansi") / "c.txt", "c", kT);
  const std::vector<std::pair<std::u16string, std::u16string>> pairs = {
      {tmp.text("L"), pluginPath(u"Throws")},
      {pluginPath(u"Crashes"), tmp.text("R")},
      {tmp.text("L2"), tmp.text("R2")},
  };
  tmp.makeFolder("R");
  tmp.makeFolder("R2");
  RecordingSink sink = run(pairs, kMirror);
  // Each failing copy answers 50; the local pair after them is synchronised.
  EXPECT_EQ(failures(sink), 2u);
  for (const auto& r : sink.records) {
    if (!r.state.empty()) {
      EXPECT_EQ(r.state, platform::systemMessage(kErrorNotSupported));
    }
  }
  EXPECT_EQ(testing::readFile(tmp / "R2/b.txt"), "b");
  EXPECT_FALSE(fs::exists(tmp / "R/c.txt"));
  // Run again: the throwing module is called again, the crashed one never.
  const size_t crashedCalls = modules.trace("crvltest_ansi").size();
  const size_t thrownCalls = modules.trace("crvltest_both").size();
  sink = run(pairs, kMirror);
  EXPECT_EQ(modules.trace("crvltest_ansi").size(), crashedCalls);
  EXPECT_GT(modules.trace("crvltest_both").size(), thrownCalls);
  // The crashed module's side finds no provider: reported once, as the pair's failure.
  size_t crashedReports = 0;
  for (const auto& r : sink.records) crashedReports += r.left == pluginPath(u"Crashes") ? 1 : 0;
  EXPECT_EQ(crashedReports, 1u);
  EXPECT_EQ(failures(sink), 2u);
}

}  // namespace
}  // namespace crvl
