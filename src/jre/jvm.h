// Loading the selected runtime's jvm.dll into the launcher's process: the bin
// directory goes first in PATH (and optionally into the loader's directory
// list), the JVM-type subdirectories are tried in order, and the user is told
// when no usable runtime exists.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jre/search.h"

namespace wl {

// --- Portable decisions ---

// The JVM-type subdirectories of a bin directory, in the order they are tried.
inline constexpr const char* kJvmTypeDirs[] = {"client", "server", "j9vm", "hotspot", "jrockit"};

// The configured type (when not empty) first, then the fixed list, which may
// name it again.
std::vector<std::string> jvmTypeOrder(const std::string& preferredType);

// The length of the java.exe path's file name: that of "javaw.exe" when the
// path ends in it, else that of "java.exe".
std::size_t javaExeNameLength(const std::string& javaExe);

// The directory of a java.exe, without its trailing backslash.
std::string binDirectoryOf(const std::string& javaExe);

// The runtime's home as the variables of option lines give it: the java.exe
// directory with its backslash, then "..", so ...\bin\java.exe gives ...\bin\..
std::string jvmHomeFor(const std::string& javaExe);

// The private JRE of an older JDK, next to the java.exe: ...\bin\..\jre\bin\java.exe.
std::string privateJreJavaExe(const std::string& javaExe, const NarrowCodec& codec);

// Whether ucrtbase.dll must be loaded from the runtime before its jvm.dll:
// only on Windows versions before 6.4 (Windows 10), which lack a system copy.
bool needsUcrtPreload(uint32_t major, uint32_t minor);

// What the user is told when no runtime could be loaded, by the kind of the
// candidate tried last.
struct LoadFailureMessage {
    int32_t id;
    enum Argument { NoArgument, Bitness, LocationText } argument;
};
LoadFailureMessage loadFailureMessage(LocationKind kind);

// --- Windows side ---

// Finds a runtime and loads its jvm.dll, each JRE directory of the search
// readied by prepare; sets jvmHome, javaVersion and createJavaVmEntry. On
// failure the message of the case is shown; with an observer it is handed to
// the observer instead, which also watches the search.
bool LoadDLL(PrepareJre prepare, SearchObserver* observer = nullptr);

// Loads jvm.dll for a java.exe, trying the JDK's private JRE second. verdict,
// when given, receives Chosen, WrongBitness (a jvm.dll of another
// architecture was found) or NotWorking, and why the detail of the last.
LibraryHandle loadJvm(const std::string& javaExe, JavaVerdict* verdict = nullptr, const char** why = nullptr);

}  // namespace wl
