// Conversions between the code page of the file functions and UTF-16.
#include "base/text.h"
#include "base/winapi.h"

namespace wl {
namespace {

UINT fileApiCodePage() { return AreFileApisANSI() ? CP_ACP : CP_OEMCP; }

std::u16string widenFileApi(std::string_view bytes) {
    if (bytes.empty()) return {};
    const UINT codePage = fileApiCodePage();
    int size = MultiByteToWideChar(codePage, 0, bytes.data(), int(bytes.size()), nullptr, 0);
    if (size <= 0) return widenBytes(bytes);
    std::u16string out(std::size_t(size), u'\0');
    MultiByteToWideChar(codePage, 0, bytes.data(), int(bytes.size()), W(out.data()), size);
    return out;
}

// Characters without an exact counterpart become "?", never a look-alike
// (WC_NO_BEST_FIT_CHARS); code pages that refuse the flag convert without it.
std::string narrowFileApi(std::u16string_view text, bool* lossy) {
    if (lossy) *lossy = false;
    if (text.empty()) return {};
    const UINT codePage = fileApiCodePage();
    const wchar_t* wide = reinterpret_cast<const wchar_t*>(text.data());
    DWORD flags = WC_NO_BEST_FIT_CHARS;
    const char* defaultChar = "?";
    int size = WideCharToMultiByte(codePage, flags, wide, int(text.size()), nullptr, 0, defaultChar, nullptr);
    if (size == 0 && GetLastError() == ERROR_INVALID_FLAGS) {
        flags = 0;
        defaultChar = nullptr;
        size = WideCharToMultiByte(codePage, flags, wide, int(text.size()), nullptr, 0, nullptr, nullptr);
    }
    if (size <= 0) {
        if (lossy) *lossy = true;
        return {};
    }
    std::string out(std::size_t(size), '\0');
    BOOL usedDefault = FALSE;
    // UTF-8 and other code pages without a default character reject the flag.
    bool canReport = codePage != CP_UTF8 && codePage != CP_UTF7;
    int n = WideCharToMultiByte(codePage, flags, wide, int(text.size()), out.data(), size, defaultChar,
                                canReport ? &usedDefault : nullptr);
    out.resize(n > 0 ? std::size_t(n) : 0);
    if (lossy && usedDefault) *lossy = true;
    return out;
}

}  // namespace

const NarrowCodec& fileApiCodec() {
    static const NarrowCodec codec{widenFileApi, narrowFileApi};
    return codec;
}

}  // namespace wl
