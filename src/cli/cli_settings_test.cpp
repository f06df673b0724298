// The console program and its files: the settings file as several programs start at
// once, a settings write that fails, a start that changes nothing, and the log line of
// the run summary. Each case runs the real program.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>
#include <string>

#include "cli/cli_test_support.h"
#include "engine/engine_test_support.h"
#include "jobs/job_register.h"
#include "jobs/profile_store.h"
#include "os_traits.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/text.h"

namespace crvl {
namespace {

using testing::TempFolder;
using testing::readFile;
using testing::writeFile;
namespace fs = std::filesystem;

using testing::narrow;
std::string quoted(const fs::path& path) { return "\"" + narrow(testing::u16(path)) + "\""; }

std::string program() { return "\"" + testing::cliProgram() + "\""; }

using Result = testing::CliResult;
using testing::runShell;

// A settings file with a register of `jobs` entries and no "Language" key, so that every
// start of the program adds that key and writes the file.
std::string settingsWithRegister(int jobs) {
  std::string text = "[CRVL]\r\nOpt=0\r\n\r\n[Job]\r\n";
  for (int i = 1; i <= jobs; ++i) text += std::to_string(i) + "=Job " + std::to_string(i) + ";j.job\r\n";
  return text;
}

size_t registerSize(const fs::path& settings) {
  ProfileStore store;
  store.openStore(settings.u16string(), kStoreOwnFile);
  return readRegister(store).size();
}

std::vector<std::string> namesIn(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Six programs started at once on one settings file, each writing it: none may ever read
// a part of the file, and the register must survive every round.
TEST(CliSettings, ProgramsStartedTogetherKeepTheWholeRegister) {
  if (os::kWindows) GTEST_SKIP() << "started together through the POSIX shell";
  constexpr int kJobs = 400;
  constexpr int kPrograms = 6;
  for (int round = 0; round < 10; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    TempFolder tmp;
    const fs::path settings = tmp / "settings.ini";
    writeFile(settings, settingsWithRegister(kJobs));
    std::string command = "for i in 1 2 3 4 5 6; do " + program() + " --settings " + quoted(settings) +
                          " jobs > " + quoted(tmp.root()) + "/jobs$i.txt 2>&1 & done; wait";
    (void)runShell(tmp, command);
    EXPECT_EQ(registerSize(settings), static_cast<size_t>(kJobs));
    EXPECT_NE(readFile(settings).find("Language=US"), std::string::npos);
    for (int i = 1; i <= kPrograms; ++i) {
      const std::string listed = readFile(tmp / ("jobs" + std::to_string(i) + ".txt"));
      EXPECT_NE(listed.find("Job " + std::to_string(kJobs) + "\t"), std::string::npos) << "program " << i;
    }
  }
}

// A settings write that fails leaves the old file byte for byte and no temporary file:
// once because the folder cannot be written (an unprivileged user; root would be let
// through), once because the write breaks off in the middle (a file size limit).
TEST(CliSettings, AFailedSettingsWriteLeavesTheOldFile) {
  if (os::kWindows) GTEST_SKIP() << "the failures are made with POSIX tools";
  struct Case {
    const char* what;
    bool needsRoot;
    std::string prefix;   // before the program
    bool folderReadOnly;  // the settings folder belongs to root and is closed to others
  } cases[] = {
      {"folder closed to the user", true, "setpriv --reuid=65534 --regid=65534 --clear-groups ", true},
      {"write broken off", false, "trap '' XFSZ; ulimit -f 8; exec ", false},
  };
  const std::string original = settingsWithRegister(2000);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.needsRoot && std::system("[ \"$(id -u)\" = 0 ] && command -v setpriv > /dev/null") != 0) {
      std::printf("skipped: only root can run the program as another user\n");
      continue;
    }
    TempFolder tmp;
    const fs::path folder = tmp / "conf";
    const fs::path settings = folder / "settings.ini";
    writeFile(settings, original);
    fs::permissions(settings, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                  fs::perms::group_write | fs::perms::others_read | fs::perms::others_write);
    fs::permissions(tmp.root(), fs::perms::others_read | fs::perms::others_exec, fs::perm_options::add);
    fs::permissions(folder, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                fs::perms::others_read | fs::perms::others_exec);
    const std::string command =
        "(" + c.prefix + program() + " --settings " + quoted(settings) + " jobs > /dev/null 2>&1)";
    (void)runShell(tmp, command);
    const std::string now = readFile(settings);
    EXPECT_TRUE(now == original) << now.size() << " bytes instead of " << original.size();
    std::vector<std::string> names = namesIn(folder);
    std::erase(names, "settings.ini.lock");  // the lock between processes stays for the next writer
    EXPECT_EQ(names, std::vector<std::string>{"settings.ini"});
  }
}

// A start whose settings are complete writes nothing: the file keeps its identity and
// time through several starts (the first may add what this system adds, such as the
// work-area entry on Windows).
TEST(CliSettings, StartsThatChangeNothingWriteNothing) {
  TempFolder tmp;
  const fs::path settings = tmp / "settings.ini";
  writeFile(settings, "[CRVL]\r\nLanguage=US\r\nLog=" + narrow(tmp.text("logs")) + "\r\n\r\n[Job]\r\n1=A;a.job\r\n");
  const std::string args = " --settings " + quoted(settings);
  ASSERT_EQ(runShell(tmp, program() + args + " jobs").status, 0);
  fs::last_write_time(settings, fs::file_time_type::clock::now() - std::chrono::hours(48));
  uint64_t volume = 0, id = 0;
  ASSERT_EQ(platform::fileIdentity(settings.u16string(), &volume, &id), kSuccess);
  const uint64_t stamp = platform::fileLastWriteTime(settings.u16string());
  const std::string bytes = readFile(settings);
  for (const char* command : {" jobs", " logs", " jobs"}) {
    EXPECT_EQ(runShell(tmp, program() + args + command).status, 0) << command;
  }
  uint64_t volumeAfter = 0, idAfter = 0;
  ASSERT_EQ(platform::fileIdentity(settings.u16string(), &volumeAfter, &idAfter), kSuccess);
  EXPECT_EQ(idAfter, id);
  EXPECT_EQ(platform::fileLastWriteTime(settings.u16string()), stamp);
  EXPECT_EQ(readFile(settings), bytes);
}

// The summary names the log only when a log file was made.
TEST(CliRunLog, SummaryNamesOnlyALogThatExists) {
  struct Case {
    const char* what;
    std::string logFolder;  // relative to the test folder
    bool logged;
  } cases[] = {
      {"log folder made on the way", "logs/new", true},
      {"log folder below a regular file", "blocker/logs", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder tmp;
    writeFile(tmp / "blocker", "a file, not a folder");
    writeFile(tmp / "L/a.txt", "a");
    fs::create_directories(tmp / "R");
    writeFile(tmp / "copy.job", "[CRVL]\r\nOption=0;+>;d;d+\r\nFilter=\r\n\r\n[Folder]\r\n1=+" + narrow(tmp.text("L")) +
                                    ";" + narrow(tmp.text("R")) + "\r\n");
    writeFile(tmp / "settings.ini",
              "[CRVL]\r\nLanguage=US\r\nExpMode=1\r\nLog=" + narrow((tmp / c.logFolder).make_preferred().u16string()) +
                  "\r\n");
    const Result r = runShell(tmp, program() + " --settings " + quoted(tmp / "settings.ini") + " run " +
                                       quoted(tmp / "copy.job"));
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(readFile(tmp / "R/a.txt"), "a");
    const size_t line = r.output.find("  log:");
    EXPECT_EQ(line != std::string::npos, c.logged) << r.output;
    if (line == std::string::npos) continue;
    std::string path = r.output.substr(line + 6, r.output.find('\n', line) - line - 6);
    while (!path.empty() && (path.front() == ' ')) path.erase(0, 1);
    while (!path.empty() && (path.back() == '\r' || path.back() == ' ')) path.pop_back();
    EXPECT_TRUE(platform::pathExists(platform::fromUtf8(path))) << path;
  }
}

}  // namespace
}  // namespace crvl
