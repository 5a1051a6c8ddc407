"""/diagnose under Wine: the JRE search with a verdict for every candidate,
the option list with the source of each option, a required class-path entry
that is missing, the JSON form read back field by field, and that nothing is
left behind: no per-run directory, no extracted file, no lock."""

import json

import harness
import jretree
from jretree import make_jre
from launch_helpers import Holder, forget_pid, instance_key, semaphore_name
from test_jre import NO_JAVA_ENV

MESSAGES = """
[messages]
noJvmFound = "No JVM found. Install a {0}-bit JRE."
classPathEntryMissing = "Not found: {0}"
"""


def toml_text(settings, extra=""):
    lines = ["[settings]"]
    for key, value in settings.items():
        if isinstance(value, bool):
            value = "true" if value else "false"
        elif isinstance(value, str):
            value = "'" + value + "'"
        lines.append("%s = %s" % (key, value))
    return "\n".join(lines) + "\n" + MESSAGES + extra


class Diagnose(harness.WineCase):
    def setUp(self):
        super().setUp()
        jretree.clean_registry(self.wine)
        self.addCleanup(jretree.clean_registry, self.wine)

    def pack(self, extra="", files=None, **settings):
        settings.setdefault("configuredServiceName", "DiagnoseTest")
        settings.setdefault("applicationType", 0)
        settings.setdefault("mainClass", "com.example.Main")
        return self.wine.pack(self.dir, toml_text(settings, extra), files=files)

    def diagnose(self, exe, *args, env=None):
        """/diagnose --json with the log on: the result and the parsed report."""
        r, log = self.logged_run(exe, "/diagnose", "--json", *args, env={**NO_JAVA_ENV, **(env or {})},
                                 timeout=120)
        self.assertEqual(r.stderr.strip(), "")
        return r, json.loads(r.stdout), log

    def temp_entries(self):
        return {p.name for p in self.temp.iterdir() if not p.name.startswith("qar_nlog")}

    def win(self, path):
        return self.wine.to_windows(path).lower()

    def test_every_candidate_gets_its_verdict(self):
        d = self.dir

        def jdk(name, version, tools=True, **kw):
            # With a JDK required, the java.exe is looked for in home\jre\bin.
            home = d / name
            make_jre(home / "jre", version, **kw)
            if tools:
                (home / "lib").mkdir(parents=True, exist_ok=True)
                (home / "lib" / "tools.jar").write_bytes(b"PK")
            return home

        homes = [
            (jdk("old", "1.8.0_202"), "too old"),
            (jdk("new", "21.0.1"), "too new"),
            (jdk("early", "17.0.1-ea"), "beta refused"),
            (jdk("broken", "17.0.2", exit_code=3), "not working"),
            (jdk("plain", "17.0.2", tools=False), "JDK required"),
            (jdk("i686", "17.0.2", jvm="i686"), "wrong bitness"),
            (jdk("good", "17.0.3"), "chosen"),
            (jdk("later", "17.0.4"), None),  # never looked at: the search ended
        ]
        sequence = ";".join("A" + self.wine.to_windows(home) for home, _ in homes)
        exe = self.pack(jreSearchSequence=sequence, minJavaVersion="11", maxJavaVersion="17", requireJdk=1)
        before = self.temp_entries()
        r, report, log = self.diagnose(exe)
        self.assertEqual(r.code, 0, r.stdout)
        self.assertEqual(self.temp_entries(), before, "the version probes leave nothing behind")

        search = report["jreSearch"]
        self.assertEqual((search["minimum"], search["maximum"], search["sequence"]), ("11", "17", sequence))
        steps = search["steps"]
        self.assertEqual(steps[0], {"step": "preferred location"})
        entries = [s for s in steps if s["step"] == "entry A"]
        self.assertEqual(len(entries), 7, steps)
        for (home, verdict), step in zip(homes, entries):
            with self.subTest(verdict):
                self.assertEqual(step["argument"], self.wine.to_windows(home))
                [candidate] = step["candidates"]
                self.assertEqual(candidate["java"].lower(), self.win(home / "jre" / "bin" / "java.exe"))
                self.assertEqual(candidate["verdict"], verdict)
        self.assertEqual(entries[0]["candidates"][0]["version"], "1.8.0_202")
        self.assertEqual(entries[3]["candidates"][0]["version"], "")
        self.assertNotIn("detail", entries[5]["candidates"][0])
        library = report["jvmLibrary"]
        self.assertEqual(library["path"].lower(), self.win(homes[6][0] / "jre" / "bin" / "server" / "jvm.dll"))
        self.assertEqual((library["foundBy"], library["location"]), ("directory", self.wine.to_windows(homes[6][0])))
        self.assertEqual(report["result"], {"wouldStart": True})
        self.assertIn("Loading of JVM-DLL successful", log)

    def test_text_form_and_options_with_their_sources(self):
        d = self.dir
        jre = make_jre(d / "jre", "17.0.2")
        (d / "cfg").mkdir()
        (d / "lib").mkdir()
        (d / "lib" / "a.jar").write_bytes(b"PK")
        (d / "app.vmoptions").write_bytes(b"-Xmx1g\r\n-include-options cfg\\extra.vmoptions\r\n")
        (d / "cfg" / "extra.vmoptions").write_bytes(b"-Dextra=1\r\n-Xss512k\r\n")
        extra = ("\n[[file]]\nname = 'inc.jar'\nsource = 'src/inc.jar'\n"
                 "\n[[file]]\nname = 'user\\u.txt'\nsource = 'src/u.txt'\n")
        exe = self.pack(extra, files={"inc.jar": b"PK", "u.txt": b"x"},
                        jreSearchSequence="Ajre", vmOptions="-Xmx256m", useDefaultVmOptionsFile=True,
                        allowJavaOptionArguments=True, singleInstance=1,
                        versionSpecificOptionCount=2, **{"10201": "8-11", "10202": "-Dold=1",
                                                         "10203": "*17.*", "10204": "-Dv17=1"},
                        classPath="A1lib\\a.jar;A0lib\\gone.jar;S0nodir", applicationArguments="configured",
                        stderrFile="err.log", redirectStderr=True)
        before = self.temp_entries()
        r, report, log = self.diagnose(exe, "-J-Dcli=1", "user arg")
        self.assertEqual(r.code, 0, r.stdout)

        app = self.wine.to_windows(d)
        self.assertEqual(report["executable"], app + "\\app.exe")
        block = report["block"]
        self.assertGreater(block["size"], 0)
        self.assertGreaterEqual(block["settings"], 15)
        self.assertEqual(block["includedFiles"], ["inc.jar", "user\\u.txt"])
        self.assertEqual((report["language"], report["country"]), ("en", "US"))
        self.assertEqual(report["optionsFiles"], [{"file": app + "\\app.vmoptions", "read": True},
                                                  {"file": app + "\\cfg\\extra.vmoptions", "read": True}])
        self.assertEqual(report["versionConditions"], [{"condition": "8-11", "matched": False},
                                                       {"condition": "*17.*", "matched": True}])
        options = report["jvmOptions"]
        launcher = [o for o in options if o["source"] == "launcher property"]
        self.assertIn({"option": "-Dvennic.tempDir=", "source": "launcher property"}, launcher)
        own = [(o["option"], o["source"], o.get("file")) for o in options if o["source"] != "launcher property"]
        self.assertEqual(own, [
            ("-Xmx256m", "configured", None),
            ("-Dv17=1", "version-specific", None),
            ("-Xmx1g", "options file", app + "\\app.vmoptions"),
            ("-Dextra=1", "options file", app + "\\cfg\\extra.vmoptions"),
            ("-Xss512k", "options file", app + "\\cfg\\extra.vmoptions"),
            ("-Dcli=1", "-J argument", None),
            ("-Djava.class.path=%s\\lib\\a.jar;%s\\lib\\gone.jar" % (app, app), "class path", None),
        ])
        # -Dquarlo.noRedir=true is the console run's: after the class path.
        self.assertEqual(options[-1], {"option": "-Dquarlo.noRedir=true", "source": "launcher property"})
        self.assertEqual(report["classPath"], [
            {"piece": "A1lib\\a.jar", "state": "found", "entries": [app + "\\lib\\a.jar"]},
            {"piece": "A0lib\\gone.jar", "state": "missing", "entries": [app + "\\lib\\gone.jar"]},
            {"piece": "S0nodir", "state": "skipped", "entries": []},
        ])
        self.assertEqual(report["modulePath"], [])
        self.assertEqual(report["mainClass"], "com.example.Main")
        self.assertEqual(report["arguments"], ["configured", "user arg"])
        self.assertEqual(report["stackSize"], 524288)
        self.assertEqual(report["redirection"], {"error": app + "\\err.log", "output": ""})
        run_dir = report["perRunDirectory"]
        self.assertEqual((run_dir["needed"], run_dir["created"]), (True, False))
        self.assertEqual(run_dir["parent"].rstrip("\\").lower(), self.win(self.temp))
        instance = report["singleInstance"]
        self.assertEqual((instance["enabled"], instance["heldByAnotherCopy"]), (True, False))
        self.assertTrue(instance["semaphore"].startswith("Local\\"), instance)
        self.assertEqual(report["service"], {"name": "-J-Dcli=1", "managerReachable": True, "installed": False})
        self.assertEqual(report["result"], {"wouldStart": True})

        # Nothing remains: no per-run directory, so no extracted file (the
        # files could only land in a new one; directories that earlier tests
        # of the session left may hold files of the same names), and the
        # lock was never taken (the first copy records its process id).
        self.assertEqual(self.temp_entries(), before)
        self.assertIsNone(self.wine.reg_query("HKCU\\SOFTWARE\\tarnwell\\vennic\\pids"))
        self.assertNotIn("semaphore name", log)
        self.assertNotIn("Temp dir3", log)
        self.assertEqual(jre.jvm_record(), [], "no JVM was created")

        # The text form: the same report, line by line.
        r = self.wine.run(exe, "/diagnose", "-J-Dcli=1", env=NO_JAVA_ENV)
        self.assertEqual(r.code, 0)
        lines = r.stdout.split("\r\n")
        self.assertEqual(lines[0], "executable: " + app + "\\app.exe")
        at = lines.index("    - step: entry A")
        self.assertEqual(lines[at + 1:at + 6], ["      argument: jre", "      candidates:",
                                                "        - java: " + self.win(jre.java_exe),
                                                "          version: 17.0.2", "          verdict: chosen"])
        at = lines.index("  - option: -Dextra=1")
        self.assertEqual(lines[at + 1:at + 3], ["    source: options file", "    file: " + app + "\\cfg\\extra.vmoptions"])
        self.assertIn("  would start: yes", lines)
        self.assertEqual(lines[-1], "")

    def test_missing_required_class_path_entry(self):
        make_jre(self.dir / "jre", "17.0.2")
        exe = self.pack(jreSearchSequence="Ajre", classPath="A0lib\\other.jar;A1lib\\x.jar")
        r, report, _ = self.diagnose(exe)
        self.assertEqual(r.code, 1)
        app = self.wine.to_windows(self.dir)
        self.assertEqual(report["classPath"], [
            {"piece": "A0lib\\other.jar", "state": "missing", "entries": [app + "\\lib\\other.jar"]},
            {"piece": "A1lib\\x.jar", "state": "missing, required", "entries": [app + "\\lib\\x.jar"]}])
        self.assertEqual(report["result"], {"wouldStart": False, "messageId": 1006, "message": "Not found: lib\\x.jar",
                                            "reason": "a required path entry is missing"})
        self.assertNotIn("mainClass", report)
        # The text form shows the same message, and nothing goes to a dialog
        # or standard error.
        r = self.wine.run(exe, "/diagnose", env=NO_JAVA_ENV)
        self.assertEqual((r.code, r.stderr.strip()), (1, ""))
        self.assertIn("  message: Not found: lib\\x.jar\r\n", r.stdout)

    def test_no_runtime_and_escaped_texts(self):
        # A search that finds nothing: message 1016, as /run would show it.
        # The argument (the service's name, as for /run) carries a backslash
        # and a character beyond ASCII, which JSON escapes.
        exe = self.pack(jreSearchSequence="Ac:\\nowhere")
        r, report, _ = self.diagnose(exe, 'a\\b\u00e9')
        self.assertEqual(r.code, 1)
        self.assertIn('"name":"a\\\\b\\u00e9"', r.stdout)
        self.assertEqual(report["service"]["name"], 'a\\b\u00e9')
        self.assertEqual(report["result"]["messageId"], 1016)
        self.assertEqual(report["result"]["message"], "No JVM found. Install a 64-bit JRE.")
        [step] = [s for s in report["jreSearch"]["steps"] if s["step"] == "entry A"]
        self.assertEqual(step["candidates"][0]["verdict"], "not found")
        self.assertNotIn("jvmOptions", report)

    def test_lock_held_by_a_first_copy(self):
        # Looked at, not taken: the first copy keeps it, and /diagnose tells
        # that /run would give way to it (exit code 0, as /run ends).
        make_jre(self.dir / "jre", "17.0.2")
        exe = self.pack(jreSearchSequence="Ajre", singleInstance=1)
        key = instance_key(self.wine, exe)
        self.addCleanup(forget_pid, self.wine, key)
        with Holder(self.wine, semaphore_name(key), key) as first:
            r, report, _ = self.diagnose(exe)
            self.assertTrue(first.alive())
        self.assertEqual(r.code, 0)
        self.assertEqual(report["singleInstance"], {"enabled": True, "semaphore": semaphore_name(key),
                                                    "heldByAnotherCopy": True, "otherProcess": first.pid})
        self.assertEqual(report["result"], {"wouldStart": False, "givesWay": True})
