package com.vennic.runtime;

import static com.vennic.runtime.RuntimeTests.check;
import static com.vennic.runtime.RuntimeTests.equal;
import static com.vennic.runtime.RuntimeTests.read;
import static com.vennic.runtime.RuntimeTests.write;

import java.io.BufferedReader;
import java.io.ByteArrayOutputStream;
import java.io.File;
import java.io.IOException;
import java.io.InputStreamReader;
import java.io.PrintStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.FileSystemException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.attribute.FileTime;
import java.time.Clock;
import java.time.Instant;
import java.time.OffsetDateTime;
import java.time.ZoneId;
import java.time.ZoneOffset;
import java.util.ArrayList;
import java.util.List;
import java.util.Properties;
import java.util.TreeSet;
import java.util.concurrent.TimeUnit;

/** Output files that roll by size and by day, are pruned, and survive failures and a second writer. */
final class RollingFileTest {

    private static final long DAY = 86_400_000L;

    private RollingFileTest() {
    }

    /** A clock the test moves by hand. */
    static final class TestClock extends Clock {
        long millis;
        private final ZoneId zone;

        TestClock(long millis, ZoneId zone) {
            this.millis = millis;
            this.zone = zone;
        }

        @Override
        public ZoneId getZone() {
            return zone;
        }

        @Override
        public Clock withZone(ZoneId other) {
            return new TestClock(millis, other);
        }

        @Override
        public Instant instant() {
            return Instant.ofEpochMilli(millis);
        }

        @Override
        public long millis() {
            return millis;
        }
    }

    /** Renames that fail, as on Windows while a viewer holds a file open, when the source has the name. */
    static final class FailingMoves implements RollingFile.Moves {
        String failing;

        @Override
        public void move(Path from, Path to) throws IOException {
            if (from.getFileName().toString().equals(failing)) {
                throw new FileSystemException(from.toString(), to.toString(), "locked by a viewer");
            }
            RollingFile.FILES.move(from, to);
        }
    }

    static OutputRolling settings(long maxSize, boolean daily, int keep, int maxAgeDays, long maxTotal,
            boolean onStart) {
        return new OutputRolling(maxSize, daily, keep, maxAgeDays, maxTotal, onStart);
    }

    static final class Opened {
        final ByteArrayOutputStream warnings = new ByteArrayOutputStream();
        final RollingFile file;
        final PrintStream out;

        Opened(Path dir, OutputRolling settings, Clock clock, RollingFile.Moves moves) throws IOException {
            file = RollingFile.open(dir.resolve("out.log").toFile(), settings, clock,
                    new PrintStream(warnings, true), moves);
            out = new PrintStream(file, true);
        }

        String warnings() {
            return new String(warnings.toByteArray(), StandardCharsets.UTF_8);
        }
    }

    static Opened open(Path dir, OutputRolling settings, Clock clock) throws IOException {
        return new Opened(dir, settings, clock, RollingFile.FILES);
    }

    /** The files of one name, oldest first, joined: what its writer wrote, when nothing was pruned. */
    static String family(Path dir, String stem) throws IOException {
        StringBuilder text = new StringBuilder();
        for (int number = rolledCount(dir, stem); number >= 1; number--) {
            text.append(read(dir.resolve(stem + "." + number + ".log")));
        }
        Path current = dir.resolve(stem + ".log");
        return text.append(Files.exists(current) ? read(current) : "").toString();
    }

    static int rolledCount(Path dir, String stem) {
        int count = 0;
        while (Files.exists(dir.resolve(stem + "." + (count + 1) + ".log"))) {
            count++;
        }
        return count;
    }

    static TreeSet<String> names(Path dir) throws IOException {
        TreeSet<String> names = new TreeSet<>();
        try (java.util.stream.Stream<Path> entries = Files.list(dir)) {
            entries.forEach(p -> names.add(p.getFileName().toString()));
        }
        return names;
    }

    static String padded(int i) {
        StringBuilder text = new StringBuilder(String.format("line %04d ", i));
        for (int k = 0; k < i % 17; k++) {
            text.append('x');
        }
        return text.toString();
    }

