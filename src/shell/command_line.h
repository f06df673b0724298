// What the tray program takes from its command line, and the job name a second
// instance hands to the running one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace crvl::shell {

inline constexpr uint32_t kMaxStartDelaySeconds = 86'400;  // one day
inline constexpr size_t kMaxCopyDataChars = 1024;

struct StartOptions {
  uint32_t delaySeconds = 0;  // capped at kMaxStartDelaySeconds
  std::u16string jobName;     // as given; empty: none
};

// Reads the arguments after argument 0, in order: one that begins with "Delay="
// (case-sensitive) sets the delay to the decimal digits that follow (none: 0; more
// than a day: a day); any other argument is a job name, kept whole (one longer than 40
// characters names no job), and a later name replaces an earlier one.
[[nodiscard]] StartOptions parseStartArguments(const std::vector<std::u16string>& arguments);

// The job name carried by a WM_COPYDATA message: `dwData` 0 and 1 mean text in the
// system ANSI code page, any other value UTF-16 text. The text ends at its first zero
// or at the end of the data, and at most 1024 characters are taken (an odd last byte of
// UTF-16 data is dropped).
[[nodiscard]] std::u16string copyDataJobName(uintptr_t dwData, const void* data, size_t bytes);

// The bytes a second instance sends: the UTF-16 name with its terminating zero
// (dwData 2).
inline constexpr uintptr_t kCopyDataUtf16 = 2;
[[nodiscard]] std::u16string copyDataPayload(std::u16string_view jobName);

}  // namespace crvl::shell
