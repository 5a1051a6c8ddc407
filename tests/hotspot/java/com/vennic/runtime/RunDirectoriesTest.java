package com.vennic.runtime;

import static com.vennic.runtime.RuntimeTests.check;
import static com.vennic.runtime.RuntimeTests.equal;
import static com.vennic.runtime.RuntimeTests.write;

import java.io.File;
import java.io.IOException;
import java.lang.reflect.Proxy;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.attribute.BasicFileAttributes;
import java.nio.file.attribute.FileTime;
import java.util.HashSet;
import java.util.Set;

/**
 * The clean-up's rule for what it enters, with attributes as Windows reports
 * them: a junction is a directory that is also "other" (a reparse point that
 * is not a symbolic link), and any reparse point carries the DOS attribute
 * 0x400. The directories stand in for what the links would lead to.
 */
final class RunDirectoriesTest {

    private RunDirectoriesTest() {
    }

    /** The real attributes, except for the entries the test declares links. */
    static final class FakeAttributes implements RunDirectories.Attributes {
        final Set<Path> junctions = new HashSet<>();    // directory + other + reparse point
        final Set<Path> reparseOnly = new HashSet<>();  // a plain directory but for the DOS attribute

        @Override
        public BasicFileAttributes basic(Path path) throws IOException {
            final BasicFileAttributes real = RunDirectories.SYSTEM.basic(path);
            if (!junctions.contains(path)) {
                return real;
            }
            // A junction as Windows reports it: a directory that is also "other".
            return (BasicFileAttributes) Proxy.newProxyInstance(BasicFileAttributes.class.getClassLoader(),
                    new Class<?>[] {BasicFileAttributes.class}, (proxy, method, args) -> {
                        switch (method.getName()) {
                            case "isDirectory":
                            case "isOther":
                                return true;
                            case "isRegularFile":
                            case "isSymbolicLink":
                                return false;
                            default:
                                return method.invoke(real, args);
                        }
                    });
        }

        @Override
        public boolean isReparsePoint(Path path) {
            return junctions.contains(path) || reparseOnly.contains(path);
        }
    }

    /** A run directory of an earlier run whose lock nobody holds. */
    static Path abandonedRun(Path base, String name) throws IOException {
        Path run = Files.createDirectory(base.resolve(name));
        Path lock = run.resolve(RunDirectories.LOCK_FILE);
        write(lock, "");
        Files.setLastModifiedTime(lock, FileTime.fromMillis(System.currentTimeMillis() - 60_000));
        return run;
    }

    /** What a link would lead to: a directory with a file that must survive. */
    static Path target(Path dir, String name) throws IOException {
        Path target = Files.createDirectories(dir.resolve(name));
        write(target.resolve("keep.txt"), "kept");
        return target;
    }

    static void testJunctionsAndReparsePointsAreNeverEntered(Path base) throws IOException {
        FakeAttributes attributes = new FakeAttributes();
        Path run = abandonedRun(base, "vekA.tmp_dir1700000000");
        write(run.resolve("a.jar"), "PK");
        Files.createDirectories(run.resolve("lib"));
        write(run.resolve("lib").resolve("b.dll"), "MZ");
        attributes.junctions.add(target(run, "junction"));
        attributes.reparseOnly.add(target(run, "mount"));
        attributes.junctions.add(target(run.resolve("lib"), "deeper"));

        RunDirectories.sweep(base.toFile(), null, attributes);
        check(!Files.exists(run.resolve("a.jar")) && !Files.exists(run.resolve("lib").resolve("b.dll")),
                "the plain entries are removed");
        for (String kept : new String[] {"junction", "mount", "lib/deeper"}) {
            check(Files.exists(run.resolve(kept).resolve("keep.txt")), kept + ": what it leads to is kept");
        }
        check(Files.exists(run), "a directory that still holds links stays");
    }

    static void testACandidateThatIsItselfAJunctionIsNotSwept(Path base) throws IOException {
        FakeAttributes attributes = new FakeAttributes();
        Path planted = abandonedRun(base, "vekX.tmp_dir1");
        write(planted.resolve("victim.txt"), "kept");
        attributes.junctions.add(planted);
        Path reparse = abandonedRun(base, "vekY.tmp_dir2");
        write(reparse.resolve("victim.txt"), "kept");
        attributes.reparseOnly.add(reparse);
        Path plain = abandonedRun(base, "vekZ.tmp_dir3");
        write(plain.resolve("a.jar"), "PK");

        RunDirectories.sweep(base.toFile(), null, attributes);
        check(Files.exists(planted.resolve("victim.txt")) && Files.exists(reparse.resolve("victim.txt")),
                "a junction in place of a run directory is not swept");
        check(!Files.exists(plain), "a plain run directory is");
    }

    static void testTheRuleOnRealEntries(Path dir) throws IOException {
        Path directory = Files.createDirectory(dir.resolve("d"));
        Path file = dir.resolve("f");
        write(file, "x");
        Path link = Files.createSymbolicLink(dir.resolve("link"), directory);
        FakeAttributes attributes = new FakeAttributes();
        equal(true, RunDirectories.isPlainDirectory(directory.toFile(), attributes), "a directory");
        equal(false, RunDirectories.isPlainDirectory(file.toFile(), attributes), "a file");
        equal(false, RunDirectories.isPlainDirectory(link.toFile(), attributes), "a symbolic link to a directory");
        equal(false, RunDirectories.isPlainDirectory(new File(dir.toFile(), "missing"), attributes), "nothing");
        attributes.reparseOnly.add(directory);
        equal(false, RunDirectories.isPlainDirectory(directory.toFile(), attributes), "a reparse point");
    }
}
