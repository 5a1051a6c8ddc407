"""Finding and loading a Java runtime under Wine: the version probe and its
registry cache, the version range, the search sequence and the registry, the
loading of jvm.dll with PATH, the messages by location kind, and packed JREs.

A launch that loaded the stand-in jvm.dll runs its main and ends with exit
code 0."""

import os
import re
import time
import unittest

import harness
import jretree
from jretree import make_jre

MESSAGES = """
[messages]
noJvmFound = "No JVM found. Install a {0}-bit JRE."
jvmDamaged = "The JVM at {0} is damaged."
javaHomeUnusable = "{0} does not point to a working JRE."
jvmNotStartable = "The JVM could not be started."
internalError = "An internal error occurred (error code: {0})"
"""

LOADED = "Loading of JVM-DLL successful"

# Nothing from the environment the tests run in may offer a runtime.
NO_JAVA_ENV = {"JAVA_HOME": None, "JDK_HOME": None, "VENNIC_JAVA_HOME": None, "QUARLO_JAVA_HOME": None,
               "_JAVA_OPTIONS": None, "JAVA_TOOL_OPTIONS": None, "JDK_JAVA_OPTIONS": None}


def toml_value(value):
    if isinstance(value, bool):
        return "true" if value else "false"
    if isinstance(value, int):
        return str(value)
    return '"' + value.replace("\\", "\\\\").replace('"', '\\"') + '"'


class JreCase(harness.WineCase):
    def setUp(self):
        super().setUp()
        jretree.clean_registry(self.wine)
        self.addCleanup(jretree.clean_registry, self.wine)

    def win(self, path) -> str:
        """The lower-case Windows path the launcher compares and caches."""
        return self.wine.to_windows(path).lower()

    def pack(self, name="app.exe", **settings):
        settings.setdefault("configuredServiceName", "JreTest")
        settings.setdefault("applicationType", 0)
        lines = ["[settings]"] + ["%s = %s" % (k, toml_value(v)) for k, v in settings.items()]
        return self.wine.pack(self.dir, "\n".join(lines) + "\n" + MESSAGES, name=name)

    def launch(self, exe, *args, env=None, timeout=60):
        """/run with the log on; the result and the log text."""
        return self.logged_run(exe, "/run", *args, env={**NO_JAVA_ENV, **(env or {})}, timeout=timeout)

    def assertLoadedFrom(self, r, log, bin_dir):
        self.assertIn(LOADED, log)
        self.assertEqual(r.code, 0)
        self.assertRegex(log, r"Trying %s\\[a-z0-9]+\\jvm\.dll \(exists 1\)" % re.escape(self.win(bin_dir)))
        self.assertEqual(r.stderr.strip(), "")

    def assertNotLoaded(self, r, log):
        self.assertNotIn(LOADED, log)
        self.assertEqual(r.code, 1)


