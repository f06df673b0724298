// Marked text and the per-unit UTF-8 form: decoded bytes written again decode the same.
#include <string>

#include "jobs/marked_text.h"
#include "round_trip.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const crvl::fuzz::Input in = crvl::fuzz::splitInput(data, size);
  const std::u16string text = crvl::decodeMarkedText(in.bytes, in.utf8File);
  const std::u16string back = crvl::decodeMarkedText(crvl::encodeMarkedText(text, in.utf8File), in.utf8File);
  crvl::fuzz::require(back == text, "marked text");
  // Stored in the other encoding too.
  crvl::fuzz::require(crvl::decodeMarkedText(crvl::encodeMarkedText(text, !in.utf8File), !in.utf8File) == text,
                      "marked text in the other encoding");
  return 0;
}
