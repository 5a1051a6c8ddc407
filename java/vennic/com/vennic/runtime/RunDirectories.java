package com.vennic.runtime;

import java.io.File;
import java.io.IOException;
import java.nio.channels.FileChannel;
import java.nio.channels.FileLock;
import java.nio.channels.OverlappingFileLockException;
import java.nio.file.Files;
import java.nio.file.LinkOption;
import java.nio.file.Path;
import java.nio.file.StandardOpenOption;
import java.nio.file.attribute.BasicFileAttributes;

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
 * <p>
 * Only plain directories are entered. A symbolic link, a junction or any
 * other reparse point is removed itself, never what it leads to: the sweep
 * runs over the whole base temporary directory, which for a service may be a
 * directory where every user can create entries.
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

    // FILE_ATTRIBUTE_REPARSE_POINT: junctions, mount points and symbolic links.
    static final int REPARSE_POINT = 0x400;
    private static final boolean WINDOWS = File.separatorChar == '\\';

    /** What the clean-up learns of an entry before it decides to enter it. */
    interface Attributes {
        /** The entry's own attributes, links not followed. */
        BasicFileAttributes basic(Path path) throws IOException;

        /** Whether the entry is a reparse point of any kind. */
        boolean isReparsePoint(Path path) throws IOException;
    }

    static final Attributes SYSTEM = new Attributes() {
        @Override
        public BasicFileAttributes basic(Path path) throws IOException {
            return Files.readAttributes(path, BasicFileAttributes.class, LinkOption.NOFOLLOW_LINKS);
        }

        @Override
        public boolean isReparsePoint(Path path) throws IOException {
            if (!WINDOWS) {
                // Elsewhere the basic attributes tell every link.
                return false;
            }
            Object dos;
            try {
                dos = Files.getAttribute(path, "dos:attributes", LinkOption.NOFOLLOW_LINKS);
            } catch (UnsupportedOperationException | IllegalArgumentException e) {
                // A runtime without the attribute: isOther() still tells a junction.
                return false;
            }
            return dos instanceof Integer && (((Integer) dos).intValue() & REPARSE_POINT) != 0;
        }
    };

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
        if (!isPlainDirectory(dir, SYSTEM)) {
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

    /**
     * Whether the clean-up may enter the entry: a directory that is neither a
     * symbolic link nor a junction nor any other reparse point. A junction
     * reports itself as a directory; Java tells it only by isOther() and the
     * DOS attributes. An entry that cannot be read is not entered.
     */
    static boolean isPlainDirectory(File entry, Attributes attributes) {
        try {
            Path path = entry.toPath();
            BasicFileAttributes basic = attributes.basic(path);
            return basic.isDirectory() && !basic.isSymbolicLink() && !basic.isOther()
                    && !attributes.isReparsePoint(path);
        } catch (IOException | RuntimeException e) {
            return false;
        }
    }

    /** Removes the directories of earlier runs that nobody holds. */
    static void sweep(File base, File except) {
        sweep(base, except, SYSTEM);
    }

    static void sweep(File base, File except, Attributes attributes) {
        File[] entries = base.listFiles();
        if (entries == null) {
            return;
        }
        for (File entry : entries) {
            // A candidate that is a link or junction itself is never swept.
            if (!entry.equals(except) && timeSuffixStart(entry.getName()) >= 0
                    && isPlainDirectory(entry, attributes)) {
                removeIfAbandoned(entry, attributes);
            }
        }
    }

    private static void removeIfAbandoned(File dir, Attributes attributes) {
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
            boolean emptied = deleteContents(dir, lockFile, attributes);
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
        // Checked again: the directory may have been replaced while it ran.
        boolean emptied = isPlainDirectory(own, SYSTEM) && deleteContents(own, lockFile, SYSTEM);
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
     * Deletes everything below dir except the one file; links, junctions and
     * other reparse points are removed, never followed. True when nothing
     * else is left.
     */
    static boolean deleteContents(File dir, File keep, Attributes attributes) {
        File[] entries = dir.listFiles();
        if (entries == null) {
            return false;
        }
        boolean emptied = true;
        for (File entry : entries) {
            if (entry.equals(keep)) {
                continue;
            }
            if (isPlainDirectory(entry, attributes)) {
                emptied &= deleteContents(entry, null, attributes) && entry.delete();
            } else {
                // A link or junction goes itself: on Windows File.delete
                // removes a directory link with RemoveDirectory, which
                // leaves its target alone.
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
