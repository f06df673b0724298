// Helpers shared by the tests that run whole jobs on real folders: tree snapshots and a
// fixture that runs a job and records its reports.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "engine/engine_test_support.h"
#include "engine/job_run.h"

namespace crvl::testing {

inline constexpr OptionFlags kMirrorFlags = 0x2AB81;
inline constexpr OptionFlags kBidirectionalFlags = 0x3FC81;

// Every file and folder below `root`: relative path -> contents ("/" for folders,
// "->target" for symbolic links, which are not followed).
inline std::map<std::string, std::string> snapshot(const fs::path& given) {
  std::map<std::string, std::string> tree;
  std::error_code ec;
  if (!fs::exists(fs::symlink_status(given, ec))) return tree;
  // Windows: a folder path of 260 characters or more is listed through its "\\?\" form;
  // without it the C library lists another folder (under Wine, the current one).
  fs::path root = given;
#ifdef _WIN32
  if (given.native().size() >= 260 && given.is_absolute()) root = fs::path(L"\\\\?\\" + given.native());
#endif
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
    // Lexically: fs::relative would resolve the links the snapshot shows.
    const std::string rel = it->path().lexically_relative(root).generic_string();
    if (it->is_symlink()) {
      tree[rel] = "->" + fs::read_symlink(it->path()).generic_string();
    } else {
      tree[rel] = it->is_directory() ? "/" : readFile(it->path());
    }
  }
  return tree;
}

inline std::u16string pairOf(const std::u16string& left, const std::u16string& right) {
  return left + u";" + right;
}

class JobRunFixture : public EngineFixture {
 protected:
  // Runs one job with a single included pair; returns the reports.
  RecordingSink run(const std::u16string& left, const std::u16string& right, OptionFlags flags,
                    bool execute = true, std::vector<std::u16string> excluded = {}) {
    JobRun jr;
    jr.job.optionFlags = flags;
    jr.job.includedPairs = {pairOf(left, right)};
    jr.job.excludedPairs = std::move(excluded);
    return run(jr, execute);
  }
  RecordingSink run(JobRun& jr, bool execute = true) {
    RecordingSink sink;
    if (jr.providers == nullptr) jr.providers = &providerTable();
    jr.sync.execute = execute ? 1 : 0;
    jr.sync.logSink = &sink.sink;
    jr.sync.scanner.stopWord = &stop;
    runJob(jr);
    jr.sync.logSink = nullptr;
    return sink;
  }
  std::atomic<int32_t> stop{0};
};

}  // namespace crvl::testing
