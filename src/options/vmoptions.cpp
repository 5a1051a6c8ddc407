#include "options/vmoptions.h"

#include <algorithm>

#include "base/process_state.h"
#include "config/entries.h"
#include "config/java_contract.h"
#include "config/store.h"
#include "options/classdata.h"
#include "diag/log.h"

namespace wl {

// In one pass, each option moved at most once: erasing the joined value from
// the list would move the rest of the list at every name, a time that grows
// with the square of the options (an options file of a hundred thousand
// module options would keep the launcher busy for minutes). The origins of a
// trace move with their options.
void joinModuleOptions(VmOptionList& list, OptionTrace* trace) {
    const bool traced = trace && trace->origins.size() == list.size();
    std::size_t kept = 0;
    for (std::size_t i = 0; i < list.size(); ++i) {
        bool isName = i + 1 < list.size() &&
                      std::any_of(std::begin(kModuleOptionNames), std::end(kModuleOptionNames),
                                  [&](const char* name) { return list[i] == name; });
        if (kept != i) {
            list[kept] = std::move(list[i]);
            if (traced) trace->origins[kept] = trace->origins[i];
        }
        if (isName) {
            list[kept] += "=";
            list[kept] += list[i + 1];
            ++i;
        }
        ++kept;
    }
    list.resize(kept);
    if (traced) trace->origins.resize(kept);
}

std::optional<PathFailure> assembleOptionList(OptionInputs& inputs, const std::vector<std::string>& launcherProperties,
                                              const std::vector<std::u16string>& arguments, VmOptionList& list,
                                              OptionTrace* trace) {
    // The origins of options the launcher adds itself.
    auto added = [&](OptionSource source, std::size_t count) {
        while (trace && trace->origins.size() < count) trace->origins.push_back({source, -1});
    };
    OptionCollector collector(inputs);
    collector.list = launcherProperties;
    collector.trace = trace;
    added(OptionSource::Launcher, launcherProperties.size());
    collector.addConfiguredOptions(arguments);
    bool userOptionsFile = false;
    if (getConfigInt(cfg::useDefaultVmOptionsFile) != 0) {
        const std::size_t before = collector.list.size();
        const ClassPathOverrides overrides = collector.overrides;
        collector.readDefaultOptionsFile();
        userOptionsFile = collector.list.size() != before || collector.overrides.replacement != overrides.replacement ||
                          collector.overrides.prefix != overrides.prefix ||
                          collector.overrides.suffix != overrides.suffix;
    }
    bool classPathChanged = false;
    if (getConfigInt(cfg::allowJavaOptionArguments) != 0) {
        collector.source = OptionSource::JavaArgument;
        for (const std::u16string& argument : arguments) {
            if (!argument.starts_with(java::kJavaOptionArgument)) continue;
            const std::u16string line = argument.substr(std::size(java::kJavaOptionArgument) - 1);
            classPathChanged = classPathChanged || changesClassPath(line);
            collector.handleOptionLine(nullptr, line);
        }
    }
    list = std::move(collector.list);
    if (std::optional<PathFailure> failure = buildClassAndModulePath(inputs, collector.overrides, list, trace))
        return failure;
    added(OptionSource::ClassPath, list.size());
    addClassDataSharingOptions(inputs, userOptionsFile, classPathChanged, list, /*prepare=*/trace == nullptr);
    if (isServiceProcess && std::find(list.begin(), list.end(), java::kReduceSignalsOption) == list.end()) {
        logMessage(u"service: adding -Xrs");
        list.push_back(java::kReduceSignalsOption);
    }
    if (runInConsole) list.push_back(java::kNoRedirectOption);
    added(OptionSource::Launcher, list.size());
    joinModuleOptions(list, trace);
    return std::nullopt;
}

void fillInitArgs(JavaVMInitArgs& initArgs, std::vector<JavaVMOption>& options, VmOptionList& texts) {
    options.assign(texts.size(), JavaVMOption{});
    logMessage(u"vmoption count %d", int(texts.size()));
    for (std::size_t i = 0; i < texts.size(); ++i) {
        options[i].optionString = texts[i].data();
        options[i].extraInfo = nullptr;
        logMessage(u"vmoption %d: %S", int(i), texts[i].c_str());
    }
    initArgs = JavaVMInitArgs{};
    initArgs.version = JNI_VERSION_1_2;
    initArgs.nOptions = jint(options.size());
    initArgs.options = options.empty() ? nullptr : options.data();
    initArgs.ignoreUnrecognized = JNI_TRUE;
}

}  // namespace wl
