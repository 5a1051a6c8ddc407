// PATH and native library directories: cutting PATH down to the Windows
// directory, putting the application's native library directories in front
// of it, and registering directories with the loader where the system can.
#pragma once

#include <string>
#include <vector>

namespace wl {

// --- Portable decisions ---

// The entries of PATH that are the Windows directory or lie below it,
// compared ignoring case (A-Z), joined with ";" in their order. Empty when
// none is.
std::u16string reducePathValue(const std::u16string& path, const std::u16string& windowsDir);

// The directories joined with ";", a ";" behind them unless the result is
// empty or already ends in one, then the current PATH.
std::u16string prependPathEntries(const std::vector<std::u16string>& directories, const std::u16string& currentPath);

// --- Windows side ---

// At start-up, when the setting asks for it: PATH keeps only the entries under
// the Windows directory. An empty result leaves PATH as it was.
void reducePathToSystem();

// Puts the configured native library directories (variables expanded,
// relative ones taken against the launcher directory) in front of PATH, in the
// process environment and in the C runtime's copy, and registers each with the
// loader when the setting asks for it.
void prependNativeLibDirs();

// Registers a directory with AddDllDirectory when the setting asks for it and
// the system offers it; returns the cookie, nullptr when nothing was registered.
void* addDllDirectory(const std::string& directory);
// Undoes addDllDirectory; nothing for nullptr.
void removeDllDirectory(void* cookie);

}  // namespace wl
