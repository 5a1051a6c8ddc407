#include "base/procaddress.h"
#include "base/winapi.h"
#include "config/locale.h"
#include "diag/log.h"

namespace wl {

std::string detectLocaleCode() {
    LANGID id = LANGID(GetUserDefaultLCID() & 0xFFFF);
    // The user interface language, where the system has the function. Kernel32
    // is loaded in every process: it is looked up, not loaded again.
    using UiLanguage = LANGID(WINAPI*)();
    if (auto get = lookupFunction<UiLanguage>(GetModuleHandleW(L"kernel32.dll"), "GetUserDefaultUILanguage")) id = get();
    std::string code = localeCodeFor(id);
    logMessage(u"language/country is %S", code.c_str());
    return code;
}

}  // namespace wl
