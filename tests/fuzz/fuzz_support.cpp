#include "fuzz_support.h"

#include <sanitizer/allocator_interface.h>

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
namespace wl {

void writeLogLine(bool, const std::u16string&) {}

std::u16string logFileName() { return {}; }

// Every line is formatted, so that the formatting sees the fuzzed texts too.
bool logLineWanted() { return true; }

}  // namespace wl
