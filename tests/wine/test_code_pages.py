"""Narrow text under Wine in the code page the locale gives: paths in the
double-byte code page 932 (Japanese), whose characters 予, 表 and ソ end in
0x5C, the byte of the backslash; and the splash texts in 1252, whose bytes
0x80-0x9F are characters such as the em dash."""

import subprocess
import unittest

import harness
import jretree
from jretree import make_jre
from test_java_launch import NO_JAVA_ENV, fields

JAPANESE = "ja_JP.UTF-8"


def japanese_locale_exists() -> bool:
    """Wine takes its ANSI code page from the Unix locale (scripts/setup makes it)."""
    found = subprocess.run(["locale", "-a"], capture_output=True, text=True).stdout.split()
    return any(name.lower().replace("-", "") == "ja_jp.utf8" for name in found)


class CodePageCase(harness.WineCase):
    def setUp(self):
        super().setUp()
        jretree.clean_registry(self.wine)
        self.addCleanup(jretree.clean_registry, self.wine)

    def launch(self, jre, exe, lang=None):
        for old in jre.bin.glob("*/fake-jvm.record"):
            old.unlink()
        r, log = self.logged_run(exe, "/run", env=NO_JAVA_ENV, lang=lang)
        record = jre.jvm_record()
        self.assertEqual([e for e in record if e[0] in ("violation", "unexpected")], [], "clean JNI use")
        return r, log, record


class DoubleByteCodePage(CodePageCase):
    def test_launcher_in_a_directory_whose_name_ends_in_0x5c(self):
        if not japanese_locale_exists():
            self.skipTest("no ja_JP.UTF-8 locale (scripts/setup generates it)")
        acp = self.wine.run(harness.TESTING / "hello.exe", "acp", lang=JAPANESE)
        self.assertEqual(acp.stdout.strip(), "932", "Wine's ANSI code page under " + JAPANESE)

        # 予定表 in 932 is 97 5C 92 E8 95 5C: a byte-wise collapse of doubled
        # backslashes took its last byte and the separator after it for a pair.
        d = self.dir / "予定表"
        jre = make_jre(d / "jre", "17.0.2")
        (d / "lib").mkdir()
        (d / "lib" / "a.jar").write_bytes(b"PK")
        (d / "ソ").mkdir()
        (d / "ソ" / "b.jar").write_bytes(b"PK")
        toml = """
[settings]
configuredServiceName = "CodePageTest"
applicationType = 0
jreSearchSequence = "Ajre"
mainClass = "com.example.Main"
classPath = "A1lib\\\\a.jar;S1ソ"

[[file]]
name = '表.jar'
source = 'src/表.jar'
"""
        exe = self.wine.pack(d, toml, files={"表.jar": b"PK"}, codepage=932)
        r, log, record = self.launch(jre, exe, lang=JAPANESE)
        self.assertEqual(r.code, 0, log)
        here = self.wine.to_windows(d)
        class_path = [o for (o,) in fields(record, "option") if o.startswith("-Djava.class.path=")]
        self.assertEqual(len(class_path), 1, record)
        pieces = class_path[0][len("-Djava.class.path="):].split(";")
        # The included archive in the per-run directory first, then the pieces.
        self.assertEqual(len(pieces), 3, pieces)
        self.assertRegex(pieces[0], r"\\vek[^\\]*_dir\d+\\表\.jar$")
        self.assertEqual(pieces[1:], [here + "\\lib\\a.jar", here + "\\ソ\\b.jar"])
        self.assertIn(("main",), record)


class SingleByteCodePage(CodePageCase):
    def test_splash_texts_are_widened_through_1252(self):
        jre = make_jre(self.dir / "jre", "17.0.2")
        # The packer writes the settings in 1252: the em dash is 0x97 and the
        # euro sign 0x80, C1 controls when widened byte for byte.
        toml = """
[settings]
configuredServiceName = "SplashTest"
applicationType = 0
jreSearchSequence = "Ajre"
mainClass = "com.example.Main"
splashTextSettings = true
10111 = "Loading — 5 €"
splashLine1Colour = "255,0,0"
splashLine2Text = "© ™ é"
"""
        exe = self.wine.pack(self.dir, toml)
        self.assertIn(b"Loading \x97 5 \x80", exe.read_bytes(), "the setting as the packer stores it")
        r, log, record = self.launch(jre, exe)
        self.assertEqual(r.code, 0, log)
        splash = fields(record, "splash")
        self.assertEqual(len(splash), 1, record)
        self.assertEqual(splash[0][2:4], ("Loading \u2014 5 \u20ac", "0"))
        self.assertEqual(splash[0][5], "255,0,0")
        self.assertEqual(splash[0][8], "\u00a9 \u2122 \u00e9")


if __name__ == "__main__":
    unittest.main()
