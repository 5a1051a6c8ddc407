package com.vennic.runtime;

import java.io.File;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.OutputStream;
import java.io.PrintStream;
import java.time.Clock;
import java.lang.reflect.InvocationTargetException;
import java.lang.reflect.Method;
import java.lang.reflect.Modifier;
import java.util.Arrays;
import java.util.Optional;

/**
 * The class the native launcher starts. Its {@code main} receives five leading
 * arguments from the launcher, then the program path, then the application's
 * own arguments:
 * <ol>
 * <li>"true" for a windowed application, else "false";</li>
 * <li>the main class, written "/module/class" when it lives in a named module;</li>
 * <li>the file for standard error, empty when not redirected;</li>
 * <li>the file for standard output, empty when not redirected;</li>
 * <li>a flag the launcher passes through, "true" or "false".</li>
 * </ol>
 * A redirection file whose name starts with "$" is left to the application.
 * The redirected files roll and are pruned as the launcher's "vennic.output."
 * properties say (OutputRolling, RollingFile). The classes are compiled for Java 8; the module system is reached through
 * reflection.
 */
public final class WinLauncher {

    /** The prefix of the system properties that hold the splash-screen texts. */
    public static final String SPLASH_PROPERTY_PREFIX = "vennic.splash.";

    static final int LEADING_ARGUMENTS = 5;

    private static volatile boolean windowed;
    private static volatile boolean fifthFlag;

    private WinLauncher() {
    }

    /** Whether the launcher started a windowed application. */
    public static boolean isWindowed() {
        return windowed;
    }

    /** The fifth flag of the launcher's arguments. */
    public static boolean fifthFlag() {
        return fifthFlag;
    }

    /**
     * Keeps the splash-screen text settings the launcher read from its
     * configuration as system properties under "vennic.splash.".
     */
    public static void initAwtSplashConfig(boolean enabled, boolean secondFlag,
            String text1, int x1, int y1, String colour1, int fontSize1, int fontWeight1,
            String text2, int x2, int y2, String colour2, int fontSize2, int fontWeight2) {
        setSplash("enabled", String.valueOf(enabled));
        setSplash("secondFlag", String.valueOf(secondFlag));
        setSplashLine(1, text1, x1, y1, colour1, fontSize1, fontWeight1);
        setSplashLine(2, text2, x2, y2, colour2, fontSize2, fontWeight2);
    }

    private static void setSplashLine(int line, String text, int x, int y, String colour, int fontSize,
            int fontWeight) {
        String prefix = "line" + line + ".";
        setSplash(prefix + "text", text);
        setSplash(prefix + "x", String.valueOf(x));
        setSplash(prefix + "y", String.valueOf(y));
        setSplash(prefix + "colour", colour);
        setSplash(prefix + "fontSize", String.valueOf(fontSize));
        setSplash(prefix + "fontWeight", String.valueOf(fontWeight));
    }

    private static void setSplash(String key, String value) {
        System.setProperty(SPLASH_PROPERTY_PREFIX + key, value == null ? "" : value);
    }

    public static void main(String[] args) throws Throwable {
        if (args == null || args.length < LEADING_ARGUMENTS) {
            throw new IllegalArgumentException("the launcher passes " + LEADING_ARGUMENTS
                    + " leading arguments, got " + (args == null ? 0 : args.length));
        }
        windowed = Boolean.parseBoolean(args[0]);
        fifthFlag = Boolean.parseBoolean(args[4]);

        // The per-run directory is claimed first, so that no other run takes
        // it for a leftover while this application uses it.
        RunDirectories.claim(System.getProperty("vennic.tempDir", ""));
        if (Boolean.getBoolean("vennic.isService")) {
            StopLineWatcher.start(System.in);
        }
        if (!Boolean.getBoolean("quarlo.noRedir")) {
            PrintStream console = System.err;
            OutputRolling rolling = OutputRolling.fromProperties(System.getProperties(), console);
            PrintStream error = redirect(args[2], "error", rolling, console, null, null);
            if (error != null) {
                System.setErr(error);
            }
            PrintStream output = redirect(args[3], "output", rolling, console, args[2], error);
            if (output != null) {
                System.setOut(output);
            }
        }

        Method main = findMain(loadMainClass(args[1]));
        // The program path follows the leading arguments; a worker started
        // without arguments has none.
        String[] applicationArguments = Arrays.copyOfRange(args, Math.min(LEADING_ARGUMENTS + 1, args.length),
                args.length);
        try {
            main.invoke(null, (Object) applicationArguments);
        } catch (InvocationTargetException e) {
            // The application's own exception leaves main, not the wrapper.
            throw e.getCause() != null ? e.getCause() : e;
        }
    }

