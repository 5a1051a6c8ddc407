// Creating the JVM in-process and running the Java-side launcher class: the
// splash settings, the helper library of the quarlo family, the wide module
// name, the argument array of WinLauncher.main, the report of a Java exception
// and the end of the JVM.
//
// The sequence is written against the JNI types alone; what differs between
// the launcher and the native tests (expansion, paths, loading libraries, the
// fatal path) comes in through JavaVmPlatform. Every JNI call runs on the
// thread that created the JVM.
#pragma once

#include <jni.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace wl {

// One launch, built by the launch thread's starter and kept until the process
// ends: the command line as split (element 0 the program path) and the JVM's
// init arguments, filled by the option assembly.
struct LaunchRecord {
    std::vector<std::u16string> arguments;
    JavaVMInitArgs initArgs{};
};

// The platform half of the sequence.
struct JavaVmPlatform {
    // Expands the launcher's variables in a configured wide value.
    void (*expandVariables)(std::u16string& text);
    // Widens a configured text shown to the user through the code page the
    // packer wrote the settings in (the ANSI code page).
    std::u16string (*widenText)(std::string_view bytes);
    // A path made full against the launcher directory, case kept.
    std::u16string (*fullPath)(const std::u16string& path);
    // The executable's long wide path.
    std::u16string (*modulePath)();
    // The installation directory (full, case kept).
    std::u16string (*installationDir)();
    // A loaded library or nullptr; an export of it or nullptr.
    void* (*loadLibrary)(const std::u16string& path);
    void* (*findExport)(void* library, const char* name);
    // Shows the configured message and ends the process with exit code 1.
    // Should it return (the native tests), the launch reports failure.
    void (*fatalMessage)(int32_t messageId, const std::u16string* argument);
};

// The helper library's export: registers the natives of the installer helper
// class, logging through the launcher's error log; returns non-zero on success.
using RegisterNativesFunction = unsigned char (*)(JNIEnv* env, void* library,
                                                  void (*logError)(const char16_t* format, ...));

// The whole sequence on the calling thread, with JNI_CreateJavaVM taken from
// createJavaVmEntry: true only when main returned without a pending
// exception and the JVM was destroyed. A missing launcher class or main ends
// the launch with message 1010 or 1011.
bool createJvmAndRunMain(LaunchRecord& record, const JavaVmPlatform& platform);

// The five leading arguments of WinLauncher.main: windowed flag, main class
// ("/" in front when it lives in a module), error and output files (expanded,
// made full unless they start with "$"; empty when not redirected), fifth flag.
void buildLauncherArguments(std::vector<std::u16string>& out, const JavaVmPlatform& platform);

// The whole argument array: the five leading arguments, the program path, the
// configured application arguments (entry 124, expanded and split), then the
// user's arguments without the "-J" ones (when entry 125 makes them JVM
// options) and without "-Dsun.locale.formatasdefault=" ones.
std::vector<std::u16string> composeMainArguments(const std::vector<std::u16string>& arguments,
                                                 const JavaVmPlatform& platform);

// True when no exception is pending; otherwise logs it, lets the JVM describe
// it on its error stream, clears it, logs its text and returns false.
bool reportJavaException(JNIEnv* env);

// --- Windows side ---

// The launcher's own expansion, paths, loader and fatal path.
const JavaVmPlatform& windowsJavaVmPlatform();

}  // namespace wl
