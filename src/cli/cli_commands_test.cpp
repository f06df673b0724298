// The console's management commands with the real program on real files: jobs, tasks,
// plug-ins, settings and logs, their --json output read back, and bad input that must
// change no file.
#include <gtest/gtest.h>

#include <algorithm>

#include <filesystem>
#include <string>
#include <vector>

#include "cli/cli_test_support.h"
#include "cli/job_commands.h"
#include "cli/json_reader_test_support.h"
#include "engine/engine_test_support.h"
#include "jobs/profile_store.h"
#include "jobs/register_list.h"
#include "os_traits.h"
#include "platform/environment.h"
#include "platform/text.h"

namespace crvl {
namespace {

using testing::CliResult;
using testing::parseJson;
using testing::quoted;
using testing::readFile;
using testing::TempFolder;
using testing::writeFile;
namespace fs = std::filesystem;

class CliCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    writeFile(tmp / "settings.ini", "[CRVL]\r\nLog=" + testing::narrow(tmp.text("logs")) + "\r\nExpMode=1\r\n");
    writeFile(tmp / "L/a.txt", "a");
    fs::create_directories(tmp / "R");
  }
  CliResult cli(const std::string& args) { return testing::runCli(tmp, testing::settingsArg(tmp) + " " + args); }
  std::string path(const std::string& relative) { return quoted(tmp.text(relative)); }
  // Everything the commands may write.
  std::string files() {
    std::string all;
    for (const auto& e : fs::recursive_directory_iterator(tmp.root())) {
      const std::string name = e.path().filename().string();
      if (e.is_regular_file() && name.rfind("cli-output", 0) != 0) all += name + "=" + readFile(e.path()) + "\n";
    }
    return all;
  }

  TempFolder tmp;
};

TEST_F(CliCommandsTest, ANewJobIsTheJobTheEditorWritesAndItRuns) {
  CliResult r = cli("job new Backup " + path("L") + " " + path("R") + " --mode Augment --option b --filter \"+*.txt\" --file " +
                    path("backup.job"));
  ASSERT_EQ(r.status, 0) << r.output;
  // The same choices through the job editor's model give the same bytes.
  Filter filter;
  std::u16string bad;
  ASSERT_TRUE(cli::readFilterStrictly(u"+*.txt", filter, &bad));
  Job model = cli::composeNewJob(u"Backup", kModeAugment, {kOptCompareContent}, tmp.text("L"), tmp.text("R"), &filter);
  model.jobFilePath = tmp.text("model.job");
  ProfileStore settings;
  settings.openStore(tmp.text("model-settings.ini"), kStoreOwnFile);
  ASSERT_EQ(storeEditedJob(model, settings), kSuccess);
  EXPECT_EQ(readFile(tmp / "backup.job"), readFile(tmp / "model.job"));
  const testing::JsonValue jobs = parseJson(cli("--json jobs").output);
  ASSERT_TRUE(jobs.valid);
  ASSERT_EQ(jobs.items.size(), 1u);
  EXPECT_EQ(jobs[0]["file"].text, testing::narrow(tmp.text("backup.job")));

  r = cli("run Backup");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(readFile(tmp / "R/a.txt"), "a");

  r = cli("--json job show backup");
  ASSERT_EQ(r.status, 0) << r.output;
  const testing::JsonValue shown = parseJson(r.output);
  ASSERT_TRUE(shown.valid) << r.output;
  EXPECT_EQ(shown["mode"].text, "Augment");
  EXPECT_TRUE(shown["filterOn"].flag);
  EXPECT_EQ(shown["filter"].text, "+*.txt;-");
  EXPECT_EQ(shown["pairs"][0]["right"].text, testing::narrow(tmp.text("R")));
  bool compare = false;
  for (const auto& o : shown["options"].items) compare = compare || o.text == "b";
  EXPECT_TRUE(compare);
  // A job that exists is not made again, and its file is not replaced.
  const std::string before = files();
  r = cli("job new backup " + path("L") + " " + path("R"));
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(files(), before);
}

