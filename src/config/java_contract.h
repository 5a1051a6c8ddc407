// What the launcher fixes about the Java side it starts: class, method and
// signature names, the runtime's files and module names, the system property
// names, and the stop line of a service worker. Every use reads them from
// here, so the native and the Java side can only disagree in one place.
//
// Two runtime families exist, chosen by the flavour letter: 'q' selects the
// quarlo family, any other value the vennic family.
#pragma once

namespace wl::java {

inline bool isQuarlo(char flavour) { return flavour == 'q'; }

// The class whose static main(String[]) starts the application.
inline constexpr char kQuarloLauncherClass[] = "com/quarlo/runtime/launcher/WinLauncher";
inline constexpr char kVennicLauncherClass[] = "com/vennic/runtime/WinLauncher";
inline const char* launcherClass(char flavour) {
    return isQuarlo(flavour) ? kQuarloLauncherClass : kVennicLauncherClass;
}
inline constexpr char kMainMethod[] = "main";
inline constexpr char kMainSignature[] = "([Ljava/lang/String;)V";

// Splash-screen text settings go to the vennic class in both families.
inline constexpr char kSplashClass[] = "com/vennic/runtime/WinLauncher";
inline constexpr char kSplashMethod[] = "initAwtSplashConfig";
inline constexpr char kSplashSignature[] =
    "(ZZLjava/lang/String;IILjava/lang/String;IILjava/lang/String;IILjava/lang/String;II)V";

// The quarlo family's installer helper: a class told whether its native half
// is present, and the library that registers that half.
inline constexpr char kHelperClass[] = "com/quarlo/runtime/installer/platform/win32/Common";
inline constexpr char kHelperMethod[] = "initFromLauncher";
inline constexpr char kHelperSignature[] = "(Z)V";
inline constexpr char16_t kHelperLibrary[] = u".quarlo\\qarinst.dll";  // under the installation directory
inline constexpr char kHelperExport[] = "registerNatives";

// The quarlo family's runtime archive, under the installation directory.
inline constexpr char kRuntimeArchive[] = ".quarlo\\qarruntime.jar";

// The named module of each family's runtime, for the module options.
inline const char* runtimeModule(char flavour) {
    return isQuarlo(flavour) ? "com.quarlo.runtime" : "com.vennic.runtime";
}

// JDK classes and methods the launcher calls.
inline constexpr char kSystemClass[] = "java/lang/System";
inline constexpr char kSetPropertyMethod[] = "setProperty";
inline constexpr char kSetPropertySignature[] = "(Ljava/lang/String;Ljava/lang/String;)Ljava/lang/String;";
inline constexpr char kStringClass[] = "java/lang/String";
inline constexpr char kToStringMethod[] = "toString";
inline constexpr char kToStringSignature[] = "()Ljava/lang/String;";

// System properties the launcher sets, in the order it passes them.
inline constexpr char kSemaphoreNameProperty[] = "vennic.semaphoreName";
inline constexpr char kIsQuarloProperty[] = "vennic.isQuarlo";
inline constexpr char kIsServiceProperty[] = "vennic.isService";
inline constexpr char kModuleNameProperty[] = "vennic.moduleName";
inline constexpr char16_t kModuleNamePropertyWide[] = u"vennic.moduleName";
inline constexpr char kJavaCommandProperty[] = "sun.java.command";
inline constexpr char kTempDirProperty[] = "vennic.tempDir";
inline constexpr char kUnextractedPositionProperty[] = "vennic.unextractedPosition";
inline constexpr char kLibraryPathOption[] = "-Djava.library.path=";
inline constexpr char kConsoleCodepageProperty[] = "vennic.consoleCodepage";

// The output-rolling settings, each passed after the properties above when
// it is set: flags as "true" or "false", counts in decimal, sizes as written.
inline constexpr char kOutputMaxSizeProperty[] = "vennic.output.maxSize";
inline constexpr char kOutputRollDailyProperty[] = "vennic.output.rollDaily";
inline constexpr char kOutputKeepFilesProperty[] = "vennic.output.keepFiles";
inline constexpr char kOutputMaxAgeDaysProperty[] = "vennic.output.maxAgeDays";
inline constexpr char kOutputMaxTotalSizeProperty[] = "vennic.output.maxTotalSize";
inline constexpr char kOutputRollOnStartProperty[] = "vennic.output.rollOnStart";

// Options the launcher adds itself.
inline constexpr char kClassPathOption[] = "-Djava.class.path=";
inline constexpr char kNoRedirectOption[] = "-Dquarlo.noRedir=true";
inline constexpr char kReduceSignalsOption[] = "-Xrs";
// Arguments of this prefix are JVM options when entry 125 allows them, and
// then never reach the application.
inline constexpr char16_t kJavaOptionArgument[] = u"-J";
// Arguments of this prefix set the locale options and never reach the application.
inline constexpr char16_t kLocaleFormatArgument[] = u"-Dsun.locale.formatasdefault=";

// A service worker is told to stop by this line on its standard input, with
// the reason code (0 for stop and shutdown); the pipe is closed after it.
inline constexpr char kStopLineFormat[] = "%d\n";
inline constexpr int kStopReason = 0;

}  // namespace wl::java