    static void testSizeRollsKeepLinesWholeAndLoseNothing(Path dir) throws IOException {
        TestClock clock = new TestClock(0, ZoneOffset.UTC);
        Opened o = open(dir, settings(100, false, 0, 0, 0, false), clock);
        StringBuilder all = new StringBuilder();
        for (int i = 0; i < 60; i++) {
            String line = padded(i);
            switch (i % 3) {
                case 0:
                    o.out.println(line);
                    all.append(line).append('\n');
                    break;
                case 1:
                    // A line written in pieces stays in one file.
                    o.out.print(line.substring(0, 4));
                    o.out.print(line.substring(4) + "\n");
                    all.append(line).append('\n');
                    break;
                default:
                    // Several lines in one write are taken apart where the limit falls.
                    String chunk = line + "\n" + padded(i + 1000) + "\n" + padded(i + 2000) + "\n";
                    byte[] bytes = chunk.getBytes(StandardCharsets.UTF_8);
                    o.out.write(bytes, 0, bytes.length);
                    all.append(chunk);
                    break;
            }
        }
        equal(all.toString(), family(dir, "out"), "every byte, in order, across the files");
        int rolled = rolledCount(dir, "out");
        check(rolled >= 10, "rolled " + rolled + " times");
        for (int number = 1; number <= rolled; number++) {
            String text = read(dir.resolve("out." + number + ".log"));
            check(text.endsWith("\n"), "out." + number + ".log ends with a whole line");
            String beforeLastLine = text.substring(0, text.lastIndexOf('\n', text.length() - 2) + 1);
            check(text.length() >= 100 && beforeLastLine.length() < 100,
                    "out." + number + ".log reached 100 bytes on its last line: " + text.length());
        }
        equal("", o.warnings(), "no warnings");
    }

    static void testDailyRollsAtTheFirstLineAfterLocalMidnight(Path dir) throws IOException {
        ZoneOffset zone = ZoneOffset.ofHours(5);
        TestClock clock = new TestClock(at("2024-03-10T23:59:50+05:00"), zone);
        Opened o = open(dir, settings(0, true, 0, 0, 0, false), clock);
        o.out.print("a\nb");
        clock.millis = at("2024-03-11T00:00:05+05:00");
        o.file.checkDay();  // what the day timer does
        o.out.print("c\n");
        o.out.print("d\n");
        equal("a\nbc\n", read(dir.resolve("out.1.log")), "the line begun before midnight ends there");
        equal("d\n", read(dir.resolve("out.log")), "the first line of the new day");
        // A day without output rolls nothing; the next line rolls the day before.
        clock.millis = at("2024-03-13T09:00:00+05:00");
        o.file.checkDay();
        o.out.print("e\n");
        equal("a\nbc\n|d\n|e\n", read(dir.resolve("out.2.log")) + "|" + read(dir.resolve("out.1.log")) + "|"
                + read(dir.resolve("out.log")), "one file per day with output");
        // Just before the next local midnight, still the same day (UTC has changed day already).
        clock.millis = at("2024-03-13T23:59:59+05:00");
        o.file.checkDay();
        o.out.print("f\n");
        equal("e\nf\n", read(dir.resolve("out.log")), "local days, not UTC days");
        equal(2, rolledCount(dir, "out"), "rolled files");
    }

    static void testDayTimerWakesAtMidnight(Path dir) throws Exception {
        TestClock clock = new TestClock(at("2024-03-10T23:59:59.800Z"), ZoneOffset.UTC);
        Opened o = open(dir, settings(0, true, 0, 0, 0, false), clock);
        o.out.print("before\n");
        // The timer sleeps the 200 ms it reads from the clock, then looks again.
        clock.millis = at("2024-03-11T00:00:01Z");
        for (int i = 0; i < 100 && !o.file.dayOver(); i++) {
            Thread.sleep(50);
        }
        check(o.file.dayOver(), "the timer saw the day end");
        o.out.print("after\n");
        equal("before\n|after\n", read(dir.resolve("out.1.log")) + "|" + read(dir.resolve("out.log")), "rolled");
        check(!o.file.dayOver(), "a new day begins");
        o.file.close();
    }

