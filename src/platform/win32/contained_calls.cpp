// Contained calls on Windows: a vectored exception handler, installed once, restores
// the context captured just before the call when a fault is raised on a thread that is
// inside a contained call. Every other exception (C++ exceptions among them) and every
// fault outside a contained call passes on untouched.
#include "platform/contained_calls.h"

#include <malloc.h>  // _resetstkoflw
#include <windows.h>

namespace crvl::platform {
namespace {

// The captured context of one contained call. CONTEXT wants 16-byte alignment.
struct alignas(16) Recovery {
  CONTEXT context;
  volatile LONG faulted;
  volatile DWORD code;
  Recovery* previous;
};

// The handler gets no context of ours: the recovery point of each thread lies in a
// thread-local slot that the system reads without allocating.
DWORD g_slot = TLS_OUT_OF_INDEXES;
INIT_ONCE g_once = INIT_ONCE_STATIC_INIT;

bool isFault(DWORD code) noexcept {
  switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_IN_PAGE_ERROR:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_PRIV_INSTRUCTION:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_INT_OVERFLOW:
    case EXCEPTION_DATATYPE_MISALIGNMENT:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
    case EXCEPTION_STACK_OVERFLOW:
    case EXCEPTION_FLT_DENORMAL_OPERAND:
    case EXCEPTION_FLT_DIVIDE_BY_ZERO:
    case EXCEPTION_FLT_INEXACT_RESULT:
    case EXCEPTION_FLT_INVALID_OPERATION:
    case EXCEPTION_FLT_OVERFLOW:
    case EXCEPTION_FLT_STACK_CHECK:
    case EXCEPTION_FLT_UNDERFLOW:
      return true;
    default:
      return false;
  }
}

LONG CALLBACK onException(EXCEPTION_POINTERS* pointers) {
  const DWORD code = pointers->ExceptionRecord->ExceptionCode;
  if (!isFault(code)) return EXCEPTION_CONTINUE_SEARCH;
  // TlsGetValue clears the last error; a fault that is not ours must find it as it was.
  const DWORD lastError = ::GetLastError();
  auto* recovery = static_cast<Recovery*>(::TlsGetValue(g_slot));
  ::SetLastError(lastError);
  if (recovery == nullptr) return EXCEPTION_CONTINUE_SEARCH;
  ::TlsSetValue(g_slot, recovery->previous);
  recovery->faulted = 1;
  recovery->code = code;
  *pointers->ContextRecord = recovery->context;
  return EXCEPTION_CONTINUE_EXECUTION;
}

BOOL CALLBACK install(PINIT_ONCE, PVOID, PVOID*) {
  g_slot = ::TlsAlloc();
  if (g_slot != TLS_OUT_OF_INDEXES) ::AddVectoredExceptionHandler(/*First=*/1, &onException);
  return TRUE;
}

// Execution comes back here a second time, right after RtlCaptureContext, when the
// call faulted: `faulted` is then read from memory (volatile) and the call is not made
// again. Not inlined, so that the captured frame is this one and stays intact above
// the frames of the call.
__attribute__((noinline)) bool callFromRecoveryPoint(Recovery* recovery, void (*call)(void*), void* context) {
  ::RtlCaptureContext(&recovery->context);
  if (recovery->faulted != 0) return false;
  call(context);
  return true;
}

}  // namespace

bool runContained(void (*call)(void* context), void* context) noexcept {
  ::InitOnceExecuteOnce(&g_once, &install, /*Parameter=*/nullptr, /*Context=*/nullptr);
  if (g_slot == TLS_OUT_OF_INDEXES) {
    call(context);  // no slot to arm: the call runs without containment
    return true;
  }
  Recovery recovery{};
  recovery.previous = static_cast<Recovery*>(::TlsGetValue(g_slot));
  ::TlsSetValue(g_slot, &recovery);
  if (callFromRecoveryPoint(&recovery, call, context)) {
    ::TlsSetValue(g_slot, recovery.previous);
    return true;
  }
  // The guard page that caught an overflow is gone; it is put back for the next one.
  if (recovery.code == EXCEPTION_STACK_OVERFLOW) (void)_resetstkoflw();
  return false;
}

}  // namespace crvl::platform
