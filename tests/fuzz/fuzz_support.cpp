#include "fuzz_support.h"

#include <sanitizer/allocator_interface.h>

#include <algorithm>
#include <cstdint>

#include "diag/log.h"

namespace fuzz {
namespace {

bool watching = false;
std::size_t largestSeen = 0;

void onAllocation(const volatile void*, std::size_t size) {
    if (watching && size > largestSeen) largestSeen = size;
}

void onFree(const volatile void*) {}

const bool hooksInstalled = __sanitizer_install_malloc_and_free_hooks(onAllocation, onFree) != 0;

}  // namespace

AllocationWatch::AllocationWatch() {
    FUZZ_CHECK(hooksInstalled, "the allocation hooks could not be installed");
    largestSeen = 0;
    watching = true;
}

AllocationWatch::~AllocationWatch() { watching = false; }

std::size_t AllocationWatch::largest() const { return largestSeen; }

}  // namespace fuzz

// The log of the fuzz targets: every line is formatted as in the launcher,
// then dropped, so that a long run does not collect them.
namespace fuzz {
namespace {
std::size_t logBudget = SIZE_MAX;
}  // namespace

void limitLogFormatting(std::size_t characters) { logBudget = characters; }

}  // namespace fuzz

namespace wl {

void writeLogLine(bool, const std::u16string& text) {
    fuzz::logBudget -= std::min(fuzz::logBudget, text.size());
}

std::u16string logFileName() { return {}; }

// Lines are formatted, so that the formatting sees the fuzzed texts too,
// until the input's budget is spent.
bool logLineWanted() { return fuzz::logBudget > 0; }

}  // namespace wl
