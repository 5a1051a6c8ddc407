// Child processes: started with a command line and standard handles, waited
// for with a time-out, their exit code read. The callers log; nothing here
// does. Windows only.
#pragma once

#include <cstdint>
#include <string>

#include "base/handle.h"

namespace wl {

// How a child is started beside its command line. It inherits every
// inheritable handle of this process.
struct ChildOptions {
    uint32_t creationFlags = 0;       // CREATE_NO_WINDOW, a priority class, DETACHED_PROCESS, ...
    bool hideWindow = false;          // STARTF_USESHOWWINDOW with SW_HIDE
    bool useStandardHandles = false;  // STARTF_USESTDHANDLES with the three handles below
    HANDLE input = nullptr;
    HANDLE output = nullptr;
    HANDLE error = nullptr;
};

// The exit code the system reports while a child still runs.
inline constexpr uint32_t kStillActive = STILL_ACTIVE;

class ChildProcess {
public:
    // Starts the command line through CreateProcessW, or CreateProcessA for a
    // narrow one, optionally with the program named apart from it. False when
    // it could not be started; GetLastError() is then CreateProcess's error.
    bool start(std::u16string commandLine, const ChildOptions& options);
    bool start(std::string commandLine, const ChildOptions& options, const char* application = nullptr);

    HANDLE handle() const { return process_.get(); }
    uint32_t processId() const { return processId_; }

    // Waits until the child has ended, at most millis (INFINITE: no limit);
    // true when it has.
    bool wait(uint32_t millis);
    // Lets the first thread of a child started with CREATE_SUSPENDED run.
    void resume();
    // The exit code as the system reports it: kStillActive while the child
    // runs, 0 when it cannot be read.
    uint32_t exitCode() const;
    void terminate(uint32_t exitCode);
    // Closes the handles of the process and its first thread.
    void close();

private:
    KernelHandle process_, thread_;
    uint32_t processId_ = 0;
};

// An anonymous pipe for a child: both ends inheritable except the one this
// process keeps, the read end when parentReads. Nullptr on success; on failure
// the name of the call that failed, "CreatePipe" or "SetHandleInformation",
// with GetLastError() still that call's error.
const char16_t* createChildPipe(KernelHandle& read, KernelHandle& write, bool parentReads);

}  // namespace wl
