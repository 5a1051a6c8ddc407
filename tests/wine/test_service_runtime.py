"""The application as a Windows service under Wine's service control manager:
the service process starts its worker, relays a stop as the stop line on the
worker's standard input and reports the service's states. The stand-in
jvm.dll records what the worker sees; the bridge runs the demo application's
real Java code."""

import re
import time
import unittest

import harness
import jretree
import service_helpers
from harness import long_tier, wait_for
from service_helpers import processes, query, sc, state

STANDIN = """[settings]
configuredServiceName = "{name}"
applicationType = 0
jreSearchSequence = "Ajre"
mainClass = "com.example.Main"
"""


# Start/stop cycles of the soak: a short run in the fast tier, the full soak in the long one.
SOAK_CYCLES = 1000 if long_tier() else 10
# The demo application's first line, and its shutdown hook's.
HELLO = "demo: hello from Java"
HOOK = "demo: shutdown hook ran"


def events(jre, *kinds):
    return [event for event in jre.jvm_record() if event[0] in kinds]


class ServiceRuntimeCase(harness.WineCase):
    def setUp(self):
        super().setUp()
        jretree.clean_registry(self.wine)
        self.addCleanup(jretree.clean_registry, self.wine)

    def install(self, exe, name):
        r = self.wine.run(exe, "/install", name, timeout=120)
        self.assertEqual(r.code, 0, r)
        self.addCleanup(self.remove, name)

    def remove(self, name):
        if sc(self.wine, "stop", name).code == 0:
            wait_for(lambda: state(self.wine, name) in ("STOPPED", None), timeout=30, step=0.3)
        service_helpers.delete(self.wine, name)

    def standin_service(self, name, *jvm, directory=None):
        """The launcher installed as service name, with the stand-in jvm.dll
        configured by the lines jvm; returns the executable and the runtime."""
        directory = directory or self.dir
        jre = jretree.make_jre(directory / "jre")
        jre.configure_jvm(*jvm)
        exe = self.wine.pack(directory, STANDIN.format(name=name))
        self.install(exe, name)
        return exe, jre

    def start(self, exe, *args):
        r = self.wine.run(exe, "/start", *args, timeout=120)
        self.assertEqual(r.code, 0, r)

    def wait_main(self, jre):
        """Waits until the worker has called main."""
        self.assertTrue(wait_for(lambda: events(jre, "main"), timeout=30, step=0.2), "the worker never ran main")

    def wait_status(self, name, status, timeout=30):
        self.assertTrue(wait_for(lambda: query(self.wine, name) == status, timeout=timeout, step=0.3),
                        f"{name}: {query(self.wine, name)}, not {status}")


