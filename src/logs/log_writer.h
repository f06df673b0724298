// Writing one job log: the head lines, one line per action record, the footer. The
// layout of every line is fixed per format (see log_format.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/log_sink.h"
#include "logs/log_format.h"
#include "platform/errors.h"

namespace crvl {

// Where the bytes of a log go: one operation and its context. `write` writes all bytes
// or returns an error code. A null `write` means that no log is open.
struct LogOutput {
  void* context = nullptr;
  ErrorCode (*write)(void* context, const void* data, size_t size) noexcept = nullptr;
};

// The log context of one run: the open output (if any) and the run's format.
struct LogContext {
  LogFormat format = kFallbackLogFormat;
  LogOutput output;
};

// Cell limits of the HTML forms (characters, terminating zero included) and of a line.
inline constexpr size_t kMarkerCellChars = 64;
inline constexpr size_t kPathCellChars = 1024;
inline constexpr size_t kStateCellChars = 512;
inline constexpr size_t kLogLineUnits = 4096;
// Writes go out in pieces of at most this many bytes.
inline constexpr size_t kLogWritePiece = 16u * 1024u * 1024u;

// The marker text of an action code ("++", "--", "+>", ...); empty for unknown codes.
[[nodiscard]] std::u16string_view markerText(int32_t marker) noexcept;

// Writes one record line (and its line end) when a log is open and the format is 1-7.
// Write errors are ignored. `stateText` (at most its first 511 characters are used) is
// always emptied before the call returns. Never throws.
void writeLogRecord(const LogContext& log, int32_t marker, LogText left, LogText right,
                    std::u16string& stateText) noexcept;

// The Text form of a record as one UTF-16 line without a line end: marker, left, right
// and state (or "OK") separated by single spaces; at most 4095 characters. The console
// front end prints its live action lines with it.
[[nodiscard]] std::u16string formatRecordLine(int32_t marker, LogText left, LogText right,
                                              std::u16string_view stateText);

// The texts of a log head: the job name, the start time as shown, and the translated
// labels "Job", "Created at" and "State".
struct LogHeadTexts {
  std::u16string_view jobName;
  std::u16string_view startTime;
  std::u16string_view jobLabel;
  std::u16string_view createdAtLabel;
  std::u16string_view stateLabel;
};

// Writes the head lines of the context's format (the byte order mark is written when
// the file is created, not here). In the HTML forms the head texts are written as they
// are except for the markup characters < > & ", which become entities. Stops at the first failed write and returns its
// (mapped) code; 0 on success or when no log is open.
[[nodiscard]] ErrorCode writeLogHead(const LogContext& log, const LogHeadTexts& texts) noexcept;

// Writes the footer line of the HTML formats; nothing for the others.
[[nodiscard]] ErrorCode writeLogFooter(const LogContext& log) noexcept;

// Maps the code of a failed log write: 0 (a short write) and 1401 to 112, 225 to 30,
// 1223 to 1235; others unchanged.
[[nodiscard]] ErrorCode mapLogWriteError(ErrorCode code) noexcept;

// Writes `size` bytes in pieces of at most kLogWritePiece; a mapped error on failure.
[[nodiscard]] ErrorCode writeLogBytes(const LogOutput& output, const void* data,
                                      size_t size) noexcept;

}  // namespace crvl