// Every listing is JSON, also for folder names that are not UTF-8: each such byte is
// written as the escape of the lone surrogate that holds it, control characters too.
TEST_F(CliCommandsTest, JsonListingsEscapeNamesThatAreNotUtf8) {
  if constexpr (os::kWindows) GTEST_SKIP() << "Windows names are UTF-16; a POSIX name can hold any byte";
  struct Case {
    const char* folder;  // raw bytes of the left folder's name
    const char* escaped;
  } cases[] = {{"L\xff", "L\\udcff"}, {"L\xc3(", "L\\udcc3("}, {"L\x7f\x1b", "L\\u007f\\u001b"}};
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.escaped);
    const fs::path folder = tmp.root() / c.folder;
    fs::create_directories(folder);
    const std::string job = "J" + std::to_string(++n);
    ASSERT_EQ(cli("job new " + job + " \"" + folder.string() + "\" " + path("R") + " --file " + path(job + ".job"))
                  .status,
              0);
    {
      const CliResult r = cli("--json job show " + job);
      ASSERT_EQ(r.status, 0) << r.output;
      EXPECT_TRUE(parseJson(r.output).valid) << r.output;
      EXPECT_NE(r.output.find(c.escaped), std::string::npos) << r.output;
      // Nothing but ASCII: the temporary folder's name is ASCII, the rest is escaped.
      EXPECT_TRUE(std::all_of(r.output.begin(), r.output.end(), [](char b) { return (b & 0x80) == 0; }))
          << r.output;
    }
  }
}

TEST_F(CliCommandsTest, JobsAreChangedRenamedArrangedAndRemoved) {
  ASSERT_EQ(cli("job new A " + path("L") + " " + path("R") + " --file " + path("a.job")).status, 0);
  ASSERT_EQ(cli("job new B " + path("L") + " " + path("R2") + " --file " + path("b.job")).status, 0);
  ASSERT_EQ(cli("task add A --at-start").status, 0);

  CliResult r = cli("job set A --mode Bidirectional --option -d --add-pair " + path("X") + " " + path("Y") +
                    " --exclude-pair " + path("L/skip") + " " + path("R/skip") + " --remove-pair 1");
  ASSERT_EQ(r.status, 0) << r.output;
  const std::string job = readFile(tmp / "a.job");
  EXPECT_NE(job.find("Option=0;<+;+>;<=;=>;<-;->;<_;_>;d+\r\n"), std::string::npos) << job;
  EXPECT_NE(job.find("1=+" + testing::narrow(tmp.text("X")) + ";"), std::string::npos) << job;
  EXPECT_NE(job.find("2=-" + testing::narrow(tmp.text("L/skip")) + ";"), std::string::npos) << job;
  EXPECT_EQ(job.find(testing::narrow(tmp.text("R")) + "\r\n"), std::string::npos) << job;

  // A rename carries the job's tasks along.
  ASSERT_EQ(cli("job rename a Alpha").status, 0);
  r = cli("--json tasks");
  const testing::JsonValue tasks = parseJson(r.output);
  ASSERT_TRUE(tasks.valid) << r.output;
  ASSERT_EQ(tasks.items.size(), 1u);
  EXPECT_EQ(tasks[0]["job"].text, "Alpha");

  // A menu group around B, a separator, then Alpha.
  r = cli("--json job order [Daily B ] - Alpha");
  ASSERT_EQ(r.status, 0) << r.output;
  const testing::JsonValue rows = parseJson(r.output);
  ASSERT_TRUE(rows.valid) << r.output;
  ASSERT_EQ(rows.items.size(), 5u);
  EXPECT_EQ(rows[0]["type"].text, "group");
  EXPECT_EQ(rows[1]["name"].text, "B");
  EXPECT_EQ(rows[1]["depth"].number, 1);
  EXPECT_EQ(rows[2]["type"].text, "end");
  EXPECT_EQ(rows[3]["type"].text, "separator");
  EXPECT_NE(readFile(tmp / "settings.ini").find("[Job]\r\n1=-Daily\r\n2=B;"), std::string::npos);

  ASSERT_EQ(cli("job remove B --delete-file").status, 0);
  EXPECT_FALSE(fs::exists(tmp / "b.job"));
  ASSERT_EQ(cli("job remove alpha").status, 0);
  EXPECT_TRUE(fs::exists(tmp / "a.job"));  // without --delete-file the file stays
  EXPECT_EQ(parseJson(cli("--json jobs").output).items.size(), 3u);  // the group and the separator
}

