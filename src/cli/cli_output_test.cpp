// What the real console program prints of a run: failures on standard error whatever
// the verbosity, -q and -v, the progress line only on a terminal, the --json object of
// a run, the help topics and the form of usage errors.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <sstream>
#include <string>

#include "cli/cli_test_support.h"
#include "cli/json_reader_test_support.h"
#include "jobs/sync_modes.h"
#include "os_traits.h"

namespace crvl {
namespace {

using testing::CliResult;
using testing::parseJson;
using testing::quoted;
using testing::readFile;
using testing::TempFolder;
using testing::writeFile;
namespace fs = std::filesystem;

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A job of two pairs: L to R (a file to copy, a folder to create, a file facing a folder)
// and L2 to a folder whose parent is missing, which fails.
class CliOutputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    writeFile(tmp / "L/a.txt", "aaa");
    writeFile(tmp / "L/sub/f.txt", "ff");
    writeFile(tmp / "L/clash", "file");
    fs::create_directories(tmp / "R/clash");
    writeFile(tmp / "L2/b.txt", "b");
    const std::string missing = testing::narrow(tmp.text("nope/deeper"));
    writeFile(tmp / "j.job", "[CRVL]\r\nOption=0;+>;d;d+\r\nFilter=\r\n\r\n[Folder]\r\n1=+" +
                                 testing::narrow(tmp.text("L")) + ";" + testing::narrow(tmp.text("R")) + "\r\n2=+" +
                                 testing::narrow(tmp.text("L2")) + ";" + missing + "\r\n");
    writeFile(tmp / "settings.ini", "[CRVL]\r\nLog=" + testing::narrow(tmp.text("logs")) + "\r\nExpMode=1\r\n");
  }
  std::string program() const { return "\"" + testing::cliProgram() + "\" " + testing::settingsArg(tmp) + " "; }
  CliResult cli(const std::string& args) { return testing::runCli(tmp, testing::settingsArg(tmp) + " " + args); }
  std::string job() const { return quoted(tmp.text("j.job")); }

  TempFolder tmp;
};

TEST_F(CliOutputTest, FailuresReachStandardErrorWhateverTheVerbosity) {
  if (os::kWindows) GTEST_SKIP() << "needs a shell to part the two streams";
  const struct {
    const char* flag;
    bool summary;     // the counts and the list of failures
    bool everyLine;   // a line per action, folder creations too
  } cases[] = {{"", true, false}, {"-q", false, false}, {"-v", true, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.flag);
    const std::string command = program() + "simulate " + c.flag + " " + job();
    const CliResult err = testing::runShell(tmp, command + " 2>&1 >/dev/null");
    const CliResult out = testing::runShell(tmp, command + " 2>/dev/null");
    EXPECT_EQ(err.status, 1);
    EXPECT_EQ(out.status, 1);
    EXPECT_TRUE(has(err.output, "deeper")) << err.output;
    EXPECT_TRUE(has(err.output, "Err ")) << err.output;  // the file facing a folder
    // The system's own words for the cause beside the Windows message.
    EXPECT_TRUE(has(err.output, "(No such file or directory)")) << err.output;
    EXPECT_EQ(has(out.output, "Simulation finished"), c.summary) << out.output;
    EXPECT_EQ(has(out.output, "Failed:\n"), c.summary) << out.output;
    EXPECT_EQ(has(out.output, "+> "), c.everyLine) << out.output;
    EXPECT_EQ(has(out.output, "++ " + testing::narrow(tmp.text("R/sub")) + " OK"), c.everyLine) << out.output;
    if (!c.summary) {
      EXPECT_EQ(out.output, "");
    }
  }
}

TEST_F(CliOutputTest, ProgressOnlyOnATerminal) {
  if (os::kWindows) GTEST_SKIP() << "needs a pseudo-terminal";
  const CliResult piped = testing::runShell(tmp, program() + "run " + job());
  EXPECT_FALSE(has(piped.output, "scanned")) << piped.output;
  EXPECT_FALSE(has(piped.output, "\r")) << piped.output;
  fs::remove_all(tmp / "R/sub");
  fs::remove(tmp / "R/a.txt");
  // script(1) runs the program under a pseudo-terminal of its own.
  const CliResult terminal = testing::runShell(tmp, "script -q -c '" + program() + "run " + job() + "' /dev/null");
  EXPECT_TRUE(has(terminal.output, "\rscanned ")) << terminal.output;
  EXPECT_TRUE(has(terminal.output, " files ")) << terminal.output;
  EXPECT_TRUE(has(terminal.output, "Run finished.")) << terminal.output;
}

// The last line of the output that holds a JSON object (Windows: standard error is in
// the same output).
std::vector<testing::JsonValue> jsonLines(const std::string& output) {
  std::vector<testing::JsonValue> lines;
  std::istringstream in(output);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line[0] == '{') lines.push_back(parseJson(line));
  }
  return lines;
}

