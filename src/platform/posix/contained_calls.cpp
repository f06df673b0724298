// Contained calls on POSIX: the fault signals jump back to the call's recovery point
// with siglongjmp. The handlers are installed once, on the first contained call, in
// front of whatever handlers were there (the sanitizers' among them), which still see
// every fault outside a contained call.
#include "platform/contained_calls.h"

#include <signal.h>

#include <csetjmp>
#include <mutex>

namespace crvl::platform {
namespace {

struct Recovery {
  sigjmp_buf jump;
  Recovery* previous;
};

// The recovery point of the contained call running on this thread, or null. Read by
// the signal handler, so a plain pointer in the program's own thread-local storage.
thread_local Recovery* t_recovery = nullptr;

constexpr int kFaultSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE};
constexpr int kSignalCount = sizeof kFaultSignals / sizeof kFaultSignals[0];

// What was installed before the handler: the system hands a handler no context, so it
// finds them here. Written once, before the handler can run.
struct sigaction g_previous[kSignalCount];
std::once_flag g_installed;

void onFault(int signal, siginfo_t* info, void* machineContext) {
  if (Recovery* recovery = t_recovery; recovery != nullptr) {
    t_recovery = recovery->previous;
    siglongjmp(recovery->jump, 1);
  }
  for (int i = 0; i < kSignalCount; ++i) {
    if (kFaultSignals[i] != signal) continue;
    const struct sigaction& previous = g_previous[i];
    if ((previous.sa_flags & SA_SIGINFO) != 0 && previous.sa_sigaction != nullptr) {
      previous.sa_sigaction(signal, info, machineContext);
      return;
    }
    if ((previous.sa_flags & SA_SIGINFO) == 0 && previous.sa_handler != SIG_DFL &&
        previous.sa_handler != SIG_IGN) {
      previous.sa_handler(signal);
      return;
    }
  }
  // The default action: it takes effect once this handler returns (the signal is
  // blocked until then), for a fault and for a signal sent by another process alike.
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

void install() noexcept {
  struct sigaction action {};
  action.sa_sigaction = &onFault;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigemptyset(&action.sa_mask);
  for (int i = 0; i < kSignalCount; ++i) ::sigaction(kFaultSignals[i], &action, &g_previous[i]);
}

}  // namespace

bool runContained(void (*call)(void* context), void* context) noexcept {
  try {
    std::call_once(g_installed, &install);
  } catch (...) {
    // Threads are unusable: the call runs without containment.
  }
  Recovery recovery;
  recovery.previous = t_recovery;
  // The signal mask is saved too: the fault's signal is blocked while its handler runs.
  if (sigsetjmp(recovery.jump, /*savesigs=*/1) != 0) return false;
  t_recovery = &recovery;
  call(context);
  t_recovery = recovery.previous;
  return true;
}

}  // namespace crvl::platform