class VersionCache(JreCase):
    def probe_files(self):
        return set(self.temp.glob("vek*"))

    def test_first_run_probes_once_and_caches(self):
        jre = make_jre(self.dir / "jre")
        exe = self.pack(jreSearchSequence="Ajre")
        before = self.probe_files()
        r, log = self.launch(exe)
        self.assertEqual(self.probe_files(), before, "the probe's output file is removed")
        self.assertLoadedFrom(r, log, jre.bin)
        self.assertEqual(len(jre.starts()), 1)
        self.assertIn("got version from execution 17.0.2", log)
        self.assertIn("Java version: 17.0.2", log)
        time, version = jretree.read_cache(self.wine, self.win(jre.java_exe))
        self.assertEqual(version, "17.0.2")
        self.assertEqual(time, jretree.file_time(jre.java_exe))

    def test_second_run_starts_nothing(self):
        jre = make_jre(self.dir / "jre")
        exe = self.pack(jreSearchSequence="Ajre")
        self.launch(exe)
        r, log = self.launch(exe)
        self.assertLoadedFrom(r, log, jre.bin)
        self.assertEqual(len(jre.starts()), 1)
        self.assertIn("got version from registry 17.0.2", log)

    def test_replaced_java_exe_is_probed_again(self):
        jre = make_jre(self.dir / "jre")
        exe = self.pack(jreSearchSequence="Ajre")
        self.launch(exe)
        jre.configure(jretree.version_line("11.0.9"))
        stat = os.stat(jre.java_exe)
        os.utime(jre.java_exe, ns=(stat.st_atime_ns, stat.st_mtime_ns + 5_000_000_000))
        r, log = self.launch(exe)
        self.assertLoadedFrom(r, log, jre.bin)
        self.assertEqual(len(jre.starts()), 2)
        self.assertIn("got version from execution 11.0.9", log)
        time, version = jretree.read_cache(self.wine, self.win(jre.java_exe))
        self.assertEqual((time, version), (jretree.file_time(jre.java_exe), "11.0.9"))

    def test_failed_probe_is_cached_as_miss(self):
        jre = make_jre(self.dir / "jre", exit_code=3)
        # An absolute A entry, so that the relative pass does not take it anyway.
        exe = self.pack(jreSearchSequence="A" + self.wine.to_windows(jre.root))
        for run in (1, 2):
            r, log = self.launch(exe)
            self.assertNotLoaded(r, log)
            self.assertIn("Exit Code 3", log)
            self.assertIn("couldn't get version", log)
            self.assertEqual(len(jre.starts()), run, "a failed probe is repeated on the next start")
            self.assertEqual(jretree.read_cache(self.wine, self.win(jre.java_exe))[1], "1.0.0")

    @unittest.skipUnless(harness.long_tier(), "long tier: costs the full minute the probe is given")
    def test_hanging_probe_is_ended(self):
        jre = make_jre(self.dir / "jre", hang=True)
        exe = self.pack(jreSearchSequence="A" + self.wine.to_windows(jre.root))
        before = self.probe_files()
        started = time.time()
        r, log = self.launch(exe, timeout=150)
        self.assertGreaterEqual(time.time() - started, 59)
        self.assertNotLoaded(r, log)
        self.assertIn("Exit Code 259", log)
        self.assertIn("Terminating process", log)
        self.assertIn("couldn't get version", log)
        self.assertEqual(len(jre.starts()), 1)
        self.assertIsNone(jretree.read_cache(self.wine, self.win(jre.java_exe))[1], "a hang is not cached")
        self.assertEqual(self.probe_files(), before, "the probe's output file is removed")

    def test_java_option_variables_suspended_and_restored(self):
        # Two candidates, each probed once: both probes run without the
        # variables, and the second finds them again to suspend.
        old = make_jre(self.dir / "old", "1.6.0_45")
        new = make_jre(self.dir / "new", "17.0.2")
        exe = self.pack(jreSearchSequence="Aold;Anew", minJavaVersion="1.8")
        env = {"_JAVA_OPTIONS": "-Xmx64m", "JAVA_TOOL_OPTIONS": "-Dtool=1", "JDK_JAVA_OPTIONS": "--show-version"}
        r, log = self.launch(exe, env=env)
        self.assertLoadedFrom(r, log, new.bin)
        for jre in (old, new):
            starts = jre.starts()
            self.assertEqual(len(starts), 1)
            variables = starts[0]["variables"]
            for name in env:
                self.assertIsNone(variables[name], name + " must be absent in the probe")
        self.assertEqual(log.count("_JAVA_OPTIONS is -Xmx64m"), 2)
        self.assertEqual(log.count("JAVA_TOOL_OPTIONS is -Dtool=1"), 2)
        self.assertEqual(log.count("JDK_JAVA_OPTIONS is --show-version"), 2)
        self.assertIn("got version from execution 17.0.2", log)

    def test_probe_output_rules(self):
        cases = [
            ('java version "1.8.0_202"', "1.8.0_202"),
            ('openjdk version "11.0.2" 2019-01-15', "11.0.2"),
            ("Picked up something first", None),
            ("", None),
        ]
        for i, (line, version) in enumerate(cases):
            with self.subTest(line=line):
                jre = make_jre(self.dir / ("jre%d" % i), line=line)
                exe = self.pack(jreSearchSequence="A" + self.wine.to_windows(jre.root))
                r, log = self.launch(exe)
                if version:
                    self.assertLoadedFrom(r, log, jre.bin)
                    self.assertIn("Java version: " + version, log)
                else:
                    self.assertNotLoaded(r, log)
                    self.assertIn("couldn't get version", log)
                    self.assertIsNone(jretree.read_cache(self.wine, self.win(jre.java_exe))[1])

    def test_path_with_space_is_probed(self):
        jre = make_jre(self.dir / "my jre")
        exe = self.pack(jreSearchSequence="A" + self.wine.to_windows(jre.root))
        r, log = self.launch(exe)
        self.assertLoadedFrom(r, log, jre.bin)
        command = jre.starts()[0]["command"]
        # The 8.3 form, or the long form in quotes: never a path cut at its space.
        self.assertTrue(command.endswith(" -version"), command)
        program = command[: -len(" -version")]
        self.assertTrue(" " not in program or (program.startswith('"') and program.endswith('"')), command)


