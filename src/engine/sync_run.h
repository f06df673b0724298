// The state of one run: what the scanner and the actions read and write.
#pragma once

#include <cstdint>
#include <string>

#include "engine/log_sink.h"
#include "engine/pair_scanner.h"

namespace crvl {

inline constexpr size_t kErrorTextChars = 511;

// Where the run thread's reports wait while copies queued before them still run on the
// copy pool's workers, so that the log and the console keep the plan's order. Each hook
// answers true when it took the report (the state text moved out of `state`), false
// when the caller is to report at once. Neither throws.
struct ReportQueue {
  void* context = nullptr;
  bool (*record)(void* context, int32_t marker, LogText left, LogText right, std::u16string& state) noexcept = nullptr;
  bool (*folderCreated)(void* context, std::u16string_view path) noexcept = nullptr;
};

// One run, owned by its thread. The stop word lives in the scanner
// (scanner.stopWord, a std::atomic<int32_t> written by the thread that asks to stop).
struct SyncRun {
  int32_t slotIndex = 0;  // the run's RunSlot
  int32_t execute = 0;    // 1 executing, 0 simulating
  PairScanner scanner;
  SideState left;
  SideState right;
  const LogSink* logSink = nullptr;  // null: no reports
  std::u16string errorText;          // the first failure's message since it was cleared
  // Told the bytes of every copy progress report (kind 3), when set: the console
  // front end's progress line. Called on the run's thread.
  void (*copyProgress)(void* context, uint64_t bytes) = nullptr;
  void* copyProgressContext = nullptr;
  // Told, with the same context, each folder pair's action list once it is scanned (with
  // the pairs of equal files that the list leaves out), and each folder the run created
  // (or, simulating, would create), when set.
  void (*folderScanned)(void* context, const EntryList& list, uint32_t equalFiles) = nullptr;
  void (*folderCreated)(void* context, std::u16string_view path) = nullptr;
  const ReportQueue* reportQueue = nullptr;  // set by the copy pool while it has workers
};

[[nodiscard]] inline bool stopRequested(const SyncRun& run) noexcept {
  return stopRequested(run.scanner.stopWord);
}

}  // namespace crvl
