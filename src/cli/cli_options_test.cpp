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
    EXPECT_EQ(line.job, c.job);
    EXPECT_EQ(line.settings.value_or(u""), c.settings);
  }
}

}  // namespace
}  // namespace crvl::cli
