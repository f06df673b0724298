// Drives the real console program on real folders: the six mode presets, the exit
// statuses and the job log.
#include <algorithm>
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "cli/cli_test_support.h"
#include "engine/engine_test_support.h"
#include "os_traits.h"
#include "platform/clock.h"
#include "platform/environment.h"
#include "platform/text.h"
#include "platform/volumes.h"

namespace crvl {
namespace {

using testing::TempFolder;
using testing::readFile;
using testing::writeFile;
namespace fs = std::filesystem;

constexpr uint64_t kT = 132000000000000000ull;  // a time in 2019
constexpr uint64_t kSec = 10'000'000;

using testing::narrow;

std::map<std::string, std::string> snapshot(const fs::path& root) {
  std::map<std::string, std::string> tree;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    tree[fs::relative(e.path(), root).generic_string()] = e.is_directory() ? "/" : readFile(e.path());
  }
  return tree;
}

using Result = testing::CliResult;
using testing::quoted;
using testing::runCli;
using testing::settingsArg;
using testing::writeJob;

void makeTrees(const TempFolder& tmp) {
  writeFile(tmp / "L/both.txt", "L2", kT + 100 * kSec);
  writeFile(tmp / "R/both.txt", "R1", kT);
  writeFile(tmp / "L/older.txt", "L1", kT);
  writeFile(tmp / "R/older.txt", "R2", kT + 100 * kSec);
  writeFile(tmp / "L/lonly.txt", "l", kT);
  writeFile(tmp / "R/ronly.txt", "r", kT);
  writeFile(tmp / "L/ldir/f.txt", "lf", kT);
  writeFile(tmp / "R/rdir/g.txt", "rg", kT);
}

using Tree = std::map<std::string, std::string>;

TEST(CliEndToEnd, EveryModePresetGivesItsTreesAndSettles) {
  const Tree leftStart = {{"both.txt", "L2"}, {"older.txt", "L1"}, {"lonly.txt", "l"}, {"ldir", "/"},
                          {"ldir/f.txt", "lf"}};
  const Tree unionTree = {{"both.txt", "L2"}, {"older.txt", "R2"}, {"lonly.txt", "l"}, {"ronly.txt", "r"},
                          {"ldir", "/"},      {"ldir/f.txt", "lf"}, {"rdir", "/"},     {"rdir/g.txt", "rg"}};
  struct Case {
    const char* mode;
    const char* options;  // the preset's tokens as the job file stores them
    Tree left;
    Tree right;
  };
  const Case cases[] = {
      {"Mirror", "+>;=>;->;_>;?;!=;d;d+", leftStart,
       {{"both.txt", "L2"}, {"older.txt", "R2"}, {"lonly.txt", "l"}, {"ldir", "/"}, {"ldir/f.txt", "lf"}}},
      {"Augment", "+>;d;d+", leftStart,
       {{"both.txt", "R1"}, {"older.txt", "R2"}, {"lonly.txt", "l"}, {"ronly.txt", "r"}, {"ldir", "/"},
        {"ldir/f.txt", "lf"}, {"rdir", "/"}, {"rdir/g.txt", "rg"}}},
      {"Refresh", "=>;d;d+", leftStart,
       {{"both.txt", "L2"}, {"older.txt", "R2"}, {"ronly.txt", "r"}, {"ldir", "/"}, {"rdir", "/"},
        {"rdir/g.txt", "rg"}}},
      {"Update", "+>;=>;d;d+", leftStart,
       {{"both.txt", "L2"}, {"older.txt", "R2"}, {"lonly.txt", "l"}, {"ronly.txt", "r"}, {"ldir", "/"},
        {"ldir/f.txt", "lf"}, {"rdir", "/"}, {"rdir/g.txt", "rg"}}},
      {"Consolidation", "<+;+>;<=;=>;d;d+", unionTree, unionTree},
      {"Bidirectional", "<+;+>;<=;=>;<-;->;<_;_>;d;d+", unionTree, unionTree},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    TempFolder tmp;
    makeTrees(tmp);
    writeJob(tmp, c.mode, c.options, tmp.text("L"), tmp.text("R"));
    const std::string job = quoted(tmp.text(std::string(c.mode) + ".job"));

    const Tree before = snapshot(tmp / "R");
    Result sim = runCli(tmp, settingsArg(tmp) + " simulate " + job);
    EXPECT_EQ(sim.status, 0) << sim.output;
    EXPECT_EQ(snapshot(tmp / "R"), before);
    EXPECT_NE(sim.output.find("nothing was changed"), std::string::npos);

    Result first = runCli(tmp, settingsArg(tmp) + " run " + job);
    EXPECT_EQ(first.status, 0) << first.output;
    EXPECT_EQ(snapshot(tmp / "L"), c.left);
    EXPECT_EQ(snapshot(tmp / "R"), c.right);
    // Copies keep the source's last write time.
    for (const auto& [name, contents] : c.right) {
      if (contents == "/" || !fs::exists(tmp / "L" / name) || readFile(tmp / "L" / name) != contents) continue;
      EXPECT_EQ(fs::last_write_time(tmp / "L" / name), fs::last_write_time(tmp / "R" / name)) << name;
    }

    Result second = runCli(tmp, settingsArg(tmp) + " run " + job);
    EXPECT_EQ(second.status, 0);
    EXPECT_NE(second.output.find("files copied:    0"), std::string::npos) << second.output;
    EXPECT_NE(second.output.find("files deleted:   0"), std::string::npos) << second.output;
    EXPECT_NE(second.output.find("folders removed: 0"), std::string::npos) << second.output;
    EXPECT_EQ(snapshot(tmp / "R"), c.right);
  }
}

TEST(CliEndToEnd, PairsLeftUnsynchronisedAreCountedListedAndFail) {
  struct Case {
    const char* options;
    const char* conflicts;
    const char* different;
    const char* listed;  // the report line of the file pair
  } cases[] = {
      {"+>;d;d+", "conflicts:       1", "left different:  0", "? c.txt c.txt OK"},
      {"+>;d;d+;nd", "conflicts:       0", "left different:  1", "! c.txt c.txt OK"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options);
    TempFolder tmp;
    writeFile(tmp / "L/sub/x.txt", "x", kT);  // a folder facing a file
    writeFile(tmp / "R/sub", "a file", kT);
    writeFile(tmp / "L/c.txt", "left", kT);   // same time, other size
    writeFile(tmp / "R/c.txt", "right side", kT);
    writeFile(tmp / "L/ok.txt", "ok", kT);
    writeJob(tmp, "j", c.options, tmp.text("L"), tmp.text("R"));
    const Result r = runCli(tmp, settingsArg(tmp) + " run " + quoted(tmp.text("j.job")));
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("errors:          0"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("type clashes:    1"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find(c.conflicts), std::string::npos) << r.output;
    EXPECT_NE(r.output.find(c.different), std::string::npos) << r.output;
    // Listed once more after the counts.
    const size_t list = r.output.find("Left unsynchronised");
    ASSERT_NE(list, std::string::npos) << r.output;
    EXPECT_NE(r.output.find("Err sub sub OK", list), std::string::npos) << r.output;
    EXPECT_NE(r.output.find(c.listed, list), std::string::npos) << r.output;
    EXPECT_EQ(readFile(tmp / "R/sub"), "a file");
    EXPECT_EQ(readFile(tmp / "R/ok.txt"), "ok");
  }
}

TEST(CliEndToEnd, ExitStatusesAndTheJobLog) {
  TempFolder tmp;
  writeFile(tmp / "L/a.txt", "a", kT);
  fs::create_directories(tmp / "R");
  writeJob(tmp, "good", "+>;d;d+", tmp.text("L"), tmp.text("R"));

  Result r = runCli(tmp, settingsArg(tmp) + " run -v " + quoted(tmp.text("good.job")));
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find(" OK"), std::string::npos);  // the live action line
  // The job log and its index line.
  ASSERT_TRUE(fs::exists(tmp / "logs/Log.txt"));
  Result logs = runCli(tmp, settingsArg(tmp) + " logs");
  EXPECT_EQ(logs.status, 0);
  EXPECT_NE(logs.output.find("good"), std::string::npos) << logs.output;

  // By register name, after listing the register.
  writeFile(tmp / "settings.ini", "[CRVL]\r\nLog=" + narrow(tmp.text("logs")) + "\r\n\r\n[Job]\r\n1=-Daily\r\n2=Good one;" +
                                      narrow(tmp.text("good.job")) + "\r\n3=-\r\n");
  Result jobs = runCli(tmp, settingsArg(tmp) + " jobs");
  EXPECT_EQ(jobs.status, 0);
  EXPECT_NE(jobs.output.find("[Daily]"), std::string::npos) << jobs.output;
  EXPECT_NE(jobs.output.find("  Good one"), std::string::npos) << jobs.output;
  fs::remove(tmp / "R/a.txt");
  r = runCli(tmp, settingsArg(tmp) + " run \"good ONE\"");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(readFile(tmp / "R/a.txt"), "a");

  // A side that cannot be written (POSIX) or reached (Windows): the action fails.
  std::u16string badTarget;
  if constexpr (os::kDrivePaths) {
    const uint32_t present = platform::presentDrives();
    char16_t letter = u'Y';
    while (letter > u'D' && (present & (1u << (letter - u'A'))) != 0) --letter;
    badTarget = std::u16string{letter} + u":\\target";
  } else {
    badTarget = u"/proc/crvl-no-such-target";
  }
  writeJob(tmp, "bad", "+>;d;d+", tmp.text("L"), badTarget);
  r = runCli(tmp, settingsArg(tmp) + " run " + quoted(tmp.text("bad.job")));
  // POSIX: the missing target folder cannot be created, and the pair is skipped;
  // Windows: the drive is not ready.
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_NE(r.output.find("errors:          1"), std::string::npos) << r.output;

  // Usage errors, unknown jobs and unreadable job files.
  const std::string usage[] = {
      "", "run", "frobnicate x", settingsArg(tmp) + " run no-such-job-name",
      settingsArg(tmp) + " run " + quoted(tmp.text("missing.job"))};
  for (const std::string& args : usage) {
    r = runCli(tmp, args);
    EXPECT_EQ(r.status, 2) << args << "\n" << r.output;
  }
}

// The system's scheduler and the session start from the console (POSIX: unit files and
// the autostart entry in the configuration folder the command line names).
TEST(CliSystemIntegration, TasksExportAndAutostart) {
  if (os::kWindows) GTEST_SKIP() << "the Task Scheduler export is tested in the scheduler's own tests";
  TempFolder tmp;
  const std::string tasks = "[CRVL]\r\nDelay=30\r\n\r\n[Job]\r\n1=Nightly;n.job\r\n\r\n[Task]\r\n1=Nightly;td;d" +
                            std::to_string(packDateTime(CalendarTime{2026, 1, 0, 1, 2, 30, 0, 0})) + "\r\n";
  // The user's own settings file (A) keeps the names of earlier versions; another one (B)
  // gets units and an entry of its own, and neither touches the other's.
  writeFile(tmp / "config/Halberic/CRVL.INI", tasks);
  writeFile(tmp / "settings.ini", tasks);
  const std::string env = "XDG_CONFIG_HOME=" + quoted(tmp.text("config")) + " PATH=/nonexistent ";
  const std::string program = "\"" + testing::cliProgram() + "\" ";
  const std::string ownArg = "--settings " + quoted(tmp.text("config/Halberic/CRVL.INI"));
  Result r = testing::runShell(tmp, env + program + ownArg + " tasks export");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("1 timed tasks: 0 kept, 1 created"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("systemctl --user enable --now corvell-1.timer"), std::string::npos) << r.output;
  EXPECT_NE(readFile(tmp / "config/systemd/user/corvell-1.timer").find("OnCalendar=*-*-* 02:30:00"),
            std::string::npos);
  r = testing::runShell(tmp, env + program + settingsArg(tmp) + " tasks export");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("1 timed tasks: 0 kept, 1 created, 0 removed"), std::string::npos) << r.output;
  std::vector<std::string> units;
  for (const auto& e : fs::directory_iterator(tmp / "config/systemd/user")) units.push_back(e.path().filename().string());
  std::sort(units.begin(), units.end());
  ASSERT_EQ(units.size(), 4u);
  // By name, not by place: a tag may sort before or after "corvell-1".
  EXPECT_NE(std::find(units.begin(), units.end(), "corvell-1.service"), units.end());
  const auto otherService = std::find_if(units.begin(), units.end(), [](const std::string& u) {
    return u != "corvell-1.service" && u.ends_with(".service");
  });
  ASSERT_NE(otherService, units.end());
  const std::string other = otherService->substr(0, otherService->size() - std::string(".service").size());
  EXPECT_EQ(other.size(), std::string("corvell-12345678-1").size()) << other;
  EXPECT_NE(readFile(tmp / ("config/systemd/user/" + other + ".service")).find("settings.ini\" run"), std::string::npos);
  r = testing::runShell(tmp, env + program + settingsArg(tmp) + " tasks");
  EXPECT_NE(r.output.find("1\tNightly\tTime Controlled\tDaily 02:30"), std::string::npos) << r.output;
  // B without timed tasks: its units go, A's stay.
  writeFile(tmp / "settings.ini", "[CRVL]\r\nDelay=30\r\n\r\n[Job]\r\n1=Nightly;n.job\r\n");
  r = testing::runShell(tmp, env + program + settingsArg(tmp) + " tasks export");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_FALSE(fs::exists(tmp / ("config/systemd/user/" + other + ".timer")));
  EXPECT_TRUE(fs::exists(tmp / "config/systemd/user/corvell-1.timer"));
  // The timer that stays is named with the command that stops it.
  EXPECT_NE(r.output.find("systemctl --user disable --now corvell-1.timer"), std::string::npos) << r.output;

