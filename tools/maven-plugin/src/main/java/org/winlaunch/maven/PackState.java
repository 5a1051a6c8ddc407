package org.winlaunch.maven;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.NoSuchFileException;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.nio.file.StandardCopyOption;
import java.security.MessageDigest;
import java.util.ArrayList;
import java.util.List;

/**
 * What an executable was packed from, kept in a file beside it: the packer's
 * command line, the digest of every file the packing read (the packer, the
 * template, each configuration file, every included file, the icon) and the
 * size and time of the executable written. The executable is up to date
 * while all of them are unchanged; any doubt (a missing or unreadable file,
 * a changed line) means packing again.
 */
final class PackState {
    private static final String HEADER = "# winlaunch-maven-plugin: what the executable beside this file was packed from";

    private final String command;
    private final String output;
    private final List<String> inputs;  // "digest path"

    private PackState(String command, String output, List<String> inputs) {
        this.command = command;
        this.output = output;
        this.inputs = inputs;
    }

    /** The state of a packing that just wrote output from the inputs. */
    static PackState of(List<String> commandLine, List<Path> inputs, Path output) throws IOException {
        List<String> lines = new ArrayList<>();
        for (Path input : inputs) lines.add(Payload.digest(input) + " " + input);
        return new PackState(commandDigest(commandLine), stamp(output), lines);
    }

    /** The state written beside an executable, or null when there is none to trust. */
    static PackState read(Path file) {
        List<String> lines;
        try {
            lines = Files.readAllLines(file, StandardCharsets.UTF_8);
        } catch (IOException e) {
            return null;
        }
        if (lines.size() < 3 || !lines.get(0).equals(HEADER) || !lines.get(1).startsWith("command ")
                || !lines.get(2).startsWith("output ")) {
            return null;
        }
        return new PackState(lines.get(1).substring(8), lines.get(2).substring(7), lines.subList(3, lines.size()));
    }

    void write(Path file) throws IOException {
        List<String> lines = new ArrayList<>();
        lines.add(HEADER);
        lines.add("command " + command);
        lines.add("output " + output);
        lines.addAll(inputs);
        Path temp = file.resolveSibling("." + file.getFileName() + ".tmp");
        Files.write(temp, lines, StandardCharsets.UTF_8);
        Files.move(temp, file, StandardCopyOption.REPLACE_EXISTING, StandardCopyOption.ATOMIC_MOVE);
    }

    /** Whether packing with this command line would write output again as it is. */
    boolean upToDate(List<String> commandLine, Path output) {
        try {
            if (!command.equals(commandDigest(commandLine)) || !this.output.equals(stamp(output))) return false;
            for (String line : inputs) {
                int space = line.indexOf(' ');
                if (space < 0 || !line.substring(0, space).equals(Payload.digest(Paths.get(line.substring(space + 1))))) {
                    return false;
                }
            }
            return true;
        } catch (IOException | RuntimeException e) {
            return false;  // an input that is gone or unreadable: pack again, and let the packer say why
        }
    }

    private static String stamp(Path output) throws IOException {
        if (!Files.isRegularFile(output)) throw new NoSuchFileException(output.toString());
        return Files.size(output) + " " + Files.getLastModifiedTime(output);
    }

    private static String commandDigest(List<String> commandLine) {
        MessageDigest digest = Payload.sha256();
        for (String arg : commandLine) {
            digest.update(arg.getBytes(StandardCharsets.UTF_8));
            digest.update((byte) 0);
        }
        return Payload.hex(digest.digest());
    }
}
