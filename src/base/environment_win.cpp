#include <stdlib.h>

#include "base/environment.h"
#include "base/winapi.h"

namespace wl {
namespace {

DWORD readVariable(const char* name, char* buffer, DWORD size) { return GetEnvironmentVariableA(name, buffer, size); }
DWORD readVariable(const char16_t* name, char16_t* buffer, DWORD size) {
    return GetEnvironmentVariableW(W(name), W(buffer), size);
}

// A set variable whose value is empty reports length 0 like an unset one;
// only the error code tells them apart. A value that grows between the two
// calls, or a narrow size reported too small, is read again into a larger
// buffer.
template <class C> std::optional<std::basic_string<C>> readEnvironment(const C* name) {
    SetLastError(0);
    DWORD size = readVariable(name, nullptr, 0);
    for (int attempt = 0; attempt < 8; ++attempt) {
        if (size == 0) {
            if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
            return std::basic_string<C>();
        }
        std::basic_string<C> value(size, C(0));
        SetLastError(0);
        DWORD n = readVariable(name, value.data(), size);
        if (n < size) {
            if (n == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
            value.resize(n);
            return value;
        }
        size = n + 1;
    }
    return std::nullopt;
}

template <class S> std::optional<S> unlessEmpty(std::optional<S> value) {
    if (value && value->empty()) return std::nullopt;
    return value;
}

}  // namespace

std::optional<std::string> environmentVariable(const char* name) { return readEnvironment(name); }
std::optional<std::u16string> environmentVariable(const char16_t* name) { return readEnvironment(name); }
std::optional<std::string> nonEmptyEnvironmentVariable(const char* name) { return unlessEmpty(readEnvironment(name)); }
std::optional<std::u16string> nonEmptyEnvironmentVariable(const char16_t* name) {
    return unlessEmpty(readEnvironment(name));
}

bool runtimeEnvironmentHas(const char* name) { return getenv(name) != nullptr; }

bool setEnvironmentEverywhere(const std::u16string& name, const std::optional<std::u16string>& value) {
    bool ok = SetEnvironmentVariableW(W(name), value ? W(*value) : nullptr) != FALSE;
    DWORD error = GetLastError();
    // The C runtime keeps its own copy; "NAME=" removes the variable there.
    std::u16string entry = name + u"=" + value.value_or(std::u16string());
    _wputenv(W(entry));
    SetLastError(error);
    return ok;
}

}  // namespace wl
