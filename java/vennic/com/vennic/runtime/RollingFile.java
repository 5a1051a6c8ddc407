package com.vennic.runtime;

import java.io.File;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.OutputStream;
import java.io.PrintStream;
import java.nio.channels.FileChannel;
import java.nio.channels.FileLock;
import java.nio.channels.OverlappingFileLockException;
import java.nio.file.DirectoryStream;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.StandardOpenOption;
import java.time.Clock;
import java.time.Instant;
import java.time.LocalDate;
import java.time.ZoneId;
import java.util.ArrayList;
import java.util.Collections;
import java.util.HashSet;
import java.util.List;
import java.util.Set;

/**
 * A redirected output file that rolls and is pruned. "name.log" is the
 * current file; a roll renames it to "name.1.log" after the rolled files
 * before it have moved one number up ("name.2.log", ...), so that the number
 * grows with the age, whether the roll came from the size or the day.
 * <p>
 * A roll happens only where a line begins, so that no line is split across
 * two files: the file that reaches the size limit keeps the line that reached
 * it. Every byte is written straight through to the file, as a plain
 * FileOutputStream does, so nothing waits in a buffer when the process ends.
 * <p>
 * Two runs may write at once, such as a console run beside the service. The
 * run that holds the lock file "name.log.lock" owns "name.log" and its rolled
 * files; a run that finds it held takes the next free one of "name.run2.log"
 * to "name.run9.log", which roll and are pruned the same way under their own
 * names. When every one is held, or no lock file can be made, the run appends
 * to "name.log" without rolling. A lock file stays in place: removing it
 * could let two runs own one name.
 * <p>
 * A roll that fails (the disk is full, a viewer holds a file open) leaves the
 * output going on into the current file, says so once on the warnings
 * stream, and is tried again a minute later. Nothing here ever waits.
 * <p>
 * The end of a day is noticed by a timer, a daemon thread that sleeps until
 * the next local midnight of the clock (a minute at a time, so that a changed
 * clock is followed), rather than by a clock read for every line.
 */
final class RollingFile extends OutputStream {

    /** How files are renamed; the tests make it fail. */
    interface Moves {
        void move(Path from, Path to) throws IOException;
    }

    static final Moves FILES = new Moves() {
        @Override
        public void move(Path from, Path to) throws IOException {
            Files.move(from, to);
        }
    };

    /** After a failed roll the next attempt waits this long. */
    static final long RETRY_MILLIS = 60_000;
    /** Runs that can write at once, each to its own file. */
    static final int RUNS = 9;
    static final String LOCK_SUFFIX = ".lock";
    private static final long DAY_MILLIS = 86_400_000L;

    // The lock files this process holds. A second channel on one of them is
    // never opened: closing it could release the lock of the first, as
    // POSIX record locks belong to the process, not to the channel.
    private static final Set<Path> HELD = new HashSet<>();

    private final Path directory;
    private final String stem;
    private final String extension;
    private final Path current;
    private final OutputRolling settings;
    private final Clock clock;
    private final PrintStream warnings;
    private final Moves moves;
    // Holding the lock makes this run the owner, which rolls and prunes. The
    // channel is kept until the process ends: closing it releases the lock.
    private final FileChannel lockChannel;
    private final Path lockFile;
    private final boolean owner;

    private FileOutputStream out;
    private long size;
    private boolean atLineStart = true;
    // Written by the writer under the lock, read by the day timer.
    private volatile long nextDay = Long.MAX_VALUE;
    private volatile boolean dayOver;
    private long retryAt = Long.MIN_VALUE;
    private boolean reported;
    private volatile boolean closed;

    private RollingFile(Path directory, String stem, String extension, OutputRolling settings, Clock clock,
            PrintStream warnings, Moves moves, FileChannel lockChannel, Path lockFile) throws IOException {
        this.directory = directory;
        this.stem = stem;
        this.extension = extension;
        this.current = directory.resolve(stem + extension);
        this.settings = settings;
        this.clock = clock;
        this.warnings = warnings;
        this.moves = moves;
        this.lockChannel = lockChannel;
        this.lockFile = lockFile;
        this.owner = lockChannel != null;
        try {
            out = new FileOutputStream(current.toFile(), true);
        } catch (IOException e) {
            release();
            throw e;
        }
        size = current.toFile().length();
        if (owner) {
            start(clock.millis());
        }
    }