    static void testRollAtStartWhenAskedOrWhenTheFileIsOfAnEarlierDay(Path dir) throws IOException {
        TestClock clock = new TestClock(at("2024-06-01T12:00:00Z"), ZoneOffset.UTC);
        Path current = dir.resolve("out.log");
        write(current, "yesterday\n");
        Files.setLastModifiedTime(current, FileTime.fromMillis(clock.millis - DAY));
        open(dir, settings(0, true, 0, 0, 0, false), clock).file.close();
        equal("yesterday\n|", read(dir.resolve("out.1.log")) + "|" + read(current), "rolled at start");

        write(current, "today\n");
        Files.setLastModifiedTime(current, FileTime.fromMillis(clock.millis - 3_600_000));
        open(dir, settings(0, true, 0, 0, 0, false), clock).file.close();
        equal("today\n", read(current), "the same day: no roll");

        open(dir, settings(0, false, 0, 0, 0, true), clock).file.close();
        equal("yesterday\n|today\n|", read(dir.resolve("out.2.log")) + "|" + read(dir.resolve("out.1.log")) + "|"
                + read(current), "rolled at start when asked");
        open(dir, settings(0, false, 0, 0, 0, true), clock).file.close();
        equal(2, rolledCount(dir, "out"), "an empty file is not rolled");
    }

    static void testRetentionByCount(Path dir) throws IOException {
        Opened o = open(dir, settings(10, false, 2, 0, 0, false), new TestClock(0, ZoneOffset.UTC));
        for (int i = 0; i < 6; i++) {
            o.out.println("line " + i + " ....");
        }
        equal("[out.1.log, out.2.log, out.log, out.log.lock]", names(dir).toString(), "two rolled files kept");
        equal("line 3 ....\nline 4 ....\nline 5 ....\n", family(dir, "out"), "the newest ones");
    }

    static void testRetentionByAgeOldestFirstAndGapsClosed(Path dir) throws IOException {
        TestClock clock = new TestClock(at("2024-06-01T12:00:00Z"), ZoneOffset.UTC);
        int[][] rolled = {{1, 1}, {2, 3}, {3, 5}, {4, 10}, {7, 2}};  // number, age in days
        for (int[] file : rolled) {
            Path path = dir.resolve("out." + file[0] + ".log");
            write(path, "r" + file[0] + "\n");
            Files.setLastModifiedTime(path, FileTime.fromMillis(clock.millis - file[1] * DAY));
        }
        Opened o = open(dir, settings(0, false, 0, 4, 0, false), clock);
        equal("r7\nr2\nr1\n", family(dir, "out"), "older than four days removed, the rest renumbered in order");
        o.out.println("now");
        o.file.close();
    }

    static void testRetentionByTotalSizeKeepsTheCurrentFile(Path dir) throws IOException {
        write(dir.resolve("out.log"), repeat('c', 49) + "\n");
        for (int number = 1; number <= 4; number++) {
            write(dir.resolve("out." + number + ".log"), repeat((char) ('0' + number), 99) + "\n");
        }
        open(dir, settings(0, false, 0, 0, 260, false), new TestClock(0, ZoneOffset.UTC)).file.close();
        equal("[out.1.log, out.2.log, out.log, out.log.lock]", names(dir).toString(), "50 + 100 + 100 bytes left");
        // Even a current file beyond the total stays.
        write(dir.resolve("out.log"), repeat('c', 299) + "\n");
        open(dir, settings(0, false, 0, 0, 260, false), new TestClock(0, ZoneOffset.UTC)).file.close();
        equal("[out.log, out.log.lock]", names(dir).toString(), "every rolled file removed, the current one kept");
    }