class Bounds(JreCase):
    def test_min_and_max(self):
        versions = ["1.8.0_60", "1.8.0", "9", "1.8.1", "1.8.0_202"]
        jres = [make_jre(self.dir / ("v%d" % i), line=jretree.version_line(v, "java")) for i, v in enumerate(versions)]
        sequence = ";".join("A" + self.wine.to_windows(j.root) for j in jres)
        exe = self.pack(jreSearchSequence=sequence, minJavaVersion="1.8.0_101", maxJavaVersion="1.8.0")
        r, log = self.launch(exe)
        self.assertLoadedFrom(r, log, jres[-1].bin)
        self.assertEqual(log.count("checkJavaExe returning 0"), 4)
        self.assertIn("MinVersion: 1.8.0_101, MaxVersion: 1.8.0", log)

    def test_early_access(self):
        cases = [
            ("A entry", {}, False),
            ("A entry with allowBetaJava", {"allowBetaJava": 1}, True),
            ("preferred location", {"preferred": True}, True),
        ]
        for i, (label, options, loaded) in enumerate(cases):
            with self.subTest(label):
                jretree.clean_registry(self.wine)
                jre = make_jre(self.dir / ("ea%d" % i), "11.0.2-ea")
                location = self.wine.to_windows(jre.root)
                options = dict(options)
                app = self.dir / ("app%d" % i)
                app.mkdir()
                if options.pop("preferred", False):
                    (app / ".quarlo").mkdir()
                    (app / ".quarlo" / "pref_jre.cfg").write_text(location + "\r\n")
                    sequence = ""
                else:
                    sequence = "A" + location
                exe = self.wine.pack(app, "[settings]\napplicationType = 0\njreSearchSequence = %s\n%s\n%s" % (
                    toml_value(sequence), "\n".join("%s = %d" % kv for kv in options.items()), MESSAGES))
                r, log = self.launch(exe)
                if loaded:
                    self.assertLoadedFrom(r, log, jre.bin)
                else:
                    self.assertNotLoaded(r, log)
                    self.assertIn("beta vm not allowed", log)

    def test_windowed_application_needs_javaw(self):
        without = make_jre(self.dir / "without")
        with_javaw = make_jre(self.dir / "with", javaw=True)
        exe = self.pack(applicationType=1, jreSearchSequence="A%s;A%s" % (
            self.wine.to_windows(without.root), self.wine.to_windows(with_javaw.root)))
        r, log = self.launch(exe)
        self.assertIn(LOADED, log)
        self.assertIn("checkJavaExe returning 1", log)
        self.assertIn("Trying to load JVM-DLL from %s" % self.win(with_javaw.bin / "javaw.exe"), log)
        self.assertNotIn("Trying to load JVM-DLL from %s" % self.win(without.bin), log)


