// The one list of configuration ids. Each user of it defines the macros it
// needs, includes this file, and gets them undefined again:
//   WL_SETTING(id, name, kind, meaning)  a narrow setting, written by name
//   WL_INDEXED(id, name, kind, meaning)  first id of an indexed family, written by number
//   WL_MESSAGE(id, name, meaning)        a UTF-16 text of the messages table
//   WL_DEFAULTED(id, name, kind, default, meaning)  a setting whose absence
//                                        means the default shown, not empty or 0;
//                                        a WL_SETTING to users that do not define it
// The launcher expands only ids, names and kinds; the meanings reach only the
// packer's reference (winlaunch-pack --list-settings, docs/configuration.md).
// No include guard: this file is meant to be included more than once.

#ifndef WL_SETTING
#define WL_SETTING(id, name, kind, meaning)
#endif
#ifndef WL_INDEXED
#define WL_INDEXED(id, name, kind, meaning)
#endif
#ifndef WL_MESSAGE
#define WL_MESSAGE(id, name, meaning)
#endif
#ifndef WL_DEFAULTED
#define WL_DEFAULTED(id, name, kind, def, meaning) WL_SETTING(id, name, kind, meaning)
#endif

WL_SETTING(101, configuredServiceName, Text, "name of the Windows service; the argument after a service command overrides it")
WL_SETTING(102, redirectStderr, Flag, "hand stderrFile to the Java side as the file for the application's error output")
WL_SETTING(103, stderrFile, Text, "error-output file; variables expanded, made absolute against the launcher directory unless it begins with \"$\"")
WL_SETTING(104, redirectStdout, Flag, "hand stdoutFile to the Java side as the file for the application's standard output")
WL_SETTING(105, stdoutFile, Text, "standard-output file, treated like stderrFile")
WL_SETTING(106, fifthLauncherFlag, Flag, "handed to the Java-side launcher as its fifth argument, \"true\" or \"false\"")
WL_SETTING(107, applicationType, Int, "1: windowed application (message boxes, javaw.exe preferred); 5: message boxes as well; 4: the service installs with automatic start; other values: messages on the console")
WL_SETTING(108, splashTextSettings, Flag, "hand the splash text settings (splashSecondFlag, splashLine1..., splashLine2...) to the Java side after the JVM is created")
WL_SETTING(121, classPath, Text, "class path: \";\"-separated entries, each a type letter, a required flag and a path or variable name")
WL_SETTING(122, mainClass, Text, "the application's main class (module and class when mainClassInModule is set)")
WL_SETTING(123, vmOptions, Text, "VM options, variables expanded, split like a command line")
WL_SETTING(124, applicationArguments, Text, "application arguments placed before those of the command line, variables expanded, split like a command line")
WL_SETTING(125, allowJavaOptionArguments, Flag, "command-line arguments beginning with \"-J\" become VM options instead of application arguments")
WL_SETTING(126, minJavaVersion, Text, "lowest acceptable Java version; empty for none")
WL_SETTING(127, maxJavaVersion, Text, "highest acceptable Java version; empty for none")
WL_SETTING(128, jreSearchSequence, Text, "\";\"-separated steps of the Java runtime search, each a type letter and its argument")
WL_SETTING(130, allowBetaJava, Flag, "accept Java versions marked beta, ea or rc")
WL_SETTING(131, requireJdk, Flag, "accept only a JDK (one with tools.jar)")
WL_SETTING(132, modulePath, Text, "module path, entries written as in classPath")
WL_SETTING(133, mainClassInModule, Flag, "mainClass names a module and a class; adds the module options")
WL_SETTING(146, workingDirectory, Text, "directory to change to at start-up, variables allowed, relative to the launcher directory; empty: unchanged")
WL_SETTING(149, serviceDependencies, Text, "\",\"-separated names of the services this service depends on")
WL_SETTING(152, jvmTypeDirectory, Text, "JVM-type subdirectory of the runtime's bin directory that is tried first")
WL_SETTING(154, useDllDirectories, Flag, "register native library directories with the loader's DLL directory list where the system offers it")
WL_SETTING(158, globalInstanceLock, Flag, "the single-instance lock lives in the global namespace instead of the session's")
WL_SETTING(160, applicationId, Text, "id under which earlier installations recorded their directories, so that their Java runtime can be reused")
WL_SETTING(163, splashSecondFlag, Flag, "second flag handed to the Java side with the splash text settings")
WL_SETTING(165, privateJresOnly, Flag, "registry search: skip the system's Java keys and accept only located runtimes whose path contains \"qar_jres\"")
WL_SETTING(166, useDefaultVmOptionsFile, Flag, "read the VM options file next to the executable")
WL_SETTING(2001, flavour, Text, "runtime family: \"q\" selects the quarlo classes, anything else the vennic classes")
WL_SETTING(2002, includedFileCount, Int, "number of included files; filled from the [[file]] entries")
WL_SETTING(2003, includedFileNames, Text, "\";\"-separated names of the included files, in record order; filled from the [[file]] entries")
WL_SETTING(10003, installationDirectory, Text, "directory, relative to the launcher directory, that holds the runtime's own subdirectory (runtime archive, helper library, JRE preference files)")
WL_SETTING(10004, nativeLibraryDirectories, Text, "\";\"-separated directories put in front of PATH, variables allowed")
WL_SETTING(10005, singleInstance, Flag, "allow only one running instance")
WL_SETTING(10008, activateFirstInstance, Flag, "a second instance brings the first one's windows to the front")
WL_SETTING(10009, tempDirLongForm, Flag, "the search for the temporary directory takes the long form of a candidate")
WL_SETTING(10010, systemPathOnly, Flag, "cut PATH down to the entries under the Windows directory")
WL_SETTING(10012, ignoreJavaOptionVariables, Flag, "remove _JAVA_OPTIONS, JDK_JAVA_OPTIONS and JAVA_TOOL_OPTIONS from the environment at start-up")
WL_SETTING(10109, splashLine1X, Int, "first splash text line: x position")
WL_SETTING(10110, splashLine1Y, Int, "first splash text line: y position")
WL_SETTING(10111, splashLine1Text, Text, "first splash text line: text")
WL_SETTING(10113, splashLine1FontSize, Int, "first splash text line: font size")
WL_SETTING(10114, splashLine1Colour, Text, "first splash text line: colour as red, green and blue decimal numbers separated by \",\"")
WL_SETTING(10115, splashLine1FontWeight, Int, "first splash text line: font weight")
WL_SETTING(10116, splashLine2X, Int, "second splash text line: x position")
WL_SETTING(10117, splashLine2Y, Int, "second splash text line: y position")
WL_SETTING(10118, splashLine2Text, Text, "second splash text line: text")
WL_SETTING(10120, splashLine2FontSize, Int, "second splash text line: font size")
WL_SETTING(10121, splashLine2Colour, Text, "second splash text line: colour")
WL_SETTING(10122, splashLine2FontWeight, Int, "second splash text line: font weight")
WL_SETTING(10200, versionSpecificOptionCount, Int, "number n of version-specific VM option pairs that follow")
WL_INDEXED(10201, versionSpecificCondition, Text, "for k = 0 ... n-1: the Java versions pair k applies to, an asterisk and a version, or a minimum and a maximum major version joined by \"-\"")
WL_INDEXED(10202, versionSpecificOptions, Text, "for k = 0 ... n-1: the VM options used when condition k matches; the first matching pair wins")

