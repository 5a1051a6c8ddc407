// The packer's code-page conversion in the form of the launcher's narrow
// codec, so that the packer checks names with the launcher's own functions.
#include "codepage.h"

namespace pack {
namespace {

int codecCodePage = 1252;

std::u16string widen(std::string_view bytes) {
    std::string utf8;
    // Bytes the code page does not define: a wide form that does not narrow
    // back, so that no exact wide form exists.
    if (!codePageToUtf8(bytes, codecCodePage, utf8)) return u"\uFFFD";
    return wl::fromUtf8(utf8);
}

std::string narrow(std::u16string_view text, bool* lossy) {
    std::string out;
    bool lost = !utf8ToCodePage(wl::toUtf8(text), codecCodePage, out);
    if (lost) {
        // Character by character, what the code page lacks as "?".
        out.clear();
        for (std::size_t i = 0; i < text.size(); ++i) {
            std::size_t units = text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size() ? 2 : 1;
            std::string bytes;
            out += utf8ToCodePage(wl::toUtf8(text.substr(i, units)), codecCodePage, bytes) ? bytes : "?";
            i += units - 1;
        }
    }
    if (lossy) *lossy = lost;
    return out;
}

const wl::NarrowCodec kCodec{widen, narrow};

}  // namespace

const wl::NarrowCodec& codePageCodec(int codePage) {
    codecCodePage = codePage;
    return kCodec;
}

}  // namespace pack
