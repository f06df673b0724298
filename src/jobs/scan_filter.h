// The job's filter as the scanner's file hook.
#pragma once

#include "engine/pair_scanner.h"
#include "jobs/filter.h"

namespace crvl {

// A scan hook that keeps the files `filter` accepts (folders always). The filter must
// be prepared (prepareFilter) and must outlive every scan that uses the hook.
[[nodiscard]] ScanFilter makeScanFilter(const Filter& filter) noexcept;

}  // namespace crvl
