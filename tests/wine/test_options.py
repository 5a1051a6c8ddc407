"""The JVM option list under Wine: every source of options at once, checked
against the "vmoption i:" lines of the log, and a required class-path piece
that is missing. The launcher properties come first (tests/wine/test_java_launch.py);
these tests look at what follows them."""

import re
import time

import harness
import jretree
from jretree import make_jre
from launch_helpers import per_run_dirs, shown_with_log
from test_jre import NO_JAVA_ENV


def options_of(log: str):
    """The option list a run logged, numbered from 0 and as many as counted."""
    found = re.findall(r"\] vmoption (\d+): (.*)\r\n", log)
    count = int(re.search(r"\] vmoption count (\d+)\r\n", log).group(1))
    assert [int(i) for i, _ in found] == list(range(count)), found
    return [text for _, text in found]


class OptionList(harness.WineCase):
    def setUp(self):
        super().setUp()
        jretree.clean_registry(self.wine)
        self.addCleanup(jretree.clean_registry, self.wine)
        make_jre(self.dir / "jre", "17.0.2")

    def test_every_source_in_order(self):
        d = self.dir
        lib = d / "lib"
        lib.mkdir()
        for name in ("b.jar", "a.zip", "a.jar"):
            (lib / name).write_bytes(b"PK")
        (d / "mods").mkdir()
        (d / "cfg").mkdir()
        (d / "app.vmoptions").write_bytes(
            b"-Xmx1g\r\n# a comment\r\n   -Dfile=a b  \r\n-include-options cfg\\extra.vmoptions\r\n"
            b"-classpath/a ${launcher:sys.launcherDirectory}tail.jar\r\n")
        # Included from a file: relative to that file's directory.
        (d / "cfg" / "extra.vmoptions").write_bytes(b"-Dextra=1\n-include-options deeper.vmoptions\n")
        (d / "cfg" / "deeper.vmoptions").write_bytes(b"-Ddeeper=1\n")
        toml = r"""
[settings]
configuredServiceName = "OptionTest"
applicationType = 0
flavour = "q"
installationDirectory = "."
jreSearchSequence = "Ajre"
vmOptions = "-Xmx256m --add-opens java.base/java.lang=ALL-UNNAMED"
versionSpecificOptionCount = 2
10201 = "8-8"
10202 = "-Dspecific=8"
10203 = "11-99"
10204 = "-Dspecific=${launcher:sys.pathlistSeparator}17"
useDefaultVmOptionsFile = true
allowJavaOptionArguments = true
classPath = "S0lib"
modulePath = "S0mods"
mainClassInModule = true
mainClass = "com.acme.app/com.acme.app.Main"

[[file]]
name = 'inc.jar'
source = 'src/inc.jar'

[[file]]
name = 'user\u.jar'
source = 'src/u.jar'
"""
        exe = self.wine.pack(d, toml, files={"inc.jar": b"PK-inc", "u.jar": b"PK-user"})
        r, log = self.logged_run(exe, "/run", "-J-Xmx2g", "-Dsun.locale.formatasdefault=false",
                                 "-J-classpath/p C:\\pre.jar", env=NO_JAVA_ENV, lang="pt_BR.UTF-8")
        self.assertEqual(r.code, 0)
        self.assertLess(log.index("Loading of JVM-DLL successful"), log.index("vmoption count"))
        app = self.wine.to_windows(d)
        temp = per_run_dirs(log)[0]
        # The system's own order of the archives; every jar before every zip.
        jars = re.findall(r"\\lib\\([ab]\.jar);", log)[:2]
        self.assertEqual(sorted(jars), ["a.jar", "b.jar"])
        options = options_of(log)
        properties = [o for o in options if o.startswith(("-Dvennic.", "-Dsun.java.command=", "-Djava.library.path="))]
        self.assertEqual(options[:len(properties)], properties, "the launcher properties come first")
        self.assertEqual(options[len(properties):], [
            "-Xmx256m",
            "--add-opens=java.base/java.lang=ALL-UNNAMED",
            "-Dspecific=;17",
            "-Dsun.locale.formatasdefault=false",
            "-Duser.language=pt",
            "-Duser.country=BR",
            "-Xmx1g",
            "-Dfile=a b",
            "-Dextra=1",
            "-Ddeeper=1",
            "-Xmx2g",
            "-Djava.class.path=C:\\pre.jar;%s\\user\\u.jar;%s\\lib\\%s;%s\\lib\\%s;%s\\lib\\a.zip;%s\\tail.jar" % (
                temp, app, jars[0], app, jars[1], app, app),
            "--module-path=%s\\mods;%s\\inc.jar;%s\\.quarlo\\qarruntime.jar" % (app, temp, app),
            "--add-opens=com.acme.app/com.acme.app=com.quarlo.runtime",
            "--add-modules=com.acme.app,com.quarlo.runtime",
            "-Dquarlo.noRedir=true",
        ])
        self.assertTrue(self.wine.to_unix(temp).exists(), "after a normal end the Java side cleans up")

    def test_missing_required_archive(self):
        toml = r"""
[settings]
configuredServiceName = "OptionTest"
applicationType = 0
jreSearchSequence = "Ajre"
classPath = 'A0lib\other.jar;A1lib\x.jar'

[messages]
classPathEntryMissing = "Not found: {0}"

[[file]]
name = 'inc.jar'
source = 'src/inc.jar'
"""
        exe = self.wine.pack(self.dir, toml, files={"inc.jar": b"PK"})
        r, log = self.logged_run(exe, "/run", env=NO_JAVA_ENV)
        self.assertEqual(r.code, 1)
        self.assertRegex(r.stderr, shown_with_log("Not found: lib\\x.jar"))
        self.assertNotIn("vmoption count", log)
        [temp] = per_run_dirs(log)
        self.assertFalse(self.wine.to_unix(temp).exists(), "the per-run directory is removed")

    def test_class_path_pieces_from_environment_variables(self):
        """The process environment as the launcher reads it: a set variable
        gives its value, an empty one gives nothing but is still defined, and
        only an unset one is "not defined"."""
        def app(class_path):
            toml = (
                '[settings]\nconfiguredServiceName = "OptionTest"\napplicationType = 0\n'
                'jreSearchSequence = "Ajre"\nclassPath = \'%s\'\n\n[messages]\n'
                'classPathEntryMissing = "Missing: {0}"\nvariableUndefined = "Undefined: {0}"\n' % class_path)
            return self.wine.pack(self.dir, toml)

        env = dict(NO_JAVA_ENV, WL_SET="C:\\set.jar", WL_EMPTY="", WL_UNSET=None)
        r, log = self.logged_run(app("E0WL_SET;E0WL_EMPTY;E0WL_UNSET"), "/run", env=env)
        self.assertEqual(r.code, 0, r.stderr)
        self.assertIn("-Djava.class.path=C:\\set.jar", options_of(log))
        for class_path, shown in (("E1WL_UNSET", "Undefined: WL_UNSET"), ("E1WL_EMPTY", "Missing: WL_EMPTY")):
            with self.subTest(class_path):
                r, log = self.logged_run(app(class_path), "/run", env=env)
                self.assertEqual(r.code, 1)
                self.assertRegex(r.stderr, shown_with_log(shown))
                self.assertNotIn("vmoption count", log)


