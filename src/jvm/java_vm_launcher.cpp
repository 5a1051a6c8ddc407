#include "jvm/java_vm_launcher.h"

#include <algorithm>
#include <type_traits>

#include "base/process_state.h"
#include "base/tokenize.h"
#include "config/entries.h"
#include "config/java_contract.h"
#include "config/store.h"
#include "diag/log.h"

namespace wl {
namespace {

using CreateJavaVmFunction = decltype(&JNI_CreateJavaVM);

#ifdef _WIN32
// JNI uses stdcall on 32-bit Windows. A call through a pointer of another
// convention would leave the stack unbalanced after every JNI call; GCC keeps
// the convention in the function type, so these prove the types the launcher
// calls through: the creation export and the function table.
static_assert(std::is_same_v<CreateJavaVmFunction, jint(__stdcall*)(JavaVM**, void**, void*)>);
static_assert(std::is_same_v<decltype(JNINativeInterface_::FindClass), jclass(__stdcall*)(JNIEnv*, const char*)>);
#ifndef _WIN64
static_assert(!std::is_same_v<CreateJavaVmFunction, jint(__cdecl*)(JavaVM**, void**, void*)>,
              "the 32-bit build must call JNI as stdcall");
#endif
#endif

// A JNI local reference, deleted when it goes out of scope, so that nothing
// piles up in the launch thread's frame while the application runs.
template <class T>
class LocalRef {
public:
    LocalRef(JNIEnv* env, T ref) : env_(env), ref_(ref) {}
    LocalRef(const LocalRef&) = delete;
    LocalRef& operator=(const LocalRef&) = delete;
    ~LocalRef() {
        if (ref_) env_->DeleteLocalRef(ref_);
    }
    T get() const { return ref_; }
    explicit operator bool() const { return ref_ != nullptr; }

private:
    JNIEnv* env_;
    T ref_;
};

jstring newString(JNIEnv* env, const std::u16string& text) {
    static_assert(sizeof(jchar) == sizeof(char16_t));
    return env->NewString(reinterpret_cast<const jchar*>(text.data()), jsize(text.size()));
}

// A failed lookup or allocation leaves an error pending in the JVM
// (NoClassDefFoundError, NoSuchMethodError, OutOfMemoryError); no further JNI
// call is allowed until it is cleared.
void clearPendingException(JNIEnv* env) {
    if (env->ExceptionCheck()) env->ExceptionClear();
}

// The splash-screen texts, handed to the Java side; nothing here stops the
// launch. The texts are shown: they are widened through the code page of the
// settings (byte for byte, 0x97 in 1252 would be a C1 control instead of the
// em dash), and passed as UTF-16, so that no code-page byte reaches the JVM as
// malformed UTF-8.
void passSplashSettings(JNIEnv* env, const JavaVmPlatform& platform) {
    LocalRef<jclass> splash(env, env->FindClass(java::kSplashClass));
    if (!splash) {
        clearPendingException(env);
        logError(u"could not find main class for splash properties");
        return;
    }
    jmethodID method = env->GetStaticMethodID(splash.get(), java::kSplashMethod, java::kSplashSignature);
    if (!method) {
        clearPendingException(env);
        logError(u"could not find method for splash properties");
        return;
    }
    auto text = [&](int32_t id) { return newString(env, platform.widenText(getConfigString(id, 2000))); };
    LocalRef<jstring> text1(env, text(cfg::splashLine1Text));
    LocalRef<jstring> colour1(env, text(cfg::splashLine1Colour));
    LocalRef<jstring> text2(env, text(cfg::splashLine2Text));
    LocalRef<jstring> colour2(env, text(cfg::splashLine2Colour));
    jboolean secondFlag = getConfigInt(cfg::splashSecondFlag) != 0 ? JNI_TRUE : JNI_FALSE;
    env->CallStaticVoidMethod(splash.get(), method, jboolean(JNI_TRUE), secondFlag,
                              text1.get(), jint(getConfigInt(cfg::splashLine1X)), jint(getConfigInt(cfg::splashLine1Y)),
                              colour1.get(), jint(getConfigInt(cfg::splashLine1FontSize)),
                              jint(getConfigInt(cfg::splashLine1FontWeight)),
                              text2.get(), jint(getConfigInt(cfg::splashLine2X)), jint(getConfigInt(cfg::splashLine2Y)),
                              colour2.get(), jint(getConfigInt(cfg::splashLine2FontSize)),
                              jint(getConfigInt(cfg::splashLine2FontWeight)));
    reportJavaException(env);
}

// Tells the installer helper class whether its natives are there; false when
// the class or method is missing or the call threw.
bool callInitFromLauncher(JNIEnv* env, bool available) {
    LocalRef<jclass> helper(env, env->FindClass(java::kHelperClass));
    if (!helper) {
        clearPendingException(env);
        logError(u"did not find %S", java::kHelperClass);
        return false;
    }
    jmethodID method = env->GetStaticMethodID(helper.get(), java::kHelperMethod, java::kHelperSignature);
    if (!method) {
        clearPendingException(env);
        logError(u"did not find initMethod");
        return false;
    }
    env->CallStaticVoidMethod(helper.get(), method, jboolean(available ? JNI_TRUE : JNI_FALSE));
    return reportJavaException(env);
}

// The quarlo family's helper library registers the natives of its installer
// helper class; every problem is only logged.
void loadHelperLibrary(JNIEnv* env, const JavaVmPlatform& platform) {
    if (!java::isQuarlo(flavourCode)) return;
    logMessage(u"load helper dll");
    std::u16string path = platform.installationDir();
    if (path.empty() || path.back() != u'\\') path += u'\\';
    path += java::kHelperLibrary;
    void* library = platform.loadLibrary(path);
    logMessage(u"helper dll %p %s", library, path.c_str());
    if (!library) return;
    auto registerNatives =
        reinterpret_cast<RegisterNativesFunction>(platform.findExport(library, java::kHelperExport));
    if (!registerNatives) {
        logError(u"did not find register natives in helper dll");
        return;
    }
    if (!callInitFromLauncher(env, true)) return;
    if (!registerNatives(env, library, logError)) {
        logError(u"registering helper dll failed");
        callInitFromLauncher(env, false);
    }
}

// The JVM got the executable's path as a narrow option, which loses what the
// code page cannot hold; the wide path replaces it.
void setModuleNameProperty(JNIEnv* env, const JavaVmPlatform& platform) {
    LocalRef<jclass> system(env, env->FindClass(java::kSystemClass));
    if (!system) {
        clearPendingException(env);
        logError(u"could not get system class");
        return;
    }
    jmethodID setProperty = env->GetStaticMethodID(system.get(), java::kSetPropertyMethod,
                                                   java::kSetPropertySignature);
    if (!setProperty) {
        clearPendingException(env);
        logError(u"could not get method for module name init");
        return;
    }
    const std::u16string path = platform.modulePath();
    LocalRef<jstring> value(env, newString(env, path));
    LocalRef<jstring> key(env, newString(env, java::kModuleNamePropertyWide));
    if (!value || !key) {
        clearPendingException(env);
        logError(u"could not create string for init module name");
        return;
    }
    logMessage(u"setting %S to %s", java::kModuleNameProperty, path.c_str());
    LocalRef<jobject> previous(env, env->CallStaticObjectMethod(system.get(), setProperty, key.get(), value.get()));
    reportJavaException(env);
}

// A redirection file: empty when not redirected; "$..." as written, left to
// the application; anything else made full against the launcher directory.
std::u16string redirectionFile(int32_t flagId, int32_t fileId, const JavaVmPlatform& platform) {
    if (getConfigInt(flagId) == 0) return {};
    std::u16string file = getConfigWide(fileId, kBufferSize);
    platform.expandVariables(file);
    if (file.starts_with(u'$')) return file;
    return platform.fullPath(file);
}

bool invokeLauncherMain(JNIEnv* env, const std::vector<std::u16string>& arguments, const JavaVmPlatform& platform) {
    std::string className = java::launcherClass(flavourCode);
    std::replace(className.begin(), className.end(), '.', '/');
    logMessage(u"main class: %S", className.c_str());
    LocalRef<jclass> launcher(env, env->FindClass(className.c_str()));
    if (!launcher) {
        clearPendingException(env);
        logError(u"could not find main class");
        platform.fatalMessage(cfg::mainClassNotFound, nullptr);
        return false;
    }
    jmethodID main = env->GetStaticMethodID(launcher.get(), java::kMainMethod, java::kMainSignature);
    if (!main) {
        clearPendingException(env);
        logError(u"could not find main method");
        platform.fatalMessage(cfg::mainMethodNotFound, nullptr);
        return false;
    }

    const std::vector<std::u16string> words = composeMainArguments(arguments, platform);
    logMessage(u"param count: %d", int(words.size()));
    LocalRef<jclass> stringClass(env, env->FindClass(java::kStringClass));
    LocalRef<jobjectArray> array(
        env, stringClass ? env->NewObjectArray(jsize(words.size()), stringClass.get(), nullptr) : nullptr);
    if (!array) {
        const std::u16string item = u"paramArray";
        logError(u"could not create %s", item.c_str());
        platform.fatalMessage(cfg::internalError, &item);
        return false;
    }
    for (std::size_t i = 0; i < words.size(); ++i) {
        logMessage(u"param %d: %s", int(i), words[i].c_str());
        // UTF-16 as it is: no code page stands between the user and Java.
        LocalRef<jstring> word(env, newString(env, words[i]));
        if (!word) {
            const std::u16string item = u"jstr";
            logError(u"could not create %s", item.c_str());
            platform.fatalMessage(cfg::internalError, &item);
            return false;
        }
        env->SetObjectArrayElement(array.get(), jsize(i), word.get());
    }
    logMessage(u"calling main");
    env->CallStaticVoidMethod(launcher.get(), main, array.get());
    logMessage(u"main returned");
    return reportJavaException(env);
}

// The exception's toString(), called only once the exception is cleared.
bool exceptionText(JNIEnv* env, jthrowable thrown, std::u16string& text) {
    LocalRef<jclass> type(env, env->GetObjectClass(thrown));
    jmethodID toString = type ? env->GetMethodID(type.get(), java::kToStringMethod, java::kToStringSignature) : nullptr;
    if (!toString) {
        clearPendingException(env);
        return false;
    }
    LocalRef<jstring> string(env, static_cast<jstring>(env->CallObjectMethod(thrown, toString)));
    if (env->ExceptionCheck()) {
        env->ExceptionClear();
        return false;
    }
    if (!string) return false;
    jsize length = env->GetStringLength(string.get());
    const jchar* chars = env->GetStringChars(string.get(), nullptr);
    if (!chars) {
        clearPendingException(env);
        return false;
    }
    text.assign(reinterpret_cast<const char16_t*>(chars), std::size_t(length));
    env->ReleaseStringChars(string.get(), chars);
    return true;
}

}  // namespace

void buildLauncherArguments(std::vector<std::u16string>& out, const JavaVmPlatform& platform) {
    out.push_back(getConfigInt(cfg::applicationType) == 1 ? u"true" : u"false");
    std::u16string mainClass = getConfigWide(cfg::mainClass, kBufferSize);
    out.push_back(getConfigInt(cfg::mainClassInModule) != 0 ? u"/" + mainClass : mainClass);
    out.push_back(redirectionFile(cfg::redirectStderr, cfg::stderrFile, platform));
    out.push_back(redirectionFile(cfg::redirectStdout, cfg::stdoutFile, platform));
    out.push_back(getConfigInt(cfg::fifthLauncherFlag) != 0 ? u"true" : u"false");
}

std::vector<std::u16string> composeMainArguments(const std::vector<std::u16string>& arguments,
                                                 const JavaVmPlatform& platform) {
    std::vector<std::u16string> words;
    buildLauncherArguments(words, platform);
    if (!arguments.empty()) words.push_back(arguments.front());
    std::u16string configured = getConfigWide(cfg::applicationArguments, 2000);
    if (!configured.empty()) {
        platform.expandVariables(configured);
        splitCommandLine(configured, words);
    }
    // "-J" arguments became JVM options when entry 125 allows them; the locale
    // format arguments set the locale options.
    const bool javaOptionArguments = getConfigInt(cfg::allowJavaOptionArguments) != 0;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::u16string& word = arguments[i];
        if (javaOptionArguments && word.starts_with(java::kJavaOptionArgument)) continue;
        if (word.starts_with(java::kLocaleFormatArgument)) continue;
        words.push_back(word);
    }
    return words;
}