class SearchSequence(JreCase):
    def test_bundled_jre_out_of_range_only_in_relative_pass(self):
        jre = make_jre(self.dir / "jre", "1.6.0_45")
        exe = self.pack(jreSearchSequence="B.\\jre;Y;EJAVA_HOME;EJDK_HOME;", minJavaVersion="11")
        r, log = self.launch(exe)
        self.assertLoadedFrom(r, log, jre.bin)
        first_pass = log.index("Testing location .\\jre (type B)")
        relative = log.index("Testing relative location .\\jre")
        self.assertLess(first_pass, relative)
        self.assertLess(log.index("Testing location  (type Y)"), relative)
        self.assertLess(log.index("Testing location JAVA_HOME (type E)"), relative)
        self.assertLess(log.index("Testing location JDK_HOME (type E)"), relative)
        self.assertNotIn("Trying to load JVM-DLL", log[:relative])
        self.assertIn("%s exists" % self.win(jre.java_exe), log)

    def test_letters_and_variables(self):
        jre = make_jre(self.dir / "jre")
        exe = self.pack(jreSearchSequence="Qignored;Ac:\\nowhere;R${VENNIC_EXEDIR}jre")
        r, log = self.launch(exe)
        self.assertLoadedFrom(r, log, jre.bin)
        self.assertIn("Testing location ignored (type Q)", log)
        # The argument is expanded before it is tried; the relative pass is not reached.
        self.assertIn("Testing location %s\\jre (type R)" % self.wine.to_windows(self.dir), log)
        self.assertNotIn("Testing relative location", log)

    def test_environment_variable_with_forward_slashes(self):
        jre = make_jre(self.dir / "jdk")
        exe = self.pack(jreSearchSequence="EMY_JAVA")
        r, log = self.launch(exe, env={"MY_JAVA": self.wine.to_windows(jre.root).replace("\\", "/")})
        self.assertLoadedFrom(r, log, jre.bin)

    def test_fixed_variables_after_the_sequence(self):
        for variable in ("VENNIC_JAVA_HOME", "QUARLO_JAVA_HOME"):
            with self.subTest(variable):
                jre = make_jre(self.dir / variable)
                exe = self.pack(name=variable + ".exe", jreSearchSequence="Ac:\\nowhere")
                r, log = self.launch(exe, env={variable: self.wine.to_windows(jre.root)})
                self.assertLoadedFrom(r, log, jre.bin)
                self.assertLess(log.index("Search sequence finished"), log.index("Trying to load JVM-DLL"))

    def test_location_file_with_empty_first_line(self):
        # The empty line names the launcher directory, which holds a runtime.
        jre = make_jre(self.dir)
        (self.dir / ".quarlo").mkdir()
        (self.dir / ".quarlo" / "pref_jre.cfg").write_text("\nc:\\elsewhere\n")
        exe = self.pack(jreSearchSequence="")
        r, log = self.launch(exe)
        self.assertIn("Has preferred location \r\n", log)
        self.assertIn("Using preferred location", log)
        self.assertLoadedFrom(r, log, jre.bin)

    def test_installer_location_after_the_sequence(self):
        wanted = make_jre(self.dir / "installed")
        app = self.dir / "app"
        (app / "rt" / ".quarlo").mkdir(parents=True)
        (app / "rt" / ".quarlo" / "inst_jre.cfg").write_text(self.wine.to_windows(wanted.root) + "\n")
        exe = self.wine.pack(app, "[settings]\napplicationType = 0\ninstallationDirectory = \"rt\"\n"
                                  "jreSearchSequence = \"Ac:\\\\nowhere\"\n" + MESSAGES)
        r, log = self.launch(exe)
        self.assertLoadedFrom(r, log, wanted.bin)
        self.assertLess(log.index("Testing location c:\\nowhere"), log.index("Has installer location"))
        self.assertIn("Using installer location", log)

    def test_previous_installations(self):
        cases = [
            ("HKEY_CURRENT_USER\\SOFTWARE\\tarnwell\\quarlo\\installations", "(user)"),
            ("HKEY_LOCAL_MACHINE\\SOFTWARE\\tarnwell\\quarlo\\installations", "(machine)"),
            ("HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\tarnwell\\quarlo\\installations", "(machine)"),
        ]
        for i, (key, found) in enumerate(cases):
            with self.subTest(key):
                jretree.clean_registry(self.wine)
                install = self.dir / ("install%d" % i)
                jre = make_jre(install / "jre")
                listed = "c:\\gone;;" + self.wine.to_windows(install)
                jretree.reg_import(self.wine, "[%s]\r\n\"my.app\"=%s\r\n\r\n" % (key, jretree.reg_string(listed)))
                exe = self.pack(name="app%d.exe" % i, applicationId="my.app")
                r, log = self.launch(exe)
                self.assertLoadedFrom(r, log, jre.bin)
                self.assertIn("found JRE from previous installation %s" % found, log)
                self.assertIn("found installations: " + listed, log)


