// The job's filter as the scanner's file hook.
#pragma once

#include "engine/pair_scanner.h"
#include "jobs/filter.h"
#include "jobs/job.h"

namespace crvl {

// A scan hook that keeps the files `filter` accepts (folders always). The filter must
// be prepared (prepareFilter) and must outlive every scan that uses the hook.
[[nodiscard]] ScanFilter makeScanFilter(const Filter& filter) noexcept;

// The scan hook of a job: null (every file kept) when the job's filter switch is off,
// else `storage` filled with the hook of job.filter. The job's filter must be prepared.
[[nodiscard]] const ScanFilter* jobScanFilter(const Job& job, ScanFilter& storage) noexcept;

}  // namespace crvl
