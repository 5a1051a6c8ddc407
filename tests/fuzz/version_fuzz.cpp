// Version arithmetic and the probe's output. The input is lines: two version
// texts, a minimum and a maximum; the whole input is also read as the probe's
// output file and as a cached registry value.
#include "fuzz_support.h"
#include "jre/version.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    std::string_view input = fuzz::bytesOf(data, size);
    std::vector<std::string> lines = fuzz::pieces(input, '\n');
    lines.resize(std::max<std::size_t>(lines.size(), 4));
    const std::string& x = lines[0];
    const std::string& y = lines[1];

    wl::VersionList parts = wl::splitVersion(x);
    FUZZ_CHECK(parts.size() <= x.size());
    for (int32_t part : parts) FUZZ_CHECK(part >= 0);

    FUZZ_CHECK(!wl::isNewerVersion(x, x));
    FUZZ_CHECK(!(wl::isNewerVersion(x, y) && wl::isNewerVersion(y, x)));

    wl::VersionBounds bounds{wl::splitVersion(lines[2]), wl::splitVersion(lines[3])};
    bool strict = wl::versionAccepted(x, bounds, true);
    bool lenient = wl::versionInRangeLenient(x, bounds);
    // A candidate that passes with missing parts as zeros also passes when they are skipped.
    FUZZ_CHECK(!strict || lenient);
    FUZZ_CHECK(wl::versionWithinBound({}, parts, true, false) && wl::versionWithinBound({}, parts, false, false));
    if (!wl::looksLikeEarlyAccess(x)) FUZZ_CHECK(wl::versionAccepted(x, bounds, false) == strict);

    if (auto line = wl::firstTextLine(input, 99)) {
        FUZZ_CHECK(line->size() <= 99);
        if (auto version = wl::versionFromProbeLine(*line)) FUZZ_CHECK(version->size() < line->size());
    }
    (void)wl::usableCachedVersion(input.substr(0, std::min<std::size_t>(size, 8)), 0x01D9AABBCCDDEEFF, y);
    (void)wl::probeCommandLine(x);
    std::string key = wl::versionCacheKey(x, wl::kByteCodec);
    FUZZ_CHECK(key.size() >= x.size() && key.find('\\', key.size() - x.size()) == std::string::npos);
    return 0;
}
