// The drives a run marks for ejection.
#include "engine/medium_check.h"

namespace crvl {
namespace {

char16_t upperAscii(char16_t c) noexcept {
  return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

}  // namespace

void EjectSet::mark(char16_t letter) noexcept {
  char16_t up = upperAscii(letter);
  if (up >= u'C' && up <= u'Z') marked[up - u'C'] = 1;
}

bool EjectSet::isMarked(char16_t letter) const noexcept {
  char16_t up = upperAscii(letter);
  return up >= u'C' && up <= u'Z' && marked[up - u'C'] != 0;
}

bool EjectSet::empty() const noexcept {
  for (uint8_t m : marked) {
    if (m != 0) return false;
  }
  return true;
}

}  // namespace crvl
