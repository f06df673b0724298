#include "cli/cli_options.h"

#include <gtest/gtest.h>

namespace crvl::cli {
namespace {

struct ParseCase {
  std::vector<std::u16string> args;
  bool ok;
  CommandKind kind;
  std::u16string job;
  std::u16string settings;  // empty: none given
};

TEST(CommandLine, ParsesCommandsOptionsAndUsageErrors) {
  const ParseCase cases[] = {
      {{u"run", u"Backup"}, true, CommandKind::Run, u"Backup", u""},
      {{u"simulate", u"C:\\jobs\\a.job"}, true, CommandKind::Simulate, u"C:\\jobs\\a.job", u""},
      {{u"--settings", u"s.ini", u"run", u"J"}, true, CommandKind::Run, u"J", u"s.ini"},
      {{u"run", u"J", u"--settings=x.ini"}, true, CommandKind::Run, u"J", u"x.ini"},
      {{u"jobs"}, true, CommandKind::Jobs, u"", u""},
      {{u"daemon", u"--settings", u"d.ini"}, true, CommandKind::Daemon, u"", u"d.ini"},
      {{u"tasks"}, true, CommandKind::Tasks, u"", u""},
      {{u"daemon", u"now"}, false, CommandKind::Daemon, u"", u""},
      {{u"logs", u"--settings", u"y.ini"}, true, CommandKind::Logs, u"", u"y.ini"},
      {{u"--help"}, true, CommandKind::Help, u"", u""},
      {{u"run", u"--", u"-dash-name"}, true, CommandKind::Run, u"-dash-name", u""},
      {{}, false, CommandKind::Help, u"", u""},
      {{u"run"}, false, CommandKind::Run, u"", u""},
      {{u"run", u""}, false, CommandKind::Run, u"", u""},
      {{u"run", u"a", u"b"}, false, CommandKind::Run, u"", u""},
      {{u"jobs", u"extra"}, false, CommandKind::Jobs, u"", u""},
      {{u"sync", u"a"}, false, CommandKind::Help, u"", u""},
      {{u"run", u"a", u"--settings"}, false, CommandKind::Run, u"", u""},
      {{u"--settings=", u"jobs"}, false, CommandKind::Help, u"", u""},
      {{u"--verbose", u"jobs"}, false, CommandKind::Help, u"", u""},
      {{u"job", u"new", u"B", u"L", u"R", u"--mode", u"Mirror"}, true, CommandKind::JobNew, u"B", u""},
      {{u"job", u"new", u"B", u"L"}, false, CommandKind::JobNew, u"", u""},          // a folder missing
      {{u"job", u"show", u"B", u"--mode", u"x"}, false, CommandKind::JobShow, u"", u""},  // not its option
      {{u"job", u"frob", u"B"}, false, CommandKind::Help, u"", u""},
      {{u"jobs", u"--json"}, true, CommandKind::Jobs, u"", u""},
      {{u"task", u"add", u"B", u"--daily=08:30"}, true, CommandKind::TaskAdd, u"B", u""},
      {{u"task", u"add", u"B", u"--daily"}, false, CommandKind::TaskAdd, u"", u""},    // no value
      {{u"tasks", u"export"}, true, CommandKind::TasksExport, u"", u""},
      {{u"job", u"set", u"B", u"--add-pair", u"L"}, false, CommandKind::JobSet, u"", u""},  // one folder
      {{u"job", u"order", u"[G", u"A", u"]", u"-", u"B"}, true, CommandKind::JobOrder, u"[G", u""},
      {{u"job", u"group", u"[G", u"A", u"]"}, true, CommandKind::JobOrder, u"[G", u""},
      {{u"--version"}, true, CommandKind::Version, u"", u""},
      {{u"logs", u"show", u"--help"}, true, CommandKind::LogsShow, u"", u""},
      {{u"daemon", u"--filter-on"}, false, CommandKind::Daemon, u"", u""},
      {{u"daemon", u"--delay=5m"}, true, CommandKind::Daemon, u"", u""},
  };
  for (const ParseCase& c : cases) {
    std::string trace;
    for (const auto& a : c.args) trace += std::string(a.begin(), a.end()) + " ";
    SCOPED_TRACE(trace);
    CommandLine line;
    std::u16string error;
    ASSERT_EQ(parseCommandLine(c.args, &line, &error), c.ok);
    if (!c.ok) {
      EXPECT_FALSE(error.empty());
      continue;
    }
    EXPECT_EQ(line.kind, c.kind);
    EXPECT_EQ(line.job(), c.job);
    EXPECT_EQ(line.settings.value_or(u""), c.settings);
  }
}

// A command group asked for help lists its own commands; without a subcommand it is a
// usage error that names the choices.
TEST(CommandLine, GroupsListTheirCommands) {
  struct GroupCase {
    std::vector<std::u16string> args;
    bool ok;
    std::u16string group;      // help for this group
    std::u16string inMessage;  // the error names this
  };
  const GroupCase cases[] = {
      {{u"job", u"--help"}, true, u"job", u""},
      {{u"--help", u"plugin"}, true, u"plugin", u""},
      {{u"job"}, false, u"", u"new, show, set, remove, rename, order, group"},
      {{u"config", u"get", u"x"}, false, u"", u"\"config get\""},
      {{u"frob", u"--help"}, false, u"", u"unknown command \"frob\""},
  };
  for (const GroupCase& c : cases) {
    CommandLine line;
    std::u16string error;
    ASSERT_EQ(parseCommandLine(c.args, &line, &error), c.ok) << std::string(error.begin(), error.end());
    if (!c.ok) {
      EXPECT_NE(error.find(c.inMessage), std::u16string::npos) << std::string(error.begin(), error.end());
      continue;
    }
    EXPECT_EQ(line.kind, CommandKind::Help);
    EXPECT_EQ(line.group, c.group);
  }
  const std::u16string jobUsage = groupUsage(u"job");
  EXPECT_NE(jobUsage.find(u"crvl job new NAME LEFT RIGHT"), std::u16string::npos);
  EXPECT_NE(jobUsage.find(u"crvl job order"), std::u16string::npos);
  EXPECT_EQ(jobUsage.find(u"crvl task add"), std::u16string::npos);
  EXPECT_NE(commandUsage(CommandKind::Logs).find(u"logs show, remove"), std::u16string::npos);
  EXPECT_NE(commandUsage(CommandKind::Tasks).find(u"crvl task list, add, remove, export"), std::u16string::npos);
  EXPECT_NE(commandUsage(CommandKind::Tasks).find(u"crvl tasks export"), std::u16string::npos);
}

TEST(CommandLine, OptionsKeepTheirValuesInOrder) {
  CommandLine line;
  std::u16string error;
  ASSERT_TRUE(parseCommandLine({u"job", u"set", u"B", u"--option", u"-d", u"--add-pair", u"L1", u"R1",
                                u"--option=b", u"--exclude-pair", u"L2", u"R2"},
                               &line, &error))
      << std::string(error.begin(), error.end());
  const auto options = line.all(u"option");
  ASSERT_EQ(options.size(), 2u);
  EXPECT_EQ(options[0]->values.front(), u"-d");
  EXPECT_EQ(options[1]->values.front(), u"b");
  ASSERT_EQ(line.options.size(), 4u);
  EXPECT_EQ(line.options[1].values, (std::vector<std::u16string>{u"L1", u"R1"}));
  EXPECT_EQ(line.options[3].name, u"exclude-pair");
  EXPECT_FALSE(line.has(u"mode"));
  EXPECT_EQ(line.value(u"option"), u"b");
}

TEST(CommandLine, Durations) {
  struct Case {
    const char16_t* text;
    bool ok;
    uint64_t seconds;
  } cases[] = {
      {u"90", true, 90}, {u"90s", true, 90}, {u"5m", true, 300}, {u"2h", true, 7200}, {u"1d", true, 86400},
      {u"0", true, 0},   {u"", false, 0},    {u"m", false, 0},   {u"5w", false, 0},   {u"-5", false, 0},
      {u"1.5h", false, 0}, {u"99999999999", false, 0}, {u"3651d", false, 0},
  };
  for (const Case& c : cases) {
    uint64_t seconds = 99;
    EXPECT_EQ(parseDuration(c.text, &seconds), c.ok) << std::u16string(c.text).size();
    if (c.ok) {
      EXPECT_EQ(seconds, c.seconds);
    }
  }
}

}  // namespace
}  // namespace crvl::cli
