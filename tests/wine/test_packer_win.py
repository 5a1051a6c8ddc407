"""The Windows packer under Wine gives the Linux packer's bytes; a packed
executable with an icon and version information runs, and a signed one
behaves exactly as the unsigned one."""

import re
import subprocess
import sys

import harness
import jretree

sys.path.insert(0, str(harness.ROOT / "tests" / "pack"))
import pefiles  # noqa: E402

PACKER_EXE = harness.BUILD / "win64" / "winlaunch-pack.exe"

CONFIG = """[settings]
configuredServiceName = "Caf\u00e9 Service"
applicationType = 0
jreSearchSequence = "Ajre"

[messages]
errorCaption = "Fehler \u20ac"

[[language]]
prefix = "de"
errorCaption = "Fehler"

[[file]]
name = "lib\\\\a.bin"
source = "src/a.bin"

[resources]
icon = "app.ico"

[resources.version]
FileVersion = "2.0.1"
ProductName = "Caf\u00e9"
"""


class WindowsPacker(harness.WineCase):
    def prepare(self, directory):
        (directory / "src").mkdir(parents=True, exist_ok=True)
        (directory / "src" / "a.bin").write_bytes(bytes(range(256)) * 30)
        (directory / "app.ico").write_bytes(pefiles.make_ico())
        (directory / "app.toml").write_text(CONFIG, encoding="utf-8")

    def linux_packer(self, *args):
        p = subprocess.run([harness.PACKER] + list(args), cwd=self.dir, capture_output=True)
        self.assertEqual(p.returncode, 0, p.stderr)
        return p.stdout.decode("latin-1")

    def windows_packer(self, *args):
        r = self.wine.run_raw([PACKER_EXE] + list(args), cwd=str(self.dir))
        self.assertEqual(r.code, 0, r.stderr)
        return r.stdout

    def test_same_bytes_as_the_linux_packer(self):
        self.prepare(self.dir)
        template = self.wine.to_windows(harness.TEMPLATE)
        self.windows_packer("--template", template, "--config", "app.toml", "--output", "win.exe")
        self.linux_packer("--template", harness.TEMPLATE, "--config", "app.toml", "--output", "linux.exe")
        self.assertEqual((self.dir / "win.exe").read_bytes(), (self.dir / "linux.exe").read_bytes())
        dumped = self.windows_packer("--dump", "win.exe", "--files-to", "out")
        self.assertEqual(dumped, self.linux_packer("--dump", "linux.exe", "--files-to", "out"))
        self.assertIn('source = "out/lib/a.bin"', dumped)
        r = self.wine.run(self.dir / "win.exe", "/help")
        self.assertEqual((r.code, r.stdout.split(" ")[0]), (0, "Usage:"))

    def test_laid_over_as_the_linux_packer_lays_them(self):
        self.prepare(self.dir)
        (self.dir / "over").mkdir()
        (self.dir / "over" / "b.bin").write_bytes(b"over")
        (self.dir / "over" / "over.toml").write_text(
            '[settings]\napplicationType = 1\n[[file]]\nname = "LIB\\\\A.BIN"\nsource = "b.bin"\n', encoding="utf-8")
        layers = ["--config", "app.toml", "--config", "over/over.toml"]
        self.windows_packer("--template", self.wine.to_windows(harness.TEMPLATE), *layers, "--output", "win.exe",
                            "--inputs-to", "inputs.txt")
        self.linux_packer("--template", harness.TEMPLATE, *layers, "--output", "linux.exe")
        self.assertEqual((self.dir / "win.exe").read_bytes(), (self.dir / "linux.exe").read_bytes())
        listed = (self.dir / "inputs.txt").read_text(encoding="utf-8").splitlines()
        self.assertEqual(listed[1:3], ["app.toml", "over/over.toml"])
        self.assertIn("over/b.bin", listed, "relative to the file that names it")

    def test_signed_behaves_as_unsigned(self):
        jretree.clean_registry(self.wine)
        self.addCleanup(jretree.clean_registry, self.wine)
        cert, key = pefiles.make_certificate(self.dir)
        for name in ("unsigned", "signed"):
            self.prepare(self.dir / name)
            jretree.make_jre(self.dir / name / "jre")
        unsigned, signed = self.dir / "unsigned" / "app.exe", self.dir / "signed" / "app.exe"
        p = subprocess.run([harness.PACKER, "--template", harness.TEMPLATE, "--config", self.dir / "unsigned" / "app.toml",
                            "--output", unsigned], capture_output=True)
        self.assertEqual(p.returncode, 0, p.stderr)
        pefiles.sign(unsigned, signed, cert, key)
        for args in (["/help"], ["/run"]):
            with self.subTest(args=args):
                runs = [self.logged_run(exe, *args) for exe in (unsigned, signed)]
                shown = [(r.code, re.sub(r"qar_nlog_\d+", "", r.stdout + r.stderr)) for r, _ in runs]
                self.assertEqual(shown[0], shown[1])
                if args == ["/run"]:
                    for _, log in runs:
                        self.assertIn("extracting files done", log)
                        self.assertIn("Loading of JVM-DLL successful", log)
