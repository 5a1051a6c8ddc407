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
from harness import wait_for
from service_helpers import processes, query, sc, state

STANDIN = """[settings]
configuredServiceName = "{name}"
applicationType = 0
jreSearchSequence = "Ajre"
mainClass = "com.example.Main"
"""


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
        self.wine.reg_add(service_helpers.PRIORITY_KEY, "WlPriority", "0x4000", "REG_DWORD")
        exe, jre = self.standin_service("WlPriority", "main=stopline")
        self.start(exe)
        self.wait_main(jre)
        self.assertEqual(events(jre, "priority"), [("priority", "4000")], "below normal")

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
        # An image path without quotes whose directory has a single quote:
        # the manager starts the executable, but the command line split as
        # always (a single quote quotes) names no program for the worker.
        directory = self.wine.workdir("it's")
        exe = self.wine.pack(directory, STANDIN.format(name="WlNoWorker"))
        r = sc(self.wine, "create", "WlNoWorker", "binpath=", self.wine.to_windows(exe))
        self.assertEqual(r.code, 0, r)
        self.addCleanup(self.remove, "WlNoWorker")
        self.start(exe, "WlNoWorker")
        self.wait_status("WlNoWorker", ("STOPPED", 1066, 5000))


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
        self.assertIn("demo: shutdown hook ran", output.read_text())
        self.assertEqual(query(self.wine, self.NAME), ("STOPPED", 0, 0))
        self.assertEqual(self.left_behind(), [])
        [run] = self.per_run_directories()
        self.assertFalse(self.wine.to_unix(run).exists(), "the per-run directory is removed")

    def test_soak(self):
        cycles = 100
        before = set(self.temp.iterdir())
        started = time.time()
        for cycle in range(cycles):
            self.assertEqual(self.command("/start").code, 0, f"cycle {cycle}")
            r = self.command("/stop")
            self.assertEqual(r.stdout, "Stopping service 'WinlaunchDemo'.\r\nService stopped\r\n", f"cycle {cycle}")
        elapsed = time.time() - started
        self.assertEqual(query(self.wine, self.NAME), ("STOPPED", 0, 0))
        self.assertTrue(wait_for(lambda: not self.left_behind(), timeout=15), self.left_behind())
        runs = self.per_run_directories()
        self.assertEqual(len(runs), cycles, "every cycle ran the application")
        self.assertEqual([run for run in runs if self.wine.to_unix(run).exists()], [])
        self.assertEqual(self.wine.to_unix(runs[0]).parent, self.temp)
        self.assertEqual([p.name for p in set(self.temp.iterdir()) - before
                          if p.match("vek*_dir*") or p.match("wlbridge-*")], [], "nothing of the runs is left")
        print(f"\n  {cycles} start/stop cycles in {elapsed:.0f} s", end=" ")


if __name__ == "__main__":
    unittest.main()
