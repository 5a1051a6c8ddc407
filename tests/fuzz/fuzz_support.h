// Shared by the fuzz targets: turning the fuzzer's bytes into the inputs of a
// parser, watching the sizes of allocations, and failing loudly when a
// property does not hold.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "base/text.h"

namespace fuzz {

inline std::string_view bytesOf(const uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// The pieces of the input between separators, in order; empty pieces count.
inline std::vector<std::string> pieces(std::string_view input, char separator) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for (;;) {
        std::size_t end = input.find(separator, start);
        if (end == std::string_view::npos) {
            out.emplace_back(input.substr(start));
            return out;
        }
        out.emplace_back(input.substr(start, end - start));
        start = end + 1;
    }
}

// Seeds are written as UTF-8 text so that they stay readable; the wide
// parsers get the text decoded, the narrow ones get the bytes.
inline std::u16string wide(std::string_view utf8) { return wl::fromUtf8(utf8); }

// Ends the run with a message when a property does not hold; libFuzzer keeps
// the input that led here.
#define FUZZ_CHECK(condition, ...)                                                   \
    do {                                                                             \
        if (!(condition)) {                                                          \
            std::fprintf(stderr, "fuzz check failed at %s:%d: %s\n", __FILE__, __LINE__, \
                         #condition);                                                \
            std::fprintf(stderr, "" __VA_ARGS__);                                    \
            std::fprintf(stderr, "\n");                                              \
            std::abort();                                                            \
        }                                                                            \
    } while (0)

// The log lines formatted from now on hold at most this many characters
// together; then lines are no longer wanted (as with logging off). A target
// calls it for each input: a text of 64 KiB expanded a thousand times would
// otherwise spend the run on formatting the log, which a user has only with
// logging on. Without a call every line is formatted.
void limitLogFormatting(std::size_t characters);

// The budget the targets that expand texts give each input: four times the
// longest input libFuzzer makes here (4 KB), so that every input's own text
// reaches the formatting whole. Expanded texts grow to 64 KiB, and one of
// those formatted at each of a thousand replacements took the long runs'
// inputs to over a millisecond each.
inline constexpr std::size_t kLogBudgetPerInput = 16 * 1024;

// The largest single allocation made while an AllocationWatch is alive
// (through the sanitizer's allocation hooks, which see malloc and new alike).
class AllocationWatch {
public:
    AllocationWatch();
    ~AllocationWatch();
    std::size_t largest() const;
};

}  // namespace fuzz
