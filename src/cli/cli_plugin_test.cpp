// The console program with a side inside a plug-in: a job synchronises through the
// test module, the log names the plug-in paths, and a password given on standard input
// is used without ever being written anywhere.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "cli/cli_test_support.h"
#include "engine/engine_test_support.h"
#include "os_traits.h"
#include "platform/environment.h"
#include "platform/text.h"

namespace crvl {
namespace {

using testing::readFile;
using testing::TempFolder;
using testing::writeFile;
namespace fs = std::filesystem;

constexpr uint64_t kT = 132000000000000000ull;

std::string utf8(const std::u16string& text) { return platform::toUtf8(text); }


// Everything written below `folder`, as one text.
std::string allFilesIn(const fs::path& folder) {
  std::string text;
  if (!fs::exists(folder)) return text;
  for (const auto& e : fs::recursive_directory_iterator(folder)) {
    if (e.is_regular_file()) text += readFile(e.path());
  }
  return text;
}

class CliPluginTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::u16string modules = platform::programFolder() + (os::kWindows ? u"\\testplugins\\" : u"/testplugins/");
    module = modules + u"crvltest_both.wfx64";
    tmp.makeFolder("modules");
    tmp.makeFolder("remote/dir");
    configure("");
  }
  void configure(const std::string& switches) {
    tmp.write("modules/crvltest_both.ini", "[testfs]\nroot=" + utf8(tmp.text("remote")) + "\n" + switches + "\n");
  }
  // A job of one pair, the left folder local and the right one inside the plug-in; the
  // settings list the plug-in and keep text logs in the test folder.
  void writeJob(const std::string& options) {
    const std::u16string right = os::kWindows ? u"\\\\\\Remote\\dir" : u"///Remote/dir";
    testing::writeJob(tmp, "plug", options, tmp.text("L"), right);
    tmp.write("settings.ini", "[CRVL]\r\nLog=" + utf8(tmp.text("logs")) + "\r\nExpMode=1\r\n\r\n[pgnFS]\r\n1=Remote;+" +
                                  utf8(module) + ";\r\n");
  }
  testing::CliResult run(const std::string& extra = {}, const std::u16string& input = {}) {
    return testing::runCli(tmp, testing::settingsArg(tmp) + extra + " run " + testing::quoted(tmp.text("plug.job")),
                           input);
  }

  TempFolder tmp;
  std::u16string module;
  // The test module reads its parameter file from the test folder.
  testing::ScopedVariable env{u"CRVL_TESTFS_DIR", tmp.text("modules")};
};

TEST_F(CliPluginTest, AJobWithAPluginSideRunsEndToEndAndItsLogNamesThePluginPaths) {
  writeFile(tmp / "L/a.txt", "left", kT);
  writeFile(tmp / "remote/dir/r.txt", "remote", kT);
  writeJob("<+;+>;<=;=>;d;d+");
  testing::CliResult r = run(" -v");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(readFile(tmp / "remote/dir/a.txt"), "left");
  EXPECT_EQ(readFile(tmp / "L/r.txt"), "remote");
  const std::string pluginFile = os::kWindows ? "\\\\\\Remote\\dir\\a.txt" : "///Remote/dir/a.txt";
  EXPECT_NE(r.output.find(pluginFile), std::string::npos) << r.output;
  EXPECT_NE(allFilesIn(tmp / "logs").find(pluginFile), std::string::npos);
  // Settled: nothing left to do.
  r = run();
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.output.find("files copied:    0"), std::string::npos) << r.output;
}

TEST_F(CliPluginTest, APasswordFromStandardInputIsUsedAndNeverWritten) {
  const std::string secret = "hunter2-is-the-password";
  configure("password=" + secret);
  writeFile(tmp / "L/a.txt", "left", kT);
  writeJob("+>;d;d+");
  // Without a way to ask, the plug-in's listing fails and the program says how to give one.
  testing::CliResult r = run();
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_NE(r.output.find("--password-stdin"), std::string::npos) << r.output;
  EXPECT_FALSE(fs::exists(tmp / "remote/dir/a.txt"));
  tmp.write("input.txt", secret + "\n");
  r = run(" --password-stdin", tmp.text("input.txt"));
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(readFile(tmp / "remote/dir/a.txt"), "left");
  EXPECT_EQ(r.output.find(secret), std::string::npos);
  EXPECT_EQ(allFilesIn(tmp / "logs").find(secret), std::string::npos);
  EXPECT_EQ(readFile(tmp / "settings.ini").find(secret), std::string::npos);
  // With a wrong password the plug-in side cannot be listed: a Mirror that would delete
  // its file leaves it alone.
  fs::remove(tmp / "L/a.txt");
  writeJob("+>;=>;->;_>;?;!=;d;d+");
  tmp.write("input.txt", "wrong\n");
  r = run(" --password-stdin", tmp.text("input.txt"));
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_TRUE(fs::exists(tmp / "remote/dir/a.txt"));
}

}  // namespace
}  // namespace crvl
