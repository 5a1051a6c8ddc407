// Narrow and wide variable expansion. The input is the text, then the
// environment entries, separated by NUL bytes; the built-in values hold
// variables themselves, so that the order of the rows is exercised.
#include "files/expand.h"
#include "fuzz_support.h"

namespace {

// The limit the expansion keeps to (files/expand.cpp), plus the room of the
// one replacement that may start below it.
constexpr std::size_t kMaxExpandedLength = 65536;

const wl::NarrowExpansionValues kNarrow = {"C:\\App\\${launcher:sys.jvmHome}\\", "C:\\T\\vek1.tmp_dir9",
                                           "C:\\jre\\bin\\..", "C:\\T\\${Foo}\\"};

wl::WideExpansionValues widened(const wl::NarrowExpansionValues& v) {
    return {fuzz::wide(v.launcherDir), fuzz::wide(v.launcherTempDir) + u"\u00e9\u0416", fuzz::wide(v.jvmHome),
            fuzz::wide(v.systemTempDir)};
}

template <class S> void checkExpansion(const S& before, const S& after) {
    FUZZ_CHECK(after.size() <= std::max(before.size(), kMaxExpandedLength), "grew to %zu from %zu",
               after.size(), before.size());
    using C = typename S::value_type;
    if (before.find(C('$')) == S::npos && before.find(C('%')) == S::npos) FUZZ_CHECK(after == before);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    fuzz::limitLogFormatting(fuzz::kLogBudgetPerInput);
    std::vector<std::string> parts = fuzz::pieces(fuzz::bytesOf(data, size), '\0');
    std::string text = parts[0];
    std::vector<std::string> environment(parts.begin() + 1, parts.end());

    std::string narrow = text;
    wl::expandWithValues(narrow, kNarrow, environment);
    checkExpansion(text, narrow);

    std::u16string wideText = fuzz::wide(text);
    std::vector<std::u16string> wideEnvironment;
    for (const std::string& entry : environment) wideEnvironment.push_back(fuzz::wide(entry));
    std::u16string wide = wideText;
    wl::expandWithValues(wide, widened(kNarrow), wideEnvironment);
    checkExpansion(wideText, wide);

    // One replacement on its own: the value is never expanded again.
    if (environment.size() >= 2) {
        std::string once = text;
        std::size_t count = wl::replaceAllInPlace(once, environment[0], environment[1]);
        if (environment[0].empty()) FUZZ_CHECK(count == 0 && once == text);
        FUZZ_CHECK(once.size() + count * environment[0].size() == text.size() + count * environment[1].size());
    }
    return 0;
}
