// A stand-in for a Java runtime's jvm.dll. JNI_CreateJavaVM hands out real
// JNI function tables, so the launcher's calls go through the same slots and
// the same calling convention as with a real JVM: a wrong index or convention
// fails here. Built with WITHOUT_CREATE_JAVA_VM it lacks that export; built
// with BRIDGE_JVM it is the bridge runtime, which runs the launcher class's
// main in the host's Linux java (testing/jvm_bridge.h).
//
// Beside it, fake-jvm.cfg may hold lines "key=value":
//   create=fail       JNI_CreateJavaVM returns JNI_ERR
//   create=exit       JNI_CreateJavaVM ends the process at once (exit code 0)
//   create=peak       JNI_CreateJavaVM records the process's peak working set
//                     ("peak <bytes>") and ends the process at once
//   missing=<class>   FindClass of that class fails (may be repeated)
//   missing=main      the launcher class has no main
//   main=throw        main throws a java.lang.RuntimeException
//   main=exit:<n>     main ends the process with exit code n
//   main=stopline     main reads standard input to its end, recording each
//                     line, then ends the process with exit code 0
//   main=sleep:<ms>   main returns after that many milliseconds, whatever
//                     arrives on standard input
//   main=await-throw  main waits (up to 60 s) until the file fake-jvm.go
//                     appears beside it, then throws as main=throw does
//   child=<command>   main first starts this command line (a program beside
//                     it by its file name) and records "child <pid>"
// Every event is appended to fake-jvm.record beside it, one UTF-8 line each,
// fields separated by tabs:
//   stack <bytes>                   the reservation of the creating thread's stack
//   commandLine <text> / priority <hex>   the process's, as Windows reports them
//   version <hex> / option <text> / ignoreUnrecognized <0|1>
//   FindClass <name> / GetStaticMethodID <class> <name> <signature>
//   setProperty <key> <value> / initFromLauncher <0|1> / splash <arguments...>
//   arg <index> <text> / main / stopline <line> / stdin end / DestroyJavaVM
//   localRefs <n>                   references not deleted, at DestroyJavaVM
//   violation <function>            a JNI call while an exception was pending
//   unexpected <slot>               a function the stand-in does not offer
#define _JNI_IMPLEMENTATION_
#include <jni.h>
#include <windows.h>
#include <psapi.h>