class Registry(JreCase):
    JAVASOFT = "HKEY_LOCAL_MACHINE\\SOFTWARE\\JavaSoft\\JRE"

    def test_javasoft_subkeys_in_textual_order_from_the_end(self):
        text = ""
        for v in ("9", "11.0.2", "11", "1.8.0_202"):
            home = self.wine.to_windows(self.dir / ("home-" + v))  # no java.exe there
            text += "[%s\\%s]\r\n\"JavaHome\"=%s\r\n\r\n" % (self.JAVASOFT, v, jretree.reg_string(home))
        jretree.reg_import(self.wine, text)
        exe = self.pack(jreSearchSequence="Y")
        r, log = self.launch(exe)
        self.assertNotLoaded(r, log)
        tried = re.findall(r"checkJavaExe \([^)]*\\home-([^\\]+)\\bin\\java\.exe", log)
        self.assertEqual(tried, ["9", "11.0.2", "11", "1.8.0_202"])

    def test_javasoft_current_version_and_range(self):
        old = make_jre(self.dir / "old", "1.8.0_202")
        new = make_jre(self.dir / "new", "11.0.2")
        text = "[%s]\r\n\"CurrentVersion\"=\"11\"\r\n\r\n" % self.JAVASOFT
        for v, jre in (("1.8", old), ("11", new)):
            text += "[%s\\%s]\r\n\"JavaHome\"=%s\r\n\r\n" % (self.JAVASOFT, v, jretree.reg_string(
                self.wine.to_windows(jre.root)))
        jretree.reg_import(self.wine, text)
        for maximum, wanted in (("", new), ("1.8", old)):
            with self.subTest(maximum=maximum):
                exe = self.pack(name="app%s.exe" % maximum, jreSearchSequence="Y", maxJavaVersion=maximum)
                r, log = self.launch(exe)
                self.assertLoadedFrom(r, log, wanted.bin)
                self.assertIn("found sun %s" % self.win(wanted.java_exe), log)

    def test_require_jdk(self):
        # The JRE key is newer but ignored; the JDK qualifies by its tools.jar.
        jre = make_jre(self.dir / "jre17", "17.0.2")
        jdk = self.dir / "jdk8"
        private = make_jre(jdk / "jre", "1.8.0_202")
        (jdk / "lib").mkdir()
        (jdk / "lib" / "tools.jar").write_bytes(b"PK")
        no_tools = make_jre(self.dir / "jdk11", "11.0.2")
        text = ""
        for key, version, home in ((self.JAVASOFT, "17", jre.root), ("HKEY_LOCAL_MACHINE\\SOFTWARE\\JavaSoft\\JDK", "11",
                                                                     no_tools.root),
                                   ("HKEY_LOCAL_MACHINE\\SOFTWARE\\JavaSoft\\JDK", "1.8", jdk)):
            text += "[%s\\%s]\r\n\"JavaHome\"=%s\r\n\r\n" % (key, version, jretree.reg_string(self.wine.to_windows(home)))
        jretree.reg_import(self.wine, text)
        exe = self.pack(jreSearchSequence="Y", requireJdk=1)
        r, log = self.launch(exe)
        self.assertLoadedFrom(r, log, private.bin)
        self.assertNotIn("checkJavaExe (%s" % self.win(jre.java_exe), log)
        self.assertNotIn("checkJavaExe (%s" % self.win(no_tools.java_exe), log)

    def located(self, root, jre):
        key = "%s\\SOFTWARE\\tarnwell\\vennic\\locatedjvms\\%s" % (root, self.win(jre.java_exe).replace("\\", "/"))
        return "[%s]\r\n\r\n" % key

    def test_located_jvms_machine_wins_a_tie(self):
        cases = [("11.0.2", "11.0.2", "machine"), ("11.0.3", "11.0.2", "user"), ("11.0.2", "11.0.3", "machine")]
        for i, (user_version, machine_version, winner) in enumerate(cases):
            with self.subTest(user=user_version, machine=machine_version):
                jretree.clean_registry(self.wine)
                user = make_jre(self.dir / ("user%d" % i), user_version)
                machine = make_jre(self.dir / ("machine%d" % i), machine_version)
                jretree.reg_import(self.wine, self.located("HKEY_CURRENT_USER", user) +
                                   self.located("HKEY_LOCAL_MACHINE", machine))
                exe = self.pack(name="app%d.exe" % i, jreSearchSequence="Y")
                r, log = self.launch(exe)
                wanted = machine if winner == "machine" else user
                self.assertLoadedFrom(r, log, wanted.bin)
                self.assertIn("found located %s" % self.win(wanted.java_exe), log)

    def test_private_jres_only(self):
        other = make_jre(self.dir / "other", "17.0.2")
        private = make_jre(self.dir / "qar_jres" / "jre", "11.0.2")
        jretree.reg_import(self.wine, self.located("HKEY_CURRENT_USER", other) +
                           self.located("HKEY_CURRENT_USER", private))
        exe = self.pack(jreSearchSequence="Y", privateJresOnly=1)
        r, log = self.launch(exe)
        self.assertLoadedFrom(r, log, private.bin)
        self.assertNotIn("checkJavaExe (%s" % self.win(other.java_exe), log)

    def test_gives_up_after_fifty_unloadable_candidates(self):
        # Empty java.exe files with cached versions: none is run, none loads.
        text = ""
        for i in range(55):
            java = self.dir / ("j%02d" % i) / "bin" / "java.exe"
            java.parent.mkdir(parents=True)
            java.write_bytes(b"")
            key = "HKEY_CURRENT_USER\\SOFTWARE\\tarnwell\\vennic\\locatedjvms\\%s" % self.win(java).replace("\\", "/")
            text += "[%s]\r\n\r\n" % key
            text += jretree.cache_entry_text(self.win(java), jretree.file_time(java), "11.0.%d" % i)
        jretree.reg_import(self.wine, text)
        exe = self.pack(jreSearchSequence="Y")
        r, log = self.launch(exe)
        self.assertNotLoaded(r, log)
        marked = re.findall(r"add non-working java (\S+)", log)
        self.assertEqual(len(marked), 50)
        # Newest first: each round takes the newest one not yet given up.
        self.assertEqual(marked[0], self.win(self.dir / "j54" / "bin" / "java.exe"))
        self.assertNotIn("got version from execution", log)
        self.assertIn("The JVM could not be started.", r.stderr)


