// Calls into foreign code (plug-in modules) that may fault. A processor fault raised on
// the calling thread while such a call runs (an access violation, an illegal
// instruction, a division by zero, a bus error) abandons the call and returns to the
// caller instead of ending the process. The frames of the abandoned call are dropped
// without running any destructor, so the foreign code must be treated as unusable
// afterwards.
//
// Windows: a vectored exception handler restores the context saved before the call.
// POSIX: handlers of SIGSEGV, SIGBUS, SIGILL and SIGFPE jump back with siglongjmp; a
// fault on any thread that is not inside a contained call goes on to the handler that
// was installed before (or the default action). A stack overflow inside the call is not
// contained on POSIX (there is no stack left to run the handler on) and ends the process.
#pragma once

namespace crvl::platform {

// Runs `call(context)` on this thread. Returns true when it returned normally, false
// when a fault abandoned it. `call` must not throw (catch inside it) and must not
// itself leave through a jump. Calls may nest; each returns to its own caller.
[[nodiscard]] bool runContained(void (*call)(void* context), void* context) noexcept;

}  // namespace crvl::platform
