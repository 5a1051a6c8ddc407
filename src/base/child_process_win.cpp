#include "base/child_process.h"

namespace wl {
namespace {

template <class StartupInfo> StartupInfo startupFor(const ChildOptions& options) {
    StartupInfo startup{};
    startup.cb = sizeof startup;
    if (options.hideWindow) {
        startup.dwFlags |= STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_HIDE;
    }
    if (options.useStandardHandles) {
        startup.dwFlags |= STARTF_USESTDHANDLES;
        startup.hStdInput = options.input;
        startup.hStdOutput = options.output;
        startup.hStdError = options.error;
    }
    return startup;
}

}  // namespace

bool ChildProcess::start(std::u16string commandLine, const ChildOptions& options) {
    close();
    STARTUPINFOW startup = startupFor<STARTUPINFOW>(options);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, W(commandLine.data()), nullptr, nullptr, TRUE, options.creationFlags, nullptr,
                        nullptr, &startup, &info))
        return false;
    process_.reset(info.hProcess);
    thread_.reset(info.hThread);
    processId_ = info.dwProcessId;
    return true;
}

bool ChildProcess::start(std::string commandLine, const ChildOptions& options, const char* application) {
    close();
    STARTUPINFOA startup = startupFor<STARTUPINFOA>(options);
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(application, commandLine.data(), nullptr, nullptr, TRUE, options.creationFlags, nullptr,
                        nullptr, &startup, &info))
        return false;
    process_.reset(info.hProcess);
    thread_.reset(info.hThread);
    processId_ = info.dwProcessId;
    return true;
}

bool ChildProcess::wait(uint32_t millis) { return WaitForSingleObject(process_.get(), millis) == WAIT_OBJECT_0; }

void ChildProcess::resume() { ResumeThread(thread_.get()); }

uint32_t ChildProcess::exitCode() const {
    DWORD code = 0;
    GetExitCodeProcess(process_.get(), &code);
    return code;
}

void ChildProcess::terminate(uint32_t exitCode) { TerminateProcess(process_.get(), exitCode); }

void ChildProcess::close() {
    process_.reset();
    thread_.reset();
}

const char16_t* createChildPipe(KernelHandle& read, KernelHandle& write, bool parentReads) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    if (!CreatePipe(read.receive(), write.receive(), &inherit, 0)) return u"CreatePipe";
    if (!SetHandleInformation(parentReads ? read.get() : write.get(), HANDLE_FLAG_INHERIT, 0))
        return u"SetHandleInformation";
    return nullptr;
}

}  // namespace wl