#include "text.h"
#ifdef BRIDGE_JVM
#include "jvm_bridge.h"
#endif

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace {

std::wstring ownDirectory;

#ifdef BRIDGE_JVM
bridge::MainCall bridgeCall;
#endif

using testing_text::utf8;

std::u16string widen(const char* text, UINT codePage) { return testing_text::widen(text, codePage); }

void record(const std::string& line) {
    HANDLE file = CreateFileW((ownDirectory + L"fake-jvm.record").c_str(), FILE_APPEND_DATA,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    std::string text = line + "\n";
    DWORD written = 0;
    WriteFile(file, text.data(), DWORD(text.size()), &written, nullptr);
    CloseHandle(file);
}

// --- Configuration ---

struct Config {
    std::string create;  // "", "fail", "exit", "peak"
    std::vector<std::string> missingClasses;
    bool missingMain = false;
    std::string main;  // "", "throw", "exit:<n>", "stopline"
    std::string child;  // a command line main starts first
} config;

void readConfig() {
    FILE* file = _wfopen((ownDirectory + L"fake-jvm.cfg").c_str(), L"rb");
    if (!file) return;
    char line[4096];
    while (std::fgets(line, sizeof line, file)) {
        std::string text(line);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
        size_t eq = text.find('=');
        if (eq == std::string::npos) continue;
        std::string key = text.substr(0, eq), value = text.substr(eq + 1);
        if (key == "create") config.create = value;
        if (key == "missing" && value == "main") config.missingMain = true;
        else if (key == "missing") config.missingClasses.push_back(value);
        if (key == "main") config.main = value;
        if (key == "child") config.child = value;
    }
    std::fclose(file);
}

// --- Objects: every reference is a pointer to one of these ---

struct Object {
    enum Kind { Class, String, Array, Throwable } kind;
    std::string name;           // class name; a throwable's class
    std::u16string text;        // string contents; a throwable's message
    std::vector<Object*> elements;
};

struct Method {
    std::string className, name, signature;
};

int liveReferences = 0;
Object* pending = nullptr;

Object* newObject(Object::Kind kind, std::string name, std::u16string text = {}) {
    ++liveReferences;
    return new Object{kind, std::move(name), std::move(text), {}};
}
Object* object(jobject ref) { return reinterpret_cast<Object*>(ref); }
template <class T> T ref(Object* o) { return reinterpret_cast<T>(o); }

void raise(const char* type, const std::u16string& message) { pending = new Object{Object::Throwable, type, message, {}}; }

// Only the exception functions may be called while an exception is pending.
void checkNothingPending(const char* function) {
    if (pending) record(std::string("violation\t") + function);
}

std::string stringText(jobject ref) {
    Object* o = object(ref);
    return o && o->kind == Object::String ? utf8(o->text) : std::string("<null>");
}

// --- The JNI functions the launcher calls ---

jclass JNICALL findClass(JNIEnv*, const char* name) {
    checkNothingPending("FindClass");
    record(std::string("FindClass\t") + name);
    for (const std::string& missing : config.missingClasses) {
        if (missing == name) {
            raise("java/lang/NoClassDefFoundError", widen(name, CP_UTF8));
            return nullptr;
        }
    }
    return ref<jclass>(newObject(Object::Class, name));
}

jmethodID JNICALL getStaticMethodID(JNIEnv*, jclass cls, const char* name, const char* signature) {
    checkNothingPending("GetStaticMethodID");
    record("GetStaticMethodID\t" + object(cls)->name + "\t" + name + "\t" + signature);
    if (config.missingMain && std::string(name) == "main") {
        raise("java/lang/NoSuchMethodError", u"main");
        return nullptr;
    }
    return reinterpret_cast<jmethodID>(new Method{object(cls)->name, name, signature});
}

jmethodID JNICALL getMethodID(JNIEnv*, jclass cls, const char* name, const char* signature) {
    checkNothingPending("GetMethodID");
    return reinterpret_cast<jmethodID>(new Method{object(cls)->name, name, signature});
}

// Reads the arguments of a call by the method's signature, as a JVM does.
std::string callArguments(const Method& method, va_list args) {
    std::string out;
    const std::string& s = method.signature;
    for (size_t at = 1; at < s.size() && s[at] != ')'; ++at) {
        out += "\t";
        switch (s[at]) {
            case 'Z': out += va_arg(args, int) ? "true" : "false"; break;
            case 'I': out += std::to_string(va_arg(args, jint)); break;
            case 'L':
                out += stringText(va_arg(args, jobject));
                at = s.find(';', at);
                break;
            case '[':
                out += "<array>";
                va_arg(args, jobject);
                at = s.find(';', at);
                break;
            default: out += "?"; break;
        }
    }
    return out;
}

void runMain(const std::string& launcherClass, jobject array) {
    Object* arguments = object(array);
    for (size_t i = 0; i < arguments->elements.size(); ++i)
        record("arg\t" + std::to_string(i) + "\t" + stringText(ref<jobject>(arguments->elements[i])));
    record("main");
#ifdef BRIDGE_JVM
    bridgeCall.launcherClass = launcherClass;
    for (Object* element : arguments->elements) bridgeCall.arguments.push_back(element ? element->text : u"");
    std::string thrown;
    if (!bridge::runMain(bridgeCall, thrown)) {
        size_t colon = thrown.find(": ");
        std::string type = thrown.substr(0, colon);
        for (char& c : type) c = c == '.' ? '/' : c;
        raise(type.c_str(), colon == std::string::npos ? u"" : widen(thrown.substr(colon + 2).c_str(), CP_UTF8));
    }
    return;
#endif
    (void)launcherClass;
    if (!config.child.empty()) {
        std::wstring command = L"\"" + ownDirectory + std::wstring(config.child.begin(), config.child.end()) + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION child{};
        if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                           &startup, &child)) {
            record("child\t" + std::to_string(child.dwProcessId));
            CloseHandle(child.hThread);
            CloseHandle(child.hProcess);
        } else {
            record("child failed\t" + std::to_string(GetLastError()));
        }
    }
    if (config.main == "await-throw") {
        const std::wstring go = ownDirectory + L"fake-jvm.go";
        for (int i = 0; i < 600 && GetFileAttributesW(go.c_str()) == INVALID_FILE_ATTRIBUTES; ++i) Sleep(100);
    }
    if (config.main == "throw" || config.main == "await-throw") {
        raise("java/lang/RuntimeException", u"stand-in failure");
    } else if (config.main.rfind("exit:", 0) == 0) {
        ExitProcess(UINT(std::atoi(config.main.c_str() + 5)));
    } else if (config.main.rfind("sleep:", 0) == 0) {
        Sleep(DWORD(std::atoi(config.main.c_str() + 6)));
    } else if (config.main == "stopline") {
        HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
        std::string line;
        char c;
        DWORD got = 0;
        while (ReadFile(input, &c, 1, &got, nullptr) && got == 1) {
            if (c != '\n') {
                line += c;
                continue;
            }
            record("stopline\t" + line);
            line.clear();
        }
        if (!line.empty()) record("stopline\t" + line);
        record("stdin end");
        ExitProcess(0);
    }
}