    static void testFailingRollWritesOnAndSaysSoOnce(Path dir) throws IOException {
        TestClock clock = new TestClock(0, ZoneOffset.UTC);
        FailingMoves moves = new FailingMoves();
        Opened o = new Opened(dir, settings(20, false, 0, 0, 0, false), clock, moves);
        String[] lines = new String[8];
        for (int i = 0; i < lines.length; i++) {
            lines[i] = "line " + i + " 12345678";  // 16 bytes with its line feed
        }
        o.out.println(lines[0]);
        o.out.println(lines[1]);
        o.out.println(lines[2]);  // rolls: out.1.log holds 0 and 1
        moves.failing = "out.1.log";  // a viewer holds the rolled file open
        for (int i = 3; i < 7; i++) {
            o.out.println(lines[i]);
        }
        equal(lines[0] + "\n" + lines[1] + "\n", read(dir.resolve("out.1.log")), "the rolled file untouched");
        equal(lines[2] + "\n" + lines[3] + "\n" + lines[4] + "\n" + lines[5] + "\n" + lines[6] + "\n",
                read(dir.resolve("out.log")), "the output goes on into the current file");
        String warnings = o.warnings();
        check(warnings.startsWith("vennic: cannot roll ") && warnings.contains("locked by a viewer")
                && warnings.indexOf('\n') == warnings.length() - 1, "said once: " + warnings);

        moves.failing = null;
        clock.millis += RollingFile.RETRY_MILLIS;
        o.out.println(lines[7]);
        equal("[out.1.log, out.2.log, out.log, out.log.lock]", names(dir).toString(), "rolled a minute later");
        equal(lines[7] + "\n", read(dir.resolve("out.log")), "the current file after the roll");
        equal(warnings, o.warnings(), "nothing more said");
    }

    static void testSecondWriterOfAFileTakesTheNextName(Path dir) throws IOException {
        TestClock clock = new TestClock(0, ZoneOffset.UTC);
        List<Opened> runs = new ArrayList<>();
        for (int run = 1; run <= RollingFile.RUNS + 1; run++) {
            runs.add(open(dir, settings(1000, false, 0, 0, 0, false), clock));
        }
        equal(dir.resolve("out.log"), runs.get(0).file.current(), "the first run");
        equal(dir.resolve("out.run2.log"), runs.get(1).file.current(), "the second run");
        check(runs.get(1).warnings().contains("is written by another run; this run writes to "
                + dir.resolve("out.run2.log")), runs.get(1).warnings());
        equal(dir.resolve("out.run9.log"), runs.get(8).file.current(), "the ninth run");
        Opened last = runs.get(RollingFile.RUNS);
        equal(dir.resolve("out.log"), last.file.current(), "every name held: the configured file");
        check(last.warnings().contains("is appended to without rolling"), last.warnings());
        for (int i = 0; i < 100; i++) {
            last.out.println("appended " + i + " without rolling .........");
        }
        equal(0, rolledCount(dir, "out"), "only the owner rolls");
        for (Opened run : runs) {
            run.file.close();
        }
    }

    static void testSettingsFromTheLauncherProperties(Path dir) {
        Object[][] sizes = {{"0", 0L}, {"512", 512L}, {"10k", 10240L}, {"10K", 10240L}, {"3m", 3145728L},
            {"2g", 2147483648L}, {"1t", 1099511627776L}, {"", -1L}, {"k", -1L}, {"10kb", -1L}, {"-1", -1L},
            {" 1", -1L}, {"1.5m", -1L}, {"10x", -1L}, {"9223372036854775807", Long.MAX_VALUE},
            {"9223372036854775808", -1L}, {"8388608t", -1L}};
        for (Object[] c : sizes) {
            equal(c[1], OutputRolling.parseSize((String) c[0]), "size \"" + c[0] + "\"");
        }
        ByteArrayOutputStream warnings = new ByteArrayOutputStream();
        Properties properties = new Properties();
        check(!OutputRolling.fromProperties(properties, new PrintStream(warnings, true)).isActive(), "none set");
        properties.setProperty(OutputRolling.MAX_SIZE, "10mb");
        properties.setProperty(OutputRolling.ROLL_DAILY, "true");
        properties.setProperty(OutputRolling.KEEP_FILES, "-3");
        properties.setProperty(OutputRolling.MAX_AGE_DAYS, "30");
        properties.setProperty(OutputRolling.MAX_TOTAL_SIZE, "1g");
        properties.setProperty(OutputRolling.ROLL_ON_START, "yes");
        OutputRolling read = OutputRolling.fromProperties(properties, new PrintStream(warnings, true));
        equal("0 true 0 30 1073741824 false", read.maxSize + " " + read.daily + " " + read.keepFiles + " "
                + read.maxAgeDays + " " + read.maxTotalSize + " " + read.rollOnStart, "what is read");
        equal("vennic: outputMaxSize \"10mb\" is not a size (digits, then at most one of k, m, g, t); it is ignored\n"
                + "vennic: outputKeepFiles \"-3\" is not a count; it is ignored\n"
                + "vennic: outputRollOnStart \"yes\" is neither true nor false; it is ignored\n",
                new String(warnings.toByteArray(), StandardCharsets.UTF_8), "one warning each");
    }

