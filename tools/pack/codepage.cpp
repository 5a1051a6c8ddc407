// Code-page conversion through iconv, on the build machine; the Windows build
// uses the system's tables (codepage_win.cpp).
#include "codepage.h"

#include <cerrno>
#include <iconv.h>

namespace pack {
namespace {

std::string iconvName(int codePage) {
    if (codePage == 65001) return "UTF-8";
    return "CP" + std::to_string(codePage);
}

bool convert(std::string_view in, const std::string& from, const std::string& to, std::string& out) {
    iconv_t cd = iconv_open(to.c_str(), from.c_str());
    if (cd == iconv_t(-1)) return false;
    out.clear();
    std::string input(in);
    char* src = input.data();
    size_t srcLeft = input.size();
    bool ok = true;
    while (srcLeft > 0) {
        char buffer[256];
        char* dst = buffer;
        size_t dstLeft = sizeof buffer;
        size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out.append(buffer, size_t(dst - buffer));
        // A failure, or a character that was replaced (irreversible), is refused.
        if ((r == size_t(-1) && errno != E2BIG) || (r != size_t(-1) && r > 0)) {
            ok = false;
            break;
        }
    }
    iconv_close(cd);
    return ok;
}

}  // namespace

bool codePageSupported(int codePage) {
    if (codePage <= 0) return false;
    iconv_t cd = iconv_open("UTF-8", iconvName(codePage).c_str());
    if (cd == iconv_t(-1)) return false;
    iconv_close(cd);
    return true;
}

bool utf8ToCodePage(std::string_view utf8, int codePage, std::string& out) {
    return convert(utf8, "UTF-8", iconvName(codePage), out);
}

bool codePageToUtf8(std::string_view bytes, int codePage, std::string& out) {
    return convert(bytes, iconvName(codePage), "UTF-8", out);
}

}  // namespace pack