    /**
     * The stream that appends standard error or output to the named file, or
     * null when it stays as it is. A file that the other stream already
     * writes gets that stream: one writer per file keeps its lines whole.
     */
    private static PrintStream redirect(String file, String which, OutputRolling rolling, PrintStream console,
            String otherFile, PrintStream other) {
        if (file.isEmpty() || file.startsWith("$")) {
            return null;
        }
        if (other != null && samePath(file, otherFile)) {
            return other;
        }
        try {
            OutputStream out = rolling.isActive()
                    ? RollingFile.open(new File(file), rolling, Clock.systemDefaultZone(), console, RollingFile.FILES)
                    : new FileOutputStream(file, true);
            return new PrintStream(out, true);
        } catch (IOException | RuntimeException e) {
            console.println("cannot redirect standard " + which + " to " + file + ": " + e);
            return null;
        }
    }

    private static boolean samePath(String a, String b) {
        try {
            return new File(a).getAbsoluteFile().toPath().normalize()
                    .equals(new File(b).getAbsoluteFile().toPath().normalize());
        } catch (RuntimeException e) {
            return false;
        }
    }

    /**
     * Loads the application's main class: "/module/class" from the named
     * module of the boot layer, anything else from the system class loader.
     */
    static Class<?> loadMainClass(String name) throws ClassNotFoundException {
        if (!name.startsWith("/")) {
            return Class.forName(name, false, ClassLoader.getSystemClassLoader());
        }
        String rest = name.substring(1);
        int slash = rest.indexOf('/');
        if (slash < 0) {
            return Class.forName(rest, false, ClassLoader.getSystemClassLoader());
        }
        return loadFromModule(rest.substring(0, slash), rest.substring(slash + 1));
    }

    private static Class<?> loadFromModule(String moduleName, String className) throws ClassNotFoundException {
        Class<?> layerClass;
        Class<?> moduleClass;
        try {
            layerClass = Class.forName("java.lang.ModuleLayer");
            moduleClass = Class.forName("java.lang.Module");
        } catch (ClassNotFoundException e) {
            // Java 8 has no modules: the class path holds the class.
            return Class.forName(className, false, ClassLoader.getSystemClassLoader());
        }
        Object found;
        try {
            Object bootLayer = layerClass.getMethod("boot").invoke(null);
            Optional<?> module = (Optional<?>) layerClass.getMethod("findModule", String.class)
                    .invoke(bootLayer, moduleName);
            if (!module.isPresent()) {
                throw new ClassNotFoundException("module " + moduleName + " is not resolved (" + className + ")");
            }
            found = Class.class.getMethod("forName", moduleClass, String.class).invoke(null, module.get(), className);
        } catch (NoSuchMethodException | IllegalAccessException | InvocationTargetException e) {
            throw new ClassNotFoundException(className + " in module " + moduleName, e);
        }
        if (found == null) {
            throw new ClassNotFoundException(className + " in module " + moduleName);
        }
        return (Class<?>) found;
    }

    static Method findMain(Class<?> mainClass) throws NoSuchMethodException {
        Method main = mainClass.getMethod("main", String[].class);
        if (!Modifier.isStatic(main.getModifiers())) {
            throw new NoSuchMethodException("main of " + mainClass.getName() + " is not static");
        }
        try {
            // A main class that is not public itself is still started, as the
            // java launcher does.
            main.setAccessible(true);
        } catch (RuntimeException e) {
            // Not opened to this module: invoke reports it if it matters.
        }
        return main;
    }
}
