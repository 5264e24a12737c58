// Windows form of the start-up guard: a frame-based exception handler on a frame of the
// guard's own, between the host's call of Initialize and the guarded steps.
//
// Why a frame handler and not a vectored one: a vectored handler sees every exception
// first, before any handler of the frames it was raised in. Host code called during
// start-up may raise and handle exceptions of its own (an MSVC C++ exception caught
// inside a host call, a probe of memory under __try); a vectored guard would take those
// for crashes and end the host. The dispatcher reaches the guard's frame only once every
// frame below it, the host's among them, has passed the exception on, so what the guard
// sees would have ended the process anyway.
//
// Anything reaching the frame is reported and ends the process, except breakpoints and
// single steps, which pass on to whoever handles them. That includes MSVC C++ exceptions
// (code 0xE06D7363): nothing in this module can catch them. C++ exceptions of the
// module's own compiler pass the frame and are caught by the guard's catch just outside
// it, which reports them the same way.
#include "shell/crash_guard.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <exception>

namespace {

constexpr DWORD MsvcCxxExceptionCode = 0xE06D7363;
// What GCC's unwinder raises for a throw, a cleanup pass and a forced unwind ("GCC" + 0x20..).
constexpr DWORD GccThrowCode = 0x20474343;
constexpr DWORD GccForcedUnwindCode = 0x22474343;

// The reporter of the innermost guard on this thread; frame handlers run on the thread
// whose stack holds the frame, so exceptions of other threads never reach it.
thread_local CrashReporter t_Reporter = nullptr;

[[noreturn]] void Report(EXCEPTION_POINTERS* pointers)
{
    CrashReporter reporter = t_Reporter;
    t_Reporter = nullptr;
    if (reporter != nullptr) {
        reporter(pointers);
    }
    EndProcessAfterCrash();
}

} // namespace

// The guard's frame: calls routine(context) with OnGuardFrameException as the frame's
// exception handler (.seh_handler, "@except": consulted while the dispatcher searches).
extern "C" bool hve_CallWithGuardFrame(bool (*routine)(void*), void* context);
extern "C" EXCEPTION_DISPOSITION hve_OnGuardFrameException(EXCEPTION_RECORD* record, void* frame, CONTEXT* context,
                                                            void* dispatcherContext);

asm(R"(
    .text
    .p2align 4
    .globl hve_CallWithGuardFrame
    .def hve_CallWithGuardFrame; .scl 2; .type 32; .endef
    .seh_proc hve_CallWithGuardFrame
hve_CallWithGuardFrame:
    pushq %rbx
    .seh_pushreg %rbx
    subq $32, %rsp
    .seh_stackalloc 32
    .seh_endprologue
    .seh_handler hve_OnGuardFrameException, @except
    movq %rcx, %rax
    movq %rdx, %rcx
    callq *%rax
    nop
    addq $32, %rsp
    popq %rbx
    retq
    .seh_endproc
)");

extern "C" __attribute__((used)) EXCEPTION_DISPOSITION hve_OnGuardFrameException(EXCEPTION_RECORD* record, void*,
                                                                                  CONTEXT* context, void*)
{
    // Unwinding (for a handler further up) is none of the guard's business.
    if ((record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) != 0) {
        return ExceptionContinueSearch;
    }
    const DWORD code = record->ExceptionCode;
    if (code == EXCEPTION_BREAKPOINT || code == EXCEPTION_SINGLE_STEP ||
        (code >= GccThrowCode && code <= GccForcedUnwindCode)) {
        return ExceptionContinueSearch;
    }
    EXCEPTION_POINTERS pointers = {record, context};
    Report(&pointers);
}

bool RunUnderCrashGuard(GuardedRoutine routine, void* context, CrashReporter reporter)
{
    CrashReporter outer = t_Reporter;
    t_Reporter = reporter;
    bool result = false;
    try {
        result = hve_CallWithGuardFrame(routine, context);
    } catch (...) {
        // A C++ exception of this module's compiler: no system exception information
        // exists for it here, so its report carries a record made up for it.
        EXCEPTION_RECORD record = {};
        record.ExceptionCode = MsvcCxxExceptionCode;
        EXCEPTION_POINTERS pointers = {&record, nullptr};
        Report(&pointers);
    }
    t_Reporter = outer;
    return result;
}

void EndProcessAfterCrash()
{
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(CrashExitCode));
    ExitProcess(static_cast<UINT>(CrashExitCode));
}
