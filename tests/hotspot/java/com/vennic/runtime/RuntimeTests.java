package com.vennic.runtime;

import java.io.IOException;
import java.lang.reflect.InvocationTargetException;
import java.lang.reflect.Method;
import java.lang.reflect.Modifier;
import java.nio.charset.StandardCharsets;
import java.nio.file.FileVisitResult;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.SimpleFileVisitor;
import java.nio.file.attribute.BasicFileAttributes;
import java.util.Arrays;
import java.util.Comparator;
import java.util.Objects;

/**
 * Runs the Java-side runtime's own tests on the JDK: every static method
 * named test... of the classes below, each with a fresh directory. Prints a
 * line per test and "N passed, N failed" at the end; exit code 1 on a failure.
 * Arguments, when given, pick tests whose name contains one of them.
 */
public final class RuntimeTests {

    private static final Class<?>[] CLASSES = {RollingFileTest.class, RunDirectoriesTest.class};

    private RuntimeTests() {
    }

    public static void main(String[] args) throws IOException {
        int passed = 0;
        int failed = 0;
        for (Class<?> type : CLASSES) {
            Method[] methods = type.getDeclaredMethods();
            Arrays.sort(methods, Comparator.comparing(Method::getName));
            for (Method method : methods) {
                String name = type.getSimpleName() + "." + method.getName();
                if (!method.getName().startsWith("test") || !Modifier.isStatic(method.getModifiers())
                        || (args.length > 0 && Arrays.stream(args).noneMatch(name::contains))) {
                    continue;
                }
                Path dir = Files.createTempDirectory("wl-runtime-");
                long started = System.nanoTime();
                try {
                    method.invoke(null, dir);
                    passed++;
                    System.out.printf("ok      %s (%d ms)%n", name, (System.nanoTime() - started) / 1_000_000);
                } catch (InvocationTargetException e) {
                    failed++;
                    System.out.printf("FAILED  %s%n", name);
                    e.getCause().printStackTrace(System.out);
                } catch (IllegalAccessException e) {
                    failed++;
                    System.out.printf("FAILED  %s: %s%n", name, e);
                } finally {
                    removeTree(dir);
                }
            }
        }
        System.out.printf("%d passed, %d failed%n", passed, failed);
        System.exit(failed == 0 && passed > 0 ? 0 : 1);
    }

    // --- shared helpers ---

    static void check(boolean condition, String what) {
        if (!condition) {
            throw new AssertionError(what);
        }
    }

    static void equal(Object expected, Object actual, String what) {
        if (!Objects.equals(expected, actual)) {
            throw new AssertionError(what + "\n expected: " + expected + "\n   actual: " + actual);
        }
    }

    static String read(Path file) throws IOException {
        return new String(Files.readAllBytes(file), StandardCharsets.UTF_8);
    }

    static void write(Path file, String text) throws IOException {
        Files.write(file, text.getBytes(StandardCharsets.UTF_8));
    }

    /** Removes a tree without following links, so a test's link targets outside it are safe. */
    static void removeTree(Path root) throws IOException {
        if (!Files.exists(root, java.nio.file.LinkOption.NOFOLLOW_LINKS)) {
            return;
        }
        Files.walkFileTree(root, new SimpleFileVisitor<Path>() {
            @Override
            public FileVisitResult visitFile(Path file, BasicFileAttributes attributes) throws IOException {
                Files.delete(file);
                return FileVisitResult.CONTINUE;
            }

            @Override
            public FileVisitResult postVisitDirectory(Path directory, IOException e) throws IOException {
                Files.delete(directory);
                return FileVisitResult.CONTINUE;
            }
        });
    }
}
