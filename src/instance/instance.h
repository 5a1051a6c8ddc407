// The single-instance lock: a named semaphore derived from the executable's
// full path. The first copy records its process id under HKCU; a second copy
// gives way, optionally bringing the first copy's windows to the front.
#pragma once

#include <cstdint>
#include <string>

namespace wl {

// Registry key (HKCU) whose values map instance keys to process ids.
inline constexpr char kInstancePidKey[] = "SOFTWARE\\tarnwell\\vennic\\pids\\";

// --- Portable decisions ---

// "Global\" or "Local\", then the instance key with every backslash and space
// turned into "_".
std::string instanceNameFor(const std::string& instanceKey, bool global);

// The name with the claimed number appended, used when single-instance mode is off.
std::string numberedInstanceName(const std::string& name, uint32_t number);

// --- Windows side ---

// The instance key: the executable's full narrow path, lower-cased.
std::string instanceKey();

// Takes the lock. Returns when this copy may run; when another copy holds the
// lock in single-instance mode, ends the process with exit code 0.
void enforceSingleInstance();

// Brings the visible top-level windows of the process to the front, restoring
// minimised ones when restore is set.
void activateInstanceWindows(uint32_t processId, bool restore);

}  // namespace wl
