// The launch thread: the system properties through which the launcher tells
// the Java side about itself, the stack size that follows the application's
// -Xss option, and the thread on which the JVM is created and main runs.
#pragma once

#include <jni.h>

#include <cstdint>
#include <string>
#include <vector>

#include "config/store.h"

namespace wl {

// --- Portable decisions ---

// What the launcher properties say, gathered by the platform side.
struct LauncherPropertyInputs {
    std::string semaphoreName;  // the instance lock's name; empty when none was taken
    bool quarlo = false;        // the quarlo runtime family
    bool service = false;       // the service's worker, not a console run
    std::string modulePath;     // the executable, narrow
    std::string tempDir;        // the per-run directory; empty when none exists
    uint32_t unextractedPosition = 0;
    std::string path;           // PATH at this moment; empty when unset
    bool manpathSet = false;    // a Unix-like shell: the console code page means nothing there
    uint32_t consoleCodepage = 0;
    // Further "-D" options after those of the fixed order (outputRollingProperties).
    std::vector<std::string> additions;
};

// The launcher properties as "-D" options in their fixed order, each one only
// under its condition: semaphore name, quarlo flag, service flag, module
// name, java command, per-run directory, unextracted position, library path,
// console code page; then the additions. Values are taken as they are, never
// quoted.
std::vector<std::string> launcherProperties(const LauncherPropertyInputs& inputs);

// The output-rolling settings that are set (present and not empty), as "-D"
// options for the Java side: flags as "true" or "false", counts in decimal,
// sizes as written, which the Java side reads with parseMemorySize's rules.
std::vector<std::string> outputRollingProperties(const ConfigStore& store);

// A JVM memory size: decimal digits and at most one of the letters k, m, g,
// t (either case) as a binary multiplier. -1 when the text is no such size:
// a sign, a blank, a fraction, two letters such as "kb", another letter, or
// a value beyond 64 bits.
int64_t parseMemorySize(const char* text);

// The stack reservation of the launch thread: the size of the last "-Xss"
// option with a positive size, cut to its low 32 bits, raised to 64 KiB when
// smaller; 0 (the system's default) when there is none.
uint32_t launchStackSize(const JavaVMInitArgs& initArgs);

// --- Windows side ---

// The launcher properties of this moment, as startLaunchThread composes them.
std::vector<std::string> currentLauncherProperties();

// Composes the launcher properties, has the option list assembled, and runs
// the JVM on a thread with the stack the options ask for (on the calling
// thread when none can be created). True when main returned normally.
bool startLaunchThread(const std::vector<std::u16string>& arguments);

}  // namespace wl
