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

// /diagnose [--json] [args]: what /run with args would do, up to the creation
// of the JVM, as a report on standard output. 0 when the launch would go on,
// 1 when it would fail.
int diagnoseLaunch(const std::u16string& programPath, std::vector<std::u16string> arguments);

}  // namespace wl
