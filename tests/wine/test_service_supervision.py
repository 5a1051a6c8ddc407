"""Supervision of the service under Wine's service control manager: the stop
budget with its advancing check point, the job object that takes every
process of the application with it, and what /install configures (account,
preshutdown, recovery, delayed start), read back where Wine keeps it."""

import os
import re
import shutil
import signal
import subprocess
import threading
import time
import unittest

import harness
import jretree
import service_helpers
from harness import wait_for
from service_helpers import processes, query, sc, state

APP = """[settings]
configuredServiceName = "{name}"
applicationType = {type}
jreSearchSequence = "Ajre"
mainClass = "com.example.Main"
{extra}
"""


def status_fields(wine, name):
    """State, check point and wait hint as sc reports them."""
    out = sc(wine, "query", name).stdout
    fields = {}
    for key in ("STATE", "CHECKPOINT", "WAIT_HINT"):
        m = re.search(key + r"\s*:\s*(0x[0-9a-fA-F]+|\d+)", out)
        fields[key] = int(m.group(1), 0) if m else None
    return fields["STATE"], fields["CHECKPOINT"], fields["WAIT_HINT"]


class SupervisionCase(harness.WineCase):
    def setUp(self):
        super().setUp()
        jretree.clean_registry(self.wine)
        self.addCleanup(jretree.clean_registry, self.wine)

    def remove(self, name):
        if sc(self.wine, "stop", name).code == 0:
            wait_for(lambda: state(self.wine, name) in ("STOPPED", None), timeout=60, step=0.3)
        service_helpers.delete(self.wine, name)

    def app(self, name, *jvm, app_type=0, extra="", child=False):
        """The launcher packed as service name with the stand-in jvm.dll
        configured by the lines jvm; child: main first starts the fake java,
        which never ends. Returns the executable and the runtime."""
        directory = self.wine.workdir(name)
        jre = jretree.make_jre(directory / "jre")
        lines = list(jvm)
        if child:
            # A fake java of its own that never ends (the runtime's own java
            # answers the launcher's version query).
            child_dir = directory / "jre" / "child"
            child_dir.mkdir()
            shutil.copy(harness.TESTING / "java.exe", child_dir / "java.exe")
            (child_dir / "fake-java.cfg").write_text("hang=1\n")
            lines.append("child=..\\..\\child\\java.exe")
        jre.configure_jvm(*lines)
        exe = self.wine.pack(directory, APP.format(name=name, type=app_type, extra=extra))
        return exe, jre

    def install(self, exe, name):
        r = self.wine.run(exe, "/install", name, timeout=120)
        self.addCleanup(self.remove, name)
        return r

    def run_with_input(self, exe, text, *args):
        """Runs the executable with text piped to its standard input."""
        p = subprocess.run([harness.WINE, str(exe), *args], env=self.wine.env, input=text.encode("latin-1"),
                           capture_output=True, timeout=120, cwd=str(exe.parent))
        return harness.Result(p.returncode, p.stdout.decode("latin-1"), p.stderr.decode("latin-1"))

    def start_and_wait(self, exe, jre, name):
        r = self.wine.run(exe, "/start", name, timeout=120)
        self.assertEqual(r.code, 0, r)
        self.assertTrue(wait_for(lambda: any(e[0] == "main" for e in jre.jvm_record()), timeout=30, step=0.2),
                        "the worker never ran main")

    def child_pid(self, jre):
        self.assertTrue(wait_for(lambda: [e for e in jre.jvm_record() if e[0] == "child"], timeout=10))
        return int([e for e in jre.jvm_record() if e[0] == "child"][0][1])

    def left(self, exe):
        """The service process, its worker and the fake java still there."""
        return processes(self.wine, self.wine.to_windows(exe), "java.exe")


