"""The packer: writing blocks, dumping them back, and refusing bad input."""

import struct
import subprocess
import tempfile
import unittest
from pathlib import Path

from pefiles import block_start

ROOT = Path(__file__).resolve().parents[2]
PACKER = ROOT / "build" / "host" / "winlaunch-pack"
TEMPLATE = ROOT / "build" / "win64" / "winlaunch.exe"

CONFIG = """# An application with everything the format has.
[settings]
configuredServiceName = "Caf\u00e9 Service"   # narrow, Windows-1252
applicationType = 4
singleInstance = true
allowBetaJava = false
classPath = 'f"lib\\a.jar";'
vmOptions = \"\"\"-Xmx64m
-Dx=y\"\"\"
10201 = "*11"
minJavaVersion = "1.8.0_101"
4711 = 12

[messages]
errorCaption = "Fehler \u20ac"
internalError = "An internal error occurred (error code: {0})"
99999 = "numbered message"

[[language]]
prefix = "de"
internalError = "Interner Fehler {0}"

[[language]]
prefix = "pt_BR"
errorCaption = "Erro"
"""


def run(*args):
    p = subprocess.run([str(PACKER)] + [str(a) for a in args], capture_output=True)
    return p.returncode, p.stdout.decode("utf-8"), p.stderr.decode("utf-8")


