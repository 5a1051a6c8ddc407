package org.winlaunch.maven;

import java.io.File;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.StandardCopyOption;
import java.util.ArrayList;
import java.util.Collections;
import java.util.HashMap;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Locale;
import java.util.Map;
import java.util.Set;
import java.util.TreeMap;
import java.util.TreeSet;
import java.util.concurrent.TimeUnit;
import java.util.regex.Matcher;
import java.util.regex.Pattern;

import org.apache.maven.artifact.Artifact;
import org.apache.maven.plugin.AbstractMojo;
import org.apache.maven.plugin.MojoExecution;
import org.apache.maven.plugin.MojoExecutionException;
import org.apache.maven.plugin.MojoFailureException;
import org.apache.maven.plugins.annotations.Component;
import org.apache.maven.plugins.annotations.LifecyclePhase;
import org.apache.maven.plugins.annotations.Mojo;
import org.apache.maven.plugins.annotations.Parameter;
import org.apache.maven.plugins.annotations.ResolutionScope;
import org.apache.maven.project.MavenProject;
import org.apache.maven.project.MavenProjectHelper;

/**
 * Packs the application into a copy of the launcher: writes
 * {@code <finalName>.exe} into the build directory and attaches it to the
 * project with the type {@code exe}, so that install and deploy carry it.
 *
 * <p>The project's jar and its runtime dependencies travel with the
 * executable, as included files or copied beside it into {@code lib},
 * together with the Java-side runtime jar. The configuration comes from a
 * TOML file, from the inline {@code <settings>}, {@code <messages>} and
 * {@code <resources>}, or from both, inline winning.
 */
@Mojo(name = "pack", defaultPhase = LifecyclePhase.PACKAGE, threadSafe = true,
        requiresDependencyResolution = ResolutionScope.RUNTIME)
public class PackMojo extends AbstractMojo {
    /**
     * The application's configuration as a TOML file, in the packer's format
     * (winlaunch-pack --list-settings); paths in it are relative to the file.
     */
    @Parameter(property = "winlaunch.config")
    private File config;

    /**
     * Settings by the names of the TOML file's [settings] table; they replace
     * the file's. Flags take true or false, numeric settings a number.
     */
    @Parameter
    private Map<String, String> settings;

    /** Messages by the names of the TOML file's [messages] table; they replace the file's. */
    @Parameter
    private Map<String, String> messages;

    /** The icon (icon) and the version information (version) of the executable. */
    @Parameter
    private Resources resources;

    /** The launcher to pack: 64 for x86-64 Windows, 32 for 32-bit Windows. */
    @Parameter(property = "winlaunch.bitness", defaultValue = "64")
    private int bitness;

    /**
     * Where the project's jar and its runtime dependencies go: included
     * (carried in the executable and extracted at start), beside (copied into
     * lib next to the executable, with the class path written to match) or
     * none (left to the configuration).
     */
    @Parameter(property = "winlaunch.dependencies", defaultValue = "included")
    private String dependencies;

    /**
     * The Java-side runtime jar that goes with the executable: vennic,
     * quarlo or none. By default vennic, or quarlo when the inline setting
     * flavour begins with q.
     */
    @Parameter(property = "winlaunch.runtime")
    private String runtime;

    /** The Windows code page the settings are written in. */
    @Parameter(property = "winlaunch.codePage", defaultValue = "1252")
    private int codePage;

    /** The executable's name without .exe. */
    @Parameter(property = "winlaunch.finalName", defaultValue = "${project.build.finalName}")
    private String finalName;

    /** The directory the executable (and lib, with beside) is written to. */
    @Parameter(defaultValue = "${project.build.directory}")
    private File outputDirectory;

    /** The classifier the executable is attached with; none by default. */
    @Parameter(property = "winlaunch.classifier")
    private String classifier;

    /** Skips packing. */
    @Parameter(property = "winlaunch.skip", defaultValue = "false")
    private boolean skip;

    @Parameter(defaultValue = "${project}", readonly = true, required = true)
    private MavenProject project;

    @Parameter(defaultValue = "${mojoExecution}", readonly = true, required = true)
    private MojoExecution execution;

    @Component
    private MavenProjectHelper projectHelper;

