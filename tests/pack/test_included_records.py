"""The included-file records the packer writes for the launcher: behind the
configuration block, one record per file in name order, a 64-bit size and the
content XOR 0xA7; names that would leave the per-run directory are refused."""

import struct
import subprocess
import tempfile
import unittest
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
PACKER = ROOT / "build" / "host" / "winlaunch-pack"
TEMPLATE = ROOT / "build" / "win64" / "winlaunch.exe"


def masked(data: bytes) -> bytes:
    return bytes(b ^ 0xA7 for b in data)


@unittest.skipUnless(PACKER.exists() and TEMPLATE.exists(), "needs the host packer and the win64 launcher")
class IncludedRecords(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.dir = Path(self.tmp.name)

    def tearDown(self):
        self.tmp.cleanup()

    def pack(self, toml: str, files: dict):
        for name, data in files.items():
            (self.dir / name).write_bytes(data)
        (self.dir / "app.toml").write_text("[settings]\napplicationType = 0\n" + toml, encoding="utf-8")
        out = self.dir / "app.exe"
        p = subprocess.run([PACKER, "--template", TEMPLATE, "--config", self.dir / "app.toml", "--output", out],
                           capture_output=True)
        return p, out

    def test_records_follow_the_block_in_name_order(self):
        a, b, c = bytes(range(10)), bytes(range(100, 120)), b""
        p, out = self.pack("[[file]]\nname = 'a.bin'\nsource = 'a'\n"
                           "[[file]]\nname = 'lib\\b.bin'\nsource = 'b'\n"
                           "[[file]]\nname = 'empty'\nsource = 'c'\n", {"a": a, "b": b, "c": c})
        self.assertEqual(p.returncode, 0, p.stderr)
        data = out.read_bytes()
        tail = struct.pack("<q", 10) + masked(a) + struct.pack("<q", 20) + masked(b) + struct.pack("<q", 0)
        self.assertTrue(data.endswith(tail))
        self.assertIn(b"a.bin;lib\\b.bin;empty", data)

        files = self.dir / "out"
        d = subprocess.run([PACKER, "--dump", out, "--files-to", files], capture_output=True)
        self.assertEqual(d.returncode, 0, d.stderr)
        self.assertEqual((files / "a.bin").read_bytes(), a)
        self.assertEqual((files / "lib" / "b.bin").read_bytes(), b)

    def test_names_that_leave_the_directory_are_refused(self):
        for name in ("..\\x", "a\\..\\..\\x", "C:x", "c:\\x", "\\x", "/x", "\\\\srv\\share\\x", "\\\\?\\c:\\x",
                     "\\\\.\\pipe\\x", "a:b", "CON", "nul.txt", "a\\b\\c"):
            with self.subTest(name=name):
                literal = name.replace("'", "")
                p, out = self.pack(f"[[file]]\nname = '{literal}'\nsource = 'a'\n", {"a": b"x"})
                self.assertEqual(p.returncode, 2, p.stderr)
                self.assertFalse(out.exists())


if __name__ == "__main__":
    unittest.main()