class PackerCase(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.dir = Path(self.tmp.name)

    def tearDown(self):
        self.tmp.cleanup()

    def write(self, name, text):
        path = self.dir / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_text(text, encoding="utf-8")
        return path

    def pack(self, config_text, output="app.exe", template=TEMPLATE, extra=()):
        config = self.write("app.toml", config_text)
        return run("--template", template, "--config", config, "--output", self.dir / output, *extra)

    def assert_refused(self, config_text, needle, template=TEMPLATE, output="app.exe", extra=()):
        """Bad input: one clear line, exit code 2, no output file."""
        code, out, err = self.pack(config_text, output=output, template=template, extra=extra)
        self.assertEqual(code, 2, err)
        self.assertEqual(len(err.strip().splitlines()), 1, err)
        self.assertIn(needle, err)
        self.assertFalse((self.dir / output).exists() and output != "template.exe")
        self.assertEqual([p.name for p in self.dir.iterdir() if p.name.startswith(".")], [],
                         "no temporary file left behind")


class RoundTrip(PackerCase):
    def test_dump_and_pack_again_gives_same_bytes(self):
        code, _, err = self.pack(CONFIG)
        self.assertEqual(code, 0, err)
        first = (self.dir / "app.exe").read_bytes()
        code, dumped, err = run("--dump", self.dir / "app.exe")
        self.assertEqual(code, 0, err)
        self.assertIn('configuredServiceName = "Caf\u00e9 Service"', dumped)
        self.assertIn("singleInstance = true", dumped)
        self.assertIn("4711 = ", dumped)
        code, _, err = self.pack(dumped, output="again.exe")
        self.assertEqual(code, 0, err)
        self.assertEqual((self.dir / "again.exe").read_bytes(), first)

    def test_round_trip_with_included_files(self):
        (self.dir / "src").mkdir()
        (self.dir / "src" / "a.dll").write_bytes(bytes(range(256)) * 3)
        (self.dir / "src" / "b.jar").write_bytes(b"")
        # Larger than the packer's write block, and not a multiple of it.
        big = bytes(range(251)) * 10000
        (self.dir / "src" / "big.bin").write_bytes(big)
        config = CONFIG + '\n[[file]]\nname = "lib\\\\a.dll"\nsource = "src/a.dll"\n' \
                          '\n[[file]]\nname = "big.bin"\nsource = "src/big.bin"\n' \
                          '\n[[file]]\nname = "b.jar"\nsource = "src/b.jar"\n'
        code, _, err = self.pack(config)
        self.assertEqual(code, 0, err)
        first = (self.dir / "app.exe").read_bytes()
        out = self.dir / "out"
        code, dumped, err = run("--dump", self.dir / "app.exe", "--files-to", out)
        self.assertEqual(code, 0, err)
        self.assertEqual((out / "lib" / "a.dll").read_bytes(), bytes(range(256)) * 3)
        self.assertEqual((out / "big.bin").read_bytes(), big)
        self.assertEqual((out / "b.jar").read_bytes(), b"")
        self.write("dumped.toml", dumped)
        code, _, err = run("--template", TEMPLATE, "--config", self.dir / "dumped.toml",
                           "--output", self.dir / "again.exe")
        self.assertEqual(code, 0, err)
        self.assertEqual((self.dir / "again.exe").read_bytes(), first)

    def test_dump_without_files_dir_keeps_the_entries(self):
        (self.dir / "x.bin").write_bytes(b"xyz")
        code, _, err = self.pack('[[file]]\nname = "x.bin"\nsource = "x.bin"\n')
        self.assertEqual(code, 0, err)
        code, dumped, _ = run("--dump", self.dir / "app.exe")
        self.assertIn("includedFileCount = 1", dumped)
        self.assertIn('includedFileNames = "x.bin"', dumped)


class Layout(PackerCase):
    def test_block_and_trailer_behind_last_section(self):
        code, _, err = self.pack('[settings]\napplicationType = 0\n')
        self.assertEqual(code, 0, err)
        data = (self.dir / "app.exe").read_bytes()
        template = TEMPLATE.read_bytes()
        start = block_start(data)
        self.assertEqual(data[:start], template[:start])
        magic, word1, word2, length, count = struct.unpack_from("<IiiqI", data, start)
        self.assertEqual((magic, word1, count), (0xE8E413D5, 0, 1))
        end = start + 12 + length
        self.assertEqual(struct.unpack_from("<i", data, end - 4)[0], 0, "no language sections")
        self.assertEqual(data[end:end + 4], b"\xe8\xe4\x13\xd5")
        self.assertEqual(len(data), start + 4096)
        self.assertEqual(set(data[end + 4:]), {0})

    def test_included_files_are_masked_records(self):
        (self.dir / "a").write_bytes(b"\x00\xa7\xff" * 4)
        (self.dir / "b").write_bytes(b"hello")
        code, _, err = self.pack('[[file]]\nname = "d\\\\a"\nsource = "a"\n[[file]]\nname = "b"\nsource = "b"\n')
        self.assertEqual(code, 0, err)
        data = (self.dir / "app.exe").read_bytes()
        _, dumped, _ = run("--dump", self.dir / "app.exe")
        self.assertIn('includedFileNames = "d\\\\a;b"', dumped)
        tail = data[-(8 + 12 + 8 + 5):]
        self.assertEqual(struct.unpack_from("<q", tail, 0)[0], 12)
        self.assertEqual(bytes(b ^ 0xA7 for b in tail[8:20]), b"\x00\xa7\xff" * 4)
        self.assertEqual(struct.unpack_from("<q", tail, 20)[0], 5)
        self.assertEqual(bytes(b ^ 0xA7 for b in tail[28:]), b"hello")

    def test_existing_block_is_replaced(self):
        self.assertEqual(self.pack('[settings]\nconfiguredServiceName = "One"\n', output="one.exe")[0], 0)
        code, _, err = self.pack('[settings]\nconfiguredServiceName = "Two"\n', output="two.exe",
                                 template=self.dir / "one.exe")
        self.assertEqual(code, 0, err)
        self.assertEqual(self.pack('[settings]\nconfiguredServiceName = "Two"\n', output="direct.exe")[0], 0)
        self.assertEqual((self.dir / "two.exe").read_bytes(), (self.dir / "direct.exe").read_bytes())

    def test_other_code_page(self):
        code, _, err = self.pack('[settings]\nconfiguredServiceName = "\u0416"\n', extra=("--codepage", "1251"))
        self.assertEqual(code, 0, err)
        data = (self.dir / "app.exe").read_bytes()
        self.assertIn(struct.pack("<ii", 101, 1) + b"\xc6", data, "one byte in Windows-1251")
        code, dumped, _ = run("--dump", self.dir / "app.exe", "--codepage", "1251")
        self.assertIn('configuredServiceName = "\u0416"', dumped)


class BadInput(PackerCase):
    """Each bad input: one clear line, exit code 2, no output file."""

    def test_unknown_names_and_tables(self):
        self.assert_refused('[settings]\nnoSuchSetting = "x"\n', "unknown setting name 'noSuchSetting'")
        self.assert_refused('[messages]\nnoSuchMessage = "x"\n', "unknown message name 'noSuchMessage'")
        self.assert_refused('[settings]\nerrorCaption = "x"\n', "is a message")
        self.assert_refused('[messages]\napplicationType = "x"\n', "is a setting")
        self.assert_refused('[setting]\napplicationType = 1\n', "unknown table [setting]")
        self.assert_refused('applicationType = 1\n', "stands outside a table")
        self.assert_refused('[[language]]\nerrorCaption = "x"\n', "needs 'prefix'")

    def test_wrong_types(self):
        self.assert_refused('[settings]\napplicationType = true\n', "'applicationType' takes an integer")
        self.assert_refused('[settings]\nmainClass = 3\n', "'mainClass' takes a string")
        self.assert_refused('[settings]\nsingleInstance = 1.5\n', "takes a boolean")
        self.assert_refused('[messages]\nerrorCaption = 1\n', "takes a string")
        self.assert_refused('[settings]\nclassPath = ["a"]\n', "arrays are not used")

    def test_syntax_and_duplicates(self):
        self.assert_refused('[settings]\nmainClass = "open\n', "app.toml:2:")
        self.assert_refused('[settings]\napplicationType = 1\n107 = 2\n', "given twice")
        self.assert_refused('[settings]\nmainClass = "a"\nmainClass = "b"\n', "given twice")

    def test_character_outside_code_page_names_the_key(self):
        self.assert_refused('[settings]\nmainClass = "\u4e2d"\n', "'mainClass'")

    def test_missing_source(self):
        self.assert_refused('[[file]]\nname = "a.dll"\nsource = "nowhere.dll"\n', "does not exist")

    def test_hostile_file_names(self):
        (self.dir / "a").write_bytes(b"a")
        for name in ("C:\\\\x", "C:x", "\\\\a", "/a", "..\\\\a", "a\\\\..\\\\b", "a\\\\..\\\\..\\\\x",
                     "x\\\\y\\\\z", "a;b", "CON", "nul.txt", "lib\\\\nul.txt", "a:b",
                     "\\\\\\\\?\\\\c:\\\\x", "\\\\\\\\.\\\\pipe\\\\x", "\\\\\\\\srv\\\\share\\\\x",
                     "", ".", "a/../b", "COM\u00b9.txt", "nul .txt", "x" * 256):
            with self.subTest(name=name):
                self.assert_refused(f'[[file]]\nname = "{name}"\nsource = "a"\n', "the included file name")

    def test_two_names_for_one_file(self):
        (self.dir / "a").write_bytes(b"a")
        (self.dir / "b").write_bytes(b"b")
        # Windows tells neither letter case nor / and \\ apart (beyond ASCII too).
        for first, second in (("lib\\\\cb.dll", "lib\\\\cb.dll"), ("lib/CB.dll", "LIB\\\\cb.DLL"),
                              ("\u00c9t\u00e9.txt", "\u00e9T\u00c9.txt")):
            with self.subTest(first=first, second=second):
                config = (f'[[file]]\nname = "{first}"\nsource = "a"\n\n'
                          f'[[file]]\nname = "{second}"\nsource = "b"\n')
                self.assert_refused(config, f"app.toml:5:1: the included file name '{second.replace(chr(92) * 2, chr(92))}'"
                                    " names the same file as the [[file]] at 1:1")
        code, _, err = self.pack('[[file]]\nname = "lib\\\\a.dll"\nsource = "a"\n\n'
                                 '[[file]]\nname = "lib\\\\b.dll"\nsource = "b"\n')
        self.assertEqual(code, 0, err)

    def test_template_not_pe(self):
        template = self.dir / "template.exe"
        template.write_bytes(b"MZ" + b"\0" * 100)
        self.assert_refused("", "not a PE executable", template=template)
        template.write_bytes(b"not an executable at all")
        self.assert_refused("", "not a PE executable", template=template)

    def test_template_with_foreign_overlay(self):
        template = self.dir / "template.exe"
        template.write_bytes(TEMPLATE.read_bytes() + b"SIGNATURE")
        self.assert_refused("", "not a configuration block", template=template)

    def test_output_equal_to_template(self):
        template = self.dir / "template.exe"
        template.write_bytes(TEMPLATE.read_bytes())
        before = template.read_bytes()
        self.assert_refused("", "must not be the template", template=template, output="template.exe")
        self.assertEqual(template.read_bytes(), before)

    def test_failed_pack_keeps_existing_output(self):
        (self.dir / "app.exe").write_bytes(b"previous")
        code, _, _ = self.pack('[settings]\nnoSuchSetting = 1\n')
        self.assertEqual(code, 2)
        self.assertEqual((self.dir / "app.exe").read_bytes(), b"previous")

    def test_dump_of_non_executable(self):
        (self.dir / "x.exe").write_bytes(b"MZ nothing")
        code, _, err = run("--dump", self.dir / "x.exe")
        self.assertEqual(code, 2)
        self.assertIn("not a PE executable", err)
        code, _, err = run("--dump", TEMPLATE)
        self.assertEqual(code, 2)
        self.assertIn("Internal Error: readInt", err)


if __name__ == "__main__":
    unittest.main()
