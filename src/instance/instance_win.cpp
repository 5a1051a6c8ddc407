// The Win32 half of the instance lock: the semaphore, the registry record of
// the running copy's process id, and the activation of its windows.
#include "base/handle.h"
#include "base/procaddress.h"
#include "base/process_state.h"
#include "base/text.h"
#include "base/winapi.h"
#include "config/entries.h"
#include "config/store.h"
#include "diag/log.h"
#include "diag/message.h"
#include "files/paths.h"
#include "instance/instance.h"

namespace wl {
namespace {

// Numbered names tried when single-instance mode is off.
constexpr uint32_t kLastSemaphoreNumber = 100000;
// The second copy waits up to 50 further reads, 100 ms apart, for the first
// copy's process id: the first may have taken the lock but not yet written it.
constexpr int kPidRetries = 50;

struct Semaphore {
    HANDLE handle;
    DWORD error;
};

Semaphore createSemaphore(const std::string& name) {
    SetLastError(0);
    HANDLE handle = CreateSemaphoreA(nullptr, 1, 1, name.c_str());
    return {handle, GetLastError()};
}

void logSemaphore(const std::string& name, const Semaphore& semaphore) {
    logMessage(u"semaphore name %S, code %d, value %p", name.c_str(), int(semaphore.error),
               static_cast<void*>(semaphore.handle));
}

void writeOwnPid(const std::string& key) {
    RegistryKey pids;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kInstancePidKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, pids.receive(),
                        nullptr) != ERROR_SUCCESS)
        return;
    DWORD pid = GetCurrentProcessId();
    RegSetValueExA(pids.get(), key.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&pid), sizeof pid);
}

DWORD readOtherPid(const std::string& key) {
    RegistryKey pids;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kInstancePidKey, 0, KEY_READ, pids.receive()) != ERROR_SUCCESS) return 0;
    DWORD pid = 0;
    DWORD size = sizeof pid;
    if (RegQueryValueExA(pids.get(), key.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&pid), &size) !=
            ERROR_SUCCESS ||
        size != sizeof pid)
        return 0;
    return pid;
}

// The user32 functions of the activation, looked up when a second copy
// activates the first (user32 is not loaded otherwise).
struct WindowFunctions {
    decltype(&EnumWindows) enumWindows;
    decltype(&IsWindowVisible) isWindowVisible;
    decltype(&GetWindowThreadProcessId) getWindowThreadProcessId;
    decltype(&IsIconic) isIconic;
    decltype(&ShowWindow) showWindow;
    decltype(&SetForegroundWindow) setForegroundWindow;
    decltype(&GetLastActivePopup) getLastActivePopup;

    bool complete() const {
        return enumWindows && isWindowVisible && getWindowThreadProcessId && isIconic && showWindow &&
               setForegroundWindow && getLastActivePopup;
    }
};

WindowFunctions windowFunctions() {
    HMODULE user32 = user32Module();
    return {lookupFunction<decltype(&EnumWindows)>(user32, "EnumWindows"),
            lookupFunction<decltype(&IsWindowVisible)>(user32, "IsWindowVisible"),
            lookupFunction<decltype(&GetWindowThreadProcessId)>(user32, "GetWindowThreadProcessId"),
            lookupFunction<decltype(&IsIconic)>(user32, "IsIconic"),
            lookupFunction<decltype(&ShowWindow)>(user32, "ShowWindow"),
            lookupFunction<decltype(&SetForegroundWindow)>(user32, "SetForegroundWindow"),
            lookupFunction<decltype(&GetLastActivePopup)>(user32, "GetLastActivePopup")};
}

// The long path of a running process's executable; empty when it cannot be
// learned (the process has ended, or belongs to someone this user may not ask).
std::u16string processImagePath(DWORD processId) {
    KernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process) return {};
    std::u16string image;
    if (!readSystemString(image, [&](wchar_t* b, DWORD n) {
            DWORD size = n;
            if (QueryFullProcessImageNameW(process.get(), 0, b, &size)) return size;
            return GetLastError() == ERROR_INSUFFICIENT_BUFFER ? 2 * n : DWORD(0);
        }))
        return {};
    std::u16string longForm;
    if (readSystemString(longForm, [&](wchar_t* b, DWORD n) { return GetLongPathNameW(W(image), b, n); }))
        image = longForm;
    return image;
}

struct Activation {
    DWORD processId;
    bool restore;
    WindowFunctions window;
};

