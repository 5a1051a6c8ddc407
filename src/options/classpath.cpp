#include "options/classpath.h"

#include "base/process_state.h"
#include "base/text.h"
#include "config/entries.h"
#include "config/java_contract.h"
#include "config/store.h"
#include "diag/log.h"
#include "files/paths.h"

namespace wl {
namespace {

bool endsWith(const std::string& text, char c) { return !text.empty() && text.back() == c; }

void removeOneTrailingSeparator(std::string& text) {
    if (endsWith(text, ';')) text.pop_back();
}

// An environment piece's value: a value enclosed in double quotes loses them;
// the separator follows unless the value ends with one.
void appendVariableValue(std::string& target, const std::string& value) {
    std::string appended = value;
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') appended = value.substr(1, value.size() - 2);
    target += appended;
    if (!endsWith(appended, ';')) target += ';';
}

}  // namespace

std::string archivePattern(const std::string& dir, const std::string& ext) {
    return dir + "\\*" + (!ext.empty() && ext[0] == '.' ? "" : ".") + ext;
}

bool addArchivesOfDirectory(OptionInputs& inputs, std::string& target, const std::string& dir,
                            const std::string& ext) {
    if (!inputs.exists(dir)) return false;
    for (const std::string& name : inputs.findFiles(archivePattern(dir, ext)))
        target += composeResolvedPath(dir + "\\" + name, inputs.launcherDir(), inputs.codec()) + ";";
    return true;
}

std::optional<PathFailure> addPathEntries(OptionInputs& inputs, int32_t id, std::string& target,
                                          OptionTrace* trace) {
    std::string entry = getConfigString(id, kBufferSize);
    logMessage(u"entry %S", entry.c_str());
    std::vector<std::string> pieces = splitList(entry);
    logMessage(u"entries %d", int(pieces.size()));
    for (const std::string& piece : pieces) {
        const char type = piece[0];
        const bool required = piece.size() > 1 && piece[1] == '1';
        std::string argument = piece.size() > 2 ? piece.substr(2) : std::string();
        inputs.expandNarrow(argument);
        bool found = false;
        const std::size_t before = target.size();
        // What the piece appended, and its state, for the trace.
        auto record = [&](PathState state) {
            if (trace) trace->paths.push_back({id, piece, target.substr(before), state});
        };
        switch (type) {
        case 'A':
        case 'D': {
            // An expansion may have brought in ";": each part is resolved.
            std::string path;
            for (const std::string& part : splitList(argument)) {
                if (!path.empty()) path += ';';
                path += composeResolvedPath(part, inputs.launcherDir(), inputs.codec());
            }
            if (path.empty()) path = inputs.launcherDir();
            found = inputs.exists(path);
            target += path + ";";
            break;
        }
        case 'E': {
            std::optional<std::string> value = inputs.environmentVariable(argument);
            if (value && !value->empty()) {
                appendVariableValue(target, *value);
                found = true;
            } else if (!required) {
                record(PathState::Skipped);
                continue;
            } else if (!value) {
                record(PathState::Failed);
                return PathFailure{cfg::variableUndefined, argument};
            }
            // A required variable that is defined but empty counts as not found.
            break;
        }
        case 'S': {
            std::string dir = composeResolvedPath(argument, inputs.launcherDir(), inputs.codec());
            if (id == cfg::classPath) {
                // Every jar archive of the directory before every zip archive.
                found = addArchivesOfDirectory(inputs, target, dir, "jar");
                found = addArchivesOfDirectory(inputs, target, dir, "zip") || found;
            } else {
                found = inputs.exists(dir);
                target += dir + ";";
            }
            break;
        }
        default:
            // An unknown letter adds nothing, and a required one is not found.
            break;
        }
        if (required && !found) {
            record(PathState::Failed);
            return PathFailure{cfg::classPathEntryMissing, argument};
        }
        record(found ? PathState::Found : target.size() == before ? PathState::Skipped : PathState::Missing);
    }
    return std::nullopt;
}

void addRuntimeArchive(OptionInputs& inputs, std::string& target) {
    if (!java::isQuarlo(flavourCode)) return;
    std::string dir = inputs.installationDir();
    if (!endsWithBackslash(dir, inputs.codec())) dir += '\\';
    target += dir + java::kRuntimeArchive + ";";
}

std::optional<PathFailure> buildClassAndModulePath(OptionInputs& inputs, const ClassPathOverrides& overrides,
                                                   VmOptionList& list, OptionTrace* trace) {
    // An override or archive by its name, as the trace shows it.
    auto record = [&](const char* name, const std::string& added, bool found) {
        if (trace) trace->paths.push_back({cfg::classPath, name, added, found ? PathState::Found : PathState::Missing});
    };
    logMessage(u"adding preconfigured modulepath");
    std::string modulePath;
    if (std::optional<PathFailure> failure = addPathEntries(inputs, cfg::modulePath, modulePath, trace))
        return failure;

    std::string classPath = java::kClassPathOption;
    const bool inModule = getConfigInt(cfg::mainClassInModule) != 0;
    // The per-run archives and the runtime archive join the module path when
    // there is one, or when the main class sits in a named module.
    std::string& archives = (!modulePath.empty() || inModule) ? modulePath : classPath;

    if (overrides.prefix) {
        classPath += *overrides.prefix + ";";
        record("-classpath/p", *overrides.prefix, true);
    }
    // Without a per-run directory there is nothing to scan: its "\user" would
    // name a directory at the root of the current drive.
    if (!launcherTempDir.empty()) {
        addArchivesOfDirectory(inputs, archives, launcherTempDir, "jar");
        addArchivesOfDirectory(inputs, archives, launcherTempDir, "zip");
        const std::string userDir = launcherTempDir + "\\user";
        addArchivesOfDirectory(inputs, classPath, userDir, "jar");
        addArchivesOfDirectory(inputs, classPath, userDir, "zip");
    }
    addRuntimeArchive(inputs, archives);

    if (overrides.replacement) {
        classPath += *overrides.replacement;
        record("-classpath", *overrides.replacement, true);
    } else {
        logMessage(u"adding preconfigured classpath");
        if (std::optional<PathFailure> failure = addPathEntries(inputs, cfg::classPath, classPath, trace))
            return failure;
    }
    if (overrides.suffix) {
        if (!endsWith(classPath, ';')) classPath += ';';
        classPath += *overrides.suffix;
        record("-classpath/a", *overrides.suffix, true);
    }
    removeOneTrailingSeparator(classPath);
    list.push_back(classPath);

    if (modulePath.empty()) return std::nullopt;
    removeOneTrailingSeparator(modulePath);
    list.push_back("--module-path=" + modulePath);

    const std::string runtimeModule = java::runtimeModule(flavourCode);
    std::string addModules;
    if (inModule) {
        // The main class is "module/package.Class": its module is added, and
        // its package is opened to the runtime that loads it.
        std::string mainClass = getConfigString(cfg::mainClass, kBufferSize);
        if (std::size_t slash = mainClass.find('/'); slash != std::string::npos) {
            std::size_t dot = mainClass.rfind('.');
            if (dot != std::string::npos && dot > slash)
                list.push_back("--add-opens=" + mainClass.substr(0, dot) + "=" + runtimeModule);
            mainClass.resize(slash);
        }
        addModules = mainClass + ",";
    }
    list.push_back("--add-modules=" + addModules + runtimeModule);
    return std::nullopt;
}

}  // namespace wl
