// A whole run through the job runner: which pairs the medium checks let run, which
// drives are ejected and when.
#include "schedule/job_runner.h"

#include <gtest/gtest.h>

#include <vector>

#include "engine/run_test_support.h"
#include "jobs/profile_store.h"
#include "os_traits.h"
#include "platform/volumes.h"

namespace crvl {
namespace {

using testing::providerTable;

class JobRunnerTest : public testing::EngineFixture {
 protected:
  void SetUp() override {
    EngineFixture::SetUp();
    settings.openStore(std::nullopt, kStoreOwnFile);  // no file: logs are read as on, but go nowhere
    settings.putString("CRVL", "Opt", "4");           // job logs off
  }
  ProfileStore settings;
};

// Drives for the medium checks of a run: E: holds the stick 0xABCD and F: nothing.
struct StickDrives {
  std::vector<char16_t> ejected;
  static uint32_t serial(void*, std::u16string_view path) {
    return !path.empty() && (path[0] == u'E' || path[0] == u'e') ? 0xABCDu : 0u;
  }
  VolumeQueries queries() {
    VolumeQueries q;
    q.context = this;
    q.volumeSerial = serial;
    q.presentDrives = [](void*) -> uint32_t { return (1u << 4) | (1u << 5); };
    q.driveClass = [](void*, char16_t) { return platform::DriveClass::RemovableLike; };
    q.ejectDrive = [](void* c, char16_t l) { static_cast<StickDrives*>(c)->ejected.push_back(l); };
    return q;
  }
};

TEST_F(JobRunnerTest, MediumChecksDecideWhichPairsRunAndWhatIsEjected) {
  struct Case {
    const char* name;
    std::vector<std::u16string> pairs;
    bool execute;
    std::vector<char16_t> ejected;
  };
  const Case cases[] = {
      {"two sides on one stick eject it once", {u">|abcd|E:\\a;>e:\\b"}, true, {u'E'}},
      {"search marker finds the stick at E:", {u">?|abcd|F:\\a;C:\\b"}, true, {u'E'}},
      {"fixed letter fails: nothing marked", {u">|abcd|F:\\a;>E:\\b"}, true, {}},
      {"a failing right side skips the left's mark", {u">E:\\a;|1|E:\\b"}, true, {}},
      {"A: and B: are never ejected", {u">A:\\a;>B:\\b"}, true, {}},
      {"a simulation never ejects", {u">|abcd|E:\\a;C:\\b"}, false, {}},
      {"pair without ';' is skipped", {u">E:\\a"}, true, {}},
      {"marks of several pairs, in letter order", {u">G:\\a;C:\\b", u">E:\\a;>C:\\b"}, true,
       {u'C', u'E', u'G'}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StickDrives drives;
    VolumeQueries q = drives.queries();
    Job job;
    job.optionFlags = testing::kMirrorFlags;
    job.includedPairs = c.pairs;
    (void)runJobWithLog(job, settings, providerTable(), c.execute, nullptr, RunObserver{}, &q);
    EXPECT_EQ(drives.ejected, c.ejected);
  }
}

TEST_F(JobRunnerTest, ExcludedPairsPassTheirMediumChecksSideBySide) {
  StickDrives drives;
  VolumeQueries q = drives.queries();
  Job job;
  job.excludedPairs = {u"|abcd|E:/x;|1|F:\\y", u"?|abcd|F:\\moved;C:\\plain", u"no-separator"};
  std::vector<std::u16string> expected = {os::kWindows ? u"E:\\x" : u"E:/x", u"E:\\moved", u"C:\\plain",
                                          u"no-separator"};
  const MediumCheck media = mediumCheckFor(q);
  EXPECT_EQ(excludedFolders(job, &media), expected);
}

}  // namespace
}  // namespace crvl