class Worker(ServiceRuntimeCase):
    def test_command_line_and_stop_line(self):
        directory = self.wine.workdir("service dir with space")
        exe, jre = self.standin_service("WlWorker", "main=stopline", directory=directory)
        self.start(exe, "WlWorker", "a", "b c")
        self.wait_main(jre)
        self.assertEqual(state(self.wine, "WlWorker"), "RUNNING")
        self.assertEqual(events(jre, "commandLine"),
                         [("commandLine", '"%s" WlWorker a "b c" __qar_restart' % self.wine.to_windows(exe))])
        self.assertEqual(events(jre, "priority"), [("priority", "20")], "normal priority without a registry value")

        r = self.wine.run(exe, "/stop", timeout=120)
        self.assertEqual((r.code, r.stdout), (0, "Stopping service 'WlWorker'.\r\nService stopped\r\n"))
        self.assertEqual(query(self.wine, "WlWorker"), ("STOPPED", 0, 0))
        # One stop line, then the end of the input: the channel is closed.
        self.assertEqual(events(jre, "stopline", "stdin end"), [("stopline", "0"), ("stdin end",)])

    def test_priority_from_the_registry(self):
        # Both builds read the 32-bit view of the key; the 64-bit one is not looked at.
        for view, value in (("32", "0x4000"), ("64", "0x8000")):
            r = self.wine.run_raw(["reg", "add", service_helpers.PRIORITY_KEY, "/v", "WlPriority", "/t", "REG_DWORD",
                                   "/d", value, "/f", "/reg:" + view])
            self.assertEqual(r.code, 0, r)
        exe, jre = self.standin_service("WlPriority", "main=stopline")
        self.start(exe)
        self.wait_main(jre)
        self.assertEqual(events(jre, "priority"), [("priority", "4000")], "below normal")

    def test_creation_flags_are_no_priority(self):
        # CREATE_SUSPENDED as the value (in both views): the worker still
        # runs, at normal priority.
        for view in ("32", "64"):
            r = self.wine.run_raw(["reg", "add", service_helpers.PRIORITY_KEY, "/v", "WlSuspended", "/t", "REG_DWORD",
                                   "/d", "0x4", "/f", "/reg:" + view])
            self.assertEqual(r.code, 0, r)
        exe, jre = self.standin_service("WlSuspended", "main=stopline")
        self.start(exe)
        self.wait_main(jre)
        self.assertEqual(events(jre, "priority"), [("priority", "20")])

    def test_directory_with_an_apostrophe(self):
        # Start arguments through sc, which passes them as they are: one with
        # a single quote, one with double quotes and a space.
        directory = self.wine.workdir("O'Neil")
        exe, jre = self.standin_service("WlApostrophe", "main=stopline", directory=directory)
        r = sc(self.wine, "start", "WlApostrophe", "it's", 'say "hi"')
        self.assertEqual(r.code, 0, r)
        self.wait_main(jre)
        self.assertEqual(events(jre, "commandLine"),
                         [("commandLine", '"%s" WlApostrophe "it\'s" \'say "hi"\' __qar_restart' % self.wine.to_windows(exe))])
        r = self.wine.run(exe, "/stop", timeout=120)
        self.assertEqual((r.code, r.stdout), (0, "Stopping service 'WlApostrophe'.\r\nService stopped\r\n"))
        self.assertEqual(query(self.wine, "WlApostrophe"), ("STOPPED", 0, 0))
        self.assertEqual(events(jre, "stopline", "stdin end"), [("stopline", "0"), ("stdin end",)])

    def test_outcomes(self):
        # (stand-in, stop requested, state and exit codes the manager ends with)
        cases = [
            ("main=sleep:1500", False, ("STOPPED", 0, 0)),
            # Not reported stopped: Windows' manager would count the service
            # as aborted and apply its recovery; Wine's keeps it running.
            ("main=exit:3", False, ("RUNNING", 0, 0)),
            # The Java side ignores the stop line: the service stays
            # stop-pending until the worker ends by itself.
            ("main=sleep:6000", True, ("STOPPED", 0, 0)),
        ]
        for i, (jvm, stop, end) in enumerate(cases):
            with self.subTest(jvm=jvm, stop=stop):
                name = f"WlOutcome{i}"
                exe, jre = self.standin_service(name, jvm, directory=self.wine.workdir(name))
                self.start(exe)
                self.wait_main(jre)
                if stop:
                    self.assertEqual(sc(self.wine, "stop", name).code, 0)
                    self.assertEqual(state(self.wine, name), "STOP_PENDING")
                    time.sleep(2)
                    self.assertEqual(state(self.wine, name), "STOP_PENDING")
                # The service process has ended, whatever it reported.
                self.assertTrue(wait_for(lambda: not processes(self.wine, self.wine.to_windows(exe)), timeout=30))
                self.wait_status(name, end, timeout=5)

    def test_worker_that_cannot_start(self):
        # No worker is started for a start argument that its command line
        # cannot carry (both kinds of quote), nor for a command line longer
        # than a process can be given (a long image path, then a long start
        # argument); the service is reported stopped with our own code.
        exe, jre = self.standin_service("WlNoWorker", "main=stopline")
        long_exe = self.wine.pack(self.wine.workdir("WlNoWorkerLong"), STANDIN.format(name="WlNoWorkerLong"))
        r = sc(self.wine, "create", "WlNoWorkerLong", "binpath=", '"%s" %s' % (self.wine.to_windows(long_exe), "p" * 30000))
        self.assertEqual(r.code, 0, r)
        self.addCleanup(self.remove, "WlNoWorkerLong")
        for name, argument in (("WlNoWorker", "a'b\"c"), ("WlNoWorkerLong", "q" * 3000)):
            with self.subTest(name=name):
                self.assertEqual(sc(self.wine, "start", name, argument).code, 0)
                self.wait_status(name, ("STOPPED", 1066, 5000))
        self.assertEqual(events(jre, "main"), [], "no worker ran")

