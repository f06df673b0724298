// The real console program on real POSIX folders in the situations that must never lose
// data: folders that cannot be searched or opened (run as an unprivileged user, since
// root ignores permission bits), read-only folders, FIFOs and devices, names that are not
// UTF-8, and a closed output pipe.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "cli/cli_test_support.h"
#include "engine/run_test_support.h"

namespace crvl {
namespace {

using testing::CliResult;
using testing::TempFolder;
using testing::quoted;
using testing::readFile;
using testing::runCli;
using testing::runShell;
using testing::settingsArg;
using testing::snapshot;
using testing::writeFile;
using testing::writeJob;
namespace fs = std::filesystem;
using Tree = std::map<std::string, std::string>;

constexpr uint64_t kT = 132000000000000000ull;  // a time in 2019
constexpr const char* kMirror = "+>;=>;->;_>;?;!=;d;d+";

bool runningAsRoot() { return std::system("test \"$(id -u)\" = 0") == 0; }

// The command prefix that runs the program as the unprivileged user "nobody" when the
// tests run as root (permission bits mean nothing to root); empty otherwise. The
// temporary folder is handed to that user first.
std::string asUnprivilegedUser(const TempFolder& tmp) {
  if (!runningAsRoot()) return "";
  EXPECT_EQ(std::system(("chown -R 65534:65534 " + quoted(tmp.text())).c_str()), 0);
  return "setpriv --reuid=65534 --regid=65534 --clear-groups ";
}

void setMode(const fs::path& path, fs::perms perms) { fs::permissions(path, perms, fs::perm_options::replace); }

class CliDataSafety : public ::testing::Test {
 protected:
  void SetUp() override {
    if constexpr (os::kWindows) GTEST_SKIP() << "POSIX folders only";
  }
};

TEST_F(CliDataSafety, AFolderThatCannotBeSearchedOrOpenedKeepsItsBackup) {
  struct Case {
    const char* name;
    fs::perms mode;
  };
  const Case cases[] = {
      {"readable but not searchable (644)", fs::perms(0644)},
      {"not even readable (000)", fs::perms(0)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder tmp;
    writeFile(tmp / "L/docs/a.txt", "new a", kT + 100'000'000);
    writeFile(tmp / "L/top.txt", "t", kT);
    writeFile(tmp / "R/docs/a.txt", "old a", kT);
    writeFile(tmp / "R/docs/only-in-backup.txt", "keep me", kT);
    writeJob(tmp, "j", kMirror, tmp.text("L"), tmp.text("R"));
    const Tree backup = snapshot(tmp / "R/docs");
    const std::string user = asUnprivilegedUser(tmp);
    setMode(tmp / "L/docs", c.mode);
    CliResult r = runShell(tmp, user + "\"" + testing::cliProgram() + "\" " + settingsArg(tmp) + " run " +
                                    quoted(tmp.text("j.job")));
    setMode(tmp / "L/docs", fs::perms(0755));
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("Access is denied."), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("errors:          1"), std::string::npos) << r.output;
    EXPECT_EQ(snapshot(tmp / "R/docs"), backup);
    EXPECT_EQ(readFile(tmp / "R/top.txt"), "t");  // the rest of the job still runs
  }
}

TEST_F(CliDataSafety, ReadOnlyFoldersAndFilesNeverBlockLaterCopies) {
  TempFolder tmp;
  writeFile(tmp / "L/ro/a.txt", "a", kT);
  writeFile(tmp / "L/plain.txt", "new", kT + 100'000'000);
  writeFile(tmp / "R/plain.txt", "old", kT);
  writeJob(tmp, "j", kMirror, tmp.text("L"), tmp.text("R"));
  const std::string user = asUnprivilegedUser(tmp);
  setMode(tmp / "L/ro", fs::perms(0555));
  setMode(tmp / "R/plain.txt", fs::perms(0444));
  const std::string run = user + "\"" + testing::cliProgram() + "\" " + settingsArg(tmp) + " run " +
                          quoted(tmp.text("j.job"));
  CliResult first = runShell(tmp, run);
  EXPECT_EQ(first.status, 0) << first.output;
  EXPECT_EQ(readFile(tmp / "R/plain.txt"), "new");
  // The copy of a read-only folder stays writable for its owner: a file added later
  // still goes in.
  EXPECT_NE(fs::status(tmp / "R/ro").permissions() & fs::perms::owner_write, fs::perms::none);
  setMode(tmp / "L/ro", fs::perms(0755));
  writeFile(tmp / "L/ro/b.txt", "b", kT);
  if (!user.empty()) (void)std::system(("chown 65534:65534 " + quoted(tmp.text("L/ro/b.txt"))).c_str());
  CliResult second = runShell(tmp, run);
  EXPECT_EQ(second.status, 0) << second.output;
  EXPECT_EQ(readFile(tmp / "R/ro/b.txt"), "b");
}

TEST_F(CliDataSafety, CopiesNeverGrantMoreThanTheSource) {
  TempFolder tmp;
  writeFile(tmp / "L/tool", "#!/bin/sh\n", kT);
  writeFile(tmp / "L/private", "secret", kT);
  setMode(tmp / "L/tool", fs::perms(04755));
  setMode(tmp / "L/private", fs::perms(0600));
  fs::create_directories(tmp / "R");
  writeJob(tmp, "j", kMirror, tmp.text("L"), tmp.text("R"));
  CliResult r = runCli(tmp, settingsArg(tmp) + " run " + quoted(tmp.text("j.job")));
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(fs::status(tmp / "R/tool").permissions(), fs::perms(0755));  // no set-user-ID
  EXPECT_EQ(fs::status(tmp / "R/private").permissions(), fs::perms(0600));
}

TEST_F(CliDataSafety, FifosAndDevicesAreNeverOpenedCopiedOrDeleted) {
  TempFolder tmp;
  writeFile(tmp / "L/a.txt", "a", kT);
  fs::create_directories(tmp / "R");
  ASSERT_EQ(std::system(("mkfifo " + quoted(tmp.text("L/pipe")) + " " + quoted(tmp.text("R/their-pipe"))).c_str()),
            0);
  fs::create_symlink("/dev/zero", tmp / "L/zeros");
  writeJob(tmp, "j", std::string(kMirror) + ";b", tmp.text("L"), tmp.text("R"));
  // A FIFO that were opened would hang the run; the time limit turns that into a failure.
  for (const char* command : {" simulate ", " run ", " run "}) {
    CliResult r = runShell(tmp, "timeout 60 \"" + testing::cliProgram() + "\" " + settingsArg(tmp) + command +
                                    quoted(tmp.text("j.job")));
    EXPECT_EQ(r.status, 0) << command << r.output;
  }
  EXPECT_EQ(readFile(tmp / "R/a.txt"), "a");
  EXPECT_FALSE(fs::exists(fs::symlink_status(tmp / "R/pipe")));
  EXPECT_FALSE(fs::exists(fs::symlink_status(tmp / "R/zeros")));
  EXPECT_TRUE(fs::is_fifo(tmp / "R/their-pipe"));
  EXPECT_TRUE(fs::is_fifo(tmp / "L/pipe"));
}

TEST_F(CliDataSafety, NamesThatAreNotUtf8RoundTripByteForByte) {
  TempFolder tmp;
  const std::string folder = "caf\xe9";       // Latin-1, not UTF-8
  const std::string file = "r\xc3\xa9sum\xe9";  // valid UTF-8 followed by a stray byte
  writeFile(tmp / "L" / folder / file, "x", kT);
  writeFile(tmp / "L" / "\xff\xfe.txt", "y", kT);
  fs::create_directories(tmp / "R");
  writeJob(tmp, "j", kMirror, tmp.text("L"), tmp.text("R"));
  CliResult first = runCli(tmp, settingsArg(tmp) + " run " + quoted(tmp.text("j.job")));
  EXPECT_EQ(first.status, 0) << first.output;
  EXPECT_EQ(snapshot(tmp / "R"), snapshot(tmp / "L"));
  CliResult second = runCli(tmp, settingsArg(tmp) + " run " + quoted(tmp.text("j.job")));
  EXPECT_NE(second.output.find("files copied:    0"), std::string::npos) << second.output;
}

TEST_F(CliDataSafety, AClosedOutputPipeDoesNotEndTheRun) {
  TempFolder tmp;
  for (int i = 0; i < 200; ++i) writeFile(tmp / "L" / ("f" + std::to_string(i) + ".txt"), "x", kT);
  fs::create_directories(tmp / "R");
  writeJob(tmp, "j", kMirror, tmp.text("L"), tmp.text("R"));
  // head ends after one line; the program's status is the first of the pipe.
  CliResult r = runShell(tmp, "bash -c 'set -o pipefail; \"" + testing::cliProgram() + "\" " + settingsArg(tmp) +
                                  " run " + quoted(tmp.text("j.job")) + " | head -1; exit ${PIPESTATUS[0]}'");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(snapshot(tmp / "R").size(), 200u);
}

}  // namespace
}  // namespace crvl