void JNICALL callStaticVoidMethodV(JNIEnv*, jclass, jmethodID id, va_list args) {
    checkNothingPending("CallStaticVoidMethod");
    const Method& method = *reinterpret_cast<Method*>(id);
    if (method.name == "main") {
        runMain(method.className, va_arg(args, jobject));
    } else if (method.name == "initFromLauncher") {
        record(std::string("initFromLauncher\t") + (va_arg(args, int) ? "1" : "0"));
    } else {
        record(method.name == "initAwtSplashConfig" ? "splash" + callArguments(method, args)
                                                     : "call\t" + method.name);
    }
}

jobject JNICALL callStaticObjectMethodV(JNIEnv*, jclass, jmethodID id, va_list args) {
    checkNothingPending("CallStaticObjectMethod");
    const Method& method = *reinterpret_cast<Method*>(id);
#ifdef BRIDGE_JVM
    if (method.name == "setProperty") {
        va_list copy;
        va_copy(copy, args);
        Object* key = object(va_arg(copy, jobject));
        Object* value = object(va_arg(copy, jobject));
        va_end(copy);
        if (key && value) bridgeCall.properties.emplace_back(key->text, value->text);
    }
#endif
    record((method.name == "setProperty" ? "setProperty" : "call\t" + method.name) + callArguments(method, args));
    return nullptr;
}

jobject JNICALL callObjectMethodV(JNIEnv*, jobject target, jmethodID id, va_list) {
    checkNothingPending("CallObjectMethod");
    const Method& method = *reinterpret_cast<Method*>(id);
    Object* o = object(target);
    if (method.name != "toString" || o->kind != Object::Throwable) return nullptr;
    std::u16string type = widen(o->name.c_str(), CP_UTF8);
    for (char16_t& c : type) c = c == u'/' ? u'.' : c;
    return ref<jobject>(newObject(Object::String, "java/lang/String", o->text.empty() ? type : type + u": " + o->text));
}

jclass JNICALL getObjectClass(JNIEnv*, jobject target) {
    checkNothingPending("GetObjectClass");
    return ref<jclass>(newObject(Object::Class, object(target)->name));
}

jstring JNICALL newStringUTF(JNIEnv*, const char* text) {
    checkNothingPending("NewStringUTF");
    return ref<jstring>(newObject(Object::String, "java/lang/String", widen(text, CP_UTF8)));
}