class LargeIncludedFile(harness.WineCase):
    """An included options file of 2 GB, such as a log named by mistake (here a
    sparse one: NUL bytes between a few lines), is read through a buffer of
    fixed size: the launcher neither ends without a word nor grows with the
    file, and the options in it are applied."""

    SIZE = 2 * 2**30
    # What reading the large file may add to the peak working set.
    BOUND = 8 * 2**20

    def setUp(self):
        super().setUp()
        jretree.clean_registry(self.wine)
        self.addCleanup(jretree.clean_registry, self.wine)
        self.jre = make_jre(self.dir / "jre", "17.0.2")

    def pack(self, name, vm_options):
        toml = ('[settings]\nconfiguredServiceName = "OptionTest"\napplicationType = 0\n'
                'jreSearchSequence = "Ajre"\nmainClass = "com.example.Main"\nvmOptions = "%s"\n' % vm_options)
        return self.wine.pack(self.dir, toml, name=name)

    def run_app(self, exe, *jvm):
        self.jre.configure_jvm(*jvm)
        for old in self.jre.bin.glob("*/fake-jvm.record"):
            old.unlink()
        started = time.monotonic()
        r = self.wine.run(exe, "/run", env=NO_JAVA_ENV, timeout=300)
        return r, time.monotonic() - started, self.jre.jvm_record()

    def test_two_gigabytes_included(self):
        big = self.dir / "big.log"
        self.addCleanup(big.unlink)
        with open(big, "wb") as f:
            f.write(b"-Dbefore=1\r\n")
            f.truncate(self.SIZE)
            f.seek(self.SIZE)
            f.write(b"\r\n-Dafter=2\r\n-Xss2m\r\n")
        self.assertLess(big.stat().st_blocks * 512, 2**20, "a sparse file")
        base = self.pack("base.exe", "-Dbase=1")
        app = self.pack("app.exe", "-include-options big.log")

        peaks = {}
        for exe in (base, app):
            r, _, record = self.run_app(exe, "create=peak")
            self.assertEqual(r.code, 0, r.stderr)
            [peaks[exe.name]] = [int(e[1]) for e in record if e[0] == "peak"]
        grown = peaks["app.exe"] - peaks["base.exe"]
        print(f"\n  peak working set: {peaks['base.exe'] / 2**20:.1f} MiB without the file, "
              f"{peaks['app.exe'] / 2**20:.1f} MiB with it (+{grown / 2**20:.2f} MiB, bound "
              f"{self.BOUND / 2**20:.0f} MiB)")
        self.assertLess(grown, self.BOUND)

        _, base_time, _ = self.run_app(base)
        r, app_time, record = self.run_app(app)
        print(f"  time to run: {base_time:.2f} s without the file, {app_time:.2f} s with it")
        self.assertEqual(r.code, 0, r.stderr)
        options = [f[1] for f in record if f[0] == "option"]
        self.assertEqual([o for o in options if o in ("-Dbefore=1", "-Dafter=2", "-Xss2m")],
                         ["-Dbefore=1", "-Dafter=2", "-Xss2m"])
        self.assertNotIn("", options, "the NUL bytes add no option")
        self.assertIn(("main",), record)
