// Functions looked up at run time in a loaded module, for the system
// functions that older Windows versions lack.
#pragma once

#include "base/winapi.h"

namespace wl {

// The export as the given function pointer type, or nullptr when the module
// or the export is missing.
template <class Function>
Function lookupFunction(HMODULE module, const char* name) {
    if (!module) return nullptr;
    FARPROC proc = GetProcAddress(module, name);
    // Through the generic function pointer type: the export's real type is
    // known only to the caller.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(proc));
}

}  // namespace wl
