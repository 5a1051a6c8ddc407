// The single-instance lock: a named semaphore derived from the executable's
// full path. The first copy records its process id under HKCU; a second copy
// gives way, optionally bringing the first copy's windows to the front.
#pragma once

#include <cstdint>
#include <string>

#include "base/text.h"

namespace wl {

// Registry key (HKCU) whose values map instance keys to process ids.
inline constexpr char kInstancePidKey[] = "SOFTWARE\\tarnwell\\vennic\\pids\\";

// --- Portable decisions ---

// "Global\" or "Local\", then the instance key (in the codec's code page) with
// every backslash and space turned into "_".
std::string instanceNameFor(const std::string& instanceKey, bool global, const NarrowCodec& codec);

// The name with the claimed number appended, used when single-instance mode is off.
std::string numberedInstanceName(const std::string& name, uint32_t number);

// Whether creating the semaphore found its name held, from the error code the
// creation left: the name existed (ERROR_ALREADY_EXISTS), or another user's
// copy holds it in the global namespace, whose semaphore this user may not
// open (ERROR_ACCESS_DENIED). Any other failure leaves the name free.
bool semaphoreNameTaken(uint32_t creationError);

// Whether the image path of the process recorded as the first copy names this
// executable: equal ignoring case (A-Z), with runs of backslashes as one. A
// stale process id may belong to any other program by now.
bool sameExecutable(const std::u16string& imagePath, const std::u16string& ownPath);

// --- Windows side ---

// The instance key: the executable's full narrow path, lower-cased.
std::string instanceKey();

// Takes the lock. Returns when this copy may run; when another copy holds the
// lock in single-instance mode, ends the process with exit code 0.
void enforceSingleInstance();

// What enforceSingleInstance would find, looked at without taking anything:
// the semaphore it would hold (for numbered names, the first one free now),
// whether another copy holds the single-instance name, and the process id
// that copy recorded (0 when none).
struct InstanceState {
    bool singleInstance = false;
    std::string name;
    bool held = false;
    uint32_t otherProcess = 0;
};
InstanceState inspectSingleInstance();

// Brings the visible top-level windows of the process to the front, restoring
// minimised ones when restore is set.
void activateInstanceWindows(uint32_t processId, bool restore);

}  // namespace wl
