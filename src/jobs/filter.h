// A job's file filter: name masks a file must and must not match, a lower and an upper
// bound on one of its times, a lower and an upper bound on its size, and attribute bits
// that must be set or clear. Folders are never tested; the scan drops rejected files.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace crvl {

inline constexpr size_t kMaxFilterMaskChars = 259;

// Which time of a file the date bounds use.
enum FilterTimeKind : uint8_t {
  kTimeModified = 0,
  kTimeCreated = 1,
  kTimeLastAccess = 2,
};

// Bit 15 of include.attributes switches the attribute test off.
inline constexpr uint16_t kAttributeTestOff = 0x8000;
// The attribute bits a filter can test (folder, archive, read-only, system, hidden,
// compressed, encrypted).
inline constexpr uint32_t kFilterAttributeMask = 0x4837;

// Letters of the time units: absolute date and time, time of day, then counts of
// seconds, minutes, hours, days, weeks, months and years before now.
inline constexpr std::string_view kDateUnitLetters = "DTSMHZWLY";
// Letters of the size units: bytes, kilo-, mega-, gigabytes.
inline constexpr std::string_view kSizeUnitLetters = "BKMG";

// One half of a filter: the include block holds the lower bounds and the attributes
// that must be set, the exclude block the upper bounds and the attributes that must be
// clear.
struct FilterBlock {
  std::u16string masks;    // ';'-separated, at most 259 characters; empty: no condition
  char dateUnit = 0;       // 0: no time condition, else a letter of kDateUnitLetters
  int64_t dateValue = 0;   // 'D', 'T': a UTC file time; other units: a count
  char sizeUnit = 0;       // 0: no size condition, else a letter of kSizeUnitLetters
  int64_t sizeValue = 0;   // in units
  uint16_t attributes = 0;
  int64_t dateLimit = 0;   // computed by prepareFilter, never stored
  int64_t sizeLimit = 0;   // computed by prepareFilter, never stored

  bool operator==(const FilterBlock&) const = default;
};

struct Filter {
  uint8_t timeKind = kTimeModified;
  uint8_t editorFlag1 = 0;  // the editor offers "Modified" alone; never stored
  uint8_t editorFlag2 = 0;  // the editor hides the folder attribute; never stored
  FilterBlock include;
  FilterBlock exclude;

  bool operator==(const Filter&) const = default;
};

// Whether the filter holds no condition at all (what a cleared record holds).
[[nodiscard]] bool isEmptyFilter(const Filter& filter) noexcept;

// Computes dateLimit and sizeLimit of both blocks for the current time `now` (UTC file
// time). Relative units count back from now; 'L' and 'Y' move the calendar month or
// year back and clamp a day that the target month lacks to that month's last day
// (31 March less one month is 28 or 29 February). Results beyond the representable
// range saturate: a bound before 1601 becomes 0, sizes beyond 2^63 - 1 become 2^63 - 1.
void prepareFilter(Filter& filter, uint64_t now) noexcept;
// As above with the current UTC time.
void prepareFilter(Filter& filter) noexcept;

// True when one mask of the ';'-separated list matches the name part of `name` (the
// text after its last path separator). Masks are tried in order; an empty mask ends the
// list. A mask matches when applying it to the name as a rename template gives the name
// back (compared case-insensitively); "." matches every name, a mask holding a path
// separator matches nothing.
[[nodiscard]] bool masksMatch(std::u16string_view masks, std::u16string_view name);

// The file size of an entry whose size is unknown.
inline constexpr uint64_t kUnknownSize = ~0ull;

// One scanned file as the filter sees it. Times are UTC file times; a time below
// 1979-12-31 22:46:40 counts as missing.
struct FilterEntry {
  std::u16string_view name;
  uint32_t attributes = 0;
  uint64_t creationTime = 0;
  uint64_t lastAccessTime = 0;
  uint64_t lastWriteTime = 0;
  uint64_t size = kUnknownSize;
};

// True when the file takes part in the run. The filter must have been prepared. Tests,
// in order: attributes, include masks, exclude masks, lower and upper time bound (equal
// times pass), lower and upper size bound (equal sizes pass; unknown sizes are not
// tested). Call it for files only: folders always take part.
[[nodiscard]] bool filterAccepts(const Filter& filter, const FilterEntry& entry);

// Same test with the entry's fields given one by one.
[[nodiscard]] bool filterAccepts(const Filter& filter, std::u16string_view name, uint32_t attributes,
                                 uint64_t creationTime, uint64_t lastAccessTime,
                                 uint64_t lastWriteTime, uint64_t size);

}  // namespace crvl