TEST_F(CliOutputTest, JsonRunTellsWhatHappenedToTheFiles) {
  const CliResult simulated = cli("--json -v simulate " + job());
  const auto actions = jsonLines(simulated.output);
  ASSERT_GE(actions.size(), 5u) << simulated.output;  // +> a, +> f, ++ sub, Err clash, the missing folder; the object
  for (size_t i = 0; i + 1 < actions.size(); ++i) {
    EXPECT_TRUE(actions[i].valid);
    EXPECT_FALSE(actions[i]["action"].text.empty());
  }
  EXPECT_FALSE(fs::exists(tmp / "R/a.txt"));

  const CliResult r = cli("--json run " + job());
  const auto lines = jsonLines(r.output);
  ASSERT_FALSE(lines.empty()) << r.output;
  const testing::JsonValue& o = lines.back();
  ASSERT_TRUE(o.valid) << r.output;
  EXPECT_EQ(readFile(tmp / "R/a.txt"), "aaa");
  EXPECT_EQ(readFile(tmp / "R/sub/f.txt"), "ff");
  EXPECT_EQ(o["job"].text, "j");
  EXPECT_FALSE(o["simulated"].flag);
  EXPECT_EQ(o["counts"]["filesCopied"].number, 2);
  EXPECT_EQ(o["counts"]["bytesCopied"].number, 5);
  EXPECT_EQ(o["counts"]["foldersCreated"].number, 1);
  EXPECT_EQ(o["counts"]["errors"].number, 1);
  EXPECT_EQ(o["counts"]["typeClashes"].number, 1);
  ASSERT_EQ(o["failures"].items.size(), 2u) << r.output;
  for (const auto& f : o["failures"].items) {
    EXPECT_FALSE(f["reason"].text.empty());
    EXPECT_FALSE(f["action"].text.empty());
  }
  EXPECT_TRUE(has(o["failures"][1]["path"].text + o["failures"][0]["path"].text, "deeper")) << r.output;
  EXPECT_TRUE(fs::exists(o["logFile"].text)) << o["logFile"].text;
  EXPECT_EQ(o["exitStatus"].number, r.status);
  EXPECT_EQ(r.status, 1);

  // Listings give words beside their codes and ISO 8601 times.
  const auto logs = parseJson(cli("--json logs").output);
  ASSERT_GE(logs.items.size(), 1u);
  EXPECT_TRUE(std::regex_match(logs[0]["time"].text, std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ)")))
      << logs[0]["time"].text;
  ASSERT_EQ(cli("job new Named " + quoted(tmp.text("L")) + " " + quoted(tmp.text("R"))).status, 0);
  ASSERT_EQ(cli("task add Named --when-available").status, 0);
  const auto tasks = parseJson(cli("--json tasks").output);
  EXPECT_EQ(tasks[0]["kind"].text, "a");
  EXPECT_EQ(tasks[0]["kindName"].text, "availability");
}

TEST_F(CliOutputTest, HelpTopicsAndUsageErrors) {
  const struct {
    std::string args;
    int status;
    std::vector<std::string> said;
  } cases[] = {
      {"run -x " + job(), 2, {"crvl: run: unknown option \"-x\"", "\"crvl run --help\""}},
      {"run -z", 2, {"crvl: run: unknown option \"-z\""}},  // never a job named "-z"
      {"simulate " + job() + " --daily 08:00", 2, {"crvl: simulate: ", "crvl simulate --help"}},
      {"help nonsense", 2, {"nonsense"}},
      {"help filter", 0, {"Items are separated by ';' and start with + or -", "-*.tmp;-~*;lK10", "lUN"}},
      {"help output", 0, {"+>", "=>", "--", "Err", "HTML Unicode UTF-8", "Text Unicode"}},
      {"job new X L R --filter *.tmp", 2, {"\"*.tmp\"", "items are separated by ';' and start with + or -"}},
      {"jobs", 0, {"crvl job new NAME LEFT RIGHT"}},
      {"plugin add P " + quoted(tmp.text("none.so")), 2,
       {testing::narrow(tmp.text("none.so")) + "\" could not be loaded", os::kWindows ? "" : "No such file"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    const CliResult r = cli(c.args);
    EXPECT_EQ(r.status, c.status) << r.output;
    for (const std::string& s : c.said) EXPECT_TRUE(has(r.output, s)) << s << "\n" << r.output;
  }
  EXPECT_FALSE(fs::exists(tmp / "logs"));  // no mistake ran the job
  const std::string options = cli("help options").output;
  for (const OptionRow& row : OptionTable) EXPECT_TRUE(has(options, "\n  " + std::string(row.token) + " ")) << row.token;
}

}  // namespace
}  // namespace crvl
