"""The packer carries what the service commands read: the service name, the
application type, the dependency list and the description message."""

import subprocess
import tempfile
import unittest
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
PACKER = ROOT / "build" / "host" / "winlaunch-pack"
TEMPLATE = ROOT / "build" / "win64" / "winlaunch.exe"

SERVICE = """[settings]
configuredServiceName = "My Service"
applicationType = 4
serviceDependencies = "Tcpip,,Dnscache,"
serviceStopTimeout = 45
servicePreshutdownTimeout = 90
serviceRecovery = "restart/10000,restart/60000,none,reset/3600"
serviceAccount = "NT SERVICE\\\\"
serviceDelayedStart = true

[messages]
serviceDescription = "Läuft im Hintergrund"
"""


class ServiceSettings(unittest.TestCase):
    def pack(self, toml):
        d = Path(self.tmp.name)
        (d / "app.toml").write_text(toml, encoding="utf-8")
        return subprocess.run([PACKER, "--template", TEMPLATE, "--config", d / "app.toml", "--output", d / "app.exe"],
                              capture_output=True, text=True)

    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.addCleanup(self.tmp.cleanup)

    def test_round_trip(self):
        r = self.pack(SERVICE)
        self.assertEqual(r.returncode, 0, r.stderr)
        dump = subprocess.run([PACKER, "--dump", Path(self.tmp.name) / "app.exe"], capture_output=True)
        self.assertEqual(dump.returncode, 0, dump.stderr)
        text = dump.stdout.decode("utf-8")
        for line in ('configuredServiceName = "My Service"', "applicationType = 4",
                     'serviceDependencies = "Tcpip,,Dnscache,"', 'serviceDescription = "Läuft im Hintergrund"',
                     "serviceStopTimeout = 45", "servicePreshutdownTimeout = 90",
                     'serviceRecovery = "restart/10000,restart/60000,none,reset/3600"',
                     'serviceAccount = "NT SERVICE\\\\"', "serviceDelayedStart = true"):
            self.assertIn(line + "\n", text)

    def test_supervision_settings_are_listed_with_their_defaults(self):
        listing = subprocess.run([PACKER, "--list-settings"], capture_output=True, text=True).stdout
        rows = {line.split()[0]: line.split() for line in listing.splitlines() if line.startswith("service")}
        self.assertEqual(rows["serviceStopTimeout"][1:4], ["30001", "integer", "30"])
        self.assertEqual(rows["servicePreshutdownTimeout"][1:4], ["30002", "integer", "60"])
        self.assertEqual(rows["serviceRecovery"][1:4],
                         ["30003", "string", '"restart/10000,restart/10000,none,reset/86400"'])
        self.assertEqual(rows["serviceAccount"][1:4], ["30004", "string", '"LocalSystem"'])
        self.assertEqual(rows["serviceDelayedStart"][1:4], ["30005", "boolean", "false"])

    def test_description_is_a_message(self):
        r = self.pack('[settings]\nserviceDescription = "x"\n')
        self.assertEqual(r.returncode, 2)
        self.assertIn("'serviceDescription' is a message", r.stderr)
        self.assertFalse((Path(self.tmp.name) / "app.exe").exists())


if __name__ == "__main__":
    unittest.main()