    /**
     * Opens the configured file for appending, or the first free one of its
     * alternatives when other runs write to it.
     */
    static RollingFile open(File file, OutputRolling settings, Clock clock, PrintStream warnings, Moves moves)
            throws IOException {
        File absolute = file.getAbsoluteFile();
        Path directory = absolute.getParentFile().toPath();
        String name = absolute.getName();
        int dot = name.lastIndexOf('.');
        String stem = dot > 0 ? name.substring(0, dot) : name;
        String extension = dot > 0 ? name.substring(dot) : "";
        String problem = "every one of its " + RUNS + " names is written by another run";
        for (int run = 1; run <= RUNS; run++) {
            String runStem = run == 1 ? stem : stem + ".run" + run;
            Path lockFile = directory.resolve(runStem + extension + LOCK_SUFFIX).normalize();
            FileChannel channel = null;
            synchronized (HELD) {
                if (HELD.contains(lockFile)) {
                    continue;
                }
                FileLock lock = null;
                try {
                    channel = FileChannel.open(lockFile, StandardOpenOption.CREATE, StandardOpenOption.WRITE);
                    lock = channel.tryLock();
                } catch (IOException | OverlappingFileLockException e) {
                    closeQuietly(channel);
                    if (e instanceof OverlappingFileLockException) {
                        continue;
                    }
                    problem = "no lock file (" + e + ")";
                    break;
                }
                if (lock == null) {
                    closeQuietly(channel);
                    continue;
                }
                HELD.add(lockFile);
            }
            RollingFile opened = new RollingFile(directory, runStem, extension, settings, clock, warnings, moves,
                    channel, lockFile);
            if (run > 1) {
                warnings.println("vennic: " + absolute + " is written by another run; this run writes to "
                        + opened.current);
            }
            return opened;
        }
        RollingFile shared = new RollingFile(directory, stem, extension, settings, clock, warnings, moves, null,
                null);
        warnings.println("vennic: " + absolute + " is appended to without rolling: " + problem);
        return shared;
    }

    /** The file the output goes to now. */
    Path current() {
        return current;
    }

    @Override
    public synchronized void write(int b) throws IOException {
        ensureOpen();
        if (atLineStart && rollDue()) {
            roll(clock.millis());
        }
        if (out == null && !reopened()) {
            return;
        }
        out.write(b);
        size++;
        atLineStart = b == '\n';
    }

    @Override
    public synchronized void write(byte[] b, int off, int len) throws IOException {
        if (off < 0 || len < 0 || len > b.length - off) {
            throw new IndexOutOfBoundsException();
        }
        ensureOpen();
        while (len > 0) {
            if (atLineStart && rollDue()) {
                roll(clock.millis());
            }
            if (out == null && !reopened()) {
                return;
            }
            int n = len;
            // Several lines at once, and the limit falls among them: the
            // line that reaches it ends this file. After a failed roll the
            // lines are not taken apart until the next attempt.
            if (owner && settings.maxSize > 0 && size + len > settings.maxSize && retryAt == Long.MIN_VALUE) {
                n = throughLineAtLimit(b, off, len);
            }
            out.write(b, off, n);
            size += n;
            atLineStart = b[off + n - 1] == '\n';
            off += n;
            len -= n;
        }
    }

    /**
     * Nothing waits in a buffer here or in the file stream below, so there is
     * nothing to flush. Not synchronized: an auto-flushing PrintStream calls
     * it twice for every line.
     */
    @Override
    public void flush() {
    }

    @Override
    public synchronized void close() throws IOException {
        closed = true;
        closeQuietly(out);
        release();
    }

    private void ensureOpen() throws IOException {
        if (closed) {
            throw new IOException("closed: " + current);
        }
    }

