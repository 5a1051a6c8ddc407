"""Several --config files laid over each other, and the list of inputs."""

import unittest

import pefiles
import test_packer as base
from test_packer import TEMPLATE, run

ICON = pefiles.make_ico()


class Layers(base.PackerCase):
    def pack_layers(self, *names, extra=()):
        args = ["--template", TEMPLATE]
        for name in names:
            args += ["--config", self.dir / name]
        return run(*args, "--output", self.dir / "app.exe", *extra)

    def test_later_files_win_and_add(self):
        (self.dir / "one").mkdir()
        (self.dir / "two").mkdir()
        (self.dir / "one" / "a.jar").write_bytes(b"first a")
        (self.dir / "one" / "b.jar").write_bytes(b"first b")
        (self.dir / "two" / "a.jar").write_bytes(b"second a")
        (self.dir / "two" / "app.ico").write_bytes(ICON)
        self.write("one/base.toml", '[settings]\nmainClass = "base.Main"\nclassPath = "A1lib\\\\a.jar"\n'
                   '[messages]\nerrorCaption = "Base"\n'
                   '[[language]]\nprefix = "de"\nerrorCaption = "Basis"\n'
                   '[[file]]\nname = "lib\\\\a.jar"\nsource = "a.jar"\n'
                   '[[file]]\nname = "b.jar"\nsource = "b.jar"\n'
                   '[resources.version]\nFileVersion = "1.0"\nProductName = "Base"\n')
        # Relative to its own directory; the same name in other letter case
        # replaces the file in its place.
        self.write("two/user.toml", '[settings]\nmainClass = "user.Main"\nsingleInstance = true\n'
                   '[[language]]\nprefix = "fr"\nerrorCaption = "Erreur"\n'
                   '[[file]]\nname = "LIB/A.JAR"\nsource = "a.jar"\n'
                   '[resources]\nicon = "app.ico"\n'
                   '[resources.version]\nProductName = "User"\n')
        self.write("top.toml", '[settings]\nmainClass = "top.Main"\n[messages]\nerrorCaption = "Top"\n')
        code, _, err = self.pack_layers("one/base.toml", "two/user.toml", "top.toml",
                                        extra=("--inputs-to", self.dir / "inputs.txt"))
        self.assertEqual(code, 0, err)
        files = self.dir / "files"
        code, dumped, err = run("--dump", self.dir / "app.exe", "--files-to", files)
        self.assertEqual(code, 0, err)
        for line in ('mainClass = "top.Main"', 'classPath = "A1lib\\\\a.jar"', "singleInstance = true",
                     'errorCaption = "Top"', 'ProductName = "User"', 'FileVersion = "1.0"'):
            self.assertIn(line + "\n", dumped)
        self.assertNotIn("given again", dumped)
        self.assertLess(dumped.index('prefix = "de"'), dumped.index('prefix = "fr"'))
        self.assertEqual(sorted(p.relative_to(files).as_posix() for p in files.rglob("*") if p.is_file()),
                         ["LIB/A.JAR", "b.jar", "icon.ico"])
        self.assertEqual((files / "LIB" / "A.JAR").read_bytes(), b"second a")
        self.assertEqual((files / "icon.ico").read_bytes(), ICON)
        self.assertLess(dumped.index("LIB\\\\A.JAR"), dumped.index('"b.jar"'), "replaced in its place")

        listed = (self.dir / "inputs.txt").read_text(encoding="utf-8").splitlines()
        self.assertEqual(listed[:4], [str(TEMPLATE)] + [str(self.dir / n) for n in
                                                         ("one/base.toml", "two/user.toml", "top.toml")])
        self.assertEqual(sorted(listed[4:]), sorted(
            [(self.dir / "two" / "a.jar").as_posix(), (self.dir / "one" / "b.jar").as_posix(),
             (self.dir / "two" / "app.ico").as_posix()]), "the replaced file is not read")

    def test_errors_name_their_file(self):
        (self.dir / "x.jar").write_bytes(b"x")
        self.write("good.toml", '[[file]]\nname = "x.jar"\nsource = "x.jar"\n')
        self.write("bad.toml", '[settings]\nmainClass = "a"\n\nmainClas = "b"\n')
        self.write("count.toml", '[settings]\nmainClass = "a"\nincludedFileCount = 1\n')
        for names, needle in [(("good.toml", "bad.toml"), "bad.toml:4:1: unknown setting name 'mainClas'"),
                              (("good.toml", "count.toml"), "count.toml:3:1: includedFileCount and"),
                              (("count.toml", "good.toml"), "count.toml:3:1: includedFileCount and")]:
            with self.subTest(names=names):
                code, _, err = self.pack_layers(*names, extra=("--inputs-to", self.dir / "inputs.txt"))
                self.assertEqual(code, 2, err)
                self.assertIn(needle, err)
                self.assertEqual(len(err.strip().splitlines()), 1, err)
                self.assertFalse((self.dir / "app.exe").exists())
                self.assertFalse((self.dir / "inputs.txt").exists(), "no list of a packing that failed")
        # Set by hand with no file in any layer, the count stays as given.
        code, _, err = self.pack_layers("count.toml")
        self.assertEqual(code, 0, err)

    def test_one_file_packs_as_before(self):
        self.write("app.toml", base.CONFIG)
        code, _, err = self.pack_layers("app.toml")
        self.assertEqual(code, 0, err)
        alone = (self.dir / "app.exe").read_bytes()
        self.write("empty.toml", "# nothing\n")
        code, _, err = self.pack_layers("app.toml", "empty.toml")
        self.assertEqual(code, 0, err)
        self.assertEqual((self.dir / "app.exe").read_bytes(), alone, "an empty layer changes nothing")


if __name__ == "__main__":
    unittest.main()
