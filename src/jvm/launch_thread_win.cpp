// The Win32 half of the launch thread: the inputs of the launcher properties,
// and the thread whose stack reservation follows the application's -Xss.
#include "base/environment.h"
#include "base/handle.h"
#include "base/process_state.h"
#include "base/winapi.h"
#include "config/java_contract.h"
#include "diag/log.h"
#include "files/paths.h"
#include "jvm/java_vm_launcher.h"
#include "jvm/launch_thread.h"
#include "options/vmoptions.h"

namespace wl {
namespace {

LauncherPropertyInputs gatherPropertyInputs() {
    LauncherPropertyInputs inputs;
    inputs.semaphoreName = instanceName;
    inputs.quarlo = java::isQuarlo(flavourCode);
    inputs.service = isServiceProcess;
    inputs.modulePath = modulePathNarrow();
    inputs.tempDir = launcherTempDir;
    inputs.unextractedPosition = unextractedPosition;
    // The PATH of this moment, with the runtime's bin directory in front.
    inputs.path = environmentVariable("PATH").value_or(std::string());
    inputs.manpathSet = runtimeEnvironmentHas("MANPATH");
    inputs.consoleCodepage = GetConsoleOutputCP();
    inputs.additions = outputRollingProperties(configStore);
    return inputs;
}

DWORD WINAPI launchThreadMain(void* record) {
    return createJvmAndRunMain(*static_cast<LaunchRecord*>(record), windowsJavaVmPlatform()) ? 1 : 0;
}

}  // namespace

std::vector<std::string> currentLauncherProperties() { return launcherProperties(gatherPropertyInputs()); }

bool startLaunchThread(const std::vector<std::u16string>& arguments) {
    logMessage(u"launching program");
    // Kept until the process ends: the JVM may read the options at any time.
    auto* record = new LaunchRecord{arguments, {}};
    assembleVmOptions(record->initArgs, currentLauncherProperties(), record->arguments);

    const uint32_t stackSize = launchStackSize(record->initArgs);
    logMessage(u"used stack size %u", unsigned(stackSize));
    DWORD threadId = 0;
    KernelHandle thread(
        CreateThread(nullptr, stackSize, launchThreadMain, record, STACK_SIZE_PARAM_IS_A_RESERVATION, &threadId));
    if (!thread) return createJvmAndRunMain(*record, windowsJavaVmPlatform());
    WaitForSingleObject(thread.get(), INFINITE);
    DWORD exitCode = 0;
    GetExitCodeThread(thread.get(), &exitCode);
    return exitCode != 0;
}

}  // namespace wl