TEST_F(CliCommandsTest, TasksAsThePlanDialogStoresThem) {
  ASSERT_EQ(cli("job new J " + path("L") + " " + path("R") + " --file " + path("j.job")).status, 0);
  // Without a system scheduler to reach, the export still writes what it can.
  const std::vector<std::string> adds = {"task add J --at-start --delay 5m --repeat 0",
                                         "task add j --when-available --repeat 2h", "task add J --daily 08:30",
                                         "task add J --weekly MON,friday@18:00", "task add J --once 2026-12-24T18:00"};
  for (const std::string& add : adds) {
    const CliResult r = cli(add);
    EXPECT_TRUE(r.status == 0 || r.status == 1) << add << r.output;  // 1: no scheduler account here
  }
  const std::string stored = readFile(tmp / "settings.ini");
  EXPECT_NE(stored.find("1=J;so;d300;r1\r\n"), std::string::npos) << stored;  // a repeat of 0 is 1 s
  EXPECT_NE(stored.find("2=J;ao;r7200\r\n"), std::string::npos) << stored;
  const testing::JsonValue tasks = parseJson(cli("--json task list").output);
  ASSERT_TRUE(tasks.valid);
  ASSERT_EQ(tasks.items.size(), 5u);
  EXPECT_EQ(tasks[0]["delaySeconds"].number, 300);
  EXPECT_EQ(tasks[2]["period"].text, "d");
  EXPECT_EQ(tasks[2]["start"].text.substr(10), "T08:30");
  EXPECT_EQ(tasks[3]["weekdays"].number, 34);
  EXPECT_EQ(tasks[4]["start"].text, "2026-12-24T18:00");
  const CliResult listed = cli("tasks");
  EXPECT_NE(listed.output.find("Repeat after 2 Hours"), std::string::npos) << listed.output;
  ASSERT_EQ(cli("task remove 2").status, 0);
  EXPECT_EQ(parseJson(cli("--json tasks").output).items.size(), 4u);
}

