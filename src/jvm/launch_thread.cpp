#include "jvm/launch_thread.h"

#include <cstring>
#include <limits>

#include "config/entries.h"
#include "config/java_contract.h"

namespace wl {

std::vector<std::string> launcherProperties(const LauncherPropertyInputs& inputs) {
    std::vector<std::string> properties;
    auto property = [&properties](const char* name, const std::string& value) {
        properties.push_back(std::string("-D") + name + "=" + value);
    };
    if (!inputs.semaphoreName.empty()) property(java::kSemaphoreNameProperty, inputs.semaphoreName);
    if (inputs.quarlo) property(java::kIsQuarloProperty, "true");
    if (inputs.service) property(java::kIsServiceProperty, "true");
    property(java::kModuleNameProperty, inputs.modulePath);
    property(java::kJavaCommandProperty, inputs.modulePath);
    property(java::kTempDirProperty, inputs.tempDir);
    // Unsigned: an offset beyond 2 GiB must not turn negative.
    property(java::kUnextractedPositionProperty, std::to_string(inputs.unextractedPosition));
    properties.push_back(java::kLibraryPathOption + inputs.path);
    if (!inputs.manpathSet) property(java::kConsoleCodepageProperty, "cp" + std::to_string(inputs.consoleCodepage));
    properties.insert(properties.end(), inputs.additions.begin(), inputs.additions.end());
    return properties;
}

std::vector<std::string> outputRollingProperties(const ConfigStore& store) {
    enum class Form { Size, Flag, Count };
    static const struct {
        int32_t id;
        const char* property;
        Form form;
    } kSettings[] = {
        {cfg::outputMaxSize, java::kOutputMaxSizeProperty, Form::Size},
        {cfg::outputRollDaily, java::kOutputRollDailyProperty, Form::Flag},
        {cfg::outputKeepFiles, java::kOutputKeepFilesProperty, Form::Count},
        {cfg::outputMaxAgeDays, java::kOutputMaxAgeDaysProperty, Form::Count},
        {cfg::outputMaxTotalSize, java::kOutputMaxTotalSizeProperty, Form::Size},
        {cfg::outputRollOnStart, java::kOutputRollOnStartProperty, Form::Flag},
    };
    std::vector<std::string> properties;
    for (const auto& setting : kSettings) {
        auto found = store.settings.find(setting.id);
        if (found == store.settings.end() || found->second.empty()) continue;
        std::string value = found->second;
        if (setting.form == Form::Flag) value = parseDecimalClamped(value) != 0 ? "true" : "false";
        if (setting.form == Form::Count) value = std::to_string(parseDecimalClamped(value));
        properties.push_back(std::string("-D") + setting.property + "=" + value);
    }
    return properties;
}

int64_t parseMemorySize(const char* text) {
    constexpr int64_t max = std::numeric_limits<int64_t>::max();
    int64_t value = 0;
    const char* at = text;
    for (; *at >= '0' && *at <= '9'; ++at) {
        int digit = *at - '0';
        if (value > (max - digit) / 10) return -1;
        value = value * 10 + digit;
    }
    if (at == text || std::strlen(at) > 1) return -1;
    int shift = 0;
    switch (*at) {
        case '\0': return value;
        case 'k': case 'K': shift = 10; break;
        case 'm': case 'M': shift = 20; break;
        case 'g': case 'G': shift = 30; break;
        case 't': case 'T': shift = 40; break;
        default: return -1;
    }
    if (value > (max >> shift)) return -1;
    return value << shift;
}

uint32_t launchStackSize(const JavaVMInitArgs& initArgs) {
    constexpr char prefix[] = "-Xss";
    uint32_t size = 0;
    for (jint i = 0; i < initArgs.nOptions; ++i) {
        const char* option = initArgs.options[i].optionString;
        if (!option || std::strncmp(option, prefix, sizeof prefix - 1) != 0) continue;
        int64_t bytes = parseMemorySize(option + sizeof prefix - 1);
        if (bytes > 0) size = uint32_t(uint64_t(bytes));
    }
    if (size > 0 && size < 0x10000) size = 0x10000;
    return size;
}

}  // namespace wl
