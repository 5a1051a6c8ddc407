// The launcher does not use C++ exceptions. The standard library still reports
// impossible requests (an allocation that fails, a length beyond max_size) by
// throwing; here those reports end the process at once with exit code 1, the
// launcher's code for a failed start. Defining them here also keeps the C++
// runtime's exception strings and name demangler out of the executable.
#include <cstdlib>
#include <new>

#include "base/winapi.h"

namespace {

[[noreturn]] void endProcess() { ExitProcess(1); }

}  // namespace

namespace __gnu_cxx {
void __verbose_terminate_handler() { endProcess(); }
}  // namespace __gnu_cxx

namespace std {
void __throw_bad_alloc() { endProcess(); }
void __throw_bad_array_new_length() { endProcess(); }
void __throw_length_error(const char*) { endProcess(); }
void __throw_logic_error(const char*) { endProcess(); }
void __throw_out_of_range(const char*) { endProcess(); }
void __throw_out_of_range_fmt(const char*, ...) { endProcess(); }
void __throw_invalid_argument(const char*) { endProcess(); }
void __throw_bad_function_call() { endProcess(); }
}  // namespace std

// Allocation: a request that cannot be met ends the process as above, without
// the C++ runtime's exception objects.
void* operator new(std::size_t size) {
    if (void* p = std::malloc(size ? size : 1)) return p;
    endProcess();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

// Function-local statics: their first use runs their initialisation once,
// whichever thread gets there first, under one lock for the process. The lock
// is taken again by its owner, since one static's initialisation may use
// another's. Written here for the same reason as above: the C++ runtime's
// version reports a recursive initialisation by throwing.
namespace {

volatile LONG guardOwner = 0;  // the thread id holding the lock, 0 when free
LONG guardDepth = 0;           // touched only by the owner

void lockGuards() {
    const LONG self = LONG(GetCurrentThreadId());
    if (guardOwner == self) {
        ++guardDepth;
        return;
    }
    while (InterlockedCompareExchange(&guardOwner, self, 0) != 0) Sleep(0);
    guardDepth = 1;
}

void unlockGuards() {
    if (--guardDepth == 0) InterlockedExchange(&guardOwner, 0);
}

// The first byte of a guard tells whether its static is initialised.
bool initialised(const void* guard) { return __atomic_load_n(static_cast<const char*>(guard), __ATOMIC_ACQUIRE) != 0; }

}  // namespace

extern "C" int __cxa_guard_acquire(long long* guard) {
    if (initialised(guard)) return 0;
    lockGuards();
    if (initialised(guard)) {
        unlockGuards();
        return 0;
    }
    return 1;  // the caller initialises, then releases
}

extern "C" void __cxa_guard_release(long long* guard) {
    __atomic_store_n(reinterpret_cast<char*>(guard), 1, __ATOMIC_RELEASE);
    unlockGuards();
}

extern "C" void __cxa_guard_abort(long long*) { unlockGuards(); }