TEST_F(CliCommandsTest, BadInputNamesTheWordAndChangesNoFile) {
  ASSERT_EQ(cli("job new J " + path("L") + " " + path("R") + " --file " + path("j.job")).status, 0);
  const std::string before = files();
  struct Case {
    std::string args;
    std::string word;  // the message names it
  } cases[] = {
      {"job new K " + path("L") + " " + path("R") + " --mode Sideways", "Sideways"},
      {"job new K " + path("L") + " " + path("R") + " --option =x", "=x"},
      {"job new K " + path("L") + " " + path("R") + " --filter \"+*.txt;q7\"", "q7"},
      {"job new K " + path("L") + " " + path("R") + " --file " + path("j.job"), "exists"},
      {"job new -K " + path("L") + " " + path("R"), "-K"},
      {"job set J --option -zz", "-zz"},
      {"job set J --remove-pair 9", "9"},
      {"job set Nobody --mode Mirror", "Nobody"},
      {"job order J Ghost", "Ghost"},
      {"job order [G J", "closed"},
      {"job rename J J2 --mode Mirror", "--mode"},
      {"task add J --daily 25:00", "25:00"},
      {"task add J --weekly mon,someday@08:00", "someday"},
      {"task add J --once 2026-02-30T10:00", "2026-02-30T10:00"},
      {"task add J --at-start --delay 5x", "5x"},
      {"task add J --at-start --daily 08:00", "one of"},
      {"task remove 7", "7"},
      {"config set delay 90000", "90000"},
      {"config set log-format 9", "9"},
      {"config set colour blue", "colour"},
      {"config set menu-icon-size 20", "20"},
      {"config set scan-threads 9", "9"},
      {"plugin add P " + path("no-such-module.wfx"), "could not be loaded"},
      {"plugin disable Nothing", "Nothing"},
      {"logs remove Nobody", "Nobody"},
      {"autostart maybe", "maybe"},
      {"sftp add Box nohost", "nohost"},
      {"sftp add Box u@h:99999", "u@h:99999"},
      {"sftp add Box u@[::1]x", "u@[::1]x"},
      {"sftp add B[x u@h", "B[x"},
      {"sftp add Box u@h --key " + path("no-key"), "no-key"},
      {"sftp remove Nope", "Nope"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    const CliResult r = cli(c.args);
    EXPECT_EQ(r.status, 2) << r.output;
    EXPECT_NE(r.output.find(c.word), std::string::npos) << r.output;
    EXPECT_EQ(files(), before);
  }
}

TEST_F(CliCommandsTest, SettingsAndPlugins) {
  ASSERT_EQ(cli("config set delay 30").status, 0);
  ASSERT_EQ(cli("config set job-logs off").status, 0);
  ASSERT_EQ(cli("config set menu-icon-size 24").status, 0);
  ASSERT_EQ(cli("config set dark-mode force").status, 0);
  ASSERT_EQ(cli("config set scan-threads 1").status, 0);
  const testing::JsonValue config = parseJson(cli("--json config show").output);
  ASSERT_TRUE(config.valid);
  EXPECT_EQ(config["delay"].number, 30);
  EXPECT_FALSE(config["job-logs"].flag);
  EXPECT_EQ(config["menu-icon-size"].number, 24);
  EXPECT_EQ(config["dark-mode"].text, "force");
  EXPECT_EQ(config["scan-threads"].number, 1);
  const std::string stored = readFile(tmp / "settings.ini");
  EXPECT_NE(stored.find("Opt=4\r\n"), std::string::npos) << stored;  // bit 2: no job logs
  EXPECT_NE(stored.find("DM=2\r\n"), std::string::npos) << stored;
  EXPECT_NE(stored.find("ScanThreads=1\r\n"), std::string::npos) << stored;
  EXPECT_NE(stored.find("Delay=30\r\n"), std::string::npos);

  // The test module, beside the test program, stands for a real plug-in.
  const std::u16string module =
      platform::programFolder() + (os::kWindows ? u"\\testplugins\\crvltest_both.wfx64" : u"/testplugins/crvltest_both.wfx64");
  CliResult r = cli("plugin add Remote " + quoted(module) + " --params \"a=1\"");
  ASSERT_EQ(r.status, 0) << r.output;
  ASSERT_EQ(cli("plugin disable remote").status, 0);
  testing::JsonValue plugins = parseJson(cli("--json plugin list").output);
  ASSERT_TRUE(plugins.valid);
  ASSERT_EQ(plugins.items.size(), 1u);
  EXPECT_FALSE(plugins[0]["enabled"].flag);
  EXPECT_EQ(plugins[0]["parameters"].text, "a=1");
  EXPECT_NE(readFile(tmp / "settings.ini").find("[pgnFS]\r\n1=Remote;-"), std::string::npos);
  EXPECT_EQ(cli("plugin add REMOTE " + quoted(module)).status, 2);  // the name is taken
  ASSERT_EQ(cli("plugin remove Remote").status, 0);
  EXPECT_TRUE(parseJson(cli("--json plugins").output).items.empty());
}

TEST_F(CliCommandsTest, LogsShownAsTextAndRemoved) {
  ASSERT_EQ(cli("job new J " + path("L") + " " + path("R") + " --file " + path("j.job")).status, 0);
  ASSERT_EQ(cli("config set log-format 6").status, 0);  // HTML in UTF-16
  ASSERT_EQ(cli("run J").status, 0);
  CliResult r = cli("logs show J");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("a.txt"), std::string::npos) << r.output;
  EXPECT_EQ(r.output.find("<td"), std::string::npos) << r.output;
  const testing::JsonValue logs = parseJson(cli("--json logs").output);
  ASSERT_TRUE(logs.valid);
  ASSERT_EQ(logs.items.size(), 1u);
  const std::string file = logs[0]["file"].text;
  EXPECT_TRUE(fs::exists(fs::u8path(file)));
  r = cli("logs remove J");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_FALSE(fs::exists(fs::u8path(file)));
  EXPECT_TRUE(parseJson(cli("--json logs").output).items.empty());
}