class Loading(JreCase):
    def test_private_jre_of_a_jdk(self):
        jdk = make_jre(self.dir / "jdk", jvm=None, private_jre=True)
        exe = self.pack(jreSearchSequence="A" + self.wine.to_windows(jdk.root))
        r, log = self.launch(exe)
        self.assertIn(LOADED, log)
        private_bin = self.win(jdk.bin) + "\\..\\jre\\bin"
        self.assertIn("Trying %s\\client\\jvm.dll (exists 1)" % private_bin, log)
        last_path = re.findall(r"Setting PATH \d+ (.*)\r\n", log)[-1]
        self.assertTrue(last_path.startswith(private_bin + ";"), last_path)

    def test_configured_type_first_then_fixed_order(self):
        jre = make_jre(self.dir / "jre", types=("hotspot",))
        exe = self.pack(jreSearchSequence="Ajre", jvmTypeDirectory="server")
        r, log = self.launch(exe)
        self.assertLoadedFrom(r, log, jre.bin)
        tried = re.findall(r"Trying [^\r]*\\(\w+)\\jvm\.dll \(exists (\d)\)", log)
        self.assertEqual(tried, [("server", "0"), ("client", "0"), ("server", "0"), ("j9vm", "0"), ("hotspot", "1")])

    def test_dll_directory_registered_and_removed(self):
        # A JDK whose bin and private jre\\bin both lack a jvm.dll.
        broken = make_jre(self.dir / "broken", jvm=None, private_jre=True, private_types=())
        good = make_jre(self.dir / "good")
        exe = self.pack(jreSearchSequence="A%s;A%s" % (self.wine.to_windows(broken.root),
                                                      self.wine.to_windows(good.root)), useDllDirectories=1)
        r, log = self.launch(exe)
        self.assertLoadedFrom(r, log, good.bin)
        added = re.findall(r"Adding DLL directory (.*)\r\n", log)
        # The broken runtime's bin and its private JRE, then the good one's bin.
        self.assertEqual(added, [self.win(broken.bin), self.win(broken.bin) + "\\..\\jre\\bin", self.win(good.bin)])
        self.assertEqual(log.count("Removing DLL directory"), 2)

    def test_ucrt_preloaded_only_before_windows_10(self):
        jre = make_jre(self.dir / "jre")
        (jre.bin / "ucrtbase.dll").write_bytes((jretree.TESTING64 / "jvm.dll").read_bytes())
        key = "HKCU\\Software\\Wine\\AppDefaults\\ucrt.exe"
        self.addCleanup(self.wine.reg_delete, key)
        exe = self.pack(name="ucrt.exe", jreSearchSequence="Ajre")
        for version, preloaded in (("win7", True), ("win81", True), ("win10", False)):
            with self.subTest(version):
                # The version Wine reports to this program.
                self.wine.reg_add(key, "Version", version)
                r, log = self.launch(exe)
                self.assertLoadedFrom(r, log, jre.bin)
                self.assertEqual("Preloading ucrtbase.dll 4" in log, preloaded)
                self.assertNotIn("Could not preload ucrtbase.dll", log)

    def test_path_restored_exactly_when_loading_fails(self):
        # The first runtime cannot be loaded (a 32-bit jvm.dll, then nothing in
        # its private JRE); the second one's probe sees PATH as the first did.
        broken = make_jre(self.dir / "broken", jvm="i686", types=("client", "server"))
        second = make_jre(self.dir / "second", "1.6.0_45")
        exe = self.pack(jreSearchSequence="A%s;A%s" % (self.wine.to_windows(broken.root),
                                                      self.wine.to_windows(second.root)), minJavaVersion="11")
        # A PATH entry the narrow code page cannot hold must come back as it was.
        jretree.reg_import(self.wine, '[HKEY_CURRENT_USER\\Environment]\r\n"PATH"="C:\\\\t\\\\\u03a9 tools"\r\n\r\n')
        self.addCleanup(self.wine.run_raw, ["reg", "delete", "HKCU\\Environment", "/v", "PATH", "/f"])
        r, log = self.launch(exe)
        self.assertNotLoaded(r, log)
        self.assertRegex(log, r"Failed with error code \d+")
        before = broken.starts()[0]["variables"]["PATH"]
        after = second.starts()[0]["variables"]["PATH"]
        self.assertIn("\u03a9 tools", before)
        self.assertEqual(after, before)

    def test_message_by_location_kind(self):
        unloadable = make_jre(self.dir / "unloadable", jvm=None)
        noexport = make_jre(self.dir / "noexport", jvm="noexport")
        on_path = make_jre(self.dir / "pathapp", jvm=None)  # the app goes beside its java.exe
        cases = [
            ("nothing", self.dir, "Ac:\\nowhere", {}, "ERROR: No JVM found",
             "No JVM found. Install a 64-bit JRE."),
            ("search path", on_path.bin, "S", {}, "ERROR: Could not get DLL-Handle.",
             "No JVM found. Install a 64-bit JRE."),
            ("directory", self.dir, "A" + self.wine.to_windows(unloadable.root), {},
             "ERROR: Could not get DLL-Handle.", "The JVM at %s is damaged." % self.wine.to_windows(unloadable.root)),
            ("no JNI_CreateJavaVM", self.dir, "A" + self.wine.to_windows(noexport.root), {},
             "ERROR: Could not load functions", "The JVM at %s is damaged." % self.wine.to_windows(noexport.root)),
            ("variable", self.dir, "EMY_JAVA", {"MY_JAVA": self.wine.to_windows(unloadable.root)},
             "ERROR: Could not get DLL-Handle.", "MY_JAVA does not point to a working JRE."),
        ]
        for i, (label, app, sequence, env, logged, message) in enumerate(cases):
            with self.subTest(label):
                exe = self.wine.pack(app, "[settings]\napplicationType = 0\njreSearchSequence = %s\n%s" % (
                    toml_value(sequence), MESSAGES), name="app%d.exe" % i)
                r, log = self.launch(exe, env=env)
                self.assertNotLoaded(r, log)
                self.assertIn(logged, log)
                self.assertIn(message, r.stderr)


