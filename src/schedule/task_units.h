// Delays and repeats as the "Plan" dialog shows and reads them: a check box, a number
// and a unit ("Seconds", "Minutes", "Hours", "Days"). The settings hold seconds only.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "resources/string_ids.h"

namespace crvl {

// The units the dialog offers, smallest first (the index is the unit list's index).
struct TimeUnit {
  char letter;       // 'S', 'M', 'H', 'Z'
  uint32_t seconds;  // 1, 60, 3600, 86400
  uint16_t textId;   // "Seconds", "Minutes", "Hours", "Days"
};
inline constexpr std::array<TimeUnit, 4> kTaskUnits = {{
    {'S', 1, kTextfLSc},
    {'M', 60, kTextfLMi},
    {'H', 3600, kTextfLHr},
    {'Z', 86400, kTextfLDy},
}};

struct UnitValue {
  bool checked = false;
  uint64_t number = 0;  // the number shown (unchanged initial text when not checked)
  size_t unit = 0;      // index into kTaskUnits
};

// The dialog's fill for `seconds`: unchecked with "Seconds" for 0; else checked, with
// the largest unit from "Days" down to "Minutes" that divides the value, or "Seconds".
[[nodiscard]] UnitValue unitValueOf(uint64_t seconds) noexcept;

// The value read back: 0 when unchecked; else the number field as a decimal number
// (text that is not a number gives 0; beyond 64 bits saturates) times the unit's
// seconds (no unit: seconds), saturating. A checked repeat of 0 is stored as 1.
[[nodiscard]] uint64_t secondsFromDialog(bool checked, std::u16string_view numberText, int unitIndex,
                                         bool isRepeat) noexcept;

// A duration in the dialog's units for listings: "3 Minutes", "90 Seconds"; the unit
// name comes from `unitName` (the looked-up text of the unit's id).
template <typename UnitName>
[[nodiscard]] std::u16string describeSeconds(uint64_t seconds, UnitName unitName) {
  const UnitValue v = unitValueOf(seconds);
  std::u16string out;
  for (char c : std::to_string(v.number)) out.push_back(static_cast<char16_t>(c));
  out.push_back(u' ');
  out += unitName(kTaskUnits[v.unit].textId);
  return out;
}

}  // namespace crvl
