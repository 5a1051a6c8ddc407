// Functions looked up at run time: the system functions that older Windows
// versions lack, and those of libraries only some runs need (user32, shell32),
// which are loaded on first use rather than at every start.
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

// The window functions of user32. Importing user32 statically would make the
// system load and initialise it (and the graphics libraries it pulls in) at
// every start, although only a message box or the activation of another
// copy's windows needs it. Loaded once, on first use; a known system library,
// so the search path plays no part.
inline HMODULE user32Module() {
    static HMODULE module = LoadLibraryW(L"user32.dll");
    return module;
}

}  // namespace wl
