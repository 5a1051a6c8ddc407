// The complete JVM option list: launcher properties, configured and
// version-specific option lines, locale options, the options file next to the
// executable, "-J" arguments, class path and module options, and the
// service and console additions, in that order.
#pragma once

#include <jni.h>

#include <string>
#include <vector>

namespace wl {

// Assembles the option list from the launcher properties (the first options,
// in their order) and the command-line arguments, logs it, and fills initArgs:
// JNI_VERSION_1_2, every option in list order, ignoreUnrecognized true. The
// option texts and the array live until the process ends. A required class-path
// piece that is missing ends the launch.
void assembleVmOptions(JavaVMInitArgs& initArgs, const std::vector<std::string>& launcherProperties,
                       const std::vector<std::u16string>& arguments);

}  // namespace wl
