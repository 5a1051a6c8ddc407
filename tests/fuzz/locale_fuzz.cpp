// The locale-code lookup: a language identifier from the first two bytes, and
// the rest of the input as a language-section prefix to match.
#include "base/process_state.h"
#include "config/block.h"
#include "config/locale.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    uint16_t id = uint16_t(data[0] | data[1] << 8);
    std::string code = wl::localeCodeFor(id);
    FUZZ_CHECK(code.size() >= 2 && code.size() <= 8, "code %s for %04x", code.c_str(), id);
    // A lower-case language, then "_" and the rest when there is more.
    FUZZ_CHECK(code[0] >= 'a' && code[0] <= 'z' && code[1] >= 'a' && code[1] <= 'z');
    FUZZ_CHECK(code.size() == 2 || code[2] == '_');
    // An identifier outside the table falls back to its primary language.
    if (wl::localeCodeFor(id & 0x3FF) == "en" && (id & 0x3FF) != 0x09) FUZZ_CHECK(code.size() == 5 || code == "en");

    wl::rememberLocaleParts(code);
    FUZZ_CHECK(wl::localeLanguage == code.substr(0, 2));

    std::string prefix(fuzz::bytesOf(data + 2, size - 2));
    wl::rememberLocaleParts(prefix);
    bool matches = wl::sectionMatches(prefix, code);
    FUZZ_CHECK(matches == (code.compare(0, prefix.size(), prefix) == 0));
    return 0;
}
