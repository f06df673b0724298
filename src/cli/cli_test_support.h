// Helpers for the tests that drive the real console program: running it with a
// command line, job and settings files for one folder pair.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/engine_test_support.h"
#include "os_traits.h"
#include "platform/environment.h"
#include "platform/process.h"
#include "platform/text.h"

namespace crvl::testing {

inline std::string narrow(std::u16string_view text) { return platform::toSystemBytes(text); }

struct CliResult {
  int status;
  std::string output;
};

// The console program beside the test program.
inline std::string cliProgram() {
  return narrow(platform::programFolder()) + (os::kWindows ? "\\crvlc.exe" : "/crvl");
}

// The user's folders of one program started by a test: HOME, XDG_CONFIG_HOME,
// XDG_STATE_HOME and XDG_RUNTIME_DIR point into the test's temporary folder for the life
// of the object, so that no test writes timers, autostart entries or lock files into the
// real user's configuration. A variable that the test has already pointed into its own
// temporary folder is kept.
class TestUserFolders {
 public:
  explicit TestUserFolders(const TempFolder& tmp) {
    static constexpr struct {
      const char16_t* name;
      const char* folder;
    } kFolders[] = {{u"HOME", "user-home"},
                    {u"XDG_CONFIG_HOME", "user-home/.config"},
                    {u"XDG_STATE_HOME", "user-home/.local/state"},
                    {u"XDG_RUNTIME_DIR", "user-runtime"}};
    const std::u16string own = tmp.path();
    for (const auto& f : kFolders) {
      const auto current = platform::environmentVariable(f.name);
      if (current && current->size() > own.size() && current->compare(0, own.size(), own) == 0) continue;
      tmp.makeFolder(f.folder);
      scoped_.push_back(std::make_unique<ScopedVariable>(f.name, tmp.path(f.folder)));
    }
  }

 private:
  std::vector<std::unique_ptr<ScopedVariable>> scoped_;
};

// Runs `command` and returns its exit status and everything it printed. POSIX: a shell
// command line; Windows: a program and its arguments, started without cmd.exe. Standard
// input reads the file `input` (none: nothing).
inline CliResult runShell(const TempFolder& tmp, const std::string& command, const std::u16string& input = {}) {
  // A file of its own per call: under Wine the previous program may still hold its file.
  static int calls = 0;
  const std::u16string out = tmp.text("cli-output-" + std::to_string(++calls) + ".txt");
  uint32_t status = 0;
  const TestUserFolders folders(tmp);
  ErrorCode started = platform::runCommandLine(platform::fromSystemBytes(command), out, &status, input);
  // Under Wine on a loaded machine a process start now and then fails with an internal
  // error before the program ran at all; starting it once more is safe then.
  if (started != kSuccess) started = platform::runCommandLine(platform::fromSystemBytes(command), out, &status, input);
  EXPECT_EQ(started, kSuccess) << command;
  return CliResult{started == kSuccess ? static_cast<int>(status) : -1, readFile(out)};
}

// Runs the console program with `args` (already quoted).
inline CliResult runCli(const TempFolder& tmp, const std::string& args, const std::u16string& input = {}) {
  return runShell(tmp, "\"" + cliProgram() + "\" " + args, input);
}

inline std::string quoted(const std::u16string& path) { return "\"" + narrow(path) + "\""; }

// A job file for one pair with the given option tokens, and a settings file whose log
// folder lies in the temporary folder.
inline void writeJob(const TempFolder& tmp, const std::string& name, const std::string& options,
                     const std::u16string& left, const std::u16string& right) {
  writeFile(tmp / (name + ".job"), "[CRVL]\r\nOption=0;" + options + "\r\nFilter=\r\n\r\n[Folder]\r\n1=+" +
                                       narrow(left) + ";" + narrow(right) + "\r\n");
  writeFile(tmp / "settings.ini", "[CRVL]\r\nLog=" + narrow(tmp.text("logs")) + "\r\nExpMode=1\r\n");
}

inline std::string settingsArg(const TempFolder& tmp) { return "--settings " + quoted(tmp.text("settings.ini")); }

}  // namespace crvl::testing
