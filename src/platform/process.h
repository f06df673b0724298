// Starting other programs and waiting for them: the system's command interpreter on
// POSIX (/bin/sh -c), CreateProcessW on Windows. Used where the program hands work to
// a system tool, and by the tests that drive the real programs.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/errors.h"

namespace crvl::platform {

// Runs `commandLine` and waits for it to end. POSIX: the line goes to /bin/sh -c, so
// shell quoting and operators apply. Windows: the line goes to CreateProcessW as it
// stands (the first quoted or blank-ended word is the program), without cmd.exe in
// between. Standard output and standard error go to the file `outputPath` (created or
// truncated), or are inherited when it is empty; standard input reads the file
// `inputPath`, or nothing when that is empty.
// On success returns 0 and stores the program's exit status in `*exitCode` (POSIX: the
// status, or 128 + the signal that ended it). Returns the system's error when the
// program could not be started or the output file could not be opened.
[[nodiscard]] ErrorCode runCommandLine(std::u16string_view commandLine, std::u16string_view outputPath,
                                       uint32_t* exitCode, std::u16string_view inputPath = {});

}  // namespace crvl::platform
