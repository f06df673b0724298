// The run of one job: every included folder pair in the job's order, each side passed
// through the medium check, each top-level pair opened through the provider table and
// synchronised depth first, files of a folder before its sub-folders.
//
// When an add option brings an orphan file or folder to the other side, the opposite
// delete option leaves that orphan alone in the same run: a file only on the right with
// "<+" and "->" is copied and kept, a folder only on the right with "<+" and "_>" is
// created and synchronised. The delete options act on the orphans no add option takes,
// so a run that adds in both directions never loses anything.
//
// The folders of the excluded pairs are never entered: a one-sided folder among them is
// neither created on the other side nor deleted with its tree.
#pragma once

#include <cstdint>

#include "engine/provider_table.h"
#include "engine/sync_run.h"
#include "jobs/job.h"
#include "engine/medium_check.h"

namespace crvl {

// What the log reports cannot tell: folders created (success is not reported) and the
// bytes of the files copied. A simulation counts what it would have done.
struct RunStatistics {
  uint64_t bytesCopied = 0;
  uint32_t filesCopied = 0;
  uint32_t foldersCreated = 0;
};

// One run. The caller (the run wrapper) sets providers, media, sync.slotIndex,
// sync.execute, sync.scanner.stopWord (and .enlargement), sync.logSink and the job
// copy; the run fills the rest. A run without a provider table does nothing.
struct JobRun {
  SyncRun sync;
  Job job;                                  // the run's own copy of the job
  EjectSet ejectSet;                        // drives marked for ejection by this run
  const MediumCheck* media = nullptr;       // null: side texts are plain paths
  ProviderTable* providers = nullptr;       // the table the run opens its sides through
  // Threads that list folders (the run's own included): from 2 on, the folders of a pair
  // of local sides are listed at once and sub-folder pairs scanned ahead of their turn;
  // 1 lists one folder after the other. Actions and reports are the same either way.
  uint32_t scanThreads = 1;
  RunStatistics statistics;
  // Threads that copy small files between two local sides at once (1: the run thread
  // copies each file itself). Reports keep the plan's order either way.
  uint32_t copyWorkers = 1;
};

// Runs the job: prepares the scanner (filter when the switch is on, ignore date,
// tolerance code, the excluded folders after their medium checks), then visits every
// included pair while the stop word is clear. A pair whose text has no ';' or whose
// side fails its medium check is skipped without a report. Never throws.
void runJob(JobRun& run) noexcept;

// The folders of the job's excluded pairs whose medium check passes (`media`, or none),
// both sides of each, with native separators.
[[nodiscard]] std::vector<std::u16string> excludedFolders(const Job& job, const MediumCheck* media);

}  // namespace crvl
