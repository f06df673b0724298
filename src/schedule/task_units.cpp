#include "schedule/task_units.h"

namespace crvl {

UnitValue unitValueOf(uint64_t seconds) noexcept {
  UnitValue v;
  if (seconds == 0) return v;
  v.checked = true;
  v.number = seconds;
  for (size_t i = kTaskUnits.size() - 1; i > 0; --i) {
    if (seconds % kTaskUnits[i].seconds == 0) {
      v.number = seconds / kTaskUnits[i].seconds;
      v.unit = i;
      break;
    }
  }
  return v;
}

uint64_t secondsFromDialog(bool checked, std::u16string_view numberText, int unitIndex, bool isRepeat) noexcept {
  if (!checked) return 0;
  uint64_t number = 0;
  size_t i = 0;
  while (i < numberText.size() && numberText[i] == u' ') ++i;
  for (; i < numberText.size() && numberText[i] >= u'0' && numberText[i] <= u'9'; ++i) {
    const uint64_t digit = numberText[i] - u'0';
    number = number > (UINT64_MAX - digit) / 10 ? UINT64_MAX : number * 10 + digit;
  }
  const uint64_t unit =
      unitIndex >= 0 && static_cast<size_t>(unitIndex) < kTaskUnits.size() ? kTaskUnits[unitIndex].seconds : 1;
  const uint64_t seconds = number > UINT64_MAX / unit ? UINT64_MAX : number * unit;
  return isRepeat && seconds == 0 ? 1 : seconds;
}

}  // namespace crvl
