// Where a run reports its actions: the job log (or a recording sink in tests).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace crvl {

// The signed code reported with each action (-8 to 8).
enum ActionMarker : int32_t {
  kMarkerFolderNotCreated = -8,
  kMarkerFolderRemoved = -7,
  kMarkerFileDeleted = -6,
  kMarkerCopiedNewRight = -5,
  kMarkerCopiedNewLeft = -4,
  kMarkerCopiedOverRight = -3,
  kMarkerCopiedOverLeft = -2,
  kMarkerSideUnavailable = -1,
  kMarkerConflict = 0,
  kMarkerTypeClash = 1,
  kMarkerDifferent = 8,
};

// An absent text (nullopt) differs from an empty one only in how some formats write it.
using LogText = std::optional<std::u16string_view>;

// A log sink is a plain record of one operation and its context. writeLogRecord writes
// one record with the marker, the left and right texts and the state (error) text;
// an empty state means success. It always empties `stateText` before returning, so
// the next action starts with an empty state. It never throws.
struct LogSink {
  void* context = nullptr;
  void (*writeLogRecord)(void* context, int32_t marker, LogText left, LogText right,
                         std::u16string& stateText) noexcept = nullptr;
};

// Reports through the sink when there is one; without a sink the state is still emptied.
inline void writeLogRecord(const LogSink* sink, int32_t marker, LogText left, LogText right,
                           std::u16string& stateText) noexcept {
  if (sink != nullptr && sink->writeLogRecord != nullptr) {
    sink->writeLogRecord(sink->context, marker, left, right, stateText);
  } else {
    stateText.clear();
  }
}

}  // namespace crvl