class RealJava(ServiceRuntimeCase):
    """The demo application (demo/) through the bridge runtime."""

    NAME = "WinlaunchDemo"

    def setUp(self):
        super().setUp()
        self.exe = service_helpers.demo_app(self.wine, self.dir)
        self.install(self.exe, self.NAME)
        self.jre_record = self.dir / "jre" / "bin" / "server" / "fake-jvm.record"

    def command(self, *args):
        return self.wine.run(self.exe, *args, self.NAME, timeout=120)

    def per_run_directories(self):
        """The per-run directories the workers were given."""
        text = self.jre_record.read_text(encoding="utf-8") if self.jre_record.exists() else ""
        return re.findall(r"^option\t-Dvennic\.tempDir=(.+)$", text, re.M)

    def left_behind(self):
        """The service processes, workers and Java processes still there."""
        return processes(self.wine, self.wine.to_windows(self.exe), "wlbridge-")

    def test_demo_as_a_service(self):
        output = self.dir / "demo-out.log"
        marker = self.dir / "demo-stopped.txt"
        self.assertEqual(self.command("/start").code, 0)
        self.assertTrue(wait_for(lambda: output.exists() and "working, step 1" in output.read_text(),
                                 timeout=60, step=0.2), "the application never ran")
        r = self.command("/status")
        self.assertEqual((r.code, r.stdout), (0, "Running.\r\n"))
        self.assertRegex(output.read_text(), r"demo: hello from Java [\d.]+ as a service, arguments \[\]")
        self.assertFalse(marker.exists())

        r = self.command("/stop")
        self.assertEqual((r.code, r.stdout), (0, "Stopping service 'WinlaunchDemo'.\r\nService stopped\r\n"))
        self.assertTrue(marker.exists(), "the shutdown hook ran")
        self.assertIn(HOOK, output.read_text())
        self.assertEqual(query(self.wine, self.NAME), ("STOPPED", 0, 0))
        self.assertEqual(self.left_behind(), [])
        [run] = self.per_run_directories()
        self.assertFalse(self.wine.to_unix(run).exists(), "the per-run directory is removed")

    def test_soak(self):
        # Every cycle waits until its application runs, stops it, and sees its
        # shutdown hook: the application (which as a service works until it is
        # stopped) ran until the stop line reached it, and no cycle ended it
        # any other way.
        # The demo's output rolls at each start, so each cycle's lines are
        # read from a file of its own: the earlier ones are removed first.
        output = self.dir / "demo-out.log"
        marker = self.dir / "demo-stopped.txt"

        def ends():
            """The hello and shutdown-hook lines of this cycle's output, in order."""
            text = output.read_text() if output.exists() else ""
            return [HELLO if HELLO in line else HOOK for line in text.splitlines() if HELLO in line or HOOK in line]

        before = set(self.temp.iterdir())
        started = time.time()
        for cycle in range(SOAK_CYCLES):
            marker.unlink(missing_ok=True)
            for old in self.dir.glob("demo-out*.log"):
                old.unlink()
            self.assertEqual(self.command("/start").code, 0, f"cycle {cycle}")
            if not wait_for(lambda: HELLO in ends(), timeout=60, step=0.05):
                # What a rare failure needs to be understood: how far the
                # worker came, and what it left.
                self.fail(f"cycle {cycle}: the application never ran; service {query(self.wine, self.NAME)}, "
                          f"processes {self.left_behind()}, JVMs created {len(self.per_run_directories())}, "
                          f"temp {sorted(p.name for p in self.temp.iterdir() if p not in before)}")
            r = self.command("/stop")
            self.assertEqual(r.stdout, "Stopping service 'WinlaunchDemo'.\r\nService stopped\r\n", f"cycle {cycle}")
            self.assertTrue(marker.exists(), f"cycle {cycle}: the shutdown hook did not run")
            # One hello, then the shutdown hook: nothing ended it before the stop.
            self.assertEqual(ends(), [HELLO, HOOK], f"cycle {cycle}")
            # Stopped, and nothing of the cycle is left: no process, no
            # per-run directory, no relay directory of the bridge.
            self.assertEqual(query(self.wine, self.NAME), ("STOPPED", 0, 0), f"cycle {cycle}")
            self.assertTrue(wait_for(lambda: not self.left_behind(), timeout=15, step=0.05),
                            f"cycle {cycle}: {self.left_behind()}")
            runs = self.per_run_directories()
            self.assertEqual(len(runs), cycle + 1, f"cycle {cycle}: one JVM per cycle")
            self.assertFalse(self.wine.to_unix(runs[-1]).exists(), f"cycle {cycle}: the per-run directory is left")
            self.assertEqual([p.name for p in self.temp.glob("wlbridge-*") if p not in before], [], f"cycle {cycle}")
        elapsed = time.time() - started
        self.assertEqual(query(self.wine, self.NAME), ("STOPPED", 0, 0))
        self.assertTrue(wait_for(lambda: not self.left_behind(), timeout=15), self.left_behind())
        runs = self.per_run_directories()
        self.assertEqual(len(runs), SOAK_CYCLES, "one JVM per cycle")
        self.assertEqual([run for run in runs if self.wine.to_unix(run).exists()], [])
        self.assertEqual(self.wine.to_unix(runs[0]).parent, self.temp)
        self.assertEqual([p.name for p in set(self.temp.iterdir()) - before
                          if p.match("vek*_dir*") or p.match("wlbridge-*")], [], "nothing of the runs is left")
        print(f"\n  {SOAK_CYCLES} start/stop cycles in {elapsed:.0f} s", end=" ")


if __name__ == "__main__":
    unittest.main()