BOOL CALLBACK activateWindow(HWND window, LPARAM context) {
    const Activation& activation = *reinterpret_cast<const Activation*>(context);
    const WindowFunctions& user = activation.window;
    DWORD owner = 0;
    if (!user.isWindowVisible(window)) return TRUE;
    user.getWindowThreadProcessId(window, &owner);
    if (owner != activation.processId) return TRUE;
    logMessage(u"found window %p", static_cast<void*>(window));
    if (activation.restore && user.isIconic(window)) {
        logMessage(u"restore");
        user.showWindow(window, SW_RESTORE);
    }
    logMessage(u"foreground");
    user.setForegroundWindow(window);
    logMessage(u"popup");
    user.setForegroundWindow(user.getLastActivePopup(window));
    logMessage(u"done");
    return TRUE;
}

}  // namespace

std::string instanceKey() {
    const std::string& module = modulePathNarrow();
    std::string resolved = isRelativePath(module) ? launcherDirNarrow() + module : module;
    std::string full(kBufferSize, '\0');
    DWORD n = GetFullPathNameA(resolved.c_str(), DWORD(full.size()), full.data(), nullptr);
    if (n > 0 && n < full.size()) {
        full.resize(n);
    } else {
        full = resolved;
    }
    // Lowered through the wide form, so that the second byte of a double-byte
    // character is never taken for a letter.
    std::u16string wide = fromNarrowPath(full);
    lowercaseAscii(wide);
    bool lossy = false;
    std::string lowered = toNarrowPath(wide, &lossy);
    if (!lossy) full = lowered;
    collapseBackslashes(full, fileApiCodec());
    return full;
}

void enforceSingleInstance() {
    std::string key = instanceKey();
    instanceName = instanceNameFor(key, getConfigInt(cfg::globalInstanceLock) != 0, fileApiCodec());

    if (getConfigInt(cfg::singleInstance) == 0) {
        // Every running copy claims the first free number; the handle stays open.
        for (uint32_t n = 0;; ++n) {
            std::string name = numberedInstanceName(instanceName, n);
            Semaphore semaphore = createSemaphore(name);
            if (!semaphoreNameTaken(semaphore.error) || n == kLastSemaphoreNumber) {
                instanceName = name;
                logSemaphore(name, semaphore);
                return;
            }
            if (semaphore.handle) CloseHandle(semaphore.handle);
        }
    }

    logMessage(u"single instance mode");
    Semaphore semaphore = createSemaphore(instanceName);
    logSemaphore(instanceName, semaphore);
    if (!semaphoreNameTaken(semaphore.error)) {
        // The first copy. The handle stays open until the process ends, which
        // frees the lock.
        writeOwnPid(key);
        return;
    }
    if (semaphore.handle) CloseHandle(semaphore.handle);
    DWORD other = readOtherPid(key);
    for (int i = 0; other == 0 && i < kPidRetries; ++i) {
        Sleep(100);
        other = readOtherPid(key);
    }
    logMessage(u"other pid %d", int(other));
    if (other != 0 && getConfigInt(cfg::activateFirstInstance) != 0) {
        // The recorded id may be stale: only this executable's windows are
        // brought to the front, never another program's.
        std::u16string image = processImagePath(other);
        if (sameExecutable(image, modulePathWide())) {
            activateInstanceWindows(other, true);
        } else {
            logMessage(u"process %d is not this program (%s)", int(other), image.c_str());
        }
    }
    logMessage(u"exiting");
    exitLauncher(0);
}

// Whether a copy holds the name: the semaphore exists, or it exists in a
// namespace this user may not open.
bool semaphoreHeld(const std::string& name) {
    HANDLE existing = OpenSemaphoreA(SYNCHRONIZE, FALSE, name.c_str());
    DWORD error = GetLastError();
    if (existing) CloseHandle(existing);
    return existing || error == ERROR_ACCESS_DENIED;
}

InstanceState inspectSingleInstance() {
    InstanceState state;
    const std::string key = instanceKey();
    state.name = instanceNameFor(key, getConfigInt(cfg::globalInstanceLock) != 0, fileApiCodec());
    state.singleInstance = getConfigInt(cfg::singleInstance) != 0;
    if (!state.singleInstance) {
        uint32_t n = 0;
        while (n < kLastSemaphoreNumber && semaphoreHeld(numberedInstanceName(state.name, n))) ++n;
        state.name = numberedInstanceName(state.name, n);
        return state;
    }
    state.held = semaphoreHeld(state.name);
    if (state.held) state.otherProcess = readOtherPid(key);
    return state;
}

void activateInstanceWindows(uint32_t processId, bool restore) {
    Activation activation{processId, restore, windowFunctions()};
    // Without user32 there are no windows to activate.
    if (!activation.window.complete()) return;
    activation.window.enumWindows(activateWindow, reinterpret_cast<LPARAM>(&activation));
}

}  // namespace wl