class StopBudget(SupervisionCase):
    def test_an_application_that_ignores_the_stop_line_is_ended(self):
        # Budget 3 s; the application ignores the stop line and has started a
        # child that never ends. The check point advances while the stop is
        # pending, the wait hint stays short, and stopped comes only once the
        # worker and its child are gone.
        name = "WlBudget"
        exe, jre = self.app(name, "main=sleep:600000", extra="serviceStopTimeout = 3", child=True)
        self.assertEqual(self.install(exe, name).code, 0)
        self.start_and_wait(exe, jre, name)
        self.child_pid(jre)
        self.assertEqual(len(processes(self.wine, "java.exe")), 1)

        seen = []
        stop = {}

        def poll():
            while "result" not in stop:
                seen.append((time.time(), *status_fields(self.wine, name)))
                time.sleep(0.2)

        poller = threading.Thread(target=poll)
        started = time.time()
        poller.start()
        try:
            r = self.wine.run(exe, "/stop", name, timeout=120)
        finally:
            stop["result"] = True
            poller.join()
        elapsed = time.time() - started
        self.assertEqual((r.code, r.stdout), (0, "Stopping service 'WlBudget'.\r\nService stopped\r\n"))
        self.assertEqual(query(self.wine, name), ("STOPPED", 0, 0))
        pending = [(t, cp, hint) for t, st, cp, hint in seen if st == 3]
        check_points = sorted({cp for _, cp, _ in pending})
        self.assertGreaterEqual(len(check_points), 3, seen)
        self.assertTrue(all(hint <= 3000 for _, _, hint in pending), pending)
        # Not before the budget, and not long after it.
        self.assertGreaterEqual(elapsed, 3.0)
        self.assertLess(elapsed, 12.0)
        self.assertTrue(wait_for(lambda: not self.left(exe), timeout=10), self.left(exe))
        print(f"\n  stop of an application that ignores it: {elapsed:.1f} s with a budget of 3 s", end=" ")

    def test_a_stopping_application_is_not_ended(self):
        # The application ends 2 s after the stop line, within its budget of
        # 10 s: it is not ended, and stopped comes when it has.
        name = "WlAnswers"
        exe, jre = self.app(name, "main=sleep:2000", extra="serviceStopTimeout = 10")
        self.assertEqual(self.install(exe, name).code, 0)
        self.start_and_wait(exe, jre, name)
        started = time.time()
        r = self.wine.run(exe, "/stop", name, timeout=120)
        elapsed = time.time() - started
        self.assertEqual(r.stdout, "Stopping service 'WlAnswers'.\r\nService stopped\r\n")
        self.assertEqual(query(self.wine, name), ("STOPPED", 0, 0))
        self.assertLess(elapsed, 8.0)
        print(f"\n  stop of an application that ends by itself: {elapsed:.1f} s", end=" ")


class Job(SupervisionCase):
    def test_children_go_with_a_killed_service_process(self):
        # The service process is ended from outside (as TerminateProcess
        # would): the job's last handle closes, and the worker and the child
        # it started end with it.
        name = "WlJob"
        exe, jre = self.app(name, "main=sleep:600000", child=True)
        self.assertEqual(self.install(exe, name).code, 0)
        self.start_and_wait(exe, jre, name)
        self.child_pid(jre)
        windows_exe = self.wine.to_windows(exe)
        service = [pid for pid, command in self.pids(windows_exe) if "__qar_restart" not in command]
        self.assertEqual(len(service), 1, self.pids(windows_exe))
        os.kill(service[0], signal.SIGKILL)
        self.assertTrue(wait_for(lambda: not self.left(exe), timeout=20), self.left(exe))

    def pids(self, needle):
        prefix = str(self.wine.prefix)
        found = []
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                command = open(f"/proc/{pid}/cmdline", "rb").read().replace(b"\0", b" ").decode("utf-8", "replace")
                environ = open(f"/proc/{pid}/environ", "rb").read().split(b"\0")
            except OSError:
                continue
            if ("WINEPREFIX=" + prefix).encode() in environ and needle in command:
                found.append((int(pid), command))
        return found


