#include "crashguard/ExceptionGuard.h"

#if defined(_MSC_VER)

bool CallWithExceptionGuard(void (*function)(void* context), void* context, DWORD& exceptionCode) {
    __try {
        function(context);
    } __except (exceptionCode = GetExceptionCode(), EXCEPTION_EXECUTE_HANDLER) {
        return false;
    }
    return true;
}

#else

// GCC has no __try, so the guard frame is written by hand: a small function whose frame
// carries its own exception handler. The handler unwinds the stack back to that frame and
// resumes after the call with the exception code, as the compiler's __except would.
// pinewick_CallGuarded returns 0 after a normal return, else (1 << 32) | exception code.
extern "C" unsigned long long pinewick_CallGuarded(void (*function)(void*), void* context);

#if defined(__x86_64__)

// Frames on x64 are described by unwind tables: the handler is named in the function's
// unwind information and called by the system's dispatcher for any exception raised below.
extern "C" char pinewick_GuardLanding[];

extern "C" EXCEPTION_DISPOSITION pinewick_GuardHandler(EXCEPTION_RECORD* record,
                                                       void* establisherFrame, CONTEXT*,
                                                       DISPATCHER_CONTEXT* dispatcher) {
    if (IS_UNWINDING(record->ExceptionFlags))
        return ExceptionContinueSearch;
    const ULONG_PTR result = (1ull << 32) | record->ExceptionCode;
    RtlUnwindEx(establisherFrame, pinewick_GuardLanding, record, reinterpret_cast<void*>(result),
                dispatcher->ContextRecord, dispatcher->HistoryTable);
    return ExceptionContinueSearch;
}

// The establisher frame is rsp after the prologue, so the landing finds its stack as the
// normal path leaves it; the unwind restores the non-volatile registers and sets rax.
asm(R"(
    .intel_syntax noprefix
    .text
    .p2align 4
    .globl pinewick_CallGuarded
    .def pinewick_CallGuarded; .scl 2; .type 32; .endef
    .seh_proc pinewick_CallGuarded
pinewick_CallGuarded:
    sub rsp, 40
    .seh_stackalloc 40
    .seh_endprologue
    .seh_handler pinewick_GuardHandler, @except
    mov rax, rcx
    mov rcx, rdx
    call rax
    xor eax, eax
    .globl pinewick_GuardLanding
pinewick_GuardLanding:
    add rsp, 40
    ret
    .seh_endproc
    .att_syntax prefix
)");

#elif defined(__i386__)

// Frames on x86 are registered at run time in the thread's chain at fs:[0]. The frame:
// [esp] next record, [esp+4] handler, then the saved edi, esi, ebx and ebp.
extern "C" [[noreturn]] void pinewick_GuardResume(void* establisherFrame, DWORD exceptionCode);

extern "C" EXCEPTION_DISPOSITION __cdecl pinewick_GuardHandler(EXCEPTION_RECORD* record,
                                                               void* establisherFrame, CONTEXT*,
                                                               void*) {
    if (IS_UNWINDING(record->ExceptionFlags))
        return ExceptionContinueSearch;
    const DWORD code = record->ExceptionCode;
    // Runs the handlers of the frames below ours and unlinks them from the chain.
    RtlUnwind(establisherFrame, nullptr, record, nullptr);
    pinewick_GuardResume(establisherFrame, code);
}

asm(R"(
    .intel_syntax noprefix
    .text
    .p2align 4
    .globl _pinewick_CallGuarded
    .def _pinewick_CallGuarded; .scl 2; .type 32; .endef
_pinewick_CallGuarded:
    push ebp
    mov ebp, esp
    push ebx
    push esi
    push edi
    push OFFSET _pinewick_GuardHandler
    push DWORD PTR fs:0
    mov DWORD PTR fs:0, esp
    push DWORD PTR [ebp + 12]
    call DWORD PTR [ebp + 8]
    add esp, 4
    xor eax, eax
    xor edx, edx
.Lpinewick_guard_landing:
    mov ecx, DWORD PTR [esp]
    mov DWORD PTR fs:0, ecx
    add esp, 8
    pop edi
    pop esi
    pop ebx
    pop ebp
    ret

    .globl _pinewick_GuardResume
    .def _pinewick_GuardResume; .scl 2; .type 32; .endef
_pinewick_GuardResume:
    mov eax, DWORD PTR [esp + 8]
    mov ecx, DWORD PTR [esp + 4]
    mov esp, ecx
    lea ebp, [ecx + 20]
    mov edx, 1
    jmp .Lpinewick_guard_landing
    .att_syntax prefix
)");

#else
#error "No exception guard for this processor."
#endif

bool CallWithExceptionGuard(void (*function)(void* context), void* context, DWORD& exceptionCode) {
    const unsigned long long result = pinewick_CallGuarded(function, context);
    if (result == 0)
        return true;
    exceptionCode = static_cast<DWORD>(result);
    return false;
}

#endif
