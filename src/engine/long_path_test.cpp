// Runs on folder paths longer than a plug-in handle holds, and on paths and stored
// entries that do not fit at all: the run works on the exact path or reports an error,
// never on a shorter path.
#include <gtest/gtest.h>

#include <string>

#include "engine/job_run.h"
#include "engine/run_test_support.h"
#include "jobs/job.h"
#include "jobs/profile_store.h"
#include "os_traits.h"
#include "platform/errors.h"

namespace crvl {
namespace {

using testing::readFile;
using testing::RecordingSink;
using testing::snapshot;
using testing::TempFolder;
using testing::u16;
using testing::writeFile;
namespace fs = std::filesystem;

constexpr uint64_t kT = 132000000000000000ull;

// A folder below `base` whose path is exactly `length` characters, made of components
// of at most 200 characters.
fs::path folderOfLength(const fs::path& base, size_t length) {
  fs::path folder = base;
  char letter = 'a';
  while (u16(folder).size() < length) {
    const size_t left = length - u16(folder).size() - 1;
    // Never leave a rest of less than two characters: a component needs one.
    size_t part = std::min<size_t>(left, 200);
    if (left > 200 && left - part < 2) part -= 2;
    folder /= std::string(part, letter++);
  }
  return folder;
}

bool hasError(const RecordingSink& sink, ErrorCode code) {
  const std::u16string message = platform::systemMessage(code);
  for (const auto& r : sink.records) {
    if (r.state == message) return true;
  }
  return false;
}

class LongPathTest : public testing::JobRunFixture {};

TEST_F(LongPathTest, MirrorWorksOnTheExactPathOrFailsNeverOnAShorterOne) {
  struct Case {
    const char* name;
    size_t extra;  // characters of the target beyond the 1,024-character parent
    bool fits;
  };
  const Case cases[] = {
      {"target a folder below the parent", 7, true},
      {"target longer than the system takes", os::kMaxSystemPathChars, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder tmp;
    writeFile(tmp / "L/a.txt", "new", kT);
    const fs::path parent = folderOfLength(tmp / "P", 1024);
    ASSERT_EQ(u16(parent).size(), 1024u);
    writeFile(parent / "other.txt", "keep", kT);
    writeFile(parent / "backup/old.txt", "old", kT);
    std::u16string target = u16(parent / "backup");
    if (!c.fits) {
      while (target.size() <= c.extra + 1024) target += std::u16string(u"/") + std::u16string(100, u'x');
    }
    const auto before = snapshot(parent);

    const RecordingSink sink = run(tmp.text("L"), target, testing::kMirrorFlags);

    EXPECT_EQ(readFile(parent / "other.txt"), "keep");
    if (c.fits) {
      EXPECT_EQ(readFile(parent / "backup/a.txt"), "new");
      EXPECT_FALSE(fs::exists(parent / "backup/old.txt"));
      for (const auto& r : sink.records) EXPECT_TRUE(r.state.empty()) << u16(r.right).size();
    } else {
      EXPECT_EQ(snapshot(parent), before);
      EXPECT_TRUE(hasError(sink, kErrorFilenameExcedRange));
    }
  }
}

TEST_F(LongPathTest, StoredEntryLongerThanALineIsReportedNotSkippedOrCut) {
  struct Case {
    const char* name;
    size_t leftChars;
    size_t rightChars;
  };
  // The first loses its ';' when cut to a line; the second would keep it and name a
  // shorter right folder.
  const Case cases[] = {{"left side alone too long", 2100, 10}, {"both sides together too long", 1100, 1100}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder tmp;
    writeFile(tmp / "L/a.txt", "a", kT);
    std::u16string left = tmp.text("L");
    while (left.size() < c.leftChars) left += u"/.";
    std::u16string right = tmp.text("R");
    while (right.size() < c.rightChars) right += u"/r";
    tmp.write("j.job", "[CRVL]\r\n[Folder]\r\n1=+" + platform::toUtf8(left) + ";" +
                           platform::toUtf8(right) + "\r\n");
    ProfileStore settings;
    settings.openStore(tmp.path("settings.ini"), kStoreOwnFile);
    JobRun jr;
    jr.job.jobFilePath = tmp.path("j.job");
    ASSERT_EQ(loadJob(jr.job, settings), kSuccess);
    ASSERT_EQ(jr.job.includedPairs.size(), 1u);
    jr.job.optionFlags = testing::kMirrorFlags;

    const RecordingSink sink = run(jr);

    EXPECT_TRUE(hasError(sink, kErrorFilenameExcedRange));
    EXPECT_FALSE(fs::exists(tmp / "R"));
  }
}

}  // namespace
}  // namespace crvl
