// The Windows half of the JNI sequence: configured values are expanded and
// resolved with the launcher's own rules, the helper library is loaded with
// the system loader, and failures take the launcher's fatal path.
#include "base/winapi.h"
#include "config/messages.h"
#include "files/expand.h"
#include "files/paths.h"
#include "jvm/java_vm_launcher.h"

namespace wl {
namespace {

void expandWide(std::u16string& text) { expandVariables(text, false); }

std::u16string widenSetting(std::string_view bytes) { return fileApiCodec().widen(bytes); }

std::u16string fullPathKeepingCase(const std::u16string& path) { return fullPath(path, false, true); }

std::u16string executablePath() { return modulePathWide(); }

void* loadLibraryWide(const std::u16string& path) { return LoadLibraryW(W(path)); }

void* findExport(void* library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void fatalMessage(int32_t id, const std::u16string* argument) { fatalConfiguredError(id, argument); }

}  // namespace

const JavaVmPlatform& windowsJavaVmPlatform() {
    static const JavaVmPlatform platform{expandWide,      widenSetting,  fullPathKeepingCase, executablePath,
                                         installationDir, loadLibraryWide, findExport,          fatalMessage};
    return platform;
}

}  // namespace wl
