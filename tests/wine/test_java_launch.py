"""Running the Java application under Wine with the stand-in jvm.dll
(testing/fake_jvm.cpp): the option list the JVM receives, the launch thread's
stack, the launcher properties, the argument array of WinLauncher.main, and
the exit code that follows the outcome of main."""

import re
import unittest

import harness
import jretree
from jretree import make_jre
from launch_helpers import per_run_dirs, shown_with_log

MESSAGES = """
[messages]
mainClassNotFound = "The main class could not be loaded."
mainMethodNotFound = "The main method was not found."
"""

NO_JAVA_ENV = {"JAVA_HOME": None, "JDK_HOME": None, "VENNIC_JAVA_HOME": None, "QUARLO_JAVA_HOME": None,
               "_JAVA_OPTIONS": None, "JAVA_TOOL_OPTIONS": None, "JDK_JAVA_OPTIONS": None, "MANPATH": None}


def fields(record, kind):
    """The fields behind the kind of every event of that kind."""
    return [event[1:] for event in record if event[0] == kind]


class JavaCase(harness.WineCase):
    def setUp(self):
        super().setUp()
        jretree.clean_registry(self.wine)
        self.addCleanup(jretree.clean_registry, self.wine)
        self.jre = make_jre(self.dir / "jre")

    def pack(self, settings="", files=None, main_class="com.example.Main"):
        toml = ('[settings]\nconfiguredServiceName = "JavaTest"\napplicationType = 0\njreSearchSequence = "Ajre"\n'
                'mainClass = "%s"\n' % main_class + settings + MESSAGES)
        if files:
            toml += "".join(f"\n[[file]]\nname = '{name}'\nsource = 'src/{name}'\n" for name in files)
        return self.wine.pack(self.dir, toml, files=files)

    def launch(self, exe, *args, jvm=(), env=None):
        """Runs with the log on; the result, the log and the stand-in's record."""
        self.jre.configure_jvm(*jvm)
        for old in self.jre.bin.glob("*/fake-jvm.record"):
            old.unlink()
        r, log = self.logged_run(exe, *(args or ("/run",)), env={**NO_JAVA_ENV, **(env or {})})
        record = self.jre.jvm_record()
        self.assertEqual([e for e in record if e[0] in ("violation", "unexpected")], [], "clean JNI use")
        return r, log, record

    def options(self, record):
        return [f[0] for f in fields(record, "option")]

    def exe_path(self, exe):
        return self.wine.to_windows(exe)


class OptionList(JavaCase):
    def test_full_list_of_a_quarlo_worker(self):
        """Every launcher property is present here: the quarlo family, the
        service's worker role and an included file."""
        exe = self.pack('flavour = "q"\nvmOptions = "-Xmx256m -Dapp.x=1"\n', files={"a.jar": b"PK"})
        r, log, record = self.launch(exe, "Svc", "__qar_restart")
        self.assertEqual(r.code, 0, log)
        options = self.options(record)
        self.assertEqual(options, re.findall(r"vmoption \d+: (.*)\r\n", log), "the JVM gets the logged list")
        self.assertEqual(fields(record, "version"), [("10002",)])
        self.assertEqual(fields(record, "ignoreUnrecognized"), [("1",)])

        exe_path = self.exe_path(exe)
        per_run = per_run_dirs(log)[0]
        path = re.findall(r"Setting PATH \d+ (.*)\r\n", log)[-1]
        semaphore = "Local\\" + exe_path.lower().replace("\\", "_") + "0"
        app_dir = self.wine.to_windows(self.dir)
        self.assertEqual(options, [
            "-Dvennic.semaphoreName=" + semaphore,
            "-Dvennic.isQuarlo=true",
            "-Dvennic.isService=true",
            "-Dvennic.moduleName=" + exe_path,
            "-Dsun.java.command=" + exe_path,
            "-Dvennic.tempDir=" + per_run,
            "-Dvennic.unextractedPosition=%d" % exe.stat().st_size,
            "-Djava.library.path=" + path,
            "-Dvennic.consoleCodepage=cp0",  # no console: the pipes of the test
            "-Xmx256m",
            "-Dapp.x=1",
            "-Djava.class.path=%s\\a.jar;%s\\.quarlo\\qarruntime.jar" % (per_run, app_dir),
            "-Xrs",
        ])
        self.assertIn(("FindClass", "com/quarlo/runtime/launcher/WinLauncher"), record)
        self.assertIn("load helper dll", log)

    def test_manpath_and_no_included_files(self):
        exe = self.pack()
        r, log, record = self.launch(exe, env={"MANPATH": "/usr/share/man"})
        self.assertEqual(r.code, 0, log)
        options = self.options(record)
        self.assertEqual(options[:6], [
            "-Dvennic.semaphoreName=Local\\" + self.exe_path(exe).lower().replace("\\", "_") + "0",
            "-Dvennic.moduleName=" + self.exe_path(exe),
            "-Dsun.java.command=" + self.exe_path(exe),
            "-Dvennic.tempDir=",
            "-Dvennic.unextractedPosition=0",
            options[5],
        ])
        self.assertTrue(options[5].startswith("-Djava.library.path=" + self.wine.to_windows(self.jre.bin).lower()))
        self.assertFalse([o for o in options if "vennic.consoleCodepage" in o])


