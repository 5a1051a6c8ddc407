"""The files a run leaves: the application's redirected output, which rolls
and is pruned by the Java side (run through the bridge), and the per-run
directory, whose clean-up by the launcher and by the Java side removes links
but never what they lead to. Under Wine a Unix link to a directory shows as a
directory that is a reparse point (0x410), a Unix link to a file as a plain
file, and removing either through Wine removes its target instead."""

import os
import re
import shutil
import threading
import time
from pathlib import Path

import harness
import service_helpers
from harness import wait_for
from test_java_launch import JavaCase

PROBE_JAR = harness.BUILD / "host" / "hotspot" / "probe.jar"
RUNTIME_JAR = harness.BUILD / "java" / "vennic-runtime.jar"


def bridge_files():
    return {"probe.jar": PROBE_JAR.read_bytes(), "vennic-runtime.jar": RUNTIME_JAR.read_bytes()}


def probe_lines(count):
    return "".join(f"probe line {i} of {count} ..........\n" for i in range(count))


class RuntimeFilesCase(JavaCase):
    def setUp(self):
        super().setUp()
        # What the links lead to: it must survive every clean-up.
        self.outside = self.dir / "outside"
        (self.outside / "sub").mkdir(parents=True)
        (self.outside / "keep.txt").write_text("kept")
        (self.outside / "sub" / "deep.txt").write_text("kept")
        self.file_target = self.dir / "file.txt"
        self.file_target.write_text("kept")

    def plant_links(self, run):
        """Unix links, made outside Wine, in a run directory: to a directory,
        one level down to a directory, and to a file."""
        (run / "lib").mkdir(exist_ok=True)
        os.symlink(self.outside, run / "to-dir")
        os.symlink(self.outside / "sub", run / "lib" / "to-sub")
        os.symlink(self.file_target, run / "to-file")

    def assert_targets_kept(self):
        self.assertEqual((self.outside / "keep.txt").read_text(), "kept")
        self.assertEqual((self.outside / "sub" / "deep.txt").read_text(), "kept")
        self.assertEqual(self.file_target.read_text(), "kept")

    def in_background(self, call):
        """Runs call on a thread; the returned function joins it and gives its result."""
        result = {}
        thread = threading.Thread(target=lambda: result.setdefault("value", call()))
        thread.start()

        def join():
            thread.join(timeout=180)
            self.assertFalse(thread.is_alive(), "the launcher ended")
            return result["value"]
        return join


class OutputRolls(RuntimeFilesCase):
    def test_output_of_the_java_application_rolls(self):
        """Both streams into one file, rolled at 2 KiB, two rolled files kept."""
        service_helpers.bridge_runtime(self.dir / "jre")
        settings = ('redirectStdout = 1\nstdoutFile = "out.log"\nredirectStderr = 1\nstderrFile = "out.log"\n'
                    'outputMaxSize = "2k"\noutputKeepFiles = 2\n')
        exe = self.pack(settings, files=bridge_files(), main_class="probe.Probe")
        r, log, record = self.launch(exe, "/run-redirect", "lines", "300")
        self.assertEqual(r.code, 0, log)
        self.assertIn(("option", "-Dvennic.output.maxSize=2k"), record)
        self.assertIn(("option", "-Dvennic.output.keepFiles=2"), record)
        names = sorted(p.name for p in self.dir.glob("out.*"))
        self.assertEqual(names, ["out.1.log", "out.2.log", "out.log", "out.log.lock"])
        kept = ""
        for name in ("out.2.log", "out.1.log"):
            text = (self.dir / name).read_text()
            self.assertTrue(2048 <= len(text) < 2048 + 40 and text.endswith("\n"), f"{name}: {len(text)} bytes")
            kept += text
        kept += (self.dir / "out.log").read_text()
        self.assertTrue(probe_lines(300).endswith(kept) and len(kept) > 4096, "the newest lines, whole, in order")

    def test_demo_rolls_its_output_at_start(self):
        exe = service_helpers.demo_app(self.wine, self.dir)
        output = self.dir / "demo-out.log"
        for run in ("first", "second"):
            r = self.wine.run(exe, "/run-redirect", run, timeout=120)
            self.assertEqual(r.code, 0, r)
            self.assertIn(f"arguments [{run}]", output.read_text())
        first = (self.dir / "demo-out.1.log").read_text()
        self.assertIn("arguments [first]", first)
        self.assertIn("demo: done", first)
        self.assertNotIn("[first]", output.read_text())


class RunDirectoryLinks(RuntimeFilesCase):
    def test_launcher_removal_leaves_what_links_lead_to(self):
        """The stand-in's main waits while the test plants the links, then
        throws: the launcher ends through its fatal path and removes the
        per-run directory itself."""
        exe = self.pack(files={"a.jar": b"PK", "lib\\b.dll": b"MZ"})
        self.jre.configure_jvm("main=await-throw")
        record_file = self.jre.bin / "server" / "fake-jvm.record"
        record_file.unlink(missing_ok=True)
        go = self.jre.bin / "server" / "fake-jvm.go"
        go.unlink(missing_ok=True)
        join = self.in_background(lambda: self.logged_run(exe, "/run"))
        pattern = re.compile(r"^option\t-Dvennic\.tempDir=(.+)$", re.M)
        self.assertTrue(wait_for(lambda: record_file.exists() and pattern.search(record_file.read_text()), 60),
                        "the JVM was created")
        per_run = pattern.search(record_file.read_text()).group(1)
        run = self.wine.to_unix(per_run)
        self.addCleanup(shutil.rmtree, run, ignore_errors=True)  # rmtree removes links, never follows them
        self.plant_links(run)
        go.write_text("")
        r, log = join()
        go.unlink()

        self.assertEqual(r.code, 1, log)
        self.assert_targets_kept()
        self.assertFalse((run / "a.jar").exists() or (run / "lib" / "b.dll").exists(), "the included files go")
        for link in ("to-dir", "lib\\to-sub", "to-file"):
            self.assertRegex(log, re.escape(f"leaving {per_run}\\{link}: it leads to ") + r"\\\\\?\\",
                             "a Unix link reaches its target; it is left alone")
        self.assertNotIn(f"emptying {per_run}\\to-dir", log, "a link is never entered")

    def test_java_side_removes_the_links_not_their_targets(self):
        """Through the bridge the Java side (the host's java) removes its own
        per-run directory at the end, and sweeps an earlier run's."""
        service_helpers.bridge_runtime(self.dir / "jre")
        earlier = self.temp / "vekOLD1.tmp_dir1700000000"
        earlier.mkdir()
        self.addCleanup(shutil.rmtree, earlier, ignore_errors=True)
        self.plant_links(earlier)
        lock = earlier / ".vennic-run.lock"
        lock.write_text("")
        os.utime(lock, (time.time() - 60, time.time() - 60))

        exe = self.pack(files=bridge_files(), main_class="probe.Probe")
        ready, go = self.dir / "ready.txt", self.dir / "go.txt"
        join = self.in_background(lambda: self.launch(exe, "/run", "await", str(ready), str(go)))
        self.assertTrue(wait_for(lambda: ready.exists() and ready.read_text(), 60), "the application started")
        run = Path(ready.read_text())
        self.plant_links(run)
        go.write_text("")
        r, log, record = join()

        self.assertEqual(r.code, 0, log)
        self.assertTrue(wait_for(lambda: not os.path.lexists(run) and not os.path.lexists(earlier), 20),
                        "both run directories are removed")
        self.assert_targets_kept()