class Install(SupervisionCase):
    def read_back(self, name):
        r = self.wine.run(harness.TESTING / "service_config.exe", name, timeout=60)
        self.assertEqual(r.code, 0, r)
        return dict(line.split(" ", 1) for line in r.stdout.splitlines())

    def test_settings_read_back(self):
        # Preshutdown reads back; Wine keeps neither the failure actions, nor
        # their flag, nor the delayed start (error 124), and refuses to set
        # levels 3 and 4, which the install takes as no failure. The virtual
        # account reads back as given.
        name = "WlSettings"
        exe, jre = self.app(name, "main=stopline", app_type=4,
                            extra='servicePreshutdownTimeout = 90\nserviceAccount = "NT SERVICE\\\\"\n'
                                  'serviceDelayedStart = true')
        r = self.wine.run(exe, "/install", name, timeout=120)
        self.addCleanup(self.remove, name)
        self.assertEqual((r.code, r.stdout), (0, "Installed service 'WlSettings'.\r\n"))
        back = self.read_back(name)
        self.assertEqual(back["startType"], "2")
        self.assertEqual(back["account"], "NT SERVICE\\WlSettings")
        self.assertEqual(back["preshutdown"], "90000")
        for level in ("delayed", "failureActions", "failureFlag"):
            self.assertEqual(back[level], "error 124", level)

    def test_recovery_off_and_a_bad_setting(self):
        name = "WlRecovery"
        exe, _ = self.app(name, "main=stopline", extra='serviceRecovery = "restart/5s"')
        r = self.wine.run(exe, "/install", name, timeout=120)
        self.addCleanup(self.remove, name)
        self.assertEqual(r.code, 1)
        self.assertEqual(r.stdout, 'serviceRecovery: "restart/5s" is not restart/<milliseconds>, none or one '
                                   'reset/<seconds>; the service is not installed.\r\n')
        self.assertIsNone(state(self.wine, name))

    def test_user_account_password_from_standard_input(self):
        # The password comes from a pipe; Wine only traces it, so what can be
        # seen is the account and that no password line is asked for twice.
        # Without a password nothing is installed.
        name = "WlUser"
        exe, _ = self.app(name, "main=stopline", extra='serviceAccount = "appuser"')
        self.addCleanup(self.remove, name)
        r = self.run_with_input(exe, "", "/install", name)
        self.assertEqual((r.code, r.stdout),
                         (1, "No password given for the account '.\\appuser'; the service is not installed.\r\n"))
        self.assertIsNone(state(self.wine, name))
        r = self.run_with_input(exe, "s3cret\r\n", "/install", name)
        self.assertEqual((r.code, r.stdout), (0, "Installed service 'WlUser'.\r\n"))
        self.assertEqual(self.read_back(name)["account"], ".\\appuser")
        # The password is in no file the packer or the install wrote.
        self.assertNotIn(b"s3cret", exe.read_bytes())


class TracedWine(harness.Wine):
    """A session of its own whose first program, and so the service control
    manager and every service process, runs with Wine's event log channel
    on: Wine's RegisterEventSourceW and ReportEventW only trace what they are
    given, and a service process traces to that program's error output."""

    def __init__(self, root, trace):
        super().__init__(root)
        self.trace = trace

    def start(self):
        super().start()
        quiet = dict(env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                     stderr=subprocess.DEVNULL)
        subprocess.run([harness.WINESERVER, "-k"], timeout=60, **quiet)
        subprocess.run([harness.WINESERVER, "-w"], timeout=60, **quiet)
        subprocess.run([harness.WINESERVER, "-p"], timeout=60, **quiet)
        with open(self.trace, "wb") as trace:
            subprocess.run([harness.WINE, "wineboot"], env=dict(self.env, WINEDEBUG="-all,+eventlog,fixme+advapi"),
                           stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=trace, timeout=300)
        self.run_raw(["cmd", "/c", "echo", "ready"], timeout=120)


