// The class path and the module path: configured entries (archives,
// directories, environment variables, scanned directories), the archives of
// the per-run directory, the quarlo runtime archive, the overrides of option
// lines, and the module options for a main class in a named module.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "options/optionsfile.h"

namespace wl {

// Why the launch cannot go on: the message id and its "{0}" argument.
struct PathFailure {
    int32_t message;
    std::string argument;
};

// "<dir>\*.<ext>" (no second dot when ext starts with one): the directory
// search of one archive kind.
std::string archivePattern(const std::string& dir, const std::string& ext);

// Appends each listed archive of the directory as a resolved path and ";".
// False only when the directory does not exist.
bool addArchivesOfDirectory(OptionInputs& inputs, std::string& target, const std::string& dir,
                            const std::string& ext);

// Appends the pieces of a path-list entry (121 class path, 132 module path):
// "A"/"D" paths, "E" environment variables, "S" scanned directories (their
// jar, then zip archives for the class path; the directory itself for the
// module path). A required piece that is not found, or an unknown letter on a
// required piece, gives message 1006; a required variable that is not defined
// gives 1008. Each piece is recorded in the trace when one is given.
std::optional<PathFailure> addPathEntries(OptionInputs& inputs, int32_t id, std::string& target,
                                          OptionTrace* trace = nullptr);

// The quarlo family only: "<installation dir>\.quarlo\qarruntime.jar;".
void addRuntimeArchive(OptionInputs& inputs, std::string& target);

// Appends the class-path option (always, "-Djava.class.path=" at least) and,
// when there is a module path, the module-path, --add-opens and
// --add-modules options. The trace, when given, records every piece and the
// overrides.
std::optional<PathFailure> buildClassAndModulePath(OptionInputs& inputs, const ClassPathOverrides& overrides,
                                                   VmOptionList& list, OptionTrace* trace = nullptr);

}  // namespace wl
