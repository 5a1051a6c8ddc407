package com.vennic.runtime;

import java.io.File;
import java.io.IOException;
import java.nio.channels.FileChannel;
import java.nio.channels.FileLock;
import java.nio.channels.OverlappingFileLockException;
import java.nio.file.Files;
import java.nio.file.LinkOption;
import java.nio.file.StandardOpenOption;

/**
 * The launcher extracts an application's files into a fresh directory for each
 * run and leaves it behind when the application ends normally; it names it in
 * "vennic.tempDir". The runtime cleans up after the launcher: it holds a lock
 * file in its own directory while it runs, removes at start the directories of
 * earlier runs in the same base directory whose lock nobody holds, and removes
 * what it can of its own at exit. What cannot be removed yet (a file still in
 * use) keeps its lock file, so that a later run finishes the job. A directory
 * without a lock file is never touched: it may belong to a run whose Java side
 * has not started yet.
 */
final class RunDirectories {

    static final String LOCK_FILE = ".vennic-run.lock";
    // How old an unlocked lock file must be before its directory counts as
    // abandoned: a run creates its lock file an instant before it locks it.
    static final long SETTLE_MILLIS = 10_000;

    // The launcher names a per-run directory after its temporary file:
    // vek1A2B.tmp_dir1700000000 next to the empty file vek1A2B.tmp. Matched by
    // hand: a regular expression, compiled as this class loads, would cost
    // every start the bootstrap of the lambdas inside java.util.regex.
    private static final String PREFIX = "vek";
    private static final String TIME_MARK = "_dir";

    private static File own;
    // Held until the process ends: an unreachable channel would be closed and
    // its lock released.
    private static FileChannel ownChannel;
    private static FileLock ownLock;

    private RunDirectories() {
    }

    /**
     * Locks the per-run directory, sweeps the earlier ones on a thread of
     * their own and removes this one at exit. Does nothing without a directory.
     */
    static synchronized void claim(String tempDir) {
        if (own != null || tempDir == null || tempDir.isEmpty()) {
            return;
        }
        File dir = new File(tempDir).getAbsoluteFile();
        if (!dir.isDirectory()) {
            return;
        }
        FileChannel channel = null;
        try {
            channel = FileChannel.open(new File(dir, LOCK_FILE).toPath(), StandardOpenOption.CREATE,
                    StandardOpenOption.WRITE);
            FileLock lock = channel.tryLock();
            if (lock == null) {
                channel.close();
                return;
            }
            own = dir;
            ownChannel = channel;
            ownLock = lock;
        } catch (IOException | OverlappingFileLockException e) {
            closeQuietly(channel);
            return;
        }
        // Classes of their own rather than lambdas: the first lambda of a JVM
        // costs its start the bootstrap of the lambda machinery.
        Runtime.getRuntime().addShutdownHook(new Thread(new Runnable() {
            @Override
            public void run() {
                removeOwn();
            }
        }, "vennic-run-directory"));
        final File base = dir.getParentFile();
        final File except = dir;
        if (base != null) {
            // Not a daemon: the sweep finishes before the JVM ends normally,
            // without holding up the application's start.
            new Thread(new Runnable() {
                @Override
                public void run() {
                    sweep(base, except);
                }
            }, "vennic-run-directory-sweeper").start();
        }
    }

    /**
     * Where the time suffix "_dir" followed by a number (which may be
     * negative) begins in a run directory's name, or -1 when the name is not
     * one: "vek", anything, then the suffix at its end.
     */
    static int timeSuffixStart(String name) {
        int mark = name.lastIndexOf(TIME_MARK);
        if (!name.startsWith(PREFIX) || mark < PREFIX.length()) {
            return -1;
        }
        int digits = mark + TIME_MARK.length();
        if (digits < name.length() && name.charAt(digits) == '-') {
            digits++;
        }
        if (digits == name.length()) {
            return -1;
        }
        for (int i = digits; i < name.length(); i++) {
            if (name.charAt(i) < '0' || name.charAt(i) > '9') {
                return -1;
            }
        }
        return mark;
    }

    /** Removes the directories of earlier runs that nobody holds. */
    static void sweep(File base, File except) {
        File[] entries = base.listFiles();
        if (entries == null) {
            return;
        }
        for (File entry : entries) {
            if (!entry.equals(except) && timeSuffixStart(entry.getName()) >= 0
                    && Files.isDirectory(entry.toPath(), LinkOption.NOFOLLOW_LINKS)) {
                removeIfAbandoned(entry);
            }
        }
    }

    private static void removeIfAbandoned(File dir) {
        File lockFile = new File(dir, LOCK_FILE);
        // A lock file just created may not be locked yet by its run.
        if (!lockFile.isFile() || System.currentTimeMillis() - lockFile.lastModified() < SETTLE_MILLIS) {
            return;
        }
        FileChannel channel = null;
        try {
            channel = FileChannel.open(lockFile.toPath(), StandardOpenOption.WRITE);
            FileLock lock = channel.tryLock();
            if (lock == null) {
                channel.close();
                return;  // its run is still going
            }
            boolean emptied = deleteContents(dir, lockFile);
            lock.release();
            channel.close();
            if (emptied) {
                removeDirectory(dir, lockFile);
            }
        } catch (IOException | OverlappingFileLockException e) {
            closeQuietly(channel);
        }
    }

    /** The shutdown hook: this run's directory, as far as it can go now. */
    private static synchronized void removeOwn() {
        if (own == null) {
            return;
        }
        File lockFile = new File(own, LOCK_FILE);
        boolean emptied = deleteContents(own, lockFile);
        try {
            ownLock.release();
        } catch (IOException e) {
            // closing the channel releases it as well
        }
        closeQuietly(ownChannel);
        if (emptied) {
            removeDirectory(own, lockFile);
        }
        own = null;
    }

    /**
     * Removes the lock file, the directory and the launcher's empty temporary
     * file that reserved the directory's name.
     */
    private static void removeDirectory(File dir, File lockFile) {
        if (!lockFile.delete() || !dir.delete()) {
            return;
        }
        String name = dir.getName();
        int suffix = timeSuffixStart(name);
        File reservation = new File(dir.getParentFile(), suffix < 0 ? name : name.substring(0, suffix));
        if (reservation.isFile() && reservation.length() == 0) {
            reservation.delete();
        }
    }

    /**
     * Deletes everything below dir except the one file; symbolic links are
     * removed, never followed. True when nothing else is left.
     */
    static boolean deleteContents(File dir, File keep) {
        File[] entries = dir.listFiles();
        if (entries == null) {
            return false;
        }
        boolean emptied = true;
        for (File entry : entries) {
            if (entry.equals(keep)) {
                continue;
            }
            if (Files.isDirectory(entry.toPath(), LinkOption.NOFOLLOW_LINKS)) {
                emptied &= deleteContents(entry, null) && entry.delete();
            } else {
                emptied &= entry.delete();
            }
        }
        return emptied;
    }

    private static void closeQuietly(FileChannel channel) {
        if (channel == null) {
            return;
        }
        try {
            channel.close();
        } catch (IOException e) {
            // nothing more to release
        }
    }
}