    private static final String LIB = "lib";
    private static final Pattern VERSION_NUMBERS = Pattern.compile("^(\\d+)((?:\\.\\d+){0,3})");

    @Override
    public void execute() throws MojoExecutionException, MojoFailureException {
        if (skip) {
            getLog().info("winlaunch: skipped");
            return;
        }
        // Checked first: the name decides which file a failure removes.
        if (finalName == null || finalName.isEmpty() || finalName.contains("/") || finalName.contains("\\")) {
            throw new MojoFailureException("winlaunch: finalName must be a plain file name, not '" + finalName + "'");
        }
        Path out = outputDirectory.toPath().toAbsolutePath();
        Path exe = out.resolve(finalName + ".exe");
        Path stateFile = out.resolve(finalName + ".exe.inputs");
        try {
            pack(out, exe, stateFile);
        } catch (MojoFailureException | MojoExecutionException | RuntimeException e) {
            // A failed build leaves no executable that looks current.
            try {
                Files.deleteIfExists(stateFile);
                Files.deleteIfExists(exe);
            } catch (IOException gone) {
                e.addSuppressed(gone);
            }
            throw e;
        }
        String attachedClassifier = classifier == null || classifier.isEmpty() ? null : classifier;
        projectHelper.attachArtifact(project, "exe", attachedClassifier, exe.toFile());
    }

    /** Packs exe unless what it was packed from is unchanged. */
    private void pack(Path out, Path exe, Path stateFile) throws MojoExecutionException, MojoFailureException {
        checkParameters();
        String packerName = Payload.packerFor(System.getProperty("os.name"), System.getProperty("os.arch"));
        if (packerName == null) {
            throw new MojoFailureException("winlaunch: no packer for this build host (" + System.getProperty("os.name")
                    + " " + System.getProperty("os.arch") + "); the plugin carries packers for Linux x86_64 and Windows x64");
        }
        Path work = out.resolve("winlaunch").resolve(execution.getExecutionId());
        try {
            Files.createDirectories(work);
            Path packer = work.resolve(packerName.substring(packerName.indexOf('/') + 1));
            Payload.extract(packerName, packer);
            if (!packer.toFile().setExecutable(true)) throw new IOException("cannot make " + packer + " executable");
            Path template = work.resolve("winlaunch-win" + bitness + ".exe");
            Payload.extract(Payload.template(bitness), template);

            List<String> command = new ArrayList<>();
            Collections.addAll(command, packer.toString(), "--template", template.toString());
            Path pluginLayer = work.resolve("plugin.toml");
            writeText(pluginLayer, pluginLayer(work, out));
            Collections.addAll(command, "--config", pluginLayer.toString());
            if (config != null) {
                Path file = config.toPath().toAbsolutePath();
                if (!Files.isRegularFile(file)) throw new MojoFailureException("winlaunch: no configuration file " + file);
                Collections.addAll(command, "--config", file.toString());
            }
            String pom = pomLayer(packer);
            Path pomLayer = work.resolve("pom.toml");
            if (pom != null) {
                writeText(pomLayer, pom);
                Collections.addAll(command, "--config", pomLayer.toString());
            }
            Path packed = work.resolve("packed.exe");
            Path inputsList = work.resolve("inputs.txt");
            Collections.addAll(command, "--codepage", Integer.toString(codePage), "--output", packed.toString(),
                    "--inputs-to", inputsList.toString());

            PackState previous = PackState.read(stateFile);
            if (previous != null && previous.upToDate(command, exe)) {
                getLog().info("winlaunch: " + exe + " is up to date");
                return;
            }
            Files.deleteIfExists(stateFile);
            Files.deleteIfExists(exe);
            runPacker(command, work, pomLayer);
            Files.move(packed, exe, StandardCopyOption.REPLACE_EXISTING, StandardCopyOption.ATOMIC_MOVE);
            List<Path> inputs = new ArrayList<>();
            inputs.add(packer);
            for (String line : Files.readAllLines(inputsList, StandardCharsets.UTF_8)) {
                if (!line.isEmpty()) inputs.add(work.resolve(line));
            }
            PackState.of(command, inputs, exe).write(stateFile);
            getLog().info("winlaunch: packed " + exe);
        } catch (IOException e) {
            throw new MojoExecutionException("winlaunch: " + e.getMessage(), e);
        } catch (IllegalArgumentException e) {
            throw new MojoFailureException("winlaunch: " + e.getMessage(), e);
        }
    }

