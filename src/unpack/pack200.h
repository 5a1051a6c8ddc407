// Restoring the jar files of a JRE shipped in the Pack200 format: every
// name.jar.pack under lib and lib\ext whose name.jar is missing is unpacked
// with the JRE's own bin\unpack200.exe, once, before the JRE is examined.
#pragma once

#include <string>
#include <string_view>

namespace wl {

// --- Portable decisions ---

// The subdirectories scanned, in order.
inline constexpr const char* kPackedSubdirectories[] = {"lib", "lib\\ext"};

// A pack file's name ends in ".jar.pack" (in any case) and has a name before it.
bool isPackFileName(std::string_view name);

// The jar a pack file restores: its path without ".pack".
std::string packTarget(const std::string& packPath);

// The tool's command-line text: -r "pack" "target". It does not start with the
// tool's own name; the tool is given as the application name.
std::string unpackCommandLine(const std::string& packPath, const std::string& target);

// --- Windows side ---

// Unpacks the missing jars of the JRE directory (no trailing backslash). A
// tool that cannot be started ends the launch with message 1009 "20".
void preparePackedJre(const std::string& jreDirectory);

}  // namespace wl
