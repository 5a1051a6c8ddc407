#include "base/winapi.h"
#include "config/locale.h"
#include "diag/log.h"

namespace wl {

std::string detectLocaleCode() {
    LANGID id = LANGID(GetUserDefaultLCID() & 0xFFFF);
    // The user interface language, where the system has the function.
    if (HMODULE kernel = LoadLibraryA("Kernel32.DLL")) {
        using UiLanguage = LANGID(WINAPI*)();
        if (auto get = reinterpret_cast<UiLanguage>(
                reinterpret_cast<void*>(GetProcAddress(kernel, "GetUserDefaultUILanguage"))))
            id = get();
    }
    std::string code = localeCodeFor(id);
    logMessage(u"language/country is %S", code.c_str());
    return code;
}

}  // namespace wl