class Stack(JavaCase):
    def test_stack_size_follows_the_last_xss(self):
        # Wine reserves at least 1 MiB for every thread; smaller sizes show
        # in the log line only.
        cases = [("-Xss512k", 524288, None), ("-Xss1k", 65536, None), ("-Xss4g", 0, None),
                 ("-Xss1m -Xss2m", 2097152, 2097152), ("-Xss3m", 3145728, 3145728)]
        for options, used, observed in cases:
            with self.subTest(options=options):
                exe = self.pack('vmOptions = "%s"\n' % options)
                r, log, record = self.launch(exe)
                self.assertEqual(r.code, 0, log)
                self.assertIn("used stack size %d\r\n" % used, log)
                if observed:
                    self.assertEqual(fields(record, "stack"), [(str(observed),)])


class Arguments(JavaCase):
    SETTINGS = ('mainClassInModule = 1\nredirectStderr = 1\nstderrFile = "logs\\\\err.log"\nredirectStdout = 1\nstdoutFile = "$CONSOLE"\n'
                'fifthLauncherFlag = 1\napplicationArguments = "c1 \'c 2\'"\n')

    def test_argument_array(self):
        user = ["u1", "-J-Xmx1g", "-Dsun.locale.formatasdefault=true", "\u00fc\U0001F600"]
        for allow in (1, 0):
            with self.subTest(allowJavaOptionArguments=allow):
                exe = self.pack(self.SETTINGS + "allowJavaOptionArguments = %d\n" % allow,
                                main_class="com.example.app/com.example.Main")
                r, log, record = self.launch(exe, "/run", *user)
                self.assertEqual(r.code, 0, log)
                args = [f[1] for f in fields(record, "arg")]
                self.assertEqual(args[:5], ["false", "/com.example.app/com.example.Main",
                                            self.wine.to_windows(self.dir) + "\\logs\\err.log", "$CONSOLE", "true"])
                self.assertTrue(args[5].lower().endswith("\\app.exe"), args[5])
                expected = ["c1", "c 2", "u1"] + ([] if allow else ["-J-Xmx1g"]) + ["\u00fc\U0001F600"]
                self.assertEqual(args[6:], expected)
                self.assertEqual(fields(record, "setProperty"), [("vennic.moduleName", self.exe_path(exe))])
                self.assertEqual(fields(record, "localRefs"), [("0",)], "every local reference is deleted")


class Outcome(JavaCase):
    def test_exit_code_follows_main(self):
        cases = [((), 0, "launch done"), (("main=exit:7",), 7, "calling main"),
                 (("create=fail",), 1, "ERROR: could not initialize JVM")]
        exe = self.pack()
        for jvm, code, line in cases:
            with self.subTest(jvm=jvm):
                r, log, record = self.launch(exe, jvm=jvm)
                self.assertEqual(r.code, code, log)
                self.assertIn(line + "\r\n", log)
                self.assertEqual(r.stdout, "")

    def test_thrown_exception_is_reported(self):
        exe = self.pack()
        r, log, record = self.launch(exe, jvm=("main=throw",))
        self.assertEqual(r.code, 1)
        self.assertIn("ERROR: an exception occurred\r\nERROR: java.lang.RuntimeException: stand-in failure\r\n",
                      re.sub(r"\[\d+:\d+\] ", "", log))
        self.assertIn("java/lang/RuntimeException: stand-in failure", r.stderr, "described on the error stream")
        self.assertIn("ERROR: could not call main", log)
        self.assertNotIn(("DestroyJavaVM",), record, "the JVM is left to the process exit")

    def test_missing_launcher_class_or_main(self):
        exe = self.pack()
        cases = [("missing=com/vennic/runtime/WinLauncher", "The main class could not be loaded.",
                  "could not find main class"),
                 ("missing=main", "The main method was not found.", "could not find main method")]
        for jvm, message, line in cases:
            with self.subTest(jvm=jvm):
                r, log, record = self.launch(exe, jvm=(jvm,))
                self.assertEqual(r.code, 1)
                self.assertRegex(r.stderr, shown_with_log(message))
                self.assertIn("ERROR: " + line + "\r\n", log)
                self.assertNotIn(("main",), record)


if __name__ == "__main__":
    unittest.main()
