// Temporary names, the same on both systems.
#include "platform/temporary_files.h"

#include "platform/paths.h"

#include <atomic>
#include <chrono>
#include <random>

#include "os_traits.h"

namespace crvl::platform {
namespace {


bool isLowerHex(char16_t c) noexcept { return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f'); }

// 48 random bits per name: a seed drawn once per process, stirred by a counter and the
// clock so that threads and processes started together still differ.
uint64_t nextNameBits() {
  static const uint64_t seed = [] {
    std::random_device device;
    return (static_cast<uint64_t>(device()) << 32) ^ device();
  }();
  static std::atomic<uint64_t> counter{0};
  uint64_t x = seed ^ (counter.fetch_add(1, std::memory_order_relaxed) * 0x9E3779B97F4A7C15ull) ^
               static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  // splitmix64 finaliser
  x ^= x >> 30;
  x *= 0xBF58476D1CE4E5B9ull;
  x ^= x >> 27;
  x *= 0x94D049BB133111EBull;
  x ^= x >> 31;
  return x;
}

}  // namespace

bool isTemporaryName(std::u16string_view name) noexcept {
  if (name.size() != kTemporaryNameChars || !name.starts_with(kTemporaryPrefix) ||
      !name.ends_with(kTemporarySuffix)) {
    return false;
  }
  for (size_t i = kTemporaryPrefix.size(); i < name.size() - kTemporarySuffix.size(); ++i) {
    if (!isLowerHex(name[i])) return false;
  }
  return true;
}

std::u16string temporaryPathFor(std::u16string_view target) {
  size_t nameStart = target.size();
  while (nameStart > 0 && !isPathSeparator(target[nameStart - 1])) --nameStart;
  std::u16string path(target.substr(0, nameStart));
  path += kTemporaryPrefix;
  const uint64_t bits = nextNameBits();
  static constexpr char16_t kDigits[] = u"0123456789abcdef";
  for (int shift = 44; shift >= 0; shift -= 4) path.push_back(kDigits[(bits >> shift) & 0xF]);
  path += kTemporarySuffix;
  return path;
}

}  // namespace crvl::platform
