"""Signing after packing: the signature verifies and --dump reads through it;
an already signed template is refused."""

import shutil
import tempfile
import unittest
from pathlib import Path

import pefiles
import test_packer as base

CONFIG = '[settings]\nconfiguredServiceName = "Signed"\n\n[[file]]\nname = "lib\\\\a.bin"\nsource = "a.bin"\n'


class Signing(base.PackerCase):
    @classmethod
    def setUpClass(cls):
        cls.keys = tempfile.TemporaryDirectory()
        cls.cert, cls.key = pefiles.make_certificate(Path(cls.keys.name))

    @classmethod
    def tearDownClass(cls):
        cls.keys.cleanup()

    def test_signed_package_verifies_and_dumps_as_unsigned(self):
        (self.dir / "a.bin").write_bytes(bytes(range(256)) * 9)
        self.assertEqual(self.pack(CONFIG)[0], 0)
        pefiles.sign(self.dir / "app.exe", self.dir / "signed.exe", self.cert, self.key)
        result = pefiles.verify(self.dir / "signed.exe", self.cert)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertIn("Signature verification: ok", result.stdout)
        dumps = [base.run("--dump", self.dir / exe, "--files-to", self.dir / exe.replace(".exe", ""))
                 for exe in ("app.exe", "signed.exe")]
        self.assertEqual(dumps[0][0], 0, dumps[0][2])
        self.assertEqual(dumps[0][1].replace("/app/", "/signed/"), dumps[1][1])
        self.assertEqual((self.dir / "signed" / "lib" / "a.bin").read_bytes(), bytes(range(256)) * 9)

    def test_signed_template_refused(self):
        self.assertEqual(self.pack(CONFIG.split("[[file]]")[0], output="packed.exe")[0], 0)
        for source in (base.TEMPLATE, self.dir / "packed.exe"):
            with self.subTest(template=source.name):
                pefiles.sign(source, self.dir / "template.exe", self.cert, self.key)
                self.assert_refused("", "the template is signed", template=self.dir / "template.exe")
                (self.dir / "template.exe").unlink()


if __name__ == "__main__":
    unittest.main()
