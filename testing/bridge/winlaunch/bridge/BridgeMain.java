package winlaunch.bridge;

import java.io.File;
import java.io.IOException;
import java.io.InputStream;
import java.io.RandomAccessFile;
import java.lang.reflect.InvocationTargetException;
import java.lang.reflect.Method;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.StandardCopyOption;
import java.util.Arrays;

/**
 * The Java half of the bridge runtime (testing/jvm_bridge.h): started by the
 * bridge jvm.dll's wrapper with its relay directory, it sets the properties
 * the launcher set through JNI, feeds the bridge's standard input to
 * System.in, calls the launcher class's main with the launcher's array and
 * reports "returned" or "threw <text>". The JVM then ends as an in-process
 * one would: when its last non-daemon thread ends, or through System.exit.
 * It halts at once when the bridge process is gone.
 */
public final class BridgeMain {

    private static final long HEARTBEAT_POLL_MILLIS = 200;
    // The bridge touches its heartbeat every half second.
    private static final long HEARTBEAT_STALE_MILLIS = 10_000;
    private static final long INPUT_POLL_MILLIS = 20;

    private BridgeMain() {
    }

    public static void main(String[] args) throws IOException {
        File dir = new File(args[0]);
        watchHeartbeat(new File(dir, "heartbeat"));
        String[] fields = new String(Files.readAllBytes(new File(dir, "main.txt").toPath()), StandardCharsets.UTF_8)
                .split("\0", -1);
        // Every field ends with a NUL, so the split leaves one empty field last.
        fields = Arrays.copyOf(fields, fields.length - 1);
        String launcherClass = fields[0].replace('/', '.');
        int properties = Integer.parseInt(fields[1]);
        for (int i = 0; i < properties; i++) {
            System.setProperty(fields[2 + 2 * i], fields[3 + 2 * i]);
        }
        String[] mainArguments = Arrays.copyOfRange(fields, 2 + 2 * properties, fields.length);
        System.setIn(new RelayedInput(new File(dir, "stdin"), new File(dir, "stdin.end")));

        String report;
        try {
            Class<?> launcher = Class.forName(launcherClass, true, ClassLoader.getSystemClassLoader());
            Method main = launcher.getMethod("main", String[].class);
            main.invoke(null, (Object) mainArguments);
            report = "returned";
        } catch (InvocationTargetException e) {
            Throwable cause = e.getCause() != null ? e.getCause() : e;
            report = "threw " + cause;
        } catch (ReflectiveOperationException | RuntimeException | LinkageError e) {
            report = "threw " + e;
        }
        File written = new File(dir, "report.new");
        Files.write(written.toPath(), (report + "\n").getBytes(StandardCharsets.UTF_8));
        Files.move(written.toPath(), new File(dir, "report").toPath(), StandardCopyOption.ATOMIC_MOVE);
    }

    /** Halts the JVM once the bridge process no longer keeps its heartbeat. */
    private static void watchHeartbeat(File heartbeat) {
        Thread watcher = new Thread(() -> {
            while (true) {
                long touched = heartbeat.lastModified();  // 0 when it is gone
                if (touched == 0 || System.currentTimeMillis() - touched > HEARTBEAT_STALE_MILLIS) {
                    Runtime.getRuntime().halt(1);
                }
                try {
                    Thread.sleep(HEARTBEAT_POLL_MILLIS);
                } catch (InterruptedException e) {
                    return;
                }
            }
        }, "bridge-heartbeat");
        watcher.setDaemon(true);
        watcher.start();
    }

    /**
     * The bridge's standard input: the bytes appended to a file, and its end
     * once the marker file exists and everything before it has been read.
     */
    static final class RelayedInput extends InputStream {
        private final RandomAccessFile data;
        private final File end;

        RelayedInput(File data, File end) throws IOException {
            this.data = new RandomAccessFile(data, "r");
            this.end = end;
        }

        @Override
        public int read() throws IOException {
            byte[] one = new byte[1];
            return read(one, 0, 1) < 0 ? -1 : one[0] & 0xff;
        }

        @Override
        public synchronized int read(byte[] buffer, int offset, int length) throws IOException {
            if (length == 0) {
                return 0;
            }
            while (true) {
                // The marker is looked at first: what was written before it is read before the end.
                boolean ended = end.exists();
                int got = data.read(buffer, offset, length);
                if (got > 0) {
                    return got;
                }
                if (ended) {
                    return -1;
                }
                try {
                    Thread.sleep(INPUT_POLL_MILLIS);
                } catch (InterruptedException e) {
                    Thread.currentThread().interrupt();
                    throw new IOException("interrupted while waiting for input", e);
                }
            }
        }
    }
}