class EventLog(SupervisionCase):
    @classmethod
    def setUpClass(cls):
        root = harness.session.root.parent / (harness.session.root.name + "-eventlog")
        cls.trace = root.parent / (root.name + ".trace")
        cls.traced = TracedWine(root, cls.trace)
        cls.traced.start()

    @classmethod
    def tearDownClass(cls):
        cls.traced.stop()

    def setUp(self):
        super().setUp()
        self.wine = self.traced
        self.dir = self.wine.workdir(self.id().split(".")[-1])

    def reports(self, source):
        """[(type, event id, strings)] of each ReportEventW of each process
        that registered the source, in the order of the trace. Wine traces a
        call as a fixme line with its arguments (the type, the category, the
        event id and the count of strings), then one line per string."""
        text = self.trace.read_text(encoding="latin-1")
        sources, calls = set(), {}
        for line in text.splitlines():
            m = re.match(r"([0-9a-f]+):fixme:advapi:RegisterEventSourceW \(\(null\),L\"(.*)\"\)", line)
            if m and m.group(2) == source:
                sources.add(m.group(1))
            m = re.match(r"([0-9a-f]+):fixme:advapi:ReportEventW \(\w+,0x(\w+),0x\w+,0x(\w+),", line)
            if m and m.group(1) in sources:
                calls.setdefault(m.group(1), []).append((int(m.group(2), 16), int(m.group(3), 16), []))
            m = re.match(r"([0-9a-f]+):\w+:eventlog:ReportEventW L\"(.*)\"$", line)
            if m and m.group(1) in calls:
                calls[m.group(1)][-1][2].append(m.group(2))
        return list(calls.values()), text

    def test_start_failure_forced_end_and_stop(self):
        # A worker that fails with 3 (its code), then one that ignores the
        # stop line (ended after its budget), each with their start and the
        # stop; the event source is registered at /install.
        name = "WlEvents"
        exe, jre = self.app(name, "main=exit:3")
        self.assertEqual(self.install(exe, name).code, 0)
        key = r"HKLM\System\CurrentControlSet\Services\EventLog\Application\WlEvents"
        r = self.wine.run_raw(["reg", "query", key, "/v", "EventMessageFile"])
        self.assertIn(self.wine.to_windows(exe), r.stdout)
        self.start_and_wait(exe, jre, name)
        self.assertTrue(wait_for(lambda: not processes(self.wine, self.wine.to_windows(exe)), timeout=30))

        jre.configure_jvm("main=sleep:600000")
        (exe.parent / "jre" / "bin" / "server" / "fake-jvm.record").unlink()
        self.wine.pack(exe.parent, APP.format(name=name, type=0, extra="serviceStopTimeout = 2"))
        self.start_and_wait(exe, jre, name)
        r = self.wine.run(exe, "/stop", name, timeout=120)
        self.assertEqual(r.stdout, "Stopping service 'WlEvents'.\r\nService stopped\r\n")
        # The stopped event follows the status that /stop waits for.
        wait_for(lambda: [len(r) for r in self.reports(name)[0]] == [2, 3], timeout=10)
        runs, text = self.reports(name)
        self.assertEqual(len(runs), 2, text[-3000:])
        info, warning, error = 4, 2, 1
        first, second = runs
        # The first run: started (with the worker's process id), then the
        # worker's own exit code, as an error.
        self.assertEqual([(t, e) for t, e, _ in first], [(info, 1), (error, 3)], first)
        self.assertRegex(first[0][2][0], r"^[1-9][0-9]*$")
        self.assertEqual(first[1][2], ["3"])
        # The second: started, ended after its two seconds, stopped.
        self.assertEqual([(t, e, s) for t, e, s in second[1:]], [(warning, 4, ["2"]), (info, 2, [])], second)
        self.assertEqual(second[0][:2], (info, 1))

        r = self.wine.run(exe, "/uninstall", name, timeout=120)
        self.assertEqual(r.code, 0, r)
        self.assertNotEqual(self.wine.run_raw(["reg", "query", key]).code, 0, "the source is removed")


if __name__ == "__main__":
    import unittest
    unittest.main()