    // --- two processes at once ---

    static final int WRITER_LINES = 3000;

    /** A run in a process of its own: WRITER DIR ID GO-FILE. */
    static final class Writer {
        private Writer() {
        }

        public static void main(String[] args) throws Exception {
            Path dir = new File(args[0]).toPath();
            RollingFile file = RollingFile.open(dir.resolve("out.log").toFile(),
                    settings(4096, false, 0, 0, 0, false), Clock.systemUTC(), System.err, RollingFile.FILES);
            PrintStream out = new PrintStream(file, true);
            System.out.println("ready");
            System.out.flush();
            Path go = new File(args[2]).toPath();
            for (int i = 0; i < 3000 && !Files.exists(go); i++) {
                Thread.sleep(10);
            }
            for (int i = 0; i < WRITER_LINES; i++) {
                out.println("writer " + args[1] + " line " + i + " of " + WRITER_LINES + " ........");
            }
        }
    }

    static void testTwoProcessesWriteAtOnceWithoutCorruption(Path dir) throws Exception {
        String java = System.getProperty("java.home") + File.separator + "bin" + File.separator + "java";
        Path go = dir.resolve("go");
        List<Process> writers = new ArrayList<>();
        List<BufferedReader> outputs = new ArrayList<>();
        for (String id : new String[] {"A", "B"}) {
            Process p = new ProcessBuilder(java, "-cp", System.getProperty("java.class.path"),
                    Writer.class.getName(), dir.toString(), id, go.toString()).redirectErrorStream(true).start();
            writers.add(p);
            outputs.add(new BufferedReader(new InputStreamReader(p.getInputStream(), StandardCharsets.UTF_8)));
        }
        StringBuilder said = new StringBuilder();
        for (BufferedReader output : outputs) {
            String line;
            while ((line = output.readLine()) != null && !line.equals("ready")) {
                said.append(line).append('\n');
            }
        }
        write(go, "");  // both hold their files now
        for (int i = 0; i < writers.size(); i++) {
            check(writers.get(i).waitFor(60, TimeUnit.SECONDS), "writer ended");
            String line;
            while ((line = outputs.get(i).readLine()) != null) {
                said.append(line).append('\n');
            }
            equal(0, writers.get(i).exitValue(), "writer exit code; it said:\n" + said);
        }
        check(said.toString().contains("is written by another run"), "the second run says where it writes: " + said);
        TreeSet<String> ids = new TreeSet<>();
        for (String stem : new String[] {"out", "out.run2"}) {
            String[] lines = family(dir, stem).split("\n", -1);
            equal(WRITER_LINES + 1, lines.length, stem + ": one writer's lines, whole");
            String id = lines[0].substring("writer ".length(), "writer ".length() + 1);
            ids.add(id);
            for (int i = 0; i < WRITER_LINES; i++) {
                equal("writer " + id + " line " + i + " of " + WRITER_LINES + " ........", lines[i], stem + " line");
            }
            check(rolledCount(dir, stem) >= 10, stem + " rolled");
        }
        equal("[A, B]", ids.toString(), "each writer in its own files");
    }

    static long at(String time) {
        return OffsetDateTime.parse(time).toInstant().toEpochMilli();
    }

    static String repeat(char c, int count) {
        StringBuilder text = new StringBuilder();
        for (int i = 0; i < count; i++) {
            text.append(c);
        }
        return text.toString();
    }
}
