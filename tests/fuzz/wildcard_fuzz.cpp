// The pieces of the option code that read texts on their own: the wildcard
// match against a plain reference, the version-specific condition, the major
// version, and the line reader of options files. The input is a pattern, a
// NUL byte and a text; the whole input is also read as an options file.
#include "fuzz_support.h"
#include "options/optionsfile.h"

namespace {

// The same language, decided over all prefixes of pattern and text.
bool referenceMatch(std::string_view pattern, std::string_view text) {
    std::vector<std::vector<char>> m(pattern.size() + 1, std::vector<char>(text.size() + 1, 0));
    m[0][0] = 1;
    for (std::size_t p = 1; p <= pattern.size(); ++p) {
        m[p][0] = pattern[p - 1] == '*' && m[p - 1][0];
        for (std::size_t t = 1; t <= text.size(); ++t) {
            char c = pattern[p - 1];
            m[p][t] = c == '*' ? (m[p - 1][t] || m[p][t - 1])
                               : ((c == '?' || c == text[t - 1]) && m[p - 1][t - 1]);
        }
    }
    return m[pattern.size()][text.size()];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    std::string_view input = fuzz::bytesOf(data, size);
    std::size_t nul = input.find('\0');
    std::string pattern(input.substr(0, nul));
    std::string text(nul == std::string_view::npos ? std::string_view() : input.substr(nul + 1));

    if (pattern.size() * text.size() <= 1 << 20)
        FUZZ_CHECK(wl::wildcardMatch(pattern, text) == referenceMatch(pattern, text));

    int32_t major = wl::majorVersion(text);
    FUZZ_CHECK(major >= -1);
    bool matched = wl::versionConditionMatches(pattern, text, major);
    if (!pattern.empty() && pattern[0] == '*') FUZZ_CHECK(matched == wl::wildcardMatch(pattern.substr(1), text));

    wl::MemorySource source(input);
    wl::OptionsFileReader reader(source);
    for (std::string line; reader.next(line);) {
        FUZZ_CHECK(!line.empty() && line.size() <= wl::kOptionsFileLineLimit && line[0] != '#');
        FUZZ_CHECK(line.front() != ' ' && line.back() != ' ' && line.find_first_of(std::string("\n\0", 2)) == std::string::npos);
    }
    return 0;
}