    private void checkParameters() throws MojoFailureException {
        if (bitness != 32 && bitness != 64) {
            throw new MojoFailureException("winlaunch: bitness is 32 or 64, not " + bitness);
        }
        if (!dependencies.equals("included") && !dependencies.equals("beside") && !dependencies.equals("none")) {
            throw new MojoFailureException("winlaunch: dependencies is included, beside or none, not " + dependencies);
        }
        if (runtime != null && !runtime.equals("vennic") && !runtime.equals("quarlo") && !runtime.equals("none")) {
            throw new MojoFailureException("winlaunch: runtime is vennic, quarlo or none, not " + runtime);
        }
    }

    /**
     * The lowest configuration layer: the Java-side runtime jar, the
     * project's jars with the class path that finds them, and the version
     * information from the project's version. The configuration file and the
     * POM's own values are laid over it.
     */
    private String pluginLayer(Path work, Path out) throws IOException, MojoFailureException {
        TomlText toml = new TomlText()
                .comment("Written by winlaunch-maven-plugin for " + project.getGroupId() + ":" + project.getArtifactId()
                        + ": the jars and the version information.")
                .comment("The configuration file and the POM's <settings> are laid over it.");
        Map<String, Path> jars = applicationJars();
        List<String> besidePaths = new ArrayList<>();
        if (dependencies.equals("beside")) {
            copyBeside(jars, out.resolve(LIB), work);
            for (String name : jars.keySet()) besidePaths.add("A1" + LIB + "\\" + name);
            toml.table("settings").string("classPath", String.join(";", besidePaths));
        }
        String version = project.getVersion();
        if (version != null && packerTakesVersion(version)) {
            toml.table("resources.version").string("FileVersion", version).string("ProductVersion", version);
        } else {
            getLog().info("winlaunch: the version " + version + " does not begin with up to four numbers;"
                    + " the executable's FileVersion and ProductVersion come from the configuration alone");
        }
        String runtimeJar = runtimeJar();
        if (runtimeJar != null) {
            Path jar = work.resolve(runtimeJar);
            Payload.extract(runtimeJar, jar);
            toml.arrayElement("file").string("name", runtimeJar).string("source", jar.toString());
        }
        if (dependencies.equals("included")) {
            for (Map.Entry<String, Path> jar : jars.entrySet()) {
                toml.arrayElement("file").string("name", jar.getKey()).string("source", jar.getValue().toString());
            }
        }
        return toml.toString();
    }

    /**
     * The project's jar and its runtime dependencies by the names they get
     * in the executable or in lib, in class-path order: the project's jar,
     * then the dependencies as Maven resolved them. Two that would get the
     * same name are told apart by their group.
     */
    private Map<String, Path> applicationJars() throws MojoFailureException {
        Map<String, Path> jars = new LinkedHashMap<>();
        if (dependencies.equals("none")) return jars;
        List<Artifact> artifacts = new ArrayList<>();
        Artifact own = project.getArtifact();
        if (own.getFile() != null) {
            artifacts.add(own);
        } else if (!"pom".equals(project.getPackaging())) {
            throw new MojoFailureException("winlaunch: the project's " + project.getPackaging()
                    + " is not built yet; run pack in the package phase, after the jar is made");
        }
        for (Artifact a : project.getArtifacts()) {
            String scope = a.getScope();
            if (a.getArtifactHandler().isAddedToClasspath()
                    && (Artifact.SCOPE_COMPILE.equals(scope) || Artifact.SCOPE_RUNTIME.equals(scope))) {
                artifacts.add(a);
            }
        }
        Map<String, Integer> uses = new HashMap<>();
        for (Artifact a : artifacts) uses.merge(jarName(a, false).toLowerCase(Locale.ROOT), 1, Integer::sum);
        for (Artifact a : artifacts) {
            File file = a.getFile();
            if (file == null || !file.isFile()) {
                throw new MojoFailureException("winlaunch: " + a + " has no jar file"
                        + (file == null ? "" : " (" + file + ")") + "; package it before this project");
            }
            boolean clash = uses.get(jarName(a, false).toLowerCase(Locale.ROOT)) > 1;
            jars.put(jarName(a, clash), file.toPath().toAbsolutePath());
        }
        return jars;
    }