bool reportJavaException(JNIEnv* env) {
    jthrowable thrown = env->ExceptionOccurred();
    if (!thrown) return true;
    logError(u"an exception occurred");
    env->ExceptionDescribe();
    env->ExceptionClear();
    std::u16string text;
    if (exceptionText(env, thrown, text)) logError(u"%s", text.c_str());
    env->DeleteLocalRef(thrown);
    return false;
}

bool createJvmAndRunMain(LaunchRecord& record, const JavaVmPlatform& platform) {
    logMessage(u"Creating JVM");
    auto create = reinterpret_cast<CreateJavaVmFunction>(createJavaVmEntry);
    if (!create || create(&javaVm, reinterpret_cast<void**>(&jniEnv), &record.initArgs) != JNI_OK) {
        logError(u"could not initialize JVM");
        return false;
    }
    logMessage(u"JVM created");
    if (getConfigInt(cfg::splashTextSettings) != 0) passSplashSettings(jniEnv, platform);
    loadHelperLibrary(jniEnv, platform);
    setModuleNameProperty(jniEnv, platform);
    if (!invokeLauncherMain(jniEnv, record.arguments, platform)) {
        logError(u"could not call main");
        return false;
    }
    logMessage(u"dest JVM");
    // Waits for the application's non-daemon threads.
    javaVm->DestroyJavaVM();
    logMessage(u"launch done");
    return true;
}

}  // namespace wl
