// The whole JVM option assembly over an in-memory system: the configured and
// version-specific option lines, the options file next to the executable and
// the files it includes, "-J" arguments and locale options, then the class
// and module path with their directory listings.
//
// The input is pieces separated by NUL bytes: settings ("id=value" lines), the
// runtime's version, the command-line arguments, environment entries
// ("NAME=VALUE" lines), then files, each its full name on the first line and
// its contents after it.
#include "config/store.h"
#include "base/tokenize.h"
#include "memory_inputs.h"
#include "options/vmoptions.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    fuzz::limitLogFormatting(fuzz::kLogBudgetPerInput);
    std::vector<std::string> parts = fuzz::pieces(fuzz::bytesOf(data, size), '\0');
    parts.resize(std::max<std::size_t>(parts.size(), 4));

    fuzz::setSettings(parts[0]);
    wl::javaVersion = parts[1];
    wl::isServiceProcess = size % 2 == 0;
    wl::runInConsole = size % 3 == 0;
    wl::flavourCode = size % 5 == 0 ? 'q' : 'v';
    wl::launcherTempDir = size % 7 == 0 ? "C:\\T\\vek1.tmp_dir1" : "";
    wl::localeLanguage = "pt";
    wl::localeCountry = "BR";
    std::vector<std::u16string> arguments;
    wl::splitCommandLine(fuzz::wide(parts[2]), arguments);

    fuzz::MemoryInputs inputs;
    // Bounds that a small input reaches: the launcher's own let one input of
    // a few kilobytes be read 256 times over, which held the target to a few
    // hundred executions a second without reaching any other code.
    inputs.bounds = {4, 16, 64 * 1024};
    inputs.environment = fuzz::pieces(parts[3], '\n');
    fuzz::addFiles(inputs, parts, 4);

    wl::VmOptionList list;
    std::optional<wl::PathFailure> failure = wl::assembleOptionList(inputs, {"-Dlauncher=1"}, arguments, list);
    if (!failure) {
        FUZZ_CHECK(list[0].rfind("-Dlauncher=1", 0) == 0, "the launcher's properties come first");
        // Always there; a module option name written last by the user takes
        // it as its value.
        bool classPath = false;
        for (const std::string& option : list)
            classPath = classPath || option.find("-Djava.class.path=") != std::string::npos;
        FUZZ_CHECK(classPath, "the class path option is always there");
    }
    return 0;
}
