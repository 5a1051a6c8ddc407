// The complete JVM option list: launcher properties, configured and
// version-specific option lines, locale options, the options file next to the
// executable, "-J" arguments, class path and module options, and the
// service and console additions, in that order.
#pragma once

#include <jni.h>

#include <optional>
#include <string>
#include <vector>

#include "options/classpath.h"
#include "options/optionsfile.h"

namespace wl {

// --- Portable decisions ---

// Options whose value the JVM wants behind "=", when given as two options.
inline constexpr const char* kModuleOptionNames[] = {
    "--upgrade-module-path", "--add-modules", "--limit-modules", "--add-exports",
    "--add-opens",           "--add-reads",   "--patch-module",
};

// Joins each module option name with the option that follows it into
// "name=value", from the start of the list; a name that is the last option
// stays alone. The trace's origins, when given, follow the list.
void joinModuleOptions(VmOptionList& list, OptionTrace* trace = nullptr);

// The whole list, in the order the sources are consulted. Reads the settings,
// the process flags and the files through inputs. On a failure (a required
// class-path piece) the list is incomplete and the failure says what to show.
// The trace, when given, records where each option came from, the files read
// and the path pieces.
std::optional<PathFailure> assembleOptionList(OptionInputs& inputs, const std::vector<std::string>& launcherProperties,
                                              const std::vector<std::u16string>& arguments, VmOptionList& list,
                                              OptionTrace* trace = nullptr);

// Fills the init arguments with the options, in list order, and logs them.
// The texts must outlive the record; they are not copied.
void fillInitArgs(JavaVMInitArgs& initArgs, std::vector<JavaVMOption>& options, VmOptionList& texts);

// --- Windows side ---

// Assembles the option list from the launcher properties (the first options,
// in their order) and the command-line arguments, logs it, and fills initArgs:
// JNI_VERSION_1_2, every option in list order, ignoreUnrecognized true. The
// option texts and the array live until the process ends. A required class-path
// piece that is missing ends the launch.
void assembleVmOptions(JavaVMInitArgs& initArgs, const std::vector<std::string>& launcherProperties,
                       const std::vector<std::u16string>& arguments);

// The same assembly for /diagnose: the list with its trace, and the failure
// instead of the fatal end.
std::optional<PathFailure> traceVmOptions(const std::vector<std::string>& launcherProperties,
                                          const std::vector<std::u16string>& arguments, VmOptionList& list,
                                          OptionTrace& trace);

}  // namespace wl
