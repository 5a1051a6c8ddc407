package demo;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Paths;
import java.time.LocalTime;
import java.time.temporal.ChronoUnit;
import java.util.Arrays;

/**
 * The demo application. It says hello, then works in the background: three
 * steps when run on the console, until it is stopped when it runs as a
 * service. Its shutdown hook leaves the marker file "demo-stopped.txt" in
 * the working directory, so that a stop can be seen to have ended it
 * properly.
 */
public final class Hello {

    static final String MARKER = "demo-stopped.txt";

    private Hello() {
    }

    public static void main(String[] args) {
        boolean service = Boolean.getBoolean("vennic.isService");
        say("hello from Java " + System.getProperty("java.version") + (service ? " as a service" : " on the console")
                + ", arguments " + Arrays.toString(args));
        Runtime.getRuntime().addShutdownHook(new Thread(Hello::stopped, "demo-shutdown"));
        // Not a daemon: the launcher keeps the JVM until this thread ends.
        Thread worker = new Thread(() -> work(service ? Integer.MAX_VALUE : 3), "demo-worker");
        worker.start();
    }

    private static void work(int steps) {
        for (int step = 1; step <= steps; step++) {
            say("working, step " + step);
            try {
                Thread.sleep(1000);
            } catch (InterruptedException e) {
                return;
            }
        }
        say("done");
    }

    private static void stopped() {
        say("shutdown hook ran");
        try {
            Files.write(Paths.get(MARKER), ("stopped at " + now() + "\n").getBytes(StandardCharsets.UTF_8));
        } catch (IOException e) {
            System.err.println("demo: cannot write " + MARKER + ": " + e);
        }
    }

    private static void say(String text) {
        System.out.println("[" + now() + "] demo: " + text);
        System.out.flush();
    }

    private static LocalTime now() {
        return LocalTime.now().truncatedTo(ChronoUnit.SECONDS);
    }
}
