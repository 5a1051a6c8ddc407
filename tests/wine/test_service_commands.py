"""The service control commands under Wine's service control manager.

Services that must run are the test double of testing/test_service.cpp,
created with the prefix's sc under their own names and driven with
app.exe /start Name ..., /stop Name, /status Name. The launcher's own service
(what /install creates) is never started here, except by /install-and-start.
"""

import shutil
import time
import unittest

import harness
import service_helpers
from harness import wait_for
from service_helpers import SERVICES


def settings(name="WlService", **values):
    lines = ["[settings]", f'configuredServiceName = "{name}"']
    lines += [f'{key} = "{value}"' for key, value in values.items() if key != "description"]
    if "description" in values:
        lines += ["[messages]", f'serviceDescription = "{values["description"]}"']
    return "\n".join(lines) + "\n"


class ServiceCase(unittest.TestCase):
    def setUp(self):
        self.wine = harness.session
        self.dir = self.wine.workdir(self.id().split(".")[-1])
        self.doubles = {}  # service name -> test-double executable
        self.created = []  # service names to remove afterwards

    def tearDown(self):
        for name in self.created:
            self.remove(name)

    # --- the launcher ---

    def app(self, toml=None, directory=None):
        directory = directory or self.dir
        return self.wine.pack(directory, toml or settings())

    def run_app(self, exe, *args):
        return self.wine.run(exe, *args, timeout=120)

    # --- the test double and the service manager ---

    def double(self, name, mode="stop", start="demand"):
        """Creates a service running a copy of the test double; mode as in
        testing/test_service.cpp."""
        exe = self.dir / f"svc{len(self.doubles)}.exe"
        shutil.copy(harness.TESTING / "test_service.exe", exe)
        exe.with_suffix(".mode").write_text(mode)
        r = self.sc("create", name, "binpath=", '"%s"' % self.wine.to_windows(exe), "start=", start)
        self.assertEqual(r.code, 0, r)
        self.doubles[name] = exe
        self.created.append(name)
        return exe

    def sc(self, *args):
        return service_helpers.sc(self.wine, *args)

    def state(self, name):
        """The service's state as sc names it, or None when it is missing."""
        return service_helpers.state(self.wine, name)

    def wait_state(self, name, state, timeout=20):
        self.assertTrue(service_helpers.wait_state(self.wine, name, state, timeout),
                        f"{name} is {self.state(name)}, not {state}")

    def start_double(self, name, *args):
        exe = self.doubles[name]
        r = self.sc("start", name, *args)
        self.assertEqual(r.code, 0, r)
        self.wait_state(name, "RUNNING")
        self.assertTrue(wait_for(lambda: exe.with_suffix(".args").exists(), timeout=10))

    def events(self, name):
        path = self.doubles[name].with_suffix(".events")
        return path.read_text().splitlines() if path.exists() else []

    def received(self, name):
        """The start arguments the double recorded, after its service name."""
        path = self.doubles[name].with_suffix(".args")
        self.assertTrue(wait_for(path.exists, timeout=10), "the service recorded no start")
        return path.read_text(encoding="utf-8").split("\n")[1:-1]

    def remove(self, name):
        exe = self.doubles.get(name)
        if exe is not None:
            exe.with_suffix(".quit").write_text("")
            wait_for(lambda: self.state(name) in ("STOPPED", None), timeout=20, step=0.3)
        service_helpers.delete(self.wine, name)

    def value(self, name, value):
        return self.wine.reg_query(SERVICES + "\\" + name, value)


