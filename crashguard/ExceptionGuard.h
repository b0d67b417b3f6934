#pragma once

#include <windows.h>

#include <type_traits>

// Runs function(context) under a structured-exception handler that accepts every exception:
// when one is raised inside, the stack is unwound to here and its code is given back in
// exceptionCode. True when function returned normally.
bool CallWithExceptionGuard(void (*function)(void* context), void* context, DWORD& exceptionCode);

// The same for a callable object: CallWithExceptionGuard([&] { ... }, code).
template <typename Callable>
bool CallWithExceptionGuard(Callable&& callable, DWORD& exceptionCode) {
    using Target = std::remove_reference_t<Callable>;
    return CallWithExceptionGuard([](void* context) { (*static_cast<Target*>(context))(); },
                                  const_cast<void*>(static_cast<const void*>(&callable)),
                                  exceptionCode);
}