jstring JNICALL newString(JNIEnv*, const jchar* chars, jsize length) {
    checkNothingPending("NewString");
    return ref<jstring>(
        newObject(Object::String, "java/lang/String", std::u16string(reinterpret_cast<const char16_t*>(chars), length)));
}

jsize JNICALL getStringLength(JNIEnv*, jstring s) {
    checkNothingPending("GetStringLength");
    return jsize(object(s)->text.size());
}

const jchar* JNICALL getStringChars(JNIEnv*, jstring s, jboolean* isCopy) {
    checkNothingPending("GetStringChars");
    if (isCopy) *isCopy = JNI_FALSE;
    return reinterpret_cast<const jchar*>(object(s)->text.c_str());
}

void JNICALL releaseStringChars(JNIEnv*, jstring, const jchar*) {}

jobjectArray JNICALL newObjectArray(JNIEnv*, jsize length, jclass, jobject initial) {
    checkNothingPending("NewObjectArray");
    Object* array = newObject(Object::Array, "[Ljava/lang/String;");
    array->elements.assign(size_t(length), object(initial));
    return ref<jobjectArray>(array);
}

void JNICALL setObjectArrayElement(JNIEnv*, jobjectArray array, jsize index, jobject value) {
    checkNothingPending("SetObjectArrayElement");
    object(array)->elements.at(size_t(index)) = object(value);
}

void JNICALL deleteLocalRef(JNIEnv*, jobject) { --liveReferences; }

jthrowable JNICALL exceptionOccurred(JNIEnv*) {
    if (!pending) return nullptr;
    ++liveReferences;
    return ref<jthrowable>(pending);
}

jboolean JNICALL exceptionCheck(JNIEnv*) { return pending ? JNI_TRUE : JNI_FALSE; }

void JNICALL exceptionDescribe(JNIEnv*) {
    if (!pending) return;
    std::string text = "Exception in thread \"main\" " + pending->name + ": " + utf8(pending->text) + "\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), text.data(), DWORD(text.size()), &written, nullptr);
    pending = nullptr;
}

void JNICALL exceptionClear(JNIEnv*) { pending = nullptr; }

jint JNICALL destroyJavaVM(JavaVM*) {
    record("DestroyJavaVM");
#ifdef BRIDGE_JVM
    bridge::waitForEnd();
#endif
    record("localRefs\t" + std::to_string(liveReferences));
    return JNI_OK;
}

// --- The tables ---

template <size_t Slot>
void JNICALL unexpected() {
    record("unexpected\t" + std::to_string(Slot));
    ExitProcess(99);
}

template <size_t... Slots>
void fillWithTraps(void** table, std::index_sequence<Slots...>) {
    ((table[Slots] = reinterpret_cast<void*>(&unexpected<Slots>)), ...);
}

JNINativeInterface_ nativeTable;
JNIInvokeInterface_ invokeTable;
JNIEnv_ environment;
JavaVM_ javaVm;

void buildTables() {
    fillWithTraps(reinterpret_cast<void**>(&nativeTable),
                  std::make_index_sequence<sizeof(JNINativeInterface_) / sizeof(void*)>());
    fillWithTraps(reinterpret_cast<void**>(&invokeTable),
                  std::make_index_sequence<sizeof(JNIInvokeInterface_) / sizeof(void*)>());
    nativeTable.FindClass = findClass;
    nativeTable.GetStaticMethodID = getStaticMethodID;
    nativeTable.GetMethodID = getMethodID;
    nativeTable.CallStaticVoidMethodV = callStaticVoidMethodV;
    nativeTable.CallStaticObjectMethodV = callStaticObjectMethodV;
    nativeTable.CallObjectMethodV = callObjectMethodV;
    nativeTable.GetObjectClass = getObjectClass;
    nativeTable.NewStringUTF = newStringUTF;
    nativeTable.NewString = newString;
    nativeTable.GetStringLength = getStringLength;
    nativeTable.GetStringChars = getStringChars;
    nativeTable.ReleaseStringChars = releaseStringChars;
    nativeTable.NewObjectArray = newObjectArray;
    nativeTable.SetObjectArrayElement = setObjectArrayElement;
    nativeTable.DeleteLocalRef = deleteLocalRef;
    nativeTable.ExceptionOccurred = exceptionOccurred;
    nativeTable.ExceptionCheck = exceptionCheck;
    nativeTable.ExceptionDescribe = exceptionDescribe;
    nativeTable.ExceptionClear = exceptionClear;
    invokeTable.DestroyJavaVM = destroyJavaVM;
    environment.functions = &nativeTable;
    javaVm.functions = &invokeTable;
}

