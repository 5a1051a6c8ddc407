package com.vennic.runtime;

import java.io.File;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.OutputStream;
import java.io.PrintStream;
import java.nio.file.Files;
import java.nio.file.Path;
import java.time.Clock;

/**
 * Lines per second into a rolling output file against a plain appending
 * FileOutputStream, both behind the auto-flushing PrintStream the runtime
 * gives the application: DIR ROUNDS WARMUP LINES. Prints one line per
 * measured round: "round N plain LPS rolling LPS". The two sides alternate
 * their order from round to round, in one JVM that the warm-up rounds have
 * compiled.
 */
public final class RollingBench {

    private static final String LINE = "2024-06-01 12:00:00.000 INFO  [worker-3] com.example.Service - handled request 4711";

    private RollingBench() {
    }

    public static void main(String[] args) throws IOException {
        Path dir = new File(args[0]).toPath();
        int rounds = Integer.parseInt(args[1]);
        int warmup = Integer.parseInt(args[2]);
        int lines = Integer.parseInt(args[3]);
        // Rolls every 10 MB, the size people choose, keeps three, and checks
        // the day on every line.
        OutputRolling rolling = new OutputRolling(10 << 20, true, 3, 0, 0, false);
        for (int round = 0; round < warmup + rounds; round++) {
            double[] rates = new double[2];
            for (int k = 0; k < 2; k++) {
                int side = round % 2 == 0 ? k : 1 - k;
                clear(dir);
                OutputStream out = side == 0 ? new FileOutputStream(dir.resolve("plain.log").toFile(), true)
                        : RollingFile.open(dir.resolve("rolling.log").toFile(), rolling, Clock.systemDefaultZone(),
                                System.err, RollingFile.FILES);
                PrintStream stream = new PrintStream(out, true);
                long started = System.nanoTime();
                for (int i = 0; i < lines; i++) {
                    stream.println(LINE);
                }
                rates[side] = lines / ((System.nanoTime() - started) / 1e9);
                stream.close();
            }
            if (round >= warmup) {
                System.out.printf("round %d plain %.0f rolling %.0f%n", round - warmup, rates[0], rates[1]);
            }
        }
        clear(dir);
    }

    private static void clear(Path dir) throws IOException {
        try (java.nio.file.DirectoryStream<Path> entries = Files.newDirectoryStream(dir)) {
            for (Path entry : entries) {
                Files.delete(entry);
            }
        }
    }
}
