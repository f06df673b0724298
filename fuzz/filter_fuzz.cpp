// Filter strings: a parsed filter, formatted and parsed again, is the same filter.
#include <string>

#include "jobs/filter_format.h"
#include "round_trip.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const crvl::fuzz::Input in = crvl::fuzz::splitInput(data, size);
  crvl::Filter first;
  crvl::parseFilter(in.bytes, first, in.utf8File);
  const std::string stored = crvl::formatFilter(first, in.utf8File);
  if (stored.size() >= crvl::kFilterStringCapacity - 1) return 0;  // cut to fit: another filter
  crvl::Filter second;
  crvl::parseFilter(stored, second, in.utf8File);
  crvl::fuzz::require(second == first, "filter");
  return 0;
}
