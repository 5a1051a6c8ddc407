package probe;

import java.io.File;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.OutputStreamWriter;
import java.io.Writer;
import java.nio.charset.StandardCharsets;

/** The application the native HotSpot tests start; the first argument picks what it does. */
public final class Probe {

    static final String[] PROPERTIES = {
        "vennic.semaphoreName", "vennic.isQuarlo", "vennic.isService", "vennic.moduleName", "sun.java.command",
        "vennic.tempDir", "vennic.unextractedPosition", "java.library.path", "vennic.consoleCodepage",
    };

    public static void main(String[] args) throws Exception {
        switch (args.length == 0 ? "" : args[0]) {
            case "report": {
                // report FILE ...: every argument and the launcher properties.
                StringBuilder text = new StringBuilder();
                for (String arg : args) {
                    text.append("arg\t").append(arg).append('\n');
                }
                for (String name : PROPERTIES) {
                    text.append("prop\t").append(name).append('\t').append(System.getProperty(name, "<unset>"))
                            .append('\n');
                }
                text.append("splash");
                for (String name : new java.util.TreeSet<>(System.getProperties().stringPropertyNames())) {
                    if (name.startsWith("vennic.splash.")) {
                        text.append('\t').append(name.substring(14)).append('=').append(System.getProperty(name));
                    }
                }
                text.append('\n');
                text.append("helper\t").append(helperState()).append('\n');
                text.append("module\t").append(moduleName()).append('\n');
                write(new File(args[1]), text.toString());
                System.out.println("probe stdout");
                break;
            }
            case "lines": {
                // lines N: N numbered lines on standard output, every tenth on standard error.
                int count = Integer.parseInt(args[1]);
                for (int i = 0; i < count; i++) {
                    (i % 10 == 9 ? System.err : System.out).println("probe line " + i + " of " + count + " ..........");
                }
                break;
            }
            case "await": {
                // await READY GO: names its per-run directory in READY, then waits for GO.
                write(new File(args[1]), System.getProperty("vennic.tempDir", ""));
                File go = new File(args[2]);
                for (int i = 0; i < 600 && !go.exists(); i++) {
                    Thread.sleep(100);
                }
                break;
            }
            case "throw":
                throw new IllegalStateException("probe failure \u00fc");
            case "exit":
                System.exit(Integer.parseInt(args[1]));
                break;
            case "linger": {
                // linger FILE MILLIS: a non-daemon thread writes FILE after a delay.
                Thread late = new Thread(() -> {
                    try {
                        Thread.sleep(Long.parseLong(args[2]));
                        write(new File(args[1]), "written late\n");
                    } catch (Exception e) {
                        throw new RuntimeException(e);
                    }
                });
                late.start();
                break;
            }
            case "serve": {
                // serve HOOK READY: runs until stopped; the shutdown hook writes HOOK.
                Runtime.getRuntime().addShutdownHook(new Thread(() -> {
                    try {
                        write(new File(args[1]), "hook ran\n");
                    } catch (IOException e) {
                        throw new RuntimeException(e);
                    }
                }));
                Thread server = new Thread(() -> {
                    try {
                        Thread.sleep(Long.MAX_VALUE);
                    } catch (InterruptedException e) {
                        Thread.currentThread().interrupt();
                    }
                });
                server.start();
                write(new File(args[2]), "ready\n");
                break;
            }
            case "load": {
                // load PREFIX COUNT: loads and initialises PREFIX0 ... PREFIX(COUNT-1),
                // then says when, in nanoseconds since the epoch (the benchmark's
                // time to main).
                int count = Integer.parseInt(args[2]);
                for (int i = 0; i < count; i++) Class.forName(args[1] + i);
                java.time.Instant now = java.time.Instant.now();
                System.out.println("loaded " + count + " at " + (now.getEpochSecond() * 1_000_000_000L + now.getNano()));
                break;
            }
            default:
                break;
        }
    }

    /** What the launcher told the quarlo family's installer helper, if it is there. */
    static String helperState() throws Exception {
        try {
            Class<?> common = Class.forName("com.quarlo.runtime.installer.platform.win32.Common");
            return String.valueOf(common.getMethod("nativesAvailable").invoke(null));
        } catch (ClassNotFoundException e) {
            return "<absent>";
        }
    }

    /** The name of the probe's module; null in the unnamed module or on Java 8. */
    static String moduleName() throws Exception {
        try {
            Object module = Class.class.getMethod("getModule").invoke(Probe.class);
            return (String) module.getClass().getMethod("getName").invoke(module);
        } catch (NoSuchMethodException e) {
            return null;
        }
    }

    static void write(File file, String text) throws IOException {
        try (Writer out = new OutputStreamWriter(new FileOutputStream(file), StandardCharsets.UTF_8)) {
            out.write(text);
        }
    }

    /** A main class without main. */
    public static final class NoMain {
    }
}