// --- This launcher's own additions: ids 30000-30999 ---
// Settings beyond the classic catalogue; a launcher ignores ids it does not
// know. Ranges: 30001-30099 service supervision, 30101-30199 output rolling,
// 30201-30299 start-up and class-data sharing, 30301-30399 diagnostics.
// Service supervision: read by the service process and by /install.
WL_DEFAULTED(30001, serviceStopTimeout, Int, "30", "seconds the application has to end after the stop line; then the worker and every process it started are ended")
WL_DEFAULTED(30002, servicePreshutdownTimeout, Int, "60", "seconds Windows waits at shutdown for the service (preshutdown); the stop budget at shutdown is the smaller of the two")
WL_DEFAULTED(30003, serviceRecovery, Text, "\"restart/10000,restart/10000,none,reset/86400\"", "recovery set at /install: \"none\", or \",\"-separated restart/<ms> and none actions (the last repeats) and reset/<seconds> after which the failure count starts again")
WL_DEFAULTED(30004, serviceAccount, Text, "\"LocalSystem\"", "account of the service: LocalSystem, LocalService, NetworkService, NT SERVICE\\<name> (NT SERVICE\\ alone: the service's own), a managed account ending in $, or a user, whose password /install reads from the console or standard input")
WL_SETTING(30005, serviceDelayedStart, Flag, "an automatically started service (/install-auto, applicationType 4) starts delayed, after the other automatic services")
// Output rolling: handed to the Java side as "vennic.output." properties,
// each only when it is set.
WL_SETTING(30101, outputMaxSize, Text, "roll the redirected output files once they reach this size: digits and at most one of k, m, g, t, as in -Xmx; empty: not by size")
WL_SETTING(30102, outputRollDaily, Flag, "roll the redirected output files at the first line after local midnight, and at start when the file is of an earlier day")
WL_SETTING(30103, outputKeepFiles, Int, "rolled files kept of each output file (name.1.log is the newest); 0: no limit by count")
WL_SETTING(30104, outputMaxAgeDays, Int, "rolled files older than this many days are removed at start and at each roll; 0: no limit by age")
WL_SETTING(30105, outputMaxTotalSize, Text, "the oldest rolled files are removed while the current file and the rolled ones together hold more; a size as in outputMaxSize; empty: no limit")
WL_SETTING(30106, outputRollOnStart, Flag, "roll an output file that is not empty when the application starts")
// Start-up: class-data sharing (options/classdata.h).
WL_DEFAULTED(30201, classDataSharing, Text, "\"auto\"", "class-data sharing: auto (the default) keeps an archive of the application's classes per application, runtime and user in the local application data, on HotSpot from Java 13 with its own archive, unless a -J option changes the class path or the user's options file next to the executable gives options; on: also then; off: never")

