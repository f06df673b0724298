// The filter string: how a Filter is stored in a job file (key "Filter").
//
// A ';'-separated value list of items, each a code letter and its argument, written in
// this order: "c" or "r" (the time kind, nothing for the modification time), "a" and
// the attribute letters (upper case: must be set, lower case: must be clear), "+" and
// the include masks, "d<unit><number>" and "l<unit><number>" for the lower bounds,
// "-" and the exclude masks, then the upper bounds. Dates and times of units 'D' and
// 'T' are written as packed UTC date-times. Each item is stored as marked text, so
// characters outside the code page survive. The empty filter is "+;-".
#pragma once

#include <string>
#include <string_view>

#include "jobs/filter.h"

namespace crvl {

// The attribute letters in the order they are written, with their bits.
struct FilterAttributeLetter {
  char letter;
  uint16_t bit;
};
inline constexpr FilterAttributeLetter kFilterAttributeLetters[] = {
    {'D', 0x10}, {'A', 0x20}, {'R', 0x1}, {'S', 0x4}, {'H', 0x2}, {'C', 0x800}, {'E', 0x4000},
};

inline constexpr size_t kFilterStringCapacity = 4095;

// Replaces `filter` with the filter of the stored string (bytes as read from the job
// file; `utf8File` when the file is UTF-8 throughout). Clears the record first, so an
// empty string gives the empty filter. Items up to the first empty one are read; the
// include block is current until the first "-" item. Unknown item codes, unknown
// attribute letters and time or size items with an unknown unit letter are ignored;
// numbers beyond the 64-bit range saturate; a date that is not a valid calendar date,
// or one before 1980 (unset), reads as 0; a time of day reads on 2 January 1980.
void parseFilter(std::string_view stored, Filter& filter, bool utf8File = false);

// Appends the filter string of `filter` to `out` (cut at kFilterStringCapacity bytes),
// its items in the encoding parseFilter reads with the same `utf8File`. An attribute
// both required and excluded is written with both letters.
void formatFilter(const Filter& filter, std::string& out, bool utf8File = false);
[[nodiscard]] std::string formatFilter(const Filter& filter, bool utf8File = false);

}  // namespace crvl