    private String jarName(Artifact a, boolean withGroup) {
        if (a == project.getArtifact()) return a.getFile().getName();
        String name = a.getArtifactId() + "-" + a.getBaseVersion()
                + (a.hasClassifier() ? "-" + a.getClassifier() : "") + "." + a.getArtifactHandler().getExtension();
        return withGroup ? a.getGroupId() + "-" + name : name;
    }

    /**
     * Copies the jars into lib beside the executable, each only when its
     * content changed, and removes the ones an earlier run copied that are
     * no longer wanted (work/beside.txt); other files in lib are left alone.
     */
    private void copyBeside(Map<String, Path> jars, Path lib, Path work) throws IOException {
        Files.createDirectories(lib);
        Path record = work.resolve("beside.txt");
        Set<String> earlier = new TreeSet<>();
        if (Files.isRegularFile(record)) earlier.addAll(Files.readAllLines(record, StandardCharsets.UTF_8));
        for (Map.Entry<String, Path> jar : jars.entrySet()) {
            Path target = lib.resolve(jar.getKey());
            earlier.remove(jar.getKey());
            if (Files.isRegularFile(target) && Files.size(target) == Files.size(jar.getValue())
                    && Payload.digest(target).equals(Payload.digest(jar.getValue()))) {
                continue;
            }
            Path temp = lib.resolve("." + jar.getKey() + ".tmp");
            Files.copy(jar.getValue(), temp, StandardCopyOption.REPLACE_EXISTING);
            Files.move(temp, target, StandardCopyOption.REPLACE_EXISTING, StandardCopyOption.ATOMIC_MOVE);
        }
        for (String gone : earlier) {
            if (!gone.isEmpty()) Files.deleteIfExists(lib.resolve(gone));
        }
        writeText(record, String.join("\n", jars.keySet()) + "\n");
    }

    /** The runtime jar's name in the payload and in the executable; null for none. */
    private String runtimeJar() {
        String family = runtime;
        if (family == null) {
            String flavour = settings == null ? null : settings.get("flavour");
            family = flavour != null && flavour.startsWith("q") ? "quarlo" : "vennic";
        }
        if (family.equals("none")) return null;
        return family.equals("quarlo") ? "qarruntime.jar" : "vennic-runtime.jar";
    }

    /**
     * The top layer: the POM's <settings>, <messages> and <resources>, or
     * null when it has none. Values of flags and numeric settings are written
     * as TOML booleans and integers where they read as such, so that true
     * means true to the launcher; everything else is a string.
     */
    private String pomLayer(Path packer) throws IOException, MojoExecutionException {
        boolean haveSettings = settings != null && !settings.isEmpty();
        boolean haveMessages = messages != null && !messages.isEmpty();
        boolean haveIcon = resources != null && resources.getIcon() != null;
        boolean haveVersion = resources != null && resources.getVersion() != null && !resources.getVersion().isEmpty();
        if (!haveSettings && !haveMessages && !haveIcon && !haveVersion) return null;
        TomlText toml = new TomlText()
                .comment("The <settings>, <messages> and <resources> of the POM of " + project.getGroupId() + ":"
                        + project.getArtifactId() + ",")
                .comment("laid over the configuration file by winlaunch-maven-plugin.");
        if (haveSettings) {
            Map<String, String> types = settingTypes(packer);
            toml.table("settings");
            for (Map.Entry<String, String> e : new TreeMap<>(settings).entrySet()) {
                String value = e.getValue() == null ? "" : e.getValue();
                String literal = typedLiteral(types.get(e.getKey()), value);
                if (literal != null) toml.literal(e.getKey(), literal);
                else toml.string(e.getKey(), value);
            }
        }
        if (haveMessages) {
            toml.table("messages");
            for (Map.Entry<String, String> e : new TreeMap<>(messages).entrySet()) {
                toml.string(e.getKey(), e.getValue() == null ? "" : e.getValue());
            }
        }
        if (haveIcon) {
            File icon = resources.getIcon();
            if (!icon.isAbsolute()) icon = new File(project.getBasedir(), icon.getPath());
            toml.table("resources").string("icon", icon.getAbsolutePath());
        }
        if (haveVersion) {
            toml.table("resources.version");
            for (Map.Entry<String, String> e : new TreeMap<>(resources.getVersion()).entrySet()) {
                toml.string(e.getKey(), e.getValue() == null ? "" : e.getValue());
            }
        }
        return toml.toString();
    }

