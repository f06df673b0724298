// Completion: what the tables offer at each place of a command line, and the shells'
// scripts driving the real program (a job name with a blank comes back quoted).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "cli/cli_test_support.h"
#include "os_traits.h"
#include "platform/text.h"

namespace crvl {
namespace {

using cli::CompletionFiles;
using testing::quoted;
using testing::TempFolder;
using testing::writeFile;

std::vector<std::u16string> wordsOf(std::initializer_list<const char*> words) {
  std::vector<std::u16string> out;
  for (const char* w : words) out.push_back(platform::fromUtf8(w));
  return out;
}

TEST(CliCompletion, EachPlaceOffersWhatTheParserTakesThere) {
  struct Case {
    std::initializer_list<const char*> before;
    const char* current;
    std::initializer_list<const char*> words;  // exactly these, in order
    bool jobs;
    CompletionFiles files;
  };
  using F = CompletionFiles;
  const Case cases[] = {
      {{}, "jo", {"jobs", "job"}, false, F::None},
      {{"--settings", "x.ini"}, "si", {"simulate"}, false, F::None},
      {{"job"}, "", {"new", "show", "set", "remove", "rename", "order", "group"}, false, F::None},
      {{"logs"}, "", {"show", "remove"}, false, F::None},
      {{"run"}, "", {}, true, F::Files},
      {{"run"}, "--j", {"--json"}, false, F::None},
      {{"task", "add", "Home"}, "--w", {"--when-available", "--weekly"}, false, F::None},
      {{}, "--", {"--settings", "--password-stdin", "--json", "--help", "--version"}, false, F::None},
      // An option's value, not the command's next word.
      {{"job", "new", "J", "--mode"}, "M", {"Mirror"}, false, F::None},
      {{"--settings"}, "", {}, false, F::Files},
      {{"job", "set", "J", "--add-pair"}, "", {}, false, F::Folders},
      {{"job", "set", "J", "--add-pair", "/a"}, "", {}, false, F::Folders},
      {{"job", "set", "J", "--add-pair", "/a", "/b"}, "", {}, false, F::None},
      {{"job", "new", "J"}, "", {}, false, F::Folders},
      {{"job", "rename", "J"}, "", {}, false, F::None},
      {{"task", "remove", "--daily", "08:30"}, "", {}, true, F::None},
      {{"autostart"}, "o", {"on", "off"}, false, F::None},
      {{"autostart", "on"}, "", {}, false, F::None},
      {{"help"}, "o", {"options", "output"}, false, F::None},
      {{"help", "job"}, "re", {"remove", "rename"}, false, F::None},
      {{"plugin", "add", "P"}, "", {}, false, F::Files},
      {{"run", "--"}, "-x", {}, true, F::Files},
  };
  for (const Case& c : cases) {
    std::vector<std::u16string> before = wordsOf(c.before);
    SCOPED_TRACE(platform::toUtf8(before.empty() ? u"" : before.back()) + " | " + c.current);
    const cli::CompletionReply reply = cli::completeArguments(before, platform::fromUtf8(c.current));
    EXPECT_EQ(reply.words, wordsOf(c.words));
    EXPECT_EQ(reply.jobNames, c.jobs);
    EXPECT_EQ(reply.files, c.files);
  }
  const cli::CompletionReply config = cli::completeArguments(wordsOf({"config", "set"}), u"");
  EXPECT_TRUE(config.configKeys);
  EXPECT_EQ(cli::completeArguments(wordsOf({"config", "set", "log-format"}), u"").configValuesOf, u"log-format");
  EXPECT_EQ(cli::completeArguments(wordsOf({"--settings=/s.ini", "run"}), u"").settings, u"/s.ini");
}

// The program itself: job names from the register of --settings, config values, and
// what the shells make of them.
class CliCompletionShells : public ::testing::Test {
 protected:
  void SetUp() override {
    writeFile(tmp / "settings.ini", "[CRVL]\r\n\r\n[Job]\r\n1=My job;" + testing::narrow(tmp.text("a.job")) +
                                        "\r\n2=Other;" + testing::narrow(tmp.text("b.job")) + "\r\n");
  }
  std::string complete(const std::string& words) {
    return testing::runCli(tmp, "__complete " + words).output;
  }
  TempFolder tmp;
};

TEST_F(CliCompletionShells, TheProgramNamesJobsAndValuesAndWritesNothing) {
  const std::string settings = testing::settingsArg(tmp);
  EXPECT_EQ(complete(settings + " run My"), "My job\n:files\n");
  EXPECT_EQ(complete(settings + " config set dark-mode \"\""), "disable\nallow\nforce\n:\n");
  EXPECT_EQ(complete(settings + " config set log-f"), "log-folder\nlog-format\n:\n");
  EXPECT_EQ(complete(settings + " config set job-folder \"\""), "-\n:folders\n");
  // Every value offered is one that "config set" takes.
  for (const char* key : {"dark-mode", "log-format", "menu-icon-size", "job-logs", "language"}) {
    const std::string values = complete(settings + " config set " + key + " \"\"");
    size_t start = 0;
    for (size_t end = values.find('\n'); end != std::string::npos; start = end + 1, end = values.find('\n', start)) {
      const std::string value = values.substr(start, end - start);
      if (value.starts_with(":")) break;
      EXPECT_EQ(testing::runCli(tmp, settings + " config set " + key + " " + value).status, 0) << key << " " << value;
    }
  }
  const std::string before = testing::readFile(tmp / "settings.ini");
  (void)complete("--settings " + quoted(tmp.text("none.ini")) + " run \"\"");
  EXPECT_FALSE(std::filesystem::exists(tmp / "none.ini")) << "completion created a settings file";
  (void)complete(settings + " run \"\"");
  EXPECT_EQ(testing::readFile(tmp / "settings.ini"), before);
}

TEST_F(CliCompletionShells, BashAndFishCompleteANameWithABlankQuoted) {
  if (os::kWindows) GTEST_SKIP() << "the shells' scripts are for the Linux package";
  const std::string scripts = std::string(CRVL_SOURCE_DIR) + "/packaging/linux/";
  const std::string program = testing::cliProgram();
  const std::string settings = testing::narrow(tmp.text("settings.ini"));
  // bash: the script's function with the words of "crvl --settings S run My".
  const testing::CliResult bash = testing::runShell(
      tmp, "bash -c 'source " + scripts + "crvl.bash-completion; COMP_WORDS=(\"$1\" --settings \"$2\" run My); "
           "COMP_CWORD=4; _crvl; printf \"%s|\" \"${COMPREPLY[@]}\"' bash " + program + " " + settings);
  EXPECT_EQ(bash.output, "My\\ job|") << bash.output;
  if (testing::runShell(tmp, "command -v fish").status == 0) {
    const testing::CliResult fish = testing::runShell(
        tmp, "fish -c 'source " + scripts + "crvl.fish; complete -c \"$argv[1]\" -f -a \"(__crvl_complete)\"; "
             "complete -C \"$argv[1] --settings $argv[2] run O\"' " + program + " " + settings);
    EXPECT_EQ(fish.output, "Other\n") << fish.output;
  }
  if (testing::runShell(tmp, "command -v zsh").status == 0) {
    EXPECT_EQ(testing::runShell(tmp, "zsh -n " + scripts + "crvl.zsh-completion 2>&1").output, "");
  }
}

}  // namespace
}  // namespace crvl