// The reservation of the calling thread's stack: every region of the
// allocation that holds a local variable.
size_t stackReservation() {
    MEMORY_BASIC_INFORMATION info{};
    VirtualQuery(&info, &info, sizeof info);
    char* base = static_cast<char*>(info.AllocationBase);
    size_t size = 0;
    for (char* at = base; VirtualQuery(at, &info, sizeof info) == sizeof info && info.AllocationBase == base;
         at += info.RegionSize)
        size += info.RegionSize;
    return size;
}

}  // namespace

extern "C" {

#ifndef WITHOUT_CREATE_JAVA_VM
JNIEXPORT jint JNICALL JNI_CreateJavaVM(JavaVM** vm, void** env, void* args) {
#else
// Compiled all the same, but neither exported nor under its JNI name.
jint JNICALL unexportedCreateJavaVm(JavaVM** vm, void** env, void* args) {
#endif
    // The benchmarks' end points: nothing of the stand-in's own work is timed.
    if (config.create == "exit") ExitProcess(0);
    if (config.create == "peak") {
        PROCESS_MEMORY_COUNTERS counters{};
        counters.cb = sizeof counters;
        if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) ExitProcess(98);
        record("peak\t" + std::to_string(counters.PeakWorkingSetSize));
        ExitProcess(0);
    }
    record("stack\t" + std::to_string(stackReservation()));
    record("commandLine\t" + utf8(std::u16string(reinterpret_cast<const char16_t*>(GetCommandLineW()))));
    char priority[16];
    std::snprintf(priority, sizeof priority, "%lx", GetPriorityClass(GetCurrentProcess()));
    record(std::string("priority\t") + priority);
    auto* initArgs = static_cast<JavaVMInitArgs*>(args);
    char version[16];
    std::snprintf(version, sizeof version, "%x", unsigned(initArgs->version));
    record(std::string("version\t") + version);
    for (jint i = 0; i < initArgs->nOptions; ++i) {
        std::string option = utf8(widen(initArgs->options[i].optionString, CP_ACP));
        record("option\t" + option);
#ifdef BRIDGE_JVM
        bridgeCall.options.push_back(option);
#endif
    }
    record(std::string("ignoreUnrecognized\t") + (initArgs->ignoreUnrecognized ? "1" : "0"));
#ifdef BRIDGE_JVM
    bridgeCall.ignoreUnrecognized = initArgs->ignoreUnrecognized;
#endif
    if (config.create == "fail") {
        *vm = nullptr;
        *env = nullptr;
        return JNI_ERR;
    }
    buildTables();
    *vm = &javaVm;
    *env = &environment;
    return JNI_OK;
}

JNIEXPORT jint JNICALL JNI_GetDefaultJavaVMInitArgs(void*) { return JNI_ERR; }

}  // extern "C"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        wchar_t path[32768];
        DWORD n = GetModuleFileNameW(instance, path, 32768);
        ownDirectory.assign(path, n);
        ownDirectory.resize(ownDirectory.find_last_of(L'\\') + 1);
        readConfig();
#ifdef BRIDGE_JVM
        bridgeCall.ownDirectory = ownDirectory;
#endif
    }
#ifdef BRIDGE_JVM
    if (reason == DLL_PROCESS_DETACH) bridge::processDetaching();
#endif
    return TRUE;
}