class PackedJre(JreCase):
    def test_unpacks_missing_jars_once(self):
        jre = make_jre(self.dir / "jre", packed=("lib/rt.jar", "lib/ext/a.jar"), unpack200=True)
        exe = self.pack(jreSearchSequence="Ajre")
        r, log = self.launch(exe)
        self.assertLoadedFrom(r, log, jre.bin)
        self.assertEqual(r.stdout, "Preparing JRE ...\r\n")
        commands = jre.unpack_commands()
        root = self.win(jre.root)
        self.assertEqual(commands, [
            '-r "%s\\lib\\rt.jar.pack" "%s\\lib\\rt.jar"' % (root, root),
            '-r "%s\\lib\\ext\\a.jar.pack" "%s\\lib\\ext\\a.jar"' % (root, root),
        ])
        self.assertFalse((jre.root / "lib" / "rt.jar.pack").exists())
        self.assertFalse((jre.root / "lib" / "ext" / "a.jar.pack").exists())
        self.assertEqual((jre.root / "lib" / "rt.jar").read_text(), "unpacked from packed lib/rt.jar")
        self.assertIn("Unpacking JRE done", log)

        r, log = self.launch(exe)
        self.assertLoadedFrom(r, log, jre.bin)
        self.assertEqual(r.stdout, "")
        self.assertEqual(len(jre.unpack_commands()), 2)
        self.assertNotIn("Unpacking JRE", log)

    def test_present_jar_and_other_names_are_left_alone(self):
        jre = make_jre(self.dir / "jre", packed=("lib/rt.jar",), unpack200=True)
        (jre.root / "lib" / "rt.jar").write_text("real jar")
        (jre.root / "lib" / "x.jar.pack.bak").write_text("backup")
        exe = self.pack(jreSearchSequence="Ajre")
        r, log = self.launch(exe)
        self.assertLoadedFrom(r, log, jre.bin)
        self.assertEqual(r.stdout, "")
        self.assertEqual(jre.unpack_commands(), [])
        self.assertTrue((jre.root / "lib" / "rt.jar.pack").exists())
        self.assertEqual((jre.root / "lib" / "rt.jar").read_text(), "real jar")
        self.assertTrue((jre.root / "lib" / "x.jar.pack.bak").exists())
        self.assertFalse((jre.root / "lib" / "x.jar").exists())

    def test_missing_tool_ends_the_launch(self):
        jre = make_jre(self.dir / "jre", packed=("lib/rt.jar",), unpack200=False)
        exe = self.pack(jreSearchSequence="Ajre")
        r, log = self.launch(exe)
        self.assertEqual(r.code, 1)
        self.assertIn("could not create unpack process", log)
        self.assertIn("An internal error occurred (error code: 20)", r.stderr)
        self.assertNotIn("Trying to load JVM-DLL", log)
        self.assertTrue((jre.root / "lib" / "rt.jar.pack").exists())


if __name__ == "__main__":
    unittest.main()
