// The settings file, job files and the log index as more than one process meets them:
// concurrent writers, files that cannot be read or written, what a killed run leaves,
// and one job started under several spellings.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "cli/cli_test_support.h"
#include "cli/json_reader_test_support.h"

namespace crvl {
namespace {

using testing::CliResult;
using testing::parseJson;
using testing::quoted;
using testing::readFile;
using testing::runShell;
using testing::TempFolder;
using testing::writeFile;
namespace fs = std::filesystem;

bool runningAsRoot() { return std::system("test \"$(id -u)\" = 0 && command -v setpriv > /dev/null") == 0; }
const std::string kNobody = "setpriv --reuid=65534 --regid=65534 --clear-groups ";

class CliStoredFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    if constexpr (os::kWindows) GTEST_SKIP() << "driven by a POSIX shell";
    fs::create_directories(tmp / "L");
    fs::create_directories(tmp / "R");
    fs::create_directories(tmp / "jobs");
    writeFile(tmp / "settings.ini", "[CRVL]\r\nLog=" + testing::narrow(tmp.text("logs")) + "\r\nJob=" +
                                        testing::narrow(tmp.text("jobs")) + "\r\nExpMode=1\r\n");
  }
  std::string crvl(const std::string& settings = "settings.ini") {
    return quoted(platform::fromSystemBytes(testing::cliProgram())) + " --settings " + path(settings) + " ";
  }
  std::string path(const std::string& relative) { return quoted(tmp.text(relative)); }
  CliResult cli(const std::string& args) { return runShell(tmp, crvl() + args); }
  size_t count(const std::string& listing) { return parseJson(cli("--json " + listing).output).items.size(); }
  std::set<std::string> jobFiles() {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(tmp / "jobs")) {
      if (e.path().extension() == ".job") names.insert(e.path().filename().string());
    }
    return names;
  }

  TempFolder tmp;
};

// Writers started at the same moment on one settings file: each change survives, and
// every job file has its register entry.
TEST_F(CliStoredFiles, ConcurrentWritersOfOneSettingsFileLoseNothing) {
  ASSERT_EQ(cli("job new Base " + path("L") + " " + path("R")).status, 0);
  constexpr int kRounds = 10;
  for (int round = 1; round <= kRounds; ++round) {
    const std::string r = std::to_string(round);
    const std::string writers[] = {"job new A" + r + " " + path("L") + " " + path("R"),
                                   "job new B" + r + " " + path("L") + " " + path("R"),
                                   "task add Base --at-start --delay " + r, "config set delay " + r};
    std::string command;
    for (const std::string& w : writers) command += "(" + crvl() + w + " > /dev/null || echo FAILED " + w + ") & ";
    command += "wait";
    const CliResult result = runShell(tmp, command);
    EXPECT_EQ(result.output, "") << "round " << r;
    EXPECT_EQ(parseJson(cli("--json config show").output)["delay"].number, round) << cli("--json config show").output;
  }
  EXPECT_EQ(count("jobs"), 2u * kRounds + 1);
  EXPECT_EQ(count("tasks"), static_cast<size_t>(kRounds));
  EXPECT_EQ(jobFiles().size(), 2u * kRounds + 1) << "no job file without its register entry";
}

