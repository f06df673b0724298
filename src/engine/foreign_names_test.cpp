// Whole runs on entries made from the POSIX side of the folders: names ending in a dot
// or a space, device names, names holding '\', and symbolic links. On Windows these
// tests need the POSIX side of a Wine prefix (its Z: drive and /bin/sh); elsewhere on
// Windows they are skipped. The entries are made and checked by the shell, so that no
// check depends on the program's own rules for names.
#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "engine/run_test_support.h"
#include "os_traits.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/text.h"

namespace crvl {
namespace {

using testing::JobRunFixture;
using testing::RecordingSink;

// A folder below /tmp, made and read through the shell; `path` names it as the program
// does (on Windows through the Z: drive).
class ShellFolder {
 public:
  ShellFolder() {
    static std::atomic<int> counter{0};
    unix_ = "/tmp/crvl-names-" + std::to_string(platform::currentFileTime()) + "-" + std::to_string(counter++);
  }
  ~ShellFolder() { start("cd / && rm -rf " + unix_); }
  // Runs a script in the folder (made first); true when it ends well. Wine neither waits
  // for a POSIX program nor hands on its exit status: the script leaves a mark of its
  // outcome, which is awaited.
  bool sh(const std::string& script) const {
    const std::u16string ok = path(".ok"), failed = path(".failed");
    (void)platform::deleteFile(ok);
    (void)platform::deleteFile(failed);
    start("{ " + script + " ; } && echo > .ok || echo > .failed");
    for (int i = 0; i < 3000; ++i) {
      if (platform::fileAttributes(ok) != platform::kInvalidAttributes) return true;
      if (platform::fileAttributes(failed) != platform::kInvalidAttributes) return false;
      platform::sleepMilliseconds(10);
    }
    return false;
  }
  std::u16string path(const std::string& relative) const {
    std::string p = unix_ + "/" + relative;
    if constexpr (os::kWindows) {
      for (char& c : p) c = c == '/' ? '\\' : c;
      p = "Z:" + p;
    }
    return platform::fromUtf8(p);
  }

 private:
  void start(const std::string& script) const {
    // POSIX hands the line to /bin/sh itself; Wine hands a POSIX program its words as
    // they stand.
    std::string line = "mkdir -p " + unix_ + " && cd " + unix_ + " && " + script;
    if constexpr (os::kWindows) line = "Z:\\bin\\sh -c \"" + line + "\"";
    uint32_t status = 0;
    (void)platform::runCommandLine(platform::fromUtf8(line), {}, &status);
  }
  std::string unix_;
};

size_t failuresWith(const RecordingSink& sink, ErrorCode code) {
  size_t n = 0;
  for (const auto& r : sink.records) n += r.state == platform::systemMessage(code) ? 1 : 0;
  return n;
}

size_t failures(const RecordingSink& sink) {
  size_t n = 0;
  for (const auto& r : sink.records) n += r.state.empty() ? 0 : 1;
  return n;
}

class ForeignNamesTest : public JobRunFixture {};

TEST_F(ForeignNamesTest, AMirrorActsOnExactlyTheListedNames) {
  struct Case {
    const char* name;
    const char* setUp;        // run in the folder: L, R and "outside" are made here
    const char* expectAfter;  // a shell test that holds after the run
    size_t invalidNameFailures;
  };
  const Case cases[] = {
      {"orphans ending in a dot or a space go, their namesakes stay",
       "mkdir -p L/Documents R/Documents R/Documents. && echo keep > L/y && echo keep > L/s && "
       "echo keep > L/Documents/x && cp -R L/. R && echo o > R/y. && echo o > 'R/s ' && echo o > R/Documents./x",
       "grep -qx keep R/y && grep -qx keep R/s && grep -qx keep R/Documents/x && ! test -e R/y. && "
       "! test -e 'R/s ' && ! test -e R/Documents.",
       0},
      {"a name ending in a dot is copied under that name",
       "mkdir -p L R && echo new > L/c. && echo old > R/c",
       "grep -qx new R/c. && ! test -e R/c",  // the orphan "c" goes, "c." arrives
       0},
      {"a device name is refused, never created",
       "mkdir -p L R && echo dev > L/CON",
       os::kWindows ? "! test -e R/CON" : "grep -qx dev R/CON",
       os::kWindows ? 1u : 0u},
      {"an orphan file link leaves what it points to",
       "mkdir -p L R outside && echo t > outside/t.txt && ln -s ../outside/t.txt R/flink",
       "grep -qx t outside/t.txt",
       0},
      {"an orphan folder link leaves its target folder",
       "mkdir -p L R outside/dir && ln -s ../outside/dir R/dlink",
       "test -d outside/dir",
       0},
      {"a name holding a backslash is reported where it cannot be held",
       "mkdir -p L R && echo b > 'L/a\\b'",
       os::kWindows ? "! test -e 'R/a\\b'" : "grep -qx b 'R/a\\b'",
       os::kWindows ? 1u : 0u},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ShellFolder folder;
    if (!folder.sh(c.setUp)) GTEST_SKIP() << "no POSIX side to make the names on";
    RecordingSink sink = run(folder.path("L"), folder.path("R"), testing::kMirrorFlags);
    EXPECT_TRUE(folder.sh(c.expectAfter));
    EXPECT_EQ(failuresWith(sink, kErrorInvalidName), c.invalidNameFailures);
    // A link is either removed as itself or left alone with a reported failure.
    if (folder.sh("test -L R/flink || test -L R/dlink")) {
      EXPECT_EQ(failures(sink), 1u);
    }
  }
}

}  // namespace
}  // namespace crvl
