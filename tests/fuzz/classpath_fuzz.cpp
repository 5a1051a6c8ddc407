// The class-path and module-path entries over an in-memory directory lister.
// The input is pieces separated by NUL bytes: the class-path setting, the
// module-path setting, environment entries ("NAME=VALUE" lines), then files
// (full name on the first line; the contents do not matter here).
#include "config/entries.h"
#include "memory_inputs.h"
#include "options/classpath.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    fuzz::limitLogFormatting(fuzz::kLogBudgetPerInput);
    std::vector<std::string> parts = fuzz::pieces(fuzz::bytesOf(data, size), '\0');
    parts.resize(std::max<std::size_t>(parts.size(), 3));
    wl::configStore = {};
    wl::configStore.settings[wl::cfg::classPath] = parts[0];
    wl::configStore.settings[wl::cfg::modulePath] = parts[1];
    wl::launcherTempDir = size % 2 ? "C:\\T\\vek1.tmp_dir1" : "";
    wl::flavourCode = size % 3 ? 'q' : 'v';

    fuzz::MemoryInputs inputs;
    inputs.environment = fuzz::pieces(parts[2], '\n');
    fuzz::addFiles(inputs, parts, 3);

    for (int32_t id : {wl::cfg::classPath, wl::cfg::modulePath}) {
        std::string target;
        std::optional<wl::PathFailure> failure = wl::addPathEntries(inputs, id, target);
        if (failure)
            FUZZ_CHECK(failure->message == wl::cfg::classPathEntryMissing ||
                       failure->message == wl::cfg::variableUndefined);
        FUZZ_CHECK(target.empty() || target.back() == ';', "every piece ends with a separator");
    }

    wl::VmOptionList list;
    wl::ClassPathOverrides overrides;
    if (size % 5 == 0) overrides.prefix = "C:\\pre.jar";
    if (size % 7 == 0) overrides.suffix = parts[0];
    if (!wl::buildClassAndModulePath(inputs, overrides, list))
        FUZZ_CHECK(!list.empty() && list[0].rfind("-Djava.class.path=", 0) == 0);
    return 0;
}