    private void release() {
        if (lockChannel != null) {
            closeQuietly(lockChannel);
            synchronized (HELD) {
                HELD.remove(lockFile);
            }
        }
    }

    /** The bytes through the end of the line during which the file reaches its limit; all when none ends. */
    private int throughLineAtLimit(byte[] b, int off, int len) {
        long room = settings.maxSize - size;
        int from = off + (int) Math.max(0, room - 1);
        for (int i = from; i < off + len; i++) {
            if (b[i] == '\n') {
                return i - off + 1;
            }
        }
        return len;
    }

    private boolean rollDue() {
        if (!owner || !(dayOver || (settings.maxSize > 0 && size >= settings.maxSize))) {
            return false;
        }
        return retryAt == Long.MIN_VALUE || clock.millis() >= retryAt;
    }

    /** Whether the day timer has seen the day end since the last roll. */
    boolean dayOver() {
        return dayOver;
    }

    /** The day timer's check: marks the day over once the clock has passed its end. */
    synchronized void checkDay() {
        if (!closed && clock.millis() >= nextDay) {
            dayOver = true;
        }
    }

    private void startDayTimer() {
        Thread timer = new Thread(new Runnable() {
            @Override
            public void run() {
                while (!closed) {
                    long wait = dayOver ? 60_000 : Math.max(1, Math.min(nextDay - clock.millis(), 60_000));
                    try {
                        Thread.sleep(wait);
                    } catch (InterruptedException e) {
                        return;
                    }
                    checkDay();
                }
            }
        }, "vennic-output-day");
        timer.setDaemon(true);
        timer.start();
    }

    /** At the start of the run: a roll when asked or when the file is of an earlier day, then pruning. */
    private void start(long now) {
        boolean earlierDay = false;
        if (settings.daily && size > 0) {
            earlierDay = dayOf(current.toFile().lastModified()).isBefore(dayOf(now));
        }
        if (size > 0 && (settings.rollOnStart || earlierDay)) {
            roll(now);
        } else {
            prune(now);
        }
        if (settings.daily) {
            nextDay = startOfNextDay(now);
            startDayTimer();
        }
    }

    private void roll(long now) {
        if (size == 0) {
            // Nothing to keep: an empty file stays the current one.
            nextDay = settings.daily ? startOfNextDay(now) : Long.MAX_VALUE;
            dayOver = false;
            return;
        }
        // Closed first: Windows renames no file that is open for writing.
        closeQuietly(out);
        Exception failure = null;
        boolean moved = false;
        try {
            int count = compact();
            if (settings.keepFiles > 0) {
                for (; count >= settings.keepFiles; count--) {
                    Files.delete(rolled(count));
                }
            }
            for (int number = count; number >= 1; number--) {
                moves.move(rolled(number), rolled(number + 1));
            }
            moves.move(current, rolled(1));
            moved = true;
        } catch (IOException | RuntimeException e) {
            failure = e;
        }
        try {
            out = new FileOutputStream(current.toFile(), true);
        } catch (IOException e) {
            // No new file: the rolled one becomes the current one again.
            failure = e;
            if (moved) {
                try {
                    moves.move(rolled(1), current);
                } catch (IOException | RuntimeException back) {
                    // the output that follows has nowhere to go until a reopen succeeds
                }
                moved = false;
            }
            out = reopen(current);
        }
        if (!moved) {
            retryAt = now + RETRY_MILLIS;
            size = current.toFile().length();
            report("cannot roll " + current + " (" + failure + "); the output goes on into it", null);
            return;
        }
        retryAt = Long.MIN_VALUE;
        size = current.toFile().length();
        atLineStart = true;
        nextDay = settings.daily ? startOfNextDay(now) : Long.MAX_VALUE;
        dayOver = false;
        prune(now);
    }

