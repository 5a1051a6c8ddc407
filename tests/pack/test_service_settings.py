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
                     'serviceDependencies = "Tcpip,,Dnscache,"', 'serviceDescription = "Läuft im Hintergrund"'):
            self.assertIn(line + "\n", text)

    def test_description_is_a_message(self):
        r = self.pack('[settings]\nserviceDescription = "x"\n')
        self.assertEqual(r.returncode, 2)
        self.assertIn("'serviceDescription' is a message", r.stderr)
        self.assertFalse((Path(self.tmp.name) / "app.exe").exists())


if __name__ == "__main__":
    unittest.main()