  r = testing::runShell(tmp, env + program + ownArg + " autostart on");
  EXPECT_EQ(r.status, 0) << r.output;
  r = testing::runShell(tmp, env + program + settingsArg(tmp) + " autostart on");
  EXPECT_EQ(r.status, 0) << r.output;
  const std::string entry = readFile(tmp / "config/autostart/crvl.desktop");
  EXPECT_NE(entry.find("CRVL.INI daemon --delay 30\n"), std::string::npos) << entry;
  EXPECT_NE(readFile(tmp / "settings.ini").find("Opt=1"), std::string::npos);
  size_t entries = 0;
  for (const auto& e : fs::directory_iterator(tmp / "config/autostart")) {
    ++entries;
    if (e.path().filename() != "crvl.desktop") {
      EXPECT_NE(readFile(e.path()).find("settings.ini daemon"), std::string::npos);
    }
  }
  EXPECT_EQ(entries, 2u);
  r = testing::runShell(tmp, env + program + settingsArg(tmp) + " autostart off");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(fs::exists(tmp / "config/autostart/crvl.desktop"));  // A's entry stays
  r = testing::runShell(tmp, env + program + ownArg + " autostart off");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(fs::is_empty(tmp / "config/autostart"));
  EXPECT_NE(readFile(tmp / "settings.ini").find("Opt=0"), std::string::npos);
  // Words the commands do not know change nothing.
  for (const char* bad : {" autostart maybe", " tasks purge", " daemon --delay 90000", " jobs --delay 5"}) {
    r = testing::runShell(tmp, env + program + settingsArg(tmp) + bad);
    EXPECT_EQ(r.status, 2) << bad << r.output;
  }
}

}  // namespace
}  // namespace crvl
