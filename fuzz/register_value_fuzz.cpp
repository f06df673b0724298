// Register values: a row written and read again is the row, as the writer normalises it
// (leading blanks of names dropped where the entry keeps its kind, paths contracted).
#include <string>

#include "jobs/job_register.h"
#include "jobs/path_macros.h"
#include "round_trip.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const crvl::fuzz::Input in = crvl::fuzz::splitInput(data, size);
  const crvl::RegisterRow first = crvl::parseRegisterValue(in.bytes, in.utf8File);
  const crvl::RegisterRow second =
      crvl::parseRegisterValue(crvl::formatRegisterValue(first, in.utf8File), in.utf8File);
  const crvl::RegisterRow third =
      crvl::parseRegisterValue(crvl::formatRegisterValue(second, in.utf8File), in.utf8File);
  crvl::fuzz::require(second.kind == first.kind, "register entry kind");
  crvl::fuzz::require(third == second, "register row");
  return 0;
}
