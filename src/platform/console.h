// The console of the command-line front end: arguments, output, whether the output is
// a terminal, and Ctrl+C as a stop request.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace crvl::platform {

// The program's arguments without the program name, as UTF-16 (Windows: from the
// wide command line; POSIX: argv read with fromSystemBytes, so names round-trip).
[[nodiscard]] std::vector<std::u16string> commandArguments(int argc, char** argv);

enum class ConsoleStream { Out, Err };

// Writes text to standard output or standard error: UTF-16 to a Windows console,
// UTF-8 everywhere else. Errors are ignored.
void writeConsole(ConsoleStream stream, std::u16string_view text);

// Reads one line of standard input into `line` (replacing it), without its line end;
// characters beyond `maxChars` are read and dropped. False at the end of the input or
// on an error, with `line` empty. POSIX: the bytes read with fromSystemBytes; Windows:
// a console is read as text, other input as UTF-8. The bytes read pass through no
// buffer that outlives the call: the line may be a password.
[[nodiscard]] bool readInputLine(std::u16string& line, size_t maxChars);

// Whether standard output is an interactive terminal (a console on Windows).
[[nodiscard]] bool outputIsTerminal();
// Whether standard error is an interactive terminal (a console on Windows).
[[nodiscard]] bool errorIsTerminal();
// The width of the terminal of standard output in characters; 80 when it has none or
// does not say.
[[nodiscard]] size_t terminalColumns();

// The first Ctrl+C (or Ctrl+Break, SIGINT, SIGTERM, SIGHUP) stores 1 in `stopWord`; a
// second one ends the process at once with exit status `exitStatus`. POSIX: SIGPIPE is
// ignored, so a closed output pipe never ends a run. `stopWord` must outlive
// the process's use of the handler.
void installStopHandler(std::atomic<int32_t>* stopWord, int exitStatus);

// POSIX: from now on SIGHUP is no stop request but stores 1 in `reloadWord` (the
// daemon's "read the settings again"), which must outlive the process's use of it.
// Windows: nothing.
void installReloadHandler(std::atomic<int32_t>* reloadWord);

// A monotonic clock in milliseconds, for elapsed times and rates.
[[nodiscard]] uint64_t monotonicMilliseconds() noexcept;

}  // namespace crvl::platform
