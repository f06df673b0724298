// Current time and time-zone conversion on POSIX.
#include "platform/clock.h"

#include <time.h>

#include <cerrno>

namespace crvl::platform {
namespace {

constexpr int64_t kEpochSeconds = 11'644'473'600;  // 1601-01-01 to 1970-01-01

// The local zone's offset from UTC in seconds at the UTC instant `unixSeconds`
// (daylight saving included); 0 when the system cannot tell.
int64_t zoneOffsetAt(int64_t unixSeconds) noexcept {
  const time_t t = static_cast<time_t>(unixSeconds);
  struct tm local {};
  if (::localtime_r(&t, &local) == nullptr) return 0;
  return local.tm_gmtoff;
}

int64_t toUnixSeconds(uint64_t fileTime) noexcept {
  return static_cast<int64_t>(fileTime / kFileTimeSecond) - kEpochSeconds;
}

uint64_t shifted(uint64_t fileTime, int64_t seconds) noexcept {
  const int64_t ticks = seconds * static_cast<int64_t>(kFileTimeSecond);
  if (ticks < 0 && static_cast<uint64_t>(-ticks) > fileTime) return 0;
  return fileTime + static_cast<uint64_t>(ticks);
}

}  // namespace

uint64_t currentFileTime() noexcept {
  struct timespec now {};
  ::clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<uint64_t>(now.tv_sec + kEpochSeconds) * kFileTimeSecond +
         static_cast<uint64_t>(now.tv_nsec) / 100;
}

uint64_t utcToLocal(uint64_t utc) noexcept {
  return shifted(utc, zoneOffsetAt(toUnixSeconds(utc)));
}

uint64_t localToUtc(uint64_t local) noexcept {
  // The offset is a function of the UTC instant: guess with the offset at the local
  // reading, then correct once with the offset at the guess (daylight changes between).
  const int64_t seconds = toUnixSeconds(local);
  const int64_t first = zoneOffsetAt(seconds);
  const int64_t second = zoneOffsetAt(seconds - first);
  return shifted(local, -second);
}

void sleepMilliseconds(uint32_t ms) noexcept {
  struct timespec wait {};
  wait.tv_sec = static_cast<time_t>(ms / 1000);
  wait.tv_nsec = static_cast<long>(ms % 1000) * 1'000'000L;
  while (::nanosleep(&wait, &wait) != 0 && errno == EINTR) {
  }
}

}  // namespace crvl::platform
