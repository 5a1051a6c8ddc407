// Start-up and the launch sequence.
#pragma once

#include <string>
#include <vector>

namespace wl {

// Loads the configuration and prepares the process; every role runs it first.
void initLauncher();

// Runs the Java application with the argument list. Returns only when the
// application ran; every failure ends the process.
void launchApplication(std::vector<std::u16string> arguments, bool registerConsoleHandler);

}  // namespace wl