// Names with quotes, and names outside the code page in a settings file saved as UTF-8,
// are found again by every command after the register is rewritten.
TEST_F(CliCommandsTest, StoredNamesAreFoundAgain) {
  struct Case {
    std::string name;  // as the command line gives it
    std::string shown;
    bool utf8Settings;
  } cases[] = {
      {"\"'Til dawn\"", "'Til dawn", false},
      {"\"Q\\\";x\"", "Q\";x", false},
      {"Gr\xC3\xBC\xC3\x9F" "e", "Gr\xC3\xBC\xC3\x9F" "e", true},
  };
  int round = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shown);
    const std::string n = std::to_string(++round);
    writeFile(tmp / "settings.ini", std::string(c.utf8Settings ? "\xEF\xBB\xBF" : "") + "[CRVL]\r\nLog=" +
                                        testing::narrow(tmp.text("logs")) + "\r\nExpMode=1\r\n");
    ASSERT_EQ(cli("job new " + c.name + " " + path("L") + " " + path("R") + " --file " + path("q" + n + ".job")).status, 0);
    // A second job rewrites the register once more.
    ASSERT_EQ(cli("job new Other " + path("L") + " " + path("R2") + " --file " + path("o" + n + ".job")).status, 0);
    CliResult r = cli("task add " + c.name + " --at-start");
    ASSERT_EQ(r.status, 0) << r.output;
    r = cli("tasks");
    EXPECT_NE(r.output.find(c.shown), std::string::npos) << r.output;
    r = cli("simulate " + c.name);
    EXPECT_EQ(r.status, 0) << r.output;
    ASSERT_EQ(cli("run " + c.name).status, 0);
    r = cli("logs show " + c.name);
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("a.txt"), std::string::npos) << r.output;
    fs::remove_all(tmp / "logs");
    fs::remove_all(tmp / "R");
    fs::create_directories(tmp / "R");
  }
}

// What no stored form reads back is refused where it enters, and nothing is written.
TEST_F(CliCommandsTest, NamesThatCannotBeStoredAreRefused) {
  ASSERT_EQ(cli("job new A " + path("L") + " " + path("R") + " --file " + path("a.job")).status, 0);
  const std::string before = files();
  const std::string name = "\"a\\\";b';c\"";
  EXPECT_EQ(cli("job new " + name + " " + path("L") + " " + path("R") + " --file " + path("n.job")).status, 2);
  EXPECT_EQ(cli("job rename A " + name).status, 2);
  EXPECT_EQ(cli("task add " + name + " --at-start").status, 2);
  EXPECT_EQ(files(), before);
}

TEST_F(CliCommandsTest, HelpAndVersion) {
  CliResult r = testing::runCli(tmp, "--version");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.output.find("24.08"), std::string::npos);
  r = testing::runCli(tmp, "task add --help");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.output.find("--weekly"), std::string::npos) << r.output;
  r = testing::runCli(tmp, "help job set");
  EXPECT_NE(r.output.find("--remove-pair"), std::string::npos) << r.output;
}

// A program started by a test sees user folders inside the test's own folder, so that
// nothing reaches the real user's timers, autostart entries or lock files; a folder the
// test chose itself is kept.
TEST_F(CliCommandsTest, ProgramsStartedByTestsGetUserFoldersOfTheirOwn) {
  if (os::kWindows) GTEST_SKIP() << "the variables are read back by a POSIX shell";
  const testing::ScopedVariable chosen(u"XDG_STATE_HOME", tmp.text("chosen-state"));
  const CliResult r =
      testing::runShell(tmp, "printf '%s\\n' \"$HOME\" \"$XDG_CONFIG_HOME\" \"$XDG_STATE_HOME\" \"$XDG_RUNTIME_DIR\"");
  ASSERT_EQ(r.status, 0);
  std::vector<std::string> lines;
  for (size_t at = 0, end; (end = r.output.find('\n', at)) != std::string::npos; at = end + 1) {
    lines.push_back(r.output.substr(at, end - at));
  }
  ASSERT_EQ(lines.size(), 4u) << r.output;
  const std::string own = testing::narrow(tmp.text()) + "/";
  for (const std::string& line : lines) EXPECT_EQ(line.rfind(own, 0), 0u) << line;
  EXPECT_EQ(lines[2], testing::narrow(tmp.text("chosen-state")));
  EXPECT_NE(lines[0], lines[3]);
}

}  // namespace
}  // namespace crvl
