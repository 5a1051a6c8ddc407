// Every process-wide value of the launcher, in one place, below every
// subsystem that reads or writes it. Each is written on the main thread before
// any other thread exists, or is a single word written by one side only; none
// of them is freed before the process ends.
#pragma once

#include <jni.h>

#include <cstdint>
#include <string>
#include <vector>

namespace wl {

// Name of the Windows service: configured, or the argument after a service
// command.
extern std::u16string serviceName;
// True unless the application is run with /run or /run-redirect.
extern bool isServiceProcess;
// True only for /run.
extern bool runInConsole;
// First byte of the flavour setting: 'q' selects the quarlo runtime family.
extern char flavourCode;

// How messages reach the user: a message box when true, the console otherwise.
// True until the configuration block has been read.
extern bool guiMessages;
// File offsets of the configuration block's start and of the end just behind
// it, where included files start.
extern uint32_t configBlockStart;
extern uint32_t configBlockEnd;

// Language and country of the user's locale code ("" when absent).
extern std::string localeLanguage;
extern std::string localeCountry;

// The per-run temporary directory (narrow); empty while none exists.
extern std::string launcherTempDir;
// File offset just behind the last included file that was extracted; 0 when
// the executable carries none.
extern uint32_t unextractedPosition;

// Home of the selected Java runtime (narrow); empty until one is selected.
extern std::string jvmHome;
// Version text of the selected Java runtime, as its check produced it.
extern std::string javaVersion;
// java.exe paths whose jvm.dll could not be loaded while the registry was
// searched; refused by every later check. Never shrinks.
extern std::vector<std::string> nonWorkingJavas;
// JNI_CreateJavaVM of the loaded jvm.dll, null until one is loaded. Kept as a
// plain function address; the JVM side calls it with the JNI signature.
using FunctionAddress = void (*)();
extern FunctionAddress createJavaVmEntry;
// The one JVM of the process and the environment of the thread that created
// it, set when the creation succeeds and never cleared.
extern JavaVM* javaVm;
extern JNIEnv* jniEnv;

// Name of the single-instance semaphore this copy holds (narrow).
extern std::string instanceName;

}  // namespace wl
