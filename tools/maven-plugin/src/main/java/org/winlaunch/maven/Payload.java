package org.winlaunch.maven;

import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.StandardCopyOption;
import java.security.DigestOutputStream;
import java.security.MessageDigest;
import java.security.NoSuchAlgorithmException;
import java.util.Locale;

/**
 * What the plugin jar carries: the packer for Linux x86_64 and for Windows
 * x64, the unconfigured 32- and 64-bit launchers, and the Java-side runtime
 * jars, all from the same build as the plugin.
 */
final class Payload {
    private static final String ROOT = "/org/winlaunch/maven/payload/";

    private Payload() {
    }

    /**
     * The packer that runs on the build host, by the JVM's os.name and
     * os.arch; null when the plugin carries none for it. Nothing is ever
     * fetched for another host.
     */
    static String packerFor(String osName, String osArch) {
        String arch = osArch.toLowerCase(Locale.ROOT);
        boolean x64 = arch.equals("amd64") || arch.equals("x86_64");
        if (x64 && osName.equals("Linux")) return "linux-x86_64/winlaunch-pack";
        if (x64 && osName.startsWith("Windows")) return "windows-x64/winlaunch-pack.exe";
        return null;
    }

    static String template(int bitness) {
        return "win" + bitness + "/winlaunch.exe";
    }

    /**
     * Writes a resource to target through a temporary file beside it, so that
     * target is whole or not replaced; returns the SHA-256 of the bytes.
     */
    static String extract(String name, Path target) throws IOException {
        MessageDigest digest = sha256();
        Path temp = Files.createTempFile(target.getParent(), "." + target.getFileName(), ".tmp");
        try {
            try (InputStream in = Payload.class.getResourceAsStream(ROOT + name)) {
                if (in == null) {
                    throw new IOException("the plugin jar lacks " + name + "; build it with scripts/build");
                }
                try (OutputStream out = new DigestOutputStream(Files.newOutputStream(temp), digest)) {
                    byte[] buffer = new byte[1 << 16];
                    for (int n; (n = in.read(buffer)) > 0; ) out.write(buffer, 0, n);
                }
            }
            Files.move(temp, target, StandardCopyOption.REPLACE_EXISTING, StandardCopyOption.ATOMIC_MOVE);
        } finally {
            Files.deleteIfExists(temp);
        }
        return hex(digest.digest());
    }

    /** The SHA-256 of a file's content, in hex. */
    static String digest(Path file) throws IOException {
        MessageDigest digest = sha256();
        try (InputStream in = Files.newInputStream(file)) {
            byte[] buffer = new byte[1 << 16];
            for (int n; (n = in.read(buffer)) > 0; ) digest.update(buffer, 0, n);
        }
        return hex(digest.digest());
    }

    static MessageDigest sha256() {
        try {
            return MessageDigest.getInstance("SHA-256");
        } catch (NoSuchAlgorithmException e) {
            throw new IllegalStateException("every Java runtime has SHA-256", e);
        }
    }

    static String hex(byte[] bytes) {
        StringBuilder out = new StringBuilder(bytes.length * 2);
        for (byte b : bytes) out.append(String.format("%02x", b & 0xFF));
        return out.toString();
    }
}
