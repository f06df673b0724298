// The run's view of removable media: how a side of a folder pair is checked before it
// is used, and which drives the run marks for ejection. The engine only asks; the
// removable-media code of the scheduler fills the check in and ejects the drives.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace crvl {

// Reads one side of a folder pair as stored (the medium prefixes, then the path).
// Answers false when the side must not be used now (its medium is absent); otherwise
// `*path` is the path to use, with macros expanded and native separators, and `*eject`
// whether the side asks for its medium to be ejected after the run.
struct MediumCheck {
  void* context = nullptr;
  bool (*resolveSide)(void* context, std::u16string_view text, std::u16string* path, bool* eject) = nullptr;
};

// The drives marked for ejection by one run, "C" to "Z" (A: and B: are never ejected).
struct EjectSet {
  std::array<uint8_t, 24> marked{};

  // Marks the upper-cased letter when it lies between "C" and "Z"; others are ignored.
  void mark(char16_t letter) noexcept;
  [[nodiscard]] bool isMarked(char16_t letter) const noexcept;
  [[nodiscard]] bool empty() const noexcept;
};

}  // namespace crvl