    /**
     * Removes rolled files beyond the count, older than the age and, oldest
     * first, while all files together hold more than the total size. The
     * current file is never removed.
     */
    private void prune(long now) {
        if (settings.keepFiles == 0 && settings.maxAgeDays == 0 && settings.maxTotalSize == 0) {
            return;
        }
        try {
            int count = compact();
            for (; settings.keepFiles > 0 && count > settings.keepFiles; count--) {
                Files.delete(rolled(count));
            }
            long[] sizes = new long[count + 1];
            long total = size;
            long cutoff = now - settings.maxAgeDays * DAY_MILLIS;
            for (int number = count; number >= 1; number--) {
                Path file = rolled(number);
                if (settings.maxAgeDays > 0 && Files.getLastModifiedTime(file).toMillis() < cutoff) {
                    Files.delete(file);
                } else {
                    sizes[number] = Files.size(file);
                    total += sizes[number];
                }
            }
            for (int number = count; settings.maxTotalSize > 0 && number >= 1 && total > settings.maxTotalSize;
                    number--) {
                if (Files.deleteIfExists(rolled(number))) {
                    total -= sizes[number];
                }
            }
            compact();
        } catch (IOException | RuntimeException e) {
            report("cannot remove old output files of " + current, e);
        }
    }

    /** Renumbers the rolled files 1, 2, ... in their order, closing gaps; gives their count. */
    private int compact() throws IOException {
        List<Integer> numbers = rolledNumbers();
        for (int i = 0; i < numbers.size(); i++) {
            if (numbers.get(i) != i + 1) {
                moves.move(rolled(numbers.get(i)), rolled(i + 1));
            }
        }
        return numbers.size();
    }

    private List<Integer> rolledNumbers() throws IOException {
        List<Integer> numbers = new ArrayList<>();
        String prefix = stem + ".";
        try (DirectoryStream<Path> entries = Files.newDirectoryStream(directory)) {
            for (Path entry : entries) {
                String name = entry.getFileName().toString();
                if (name.length() > prefix.length() + extension.length() && name.startsWith(prefix)
                        && name.endsWith(extension)) {
                    int number = rolledNumber(name.substring(prefix.length(), name.length() - extension.length()));
                    if (number > 0) {
                        numbers.add(number);
                    }
                }
            }
        }
        Collections.sort(numbers);
        return numbers;
    }

    /** The number of a rolled file's name: digits without a leading zero; -1 for anything else. */
    static int rolledNumber(String text) {
        if (text.isEmpty() || text.length() > 9 || text.charAt(0) == '0') {
            return -1;
        }
        for (int i = 0; i < text.length(); i++) {
            if (text.charAt(i) < '0' || text.charAt(i) > '9') {
                return -1;
            }
        }
        return Integer.parseInt(text);
    }

    private Path rolled(int number) {
        return directory.resolve(stem + "." + number + extension);
    }

    private LocalDate dayOf(long millis) {
        return Instant.ofEpochMilli(millis).atZone(clock.getZone()).toLocalDate();
    }

    private long startOfNextDay(long millis) {
        ZoneId zone = clock.getZone();
        return dayOf(millis).plusDays(1).atStartOfDay(zone).toInstant().toEpochMilli();
    }

    private FileOutputStream reopen(Path file) {
        try {
            return new FileOutputStream(file.toFile(), true);
        } catch (IOException e) {
            return null;
        }
    }

    /**
     * After a roll that could open no file at all: whether the current file
     * can be opened again, tried at most once a minute. Until then the
     * output has nowhere to go, which the failed roll has reported.
     */
    private boolean reopened() {
        long now = clock.millis();
        if (now < retryAt) {
            return false;
        }
        out = reopen(current);
        if (out == null) {
            retryAt = now + RETRY_MILLIS;
            return false;
        }
        size = current.toFile().length();
        return true;
    }

    private void report(String text, Exception e) {
        if (!reported) {
            reported = true;
            warnings.println("vennic: " + text + (e == null ? "" : " (" + e + ")"));
        }
    }

    private static void closeQuietly(java.io.Closeable closeable) {
        if (closeable == null) {
            return;
        }
        try {
            closeable.close();
        } catch (IOException e) {
            // closed all the same
        }
    }
}
