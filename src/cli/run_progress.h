// The progress line of a run on a terminal: entries scanned per side, files and bytes
// copied of those planned so far, the rate, the time left and the file being copied,
// cut to the terminal's width. The run scans a folder pair and acts on it before it
// goes down into the pair's sub-folders, so the planned totals grow while it runs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/entry_list.h"
#include "engine/log_sink.h"
#include "jobs/sync_modes.h"

namespace crvl::cli {

// What a folder pair's action list asks of the run: its entries per side and the files
// that the job's options copy, with their bytes and names in the order of the copies.
struct FolderPlan {
  uint32_t leftEntries = 0;
  uint32_t rightEntries = 0;
  uint32_t copies = 0;
  uint64_t bytes = 0;
  std::vector<std::u16string> names;  // the files copied, in the run's order
};

// Reads `list` as the run's file walk does with `flags`; `equalFiles` pairs of equal
// files that the list leaves out count as entries of both sides. `plan` is reused.
void planFolder(const EntryList& list, uint32_t equalFiles, OptionFlags flags, FolderPlan& plan);

class RunProgress {
 public:
  explicit RunProgress(OptionFlags flags) : flags_(flags) {}

  // The run's events: a folder pair scanned, bytes copied, a record reported.
  void folderScanned(const EntryList& list, uint32_t equalFiles);
  void copyBytes(uint64_t bytes) { bytesDone_ += bytes; }
  // A record the run reported: a copy marker counts a file done.
  void reported(int32_t marker, LogText left, LogText right);

  // The line as it stands `elapsedMs` into the run, shorter than `width` characters.
  [[nodiscard]] std::u16string line(uint64_t elapsedMs, size_t width) const;

  [[nodiscard]] uint64_t filesDone() const noexcept { return filesDone_; }
  [[nodiscard]] uint64_t filesToDo() const noexcept { return filesToDo_; }

 private:
  OptionFlags flags_;
  FolderPlan folder_;      // the folder pair whose files are being copied
  size_t next_ = 0;        // its next copy
  uint64_t leftEntries_ = 0;
  uint64_t rightEntries_ = 0;
  uint64_t filesToDo_ = 0;
  uint64_t filesDone_ = 0;
  uint64_t bytesToDo_ = 0;
  uint64_t bytesDone_ = 0;
};

// "0:07", "12:34", "1:02:03".
[[nodiscard]] std::u16string formatDuration(uint64_t seconds);

}  // namespace crvl::cli