class Install(ServiceCase):
    def test_install_writes_the_service(self):
        directory = self.wine.workdir("install with space")
        exe = self.app(settings("WlInstalled", serviceDependencies="Tcpip,, Dnscache ,",
                                description="Runs the demo"), directory)
        self.created.append("WlInstalled")
        r = self.run_app(exe, "/install")
        self.assertEqual((r.code, r.stdout), (0, "Installed service 'WlInstalled'.\r\n"))
        self.assertEqual(self.value("WlInstalled", "ImagePath"), '"%s"' % self.wine.to_windows(exe))
        self.assertIn(" ", self.wine.to_windows(exe))
        self.assertEqual(self.value("WlInstalled", "Start"), "0x3")
        self.assertEqual(self.value("WlInstalled", "Type"), "0x10")
        self.assertEqual(self.value("WlInstalled", "ErrorControl"), "0x1")
        self.assertEqual(self.value("WlInstalled", "DisplayName"), "WlInstalled")
        self.assertEqual(self.value("WlInstalled", "ObjectName"), "LocalSystem")
        self.assertEqual(self.value("WlInstalled", "DependOnService"), r"Tcpip\0Dnscache")
        self.assertEqual(self.value("WlInstalled", "Description"), "Runs the demo")
        self.assertEqual(self.state("WlInstalled"), "STOPPED")

    def test_start_type(self):
        cases = [
            ("install", "0", "0x3"),
            ("install", "4", "0x2"),
            ("install-auto", "0", "0x2"),
            ("-install-auto", "1", "0x2"),
            ("install-demand", "4", "0x3"),
            ("--install-demand", "0", "0x3"),
        ]
        for i, (command, application_type, start) in enumerate(cases):
            with self.subTest(command=command, applicationType=application_type):
                name = f"WlStartType{i}"
                self.created.append(name)
                exe = self.app(settings(name, applicationType=application_type))
                r = self.run_app(exe, command if command.startswith("-") else "/" + command)
                self.assertEqual((r.code, r.stdout), (0, f"Installed service '{name}'.\r\n"))
                self.assertEqual(self.value(name, "Start"), start)

    def test_without_dependencies_or_description(self):
        for i, dependencies in enumerate(["", ",", ",,,"]):
            with self.subTest(dependencies=dependencies):
                name = f"WlNoDeps{i}"
                self.created.append(name)
                exe = self.app(settings(name, serviceDependencies=dependencies))
                r = self.run_app(exe, "/install")
                self.assertEqual(r.code, 0, r)
                self.assertIsNone(self.value(name, "DependOnService"))
                self.assertIsNone(self.value(name, "Description"))

    def test_name_from_the_command_line(self):
        exe = self.app(settings("WlConfigured"))
        name = "Wl Spaced Name"
        self.created.append(name)
        r = self.run_app(exe, "/install", name)
        self.assertEqual((r.code, r.stdout), (0, f"Installed service '{name}'.\r\n"))
        self.assertEqual(self.value(name, "DisplayName"), name)
        self.assertIsNone(self.value("WlConfigured", "ImagePath"))
        r = self.run_app(exe, "/status", name)
        self.assertEqual((r.code, r.stdout), (3, "Not running.\r\n"))
        r = self.run_app(exe, "/uninstall", name)
        self.assertEqual((r.code, r.stdout),
                         (0, f"Service is already stopped.\r\nUninstalled service '{name}'.\r\n"))
        self.assertIsNone(self.value(name, "ImagePath"))

    def test_install_over_a_running_service(self):
        self.double("WlReinstall")
        self.start_double("WlReinstall")
        exe = self.app(settings("WlReinstall", description="Second life"))
        r = self.run_app(exe, "/install")
        self.assertEqual((r.code, r.stdout),
                         (0, "Stopping service 'WlReinstall'.\r\nService stopped\r\n"
                             "Installed service 'WlReinstall'.\r\n"))
        self.assertEqual(self.events("WlReinstall"), ["running", "stop requested", "stopped"])
        self.assertEqual(self.value("WlReinstall", "ImagePath"), '"%s"' % self.wine.to_windows(exe))
        self.assertEqual(self.value("WlReinstall", "Description"), "Second life")
        del self.doubles["WlReinstall"]  # the service runs the launcher now

    def test_install_and_start(self):
        exe = self.app(settings("WlInstallStart"))
        self.created.append("WlInstallStart")
        r = self.run_app(exe, "/install-and-start")
        lines = r.stdout.split("\r\n")
        self.assertEqual(lines[0], "Installed service 'WlInstallStart'.")
        self.assertEqual(lines[2:], [""])
        # The exit code is the start's. Whether the start succeeds depends on
        # the service process, which may end before Wine's manager counts the
        # start as accepted (1053); the line and the code must agree.
        if r.code == 0:
            self.assertEqual(lines[1], "Starting service 'WlInstallStart'.")
        else:
            self.assertEqual(r.code, 1)
            self.assertRegex(lines[1], r"^Could not start service\. Error code: [1-9]\d*$")
        self.assertEqual(self.value("WlInstallStart", "Start"), "0x3")
        # No Java runtime: the worker fails and the service process ends
        # without reporting the service stopped.
        self.assertTrue(wait_for(lambda: not service_helpers.processes(self.wine, self.wine.to_windows(exe)),
                                 timeout=30), "the service process and its worker end")


class Uninstall(ServiceCase):
    def test_missing_service(self):
        r = self.run_app(self.app(settings("WlNeverInstalled")), "/uninstall")
        self.assertEqual((r.code, r.stdout), (1, "Could not delete service.\r\n"))

    def test_running_service(self):
        self.double("WlUninstall")
        self.start_double("WlUninstall")
        r = self.run_app(self.app(), "/uninstall", "WlUninstall")
        self.assertEqual((r.code, r.stdout),
                         (0, "Stopping service 'WlUninstall'.\r\nService stopped\r\n"
                             "Uninstalled service 'WlUninstall'.\r\n"))
        self.assertTrue(wait_for(lambda: self.state("WlUninstall") is None, timeout=10))


