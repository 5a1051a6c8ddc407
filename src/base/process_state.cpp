#include "base/process_state.h"

namespace wl {

std::u16string serviceName;
bool isServiceProcess = false;
bool runInConsole = false;
char flavourCode = 0;

bool guiMessages = true;
uint32_t configBlockStart = 0;
uint32_t configBlockEnd = 0;

std::string localeLanguage;
std::string localeCountry;

std::string launcherTempDir;
uint32_t unextractedPosition = 0;

std::string jvmHome;
std::string javaVersion;
std::vector<std::string> nonWorkingJavas;
FunctionAddress createJavaVmEntry = nullptr;
JavaVM* javaVm = nullptr;
JNIEnv* jniEnv = nullptr;

std::string instanceName;

}  // namespace wl
