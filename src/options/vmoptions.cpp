#include "options/vmoptions.h"

#include <algorithm>

#include "base/process_state.h"
#include "config/entries.h"
#include "config/java_contract.h"
#include "config/store.h"
#include "diag/log.h"

namespace wl {

void joinModuleOptions(VmOptionList& list, OptionTrace* trace) {
    for (std::size_t i = 0; i + 1 < list.size(); ++i) {
        bool isName = std::any_of(std::begin(kModuleOptionNames), std::end(kModuleOptionNames),
                                  [&](const char* name) { return list[i] == name; });
        if (!isName) continue;
        list[i] += "=" + list[i + 1];
        list.erase(list.begin() + std::ptrdiff_t(i + 1));
        if (trace && i + 1 < trace->origins.size()) trace->origins.erase(trace->origins.begin() + std::ptrdiff_t(i + 1));
    }
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
    if (getConfigInt(cfg::useDefaultVmOptionsFile) != 0) collector.readDefaultOptionsFile();
    if (getConfigInt(cfg::allowJavaOptionArguments) != 0) {
        collector.source = OptionSource::JavaArgument;
        for (const std::u16string& argument : arguments)
            if (argument.starts_with(java::kJavaOptionArgument))
                collector.handleOptionLine(nullptr, argument.substr(std::size(java::kJavaOptionArgument) - 1));
    }
    list = std::move(collector.list);
    if (std::optional<PathFailure> failure = buildClassAndModulePath(inputs, collector.overrides, list, trace))
        return failure;
    added(OptionSource::ClassPath, list.size());
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