class Stop(ServiceCase):
    def test_stopped_service(self):
        self.double("WlStopStopped")
        r = self.run_app(self.app(), "/stop", "WlStopStopped")
        self.assertEqual((r.code, r.stdout), (0, "Service is already stopped.\r\n"))

    def test_running_service(self):
        self.double("WlStopRunning")
        self.start_double("WlStopRunning")
        r = self.run_app(self.app(), "/stop", "WlStopRunning")
        self.assertEqual((r.code, r.stdout), (0, "Stopping service 'WlStopRunning'.\r\nService stopped\r\n"))
        self.assertEqual(self.state("WlStopRunning"), "STOPPED")

    def test_stop_that_outlasts_its_wait_hint(self):
        # Stop-pending with a wait hint of 1 s and no progress for 8 s.
        self.double("WlStopSlow", mode="linger 1000 8000")
        self.start_double("WlStopSlow")
        started = time.time()
        r = self.run_app(self.app(), "/stop", "WlStopSlow")
        self.assertEqual((r.code, r.stdout), (0, "Stopping service 'WlStopSlow'.\r\nError while stopping service\r\n"))
        self.assertLess(time.time() - started, 7, "the wait ends with the wait hint")
        self.assertEqual(self.state("WlStopSlow"), "STOP_PENDING")

    def test_refused_and_missing(self):
        self.double("WlStopRefused", mode="refuse")
        self.start_double("WlStopRefused")
        exe = self.app()
        for name in ("WlStopRefused", "WlStopMissing"):
            with self.subTest(name=name):
                r = self.run_app(exe, "/stop", name)
                self.assertEqual((r.code, r.stdout), (1, "Could not stop service.\r\n"))
        self.assertEqual(self.state("WlStopRefused"), "RUNNING")


class Start(ServiceCase):
    def test_arguments_reach_the_service(self):
        self.double("WlStartArgs")
        r = self.run_app(self.app(), "/start", "WlStartArgs", "a", "b")
        self.assertEqual((r.code, r.stdout), (0, "Starting service 'WlStartArgs'.\r\n"))
        self.assertEqual(self.received("WlStartArgs"), ["a", "b"])
        self.wait_state("WlStartArgs", "RUNNING")

        r = self.run_app(self.app(), "/start", "WlStartArgs", "c")
        self.assertEqual((r.code, r.stdout), (0, "Service is already running.\r\n"))

    def test_quoted_argument_and_no_arguments(self):
        self.double("WlStartQuoted")
        exe = self.app(settings("WlStartQuoted"))
        r = self.run_app(exe, "/start", "WlStartQuoted", "two words")
        self.assertEqual(r.code, 0, r)
        self.assertEqual(self.received("WlStartQuoted"), ["two words"])
        self.run_app(exe, "/stop")
        self.wait_state("WlStartQuoted", "STOPPED")
        self.doubles["WlStartQuoted"].with_suffix(".args").unlink()
        r = self.run_app(exe, "/start")
        self.assertEqual((r.code, r.stdout), (0, "Starting service 'WlStartQuoted'.\r\n"))
        self.assertEqual(self.received("WlStartQuoted"), [])

    def test_missing_service(self):
        r = self.run_app(self.app(), "/start", "WlStartMissing")
        self.assertEqual((r.code, r.stdout), (1, "Could not start service. Error code: 1060\r\n"))


class Restart(ServiceCase):
    def test_running_service(self):
        self.double("WlRestart")
        self.start_double("WlRestart", "first")
        r = self.run_app(self.app(), "/restart", "WlRestart", "second")
        self.assertEqual((r.code, r.stdout),
                         (0, "Stopping service 'WlRestart'.\r\nService stopped\r\nStarting service 'WlRestart'.\r\n"))
        self.assertTrue(wait_for(lambda: self.events("WlRestart").count("running") == 2, timeout=10))
        self.assertEqual(self.received("WlRestart"), ["second"])

    def test_quiet_stop_step(self):
        self.double("WlRestartStopped")
        self.double("WlRestartRefused", mode="refuse")
        self.start_double("WlRestartRefused")
        exe = self.app()
        cases = [
            ("WlRestartStopped", 0, "Service is already stopped.\r\nStarting service 'WlRestartStopped'.\r\n"),
            ("WlRestartRefused", 0, "Service is already running.\r\n"),
            ("WlRestartMissing", 1, "Could not start service. Error code: 1060\r\n"),
        ]
        for name, code, output in cases:
            with self.subTest(name=name):
                r = self.run_app(exe, "/restart", name)
                self.assertEqual((r.code, r.stdout), (code, output))


class Status(ServiceCase):
    def test_running_automatic_service(self):
        self.double("WlStatusAuto", start="auto")
        r = self.run_app(self.app(), "/start", "WlStatusAuto")
        self.assertEqual(r.code, 0, r)
        self.wait_state("WlStatusAuto", "RUNNING")
        r = self.run_app(self.app(), "/status", "WlStatusAuto")
        self.assertEqual((r.code, r.stdout), (0, "Running.\r\nAuto-start.\r\n"))

    def test_stopped_and_missing(self):
        self.double("WlStatusDemand")
        self.double("WlStatusStoppedAuto", start="auto")
        exe = self.app()
        cases = [
            ("WlStatusDemand", 3, "Not running.\r\n"),
            ("WlStatusStoppedAuto", 3, "Not running.\r\nAuto-start.\r\n"),
            ("WlStatusMissing", 1, "Could not get status.\r\n"),
        ]
        for name, code, output in cases:
            with self.subTest(name=name):
                r = self.run_app(exe, "/status", name)
                self.assertEqual((r.code, r.stdout), (code, output))


if __name__ == "__main__":
    unittest.main()
