// A function of a module looked up by name or ordinal, typed as the caller declares it.
// GetProcAddress answers with FARPROC; the cast to the real type passes through the generic
// function pointer type, which the compiler accepts as a deliberate conversion.
#pragma once

#include <windows.h>

template <class Fn>
Fn KvGetProcAddress(HMODULE module, const char* name) {
    FARPROC p = module ? ::GetProcAddress(module, name) : nullptr;
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(p));
}
