// The tray program from process start to end: the command line, the single-instance
// rule with the forwarding of a job name, the start-up delay, and the shell cycles (one
// per settings restore) with the order in which each ends.
#pragma once

namespace crvl::shell {

// Runs the program; returns the process exit code (the wParam of the last WM_QUIT, 0
// for a second instance).
[[nodiscard]] int runProgram() noexcept;

}  // namespace crvl::shell
