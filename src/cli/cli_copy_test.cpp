// Runs that copy many files, broken off from outside: Ctrl+C while the workers copy,
// and a run killed outright.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "cli/cli_test_support.h"

namespace crvl {
namespace {

using testing::CliResult;
using testing::quoted;
using testing::readFile;
using testing::runShell;
using testing::TempFolder;
using testing::writeFile;
namespace fs = std::filesystem;

// The start of a shell test that holds while the run ($pid) has a file open below the
// folder that the caller's rest of a quoted pattern names.
constexpr const char* kWritingInto = "ls -l /proc/$pid/fd 2>/dev/null | grep -q '";

class CliCopyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if constexpr (os::kWindows) GTEST_SKIP() << "driven by a POSIX shell";
    fs::create_directories(tmp / "R");
  }
  // Starts a Mirror run of L to R in the background (its pid in $pid), waits until
  // `ready` (a shell test) holds, then runs `then`; prints the run's exit status.
  CliResult runBrokenOff(const std::string& workers, const std::string& ready, const std::string& then) {
    testing::writeJob(tmp, "copy", "+>;=>;->;_>;d;d+", tmp.text("L"), tmp.text("R"));
    writeFile(tmp / "settings.ini",
              "[CRVL]\r\nLog=" + testing::narrow(tmp.text("logs")) + "\r\nExpMode=1\r\nCopyPool=" + workers + "\r\n");
    const std::string run = quoted(platform::fromSystemBytes(testing::cliProgram())) + " --settings " +
                            quoted(tmp.text("settings.ini")) + " run " + quoted(tmp.text("copy.job"));
    return runShell(tmp, "cd " + quoted(tmp.text("")) + " && { " + run + " > out.txt 2>&1 & pid=$!; " +
                             "for i in $(seq 1 4000); do " + ready + " && break; sleep 0.005; done; " + then +
                             "; wait $pid; echo \"status $?\"; }");
  }
  TempFolder tmp;
};

// Ctrl+C while eight workers copy: the run ends stopped, every file under its own name
// is whole, and no temporary file is left behind.
TEST_F(CliCopyTest, CtrlCStopsEveryWorkerAndLeavesOnlyWholeFiles) {
  const std::string piece(512 * 1024 - 1, 'p');
  for (int i = 0; i < 300; ++i) writeFile(tmp / ("L/f" + std::to_string(i) + ".bin"), piece);
  // Ready at the first file the run writes into R (a new file has no name until it is
  // complete, so the run's open descriptors tell): a copy has begun and most are still
  // to come.
  const CliResult r = runBrokenOff("8", kWritingInto + std::string("/R/'"), "kill -INT $pid");
  EXPECT_NE(r.output.find("status 3"), std::string::npos) << r.output << readFile(tmp / "out.txt");
  size_t whole = 0;
  for (const auto& e : fs::directory_iterator(tmp / "R")) {
    EXPECT_EQ(readFile(e.path()), piece) << e.path();
    ++whole;
  }
  EXPECT_LT(whole, 300u) << "the run was stopped before its end";
}

// A run killed while it copies a large file leaves a log with the records of the files
// copied before, written out at most about a second after them.
TEST_F(CliCopyTest, AKilledRunLeavesTheRecordsOfASecondBefore) {
  for (int i = 0; i < 30; ++i) writeFile(tmp / ("L/small" + std::to_string(i) + ".txt"), "s");
  fs::create_directories(tmp / "L/sub");
  ASSERT_EQ(std::system(("truncate -s 8G " + quoted(tmp.text("L/sub/big.bin"))).c_str()), 0);
  const CliResult r = runBrokenOff("1", kWritingInto + std::string("/R/sub/'"), "sleep 1.6; kill -KILL $pid");
  ASSERT_NE(r.output.find("status 137"), std::string::npos) << "killed while copying\n" << r.output;
  std::string log;
  for (const auto& e : fs::directory_iterator(tmp / "logs")) {
    if (e.path().extension() == ".txt" && e.path().filename() != "Log.txt") log = readFile(e.path());
  }
  size_t copied = 0;
  for (size_t at = log.find("+> "); at != std::string::npos; at = log.find("+> ", at + 1)) ++copied;
  EXPECT_EQ(copied, 30u) << log;
}

}  // namespace
}  // namespace crvl
