// Code-page conversion with the system's own tables, the ones the launcher's
// ANSI calls use.
#include "codepage.h"

#include "base/text.h"
#include "base/winapi.h"

namespace pack {

bool codePageSupported(int codePage) { return codePage > 0 && IsValidCodePage(UINT(codePage)); }

bool utf8ToCodePage(std::string_view utf8, int codePage, std::string& out) {
    out.clear();
    std::u16string wide = wl::fromUtf8(utf8);
    if (wide.empty()) return utf8.empty();
    // No best fit: a character the code page lacks must be refused, never
    // written as a look-alike (a Greek alpha as an "a").
    DWORD flags = codePage == 65001 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL defaulted = FALSE;
    BOOL* usedDefault = codePage == 65001 ? nullptr : &defaulted;
    int n = WideCharToMultiByte(UINT(codePage), flags, wl::W(wide.c_str()), int(wide.size()), nullptr, 0, nullptr,
                                usedDefault);
    if (n <= 0 || defaulted) return false;
    out.resize(std::size_t(n));
    n = WideCharToMultiByte(UINT(codePage), flags, wl::W(wide.c_str()), int(wide.size()), out.data(), n, nullptr,
                            usedDefault);
    if (n <= 0 || defaulted) return false;
    // Some code pages map a character to bytes that read back as another one;
    // only what comes back unchanged is accepted.
    std::string back;
    return codePageToUtf8(out, codePage, back) && back == utf8;
}

bool codePageToUtf8(std::string_view bytes, int codePage, std::string& out) {
    out.clear();
    if (bytes.empty()) return true;
    int n = MultiByteToWideChar(UINT(codePage), MB_ERR_INVALID_CHARS, bytes.data(), int(bytes.size()), nullptr, 0);
    if (n <= 0) return false;
    std::u16string wide(std::size_t(n), u'\0');
    if (MultiByteToWideChar(UINT(codePage), MB_ERR_INVALID_CHARS, bytes.data(), int(bytes.size()), wl::W(wide.data()),
                            n) != n)
        return false;
    out = wl::toUtf8(wide);
    return true;
}

}  // namespace pack
