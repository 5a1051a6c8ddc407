// Helpers shared by the unit tests: readable wide strings and the log lines
// that the portable code wrote.
#pragma once

#include <string>
#include <vector>

#include "base/text.h"

namespace wl {
// Defined by the build machine's log (src/diag/log_host.cpp).
std::vector<std::u16string>& capturedLogLines();
}  // namespace wl

namespace testing_support {

inline std::string utf8(const std::u16string& s) { return wl::toUtf8(s); }
inline std::u16string wide(const std::string& s) { return wl::fromUtf8(s); }

// The captured log lines as UTF-8, and a fresh start for the next check.
inline std::vector<std::string> logLines() {
    std::vector<std::string> out;
    for (const std::u16string& line : wl::capturedLogLines()) out.push_back(wl::toUtf8(line));
    return out;
}
inline void clearLog() { wl::capturedLogLines().clear(); }

}  // namespace testing_support