    /** A TOML boolean or integer for a value of a setting of that type, or null for a string. */
    static String typedLiteral(String type, String value) {
        if ("boolean".equals(type) && (value.equals("true") || value.equals("false"))) return value;
        if (("boolean".equals(type) || "integer".equals(type)) && value.matches("[+-]?[0-9]{1,18}")) {
            return Long.toString(Long.parseLong(value));  // TOML integers have no leading zeros
        }
        return null;
    }

    /** The TOML type of every setting by name, from the packer's own list. */
    private Map<String, String> settingTypes(Path packer) throws IOException, MojoExecutionException {
        Path listing = packer.resolveSibling("settings.txt");
        Path errors = packer.resolveSibling("settings-errors.txt");
        int code = run(new ProcessBuilder(packer.toString(), "--list-settings"), listing, errors);
        if (code != 0) {
            throw new MojoExecutionException("winlaunch: " + packer + " --list-settings failed: " + read(errors));
        }
        Map<String, String> types = new HashMap<>();
        boolean inSettings = false;
        for (String line : Files.readAllLines(listing, StandardCharsets.UTF_8)) {
            if (line.startsWith("[")) inSettings = line.equals("[settings]");
            if (!inSettings || line.startsWith("[") || line.startsWith("name ")) continue;
            String[] words = line.trim().split("\\s+");
            for (int i = 1; i < words.length; i++) {
                if (words[i].equals("boolean") || words[i].equals("integer") || words[i].equals("string")) {
                    types.put(words[0], words[i]);
                    break;
                }
            }
        }
        return types;
    }

    /** Runs the packer; its own message is the build's failure. */
    private void runPacker(List<String> command, Path work, Path pomLayer) throws IOException, MojoFailureException {
        Path stdout = work.resolve("packer-out.txt");
        Path stderr = work.resolve("packer-errors.txt");
        getLog().debug("winlaunch: " + String.join(" ", command));
        int code = run(new ProcessBuilder(command), stdout, stderr);
        if (code != 0) {
            String message = read(stderr).trim();
            if (message.isEmpty()) message = "winlaunch-pack failed with exit code " + code;
            if (message.contains(pomLayer + ":")) {
                message += "\n(" + pomLayer.getFileName() + " holds the <settings>, <messages> and <resources> of the POM)";
            }
            throw new MojoFailureException(message);
        }
    }

    private static int run(ProcessBuilder builder, Path stdout, Path stderr) throws IOException {
        builder.redirectInput(ProcessBuilder.Redirect.from(nullDevice()));
        builder.redirectOutput(stdout.toFile()).redirectError(stderr.toFile());
        Process process = builder.start();
        try {
            if (!process.waitFor(10, TimeUnit.MINUTES)) {
                process.destroyForcibly();
                throw new IOException(builder.command().get(0) + " did not finish within 10 minutes");
            }
            return process.exitValue();
        } catch (InterruptedException e) {
            process.destroyForcibly();
            Thread.currentThread().interrupt();
            throw new IOException("interrupted while " + builder.command().get(0) + " ran", e);
        }
    }

    private static File nullDevice() {
        return new File(System.getProperty("os.name").startsWith("Windows") ? "NUL" : "/dev/null");
    }

    /**
     * Whether the packer takes the text as FileVersion: up to four numbers
     * of at most 65535 at its start, any other text after them.
     */
    static boolean packerTakesVersion(String version) {
        Matcher m = VERSION_NUMBERS.matcher(version);
        if (!m.find() || version.substring(m.end()).matches("\\.[0-9].*")) return false;
        for (String number : m.group().split("\\.")) {
            if (number.length() > 5 || Integer.parseInt(number) > 65535) return false;
        }
        return true;
    }

    private static String read(Path file) throws IOException {
        return new String(Files.readAllBytes(file), StandardCharsets.UTF_8);
    }

    private static void writeText(Path file, String text) throws IOException {
        Files.write(file, text.getBytes(StandardCharsets.UTF_8));
    }
}
