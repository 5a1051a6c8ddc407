// A stand-in for a Java runtime's jvm.dll. It exports JNI_CreateJavaVM unless
// built with WITHOUT_CREATE_JAVA_VM; the entry refuses to create a JVM.
#include <windows.h>

#include <cstdint>

extern "C" {

#ifndef WITHOUT_CREATE_JAVA_VM
__declspec(dllexport) int32_t __stdcall JNI_CreateJavaVM(void** vm, void** env, void*) {
    if (vm) *vm = nullptr;
    if (env) *env = nullptr;
    return -1;  // JNI_ERR
}
#endif

__declspec(dllexport) int32_t __stdcall JNI_GetDefaultJavaVMInitArgs(void*) { return -1; }

}  // extern "C"

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
