// The bridge runtime: the stand-in jvm.dll built with BRIDGE_JVM runs the
// launcher class's main in the host's Linux java, so that the real launcher
// runs real Java code under Wine. A test device; the in-process JNI path is
// proven by the HotSpot tests.
//
// Wine starts a Linux program from CreateProcess, but gives no process
// handle, no exit status and no pipes as its standard handles. Everything
// therefore goes through files in a relay directory of the bridge's own,
// below the Windows temporary directory:
//   run.sh        the wrapper: runs java, then writes its exit status
//   java.args     the java command line (an argument file)
//   main.txt      the launcher class, the properties set through JNI and the
//                 argument array, NUL-terminated UTF-8 fields, read by
//                 winlaunch.bridge.BridgeMain
//   stdin, stdin.end   what arrives on the bridge's standard input, and a
//                 marker once it has ended
//   stdout, stderr     the child's output, copied to the bridge's own
//   report        "returned" or "threw <text>", written by BridgeMain
//   status        the exit status of java, written by the wrapper
//   heartbeat     touched by the bridge while it lives; when it goes stale
//                 or disappears, BridgeMain halts the JVM
// Beside the DLL: bridge.jar (BridgeMain) and optionally bridge.cfg with a
// line "java=<Unix path of the java program>" (default: java on PATH).
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace bridge {

struct MainCall {
    std::wstring ownDirectory;  // the DLL's directory, with a trailing backslash
    std::string launcherClass;  // as the launcher named it to FindClass
    std::vector<std::string> options;  // UTF-8
    bool ignoreUnrecognized = false;
    std::vector<std::pair<std::u16string, std::u16string>> properties;
    std::vector<std::u16string> arguments;
};

// Runs main in the host's java. True when main returned; false when it
// threw, with the exception's text ("type: message") in thrown. When the JVM
// ends before main has come back (System.exit), the process ends with the
// JVM's exit status, as it would with the JVM in-process.
bool runMain(const MainCall& call, std::string& thrown);

// DestroyJavaVM: waits for the host's JVM to end. An exit status other than
// 0 (System.exit(n) after main returned) ends the process with it.
void waitForEnd();

// The process is going away: the heartbeat goes with it, so the host's JVM
// halts at once instead of outliving the process, and the relay directory
// goes too once the JVM has ended (else the wrapper removes it).
void processDetaching();

}  // namespace bridge