WL_MESSAGE(1000, errorCaption, "caption of the error message box")
WL_MESSAGE(1005, jvmNotStartable, "the JVM could not be started")
WL_MESSAGE(1006, classPathEntryMissing, "a required class path or module path entry is missing or empty; {0}: the entry's path")
WL_MESSAGE(1008, variableUndefined, "a required environment variable of the class path is not defined; {0}: its name")
WL_MESSAGE(1009, internalError, "internal error; {0}: the error code")
WL_MESSAGE(1010, mainClassNotFound, "the Java-side launcher class could not be loaded")
WL_MESSAGE(1011, mainMethodNotFound, "the main method of the Java-side launcher class is missing")
WL_MESSAGE(1015, noTempDirectory, "no usable temporary directory (the user lacks rights)")
WL_MESSAGE(1016, noJvmFound, "no JVM could be found; {0}: the bitness")
WL_MESSAGE(1017, javaHomeUnusable, "the environment variable named by the search does not point to a working JDK or JRE; {0}: the variable's name")
WL_MESSAGE(1019, jvmDamaged, "the JVM found at a configured location is damaged; {0}: the location")
WL_MESSAGE(20017, serviceDescription, "description of the installed service; empty: none")

#undef WL_SETTING
#undef WL_INDEXED
#undef WL_MESSAGE
#undef WL_DEFAULTED
