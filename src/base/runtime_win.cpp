// The launcher does not use C++ exceptions. The standard library still reports
// impossible requests (an allocation that fails, a length beyond max_size) by
// throwing; here those reports end the process at once with exit code 1, the
// launcher's code for a failed start. Defining them here also keeps the C++
// runtime's exception strings and name demangler out of the executable.
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
