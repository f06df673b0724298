// Unicode case tables of the POSIX build (generated into case_tables.cpp by
// tools/case_tables/generate.py).
#pragma once

#include <cstddef>
#include <cstdint>

namespace crvl::platform::detail {

// Code points first, first + step, ... last map to themselves + delta. Runs are sorted
// and disjoint; code points outside every run map to themselves.
struct CaseRun {
  uint32_t first;
  uint32_t last;
  int32_t delta;
  uint32_t step;  // 1 or 2
};

// Simple case folding (the lower case of the upper case, dotless i kept apart).
extern const CaseRun kFoldRuns[];
extern const size_t kFoldRunsSize;
// Simple upper-case mapping.
extern const CaseRun kUpperRuns[];
extern const size_t kUpperRunsSize;

}  // namespace crvl::platform::detail