// A settings file that cannot be read is refused with its name and the reason; one that
// can be read but not written lists what it holds and saves nothing, and a new job's
// file does not stay behind without its register entry.
TEST_F(CliStoredFiles, SettingsThatCannotBeOpenedAreNeverTakenForEmpty) {
  if (!runningAsRoot()) GTEST_SKIP() << "needs root to hand the files to an unprivileged user";
  ASSERT_EQ(cli("job new Kept " + path("L") + " " + path("R")).status, 0);
  const std::string original = readFile(tmp / "settings.ini");
  fs::create_directories(tmp / "closed");
  fs::copy_file(tmp / "settings.ini", tmp / "closed/unreadable.ini");
  fs::permissions(tmp / "closed/unreadable.ini", fs::perms::owner_read | fs::perms::owner_write,
                  fs::perm_options::replace);
  fs::create_directories(tmp / "folder.ini");
  // The test folder is root's; the jobs folder is the user's, the settings are not.
  fs::permissions(tmp.root(), fs::perms(0755), fs::perm_options::replace);
  ASSERT_EQ(std::system(("chown -R 65534:65534 " + path("jobs") + " " + path("L") + " " + path("R")).c_str()), 0);
  const std::string longName = std::string(1100, 'n') + ".ini";
  struct Case {
    const char* name;
    std::string settings;
    std::string args;
    int status;
    const char* said;  // in what the program printed
  } cases[] = {
      {"a folder", "folder.ini", "jobs", 2, "folder.ini"},
      {"a file closed to the user", "closed/unreadable.ini", "config set delay 7", 2, "Access is denied"},
      {"a file closed to the user, listed", "closed/unreadable.ini", "jobs", 2, "unreadable.ini"},
      {"a path over the limit", longName, "jobs", 2, "too long"},
      {"readable, not writable: change", "settings.ini", "config set delay 7", 1, "cannot write"},
      {"readable, not writable: new job", "settings.ini", "job new Lost " + path("L") + " " + path("R"), 1,
       "not created"},
      {"readable, not writable: listing", "settings.ini", "jobs", 0, "Kept"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const CliResult r = runShell(tmp, kNobody + crvl(c.settings) + c.args + " 2>&1");
    EXPECT_EQ(r.status, c.status) << r.output;
    EXPECT_NE(r.output.find(c.said), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find(" created:"), std::string::npos) << r.output;
  }
  EXPECT_EQ(readFile(tmp / "settings.ini"), original);
  EXPECT_EQ(jobFiles(), std::set<std::string>{"Kept.job"});
}

// One job under every spelling while a run of it copies (held still with SIGSTOP):
// each gets exit 4. The run is then killed with SIGKILL; its log is listed and removed
// like any other.
TEST_F(CliStoredFiles, OneJobOneRunHoweverItIsNamedAndAKilledRunLeavesAListedLog) {
  ASSERT_EQ(cli("job new Big " + path("L") + " " + path("R")).status, 0);
  ASSERT_EQ(std::system(("truncate -s 2G " + path("L/big.bin")).c_str()), 0);
  fs::create_directory_symlink(tmp / "jobs", tmp / "link");
  const struct {
    const char* command;
    const char* job;
  } spellings[] = {
      {"run", "Big"},           {"run", "jobs/Big.job"},   {"run", "./jobs/Big.job"},
      {"run", "jobs//Big.job"}, {"run", "link/Big.job"},   {"simulate", "jobs/Big.job"},
      {"run", "JOBS_ABS"},
  };
  std::string script = "cd " + path("") + " && { " + crvl() + "run Big > first.txt 2>&1 & pid=$!; " +
                       // The run has made its log and written its index line.
                       "for i in $(seq 1 3000); do grep -qs Big logs/Log.txt && break; "
                       "sleep 0.005; done; kill -STOP $pid; ";
  for (const auto& s : spellings) {
    const std::string job = std::string(s.job) == "JOBS_ABS" ? path("jobs/Big.job") : std::string(s.job);
    script += crvl() + s.command + " " + job + " > /dev/null 2>&1; echo \"" + s.command + " " + s.job + " $?\"; ";
  }
  script += "kill -KILL $pid; wait $pid; echo \"first $?\"; }";
  const CliResult r = runShell(tmp, script);
  for (const auto& s : spellings) {
    EXPECT_NE(r.output.find(std::string(s.command) + " " + s.job + " 4\n"), std::string::npos) << s.job << "\n" << r.output;
  }
  ASSERT_NE(r.output.find("first 137"), std::string::npos) << "the first run was killed\n" << r.output;

  const testing::JsonValue logs = parseJson(cli("--json logs").output);
  ASSERT_EQ(logs.items.size(), 1u) << cli("--json logs").output;
  const std::string log = logs[0]["file"].text;
  EXPECT_TRUE(fs::exists(log)) << log;
  EXPECT_EQ(cli("logs remove Big").status, 0);
  EXPECT_FALSE(fs::exists(log)) << log;
}

// A temporary file that a killed settings write left beside the file goes at the next
// start, but only one of the program's own names, old enough, and only while no other
// process holds the settings file.
TEST_F(CliStoredFiles, StaleTemporariesOfTheSettingsFileGoAtTheNextStart) {
  const struct {
    const char* name;
    const char* age;  // as `touch -d` takes it
    bool held;        // another process holds the settings lock
    bool removed;
  } cases[] = {
      {".~crvl0123456789ab.tmp", "2 hours ago", false, true},
      {".~crvl0123456789ac.tmp", "now", false, false},
      {".~crvl0123456789ad.tmp", "2 hours ago", true, false},
      {".~crvlNOTHEX0000ab.tmp", "2 hours ago", false, false},
      {"other.tmp", "2 hours ago", false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    writeFile(tmp / c.name, "partial");
    ASSERT_EQ(std::system(("touch -d '" + std::string(c.age) + "' " + path(c.name)).c_str()), 0);
    const std::string jobs = crvl() + "jobs > /dev/null";
    const std::string command =
        c.held ? "flock " + quoted(tmp.text("settings.ini.lock")) + " " + jobs : jobs;
    (void)runShell(tmp, command);
    EXPECT_EQ(fs::exists(tmp / c.name), !c.removed);
    tmp.remove(c.name);
  }
}

// Hand-edited values longer than the fields a job is run with: a register entry whose
// path would be cut to another job file, or whose name is too long, is not run; the
// log folder is taken whole, never cut to a folder beside it.
TEST_F(CliStoredFiles, HandEditedValuesThatDoNotFitAreNeverCut) {
  // A folder of 1,013 characters: "Cut;" and its "x.job" fill the 1,023 bytes a
  // register value was once cut to, its "logfolder" the 1,023 characters of a folder.
  std::string folder = testing::narrow(tmp.text("long"));
  while (folder.size() < 1013) folder += "/" + std::string(std::min<size_t>(150, 1013 - folder.size() - 1), 'd');
  ASSERT_EQ(folder.size(), 1013u);
  const std::string cutJob = folder + "/x.job", cutLogs = folder + "/logfolder";
  fs::create_directories(cutLogs);
  writeFile(tmp / "L" / "a.txt", "a");
  const std::string job = "[CRVL]\r\nOption=0;+>\r\nFilter=\r\n\r\n[Folder]\r\n1=+" +
                          testing::narrow(tmp.text("L")) + ";" + testing::narrow(tmp.text("R")) + "\r\n";
  writeFile(cutJob, job);
  writeFile(tmp / "fine.job", "[CRVL]\r\nOption=0;d\r\nFilter=\r\n\r\n[Folder]\r\n1=+" +
                                  testing::narrow(tmp.text("L")) + ";" + testing::narrow(tmp.text("jobs")) + "\r\n");
  const std::string longName(41, 'N');
  writeFile(tmp / "settings.ini", "[CRVL]\r\nLog=" + cutLogs + "/whole\r\nExpMode=1\r\n\r\n[Job]\r\n1=Cut;" +
                                      cutJob + ".more\r\n2=" + longName + ";" + cutJob + "\r\n3=Fine;" +
                                      testing::narrow(tmp.text("fine.job")) + "\r\n");
  for (const std::string& name : {std::string("Cut"), longName}) {
    const CliResult run = cli("run " + name + " 2>&1");
    EXPECT_EQ(run.status, 2) << name;
    EXPECT_NE(run.output.find("the job is not run"), std::string::npos) << run.output;
  }
  EXPECT_FALSE(fs::exists(tmp / "R" / "a.txt")) << "the cut path's job ran";
  const std::string listing = cli("jobs").output;
  EXPECT_NE(listing.find(longName + "\t"), std::string::npos) << listing;
  const CliResult fine = cli("run Fine 2>&1");
  EXPECT_EQ(fine.status, 0) << fine.output;
  EXPECT_EQ(parseJson(cli("--json config show").output)["log-folder"].text, cutLogs + "/whole");
  for (const auto& e : fs::directory_iterator(cutLogs)) {
    EXPECT_EQ(e.path().filename(), "whole") << "a log went into the cut log folder";
  }
}

// The same holds for the temporary files of job files and of the log index.
TEST_F(CliStoredFiles, StaleTemporariesOfJobFilesAndTheLogIndexGoToo) {
  ASSERT_EQ(cli("job new J " + path("L") + " " + path("R")).status, 0);
  fs::create_directories(tmp / "L");
  ASSERT_EQ(cli("run J").status, 0);
  const fs::path jobFolder = fs::path(parseJson(cli("--json job show J").output)["file"].text).parent_path();
  const fs::path logFolder = fs::path(parseJson(cli("--json logs").output)[0]["file"].text).parent_path();
  ASSERT_NE(jobFolder, fs::path(tmp.text("")));
  ASSERT_NE(logFolder, fs::path(tmp.text("")));
  const fs::path stale[] = {jobFolder / ".~crvl0123456789ab.tmp", logFolder / ".~crvl0123456789ac.tmp"};
  const fs::path kept = logFolder / "other.tmp";
  for (const fs::path& file : {stale[0], stale[1], kept}) {
    writeFile(file, "partial");
    ASSERT_EQ(std::system(("touch -d '2 hours ago' " + quoted(file.u16string())).c_str()), 0);
  }
  (void)cli("jobs");
  EXPECT_FALSE(fs::exists(stale[0]));
  EXPECT_FALSE(fs::exists(stale[1]));
  EXPECT_TRUE(fs::exists(kept));
  // The lock files of jobs that no run holds go as well; other files of that folder stay.
  if (!os::kWindows) {
    const fs::path locks = tmp / "user-home/.config/Halberic/CRVL/Locks";
    writeFile(locks / "0123456789abcdef.lock", "");
    writeFile(locks / "notes.lock", "");
    (void)cli("jobs");
    EXPECT_FALSE(fs::exists(locks / "0123456789abcdef.lock"));
    EXPECT_TRUE(fs::exists(locks / "notes.lock"));
  }
}

}  // namespace
}  // namespace crvl
