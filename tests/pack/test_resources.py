"""The icon and the version information of a packed executable, read back with
wrestool; the application manifest of both launchers."""

import struct

import pefiles
import test_packer as base

VERSION = {
    "FileVersion": "1.2.3.4",
    "ProductVersion": "5.6-beta",
    "ProductName": "Caf\u00e9 App",
    "CompanyName": "ACME",
    "FileDescription": "The application",
    "LegalCopyright": "\u00a9 2024 ACME",
    "OriginalFilename": "app.exe",
}

CONFIG = "[settings]\nconfiguredServiceName = \"Res\"\n\n[resources]\nicon = \"app.ico\"\n\n[resources.version]\n" + \
    "".join(f'{k} = "{v}"\n' for k, v in VERSION.items())


def sections(data: bytes):
    """(name, virtual address, raw size, raw offset) of every section."""
    pe = struct.unpack_from("<I", data, 60)[0]
    count, optional = struct.unpack_from("<HH", data, pe + 6)[0], struct.unpack_from("<H", data, pe + 20)[0]
    table = pe + 24 + optional
    return [(data[h:h + 8].rstrip(b"\0").decode(),) + struct.unpack_from("<III", data, h + 12)
            for h in (table + 40 * i for i in range(count))]


class Resources(base.PackerCase):
    def setUp(self):
        super().setUp()
        self.ico = pefiles.make_ico()
        (self.dir / "app.ico").write_bytes(self.ico)

    def test_icon_and_version_read_back(self):
        code, _, err = self.pack(CONFIG)
        self.assertEqual(code, 0, err)
        exe = self.dir / "app.exe"
        listed = {(t, n) for t, n, _ in pefiles.resource_list(exe)}
        self.assertEqual(listed, {("3", "1"), ("3", "2"), ("3", "3"), ("11", "1"), ("14", "1"), ("16", "1"), ("24", "1")})
        group = pefiles.wrestool("-x", "--type=14", exe)
        self.assertEqual(pefiles.ico_images(group), pefiles.ico_images(self.ico), "every image of the icon")
        strings, file_version, product_version = pefiles.version_info(pefiles.wrestool("-x", "--raw", "--type=16", exe))
        self.assertEqual(strings, VERSION)
        self.assertEqual((file_version, product_version), ((1, 2, 3, 4), (5, 6, 0, 0)))

    def test_sections_stay_and_block_follows_the_last(self):
        self.assertEqual(self.pack(CONFIG)[0], 0)
        data, template = (self.dir / "app.exe").read_bytes(), base.TEMPLATE.read_bytes()
        old, new = sections(template), sections(data)
        self.assertEqual([s[0] for s in new], [s[0] for s in old])
        rsrc = [s[0] for s in old].index(".rsrc")
        self.assertEqual(new[:rsrc], old[:rsrc], "sections before the resources keep their place")
        self.assertEqual(data[old[0][3]:old[rsrc][3]], template[old[0][3]:old[rsrc][3]], "and their bytes")
        self.assertEqual(new[-1][0], ".reloc")
        self.assertEqual(data[new[-1][3]:new[-1][3] + new[-1][2]], template[old[-1][3]:old[-1][3] + old[-1][2]])
        start = base.block_start(data)
        self.assertEqual(start, new[-1][3] + new[-1][2])
        self.assertEqual(struct.unpack_from("<I", data, start)[0], 0xE8E413D5)

    def test_packing_again_and_dump_round_trip(self):
        self.assertEqual(self.pack(CONFIG)[0], 0)
        first = (self.dir / "app.exe").read_bytes()
        code, _, err = self.pack(CONFIG, output="again.exe", template=self.dir / "app.exe")
        self.assertEqual(code, 0, err)
        self.assertEqual((self.dir / "again.exe").read_bytes(), first, "a packed template gives the same bytes")
        code, dumped, err = base.run("--dump", self.dir / "app.exe", "--files-to", self.dir / "out")
        self.assertEqual(code, 0, err)
        self.assertIn('ProductName = "Caf\u00e9 App"', dumped)
        self.assertEqual((self.dir / "out" / "icon.ico").read_bytes(), self.ico)
        code, _, err = self.pack(dumped, output="dumped.exe")
        self.assertEqual(code, 0, err)
        self.assertEqual((self.dir / "dumped.exe").read_bytes(), first)

    def test_bad_icon_and_version_refused(self):
        (self.dir / "bad.ico").write_bytes(self.ico[:40])
        for config, needle in [
            ('[resources]\nicon = "bad.ico"\n', "bad.ico ends inside its directory"),
            ('[resources]\nicon = "none.ico"\n', "the icon file"),
            ('[resources]\nicon = 1\n', "'icon' takes a string"),
            ('[resources]\nimage = "app.ico"\n', "[resources] takes 'icon'"),
            ('[resources.version]\nFileVersion = "v1"\n', "'FileVersion' must begin with a version number"),
            ('[resources.version]\nProductVersion = "1.70000"\n', "no larger than 65535"),
            ('[resources.version]\nFileVersion = "1.2.3.4.5"\n', "at most four numbers"),
            ('[resources.version]\nComments = "x"\n', "[resources.version] takes FileVersion"),
        ]:
            with self.subTest(config=config):
                self.assert_refused(config, needle)

    def test_empty_version_table_changes_nothing(self):
        plain = '[settings]\nconfiguredServiceName = "Res"\n'
        self.assertEqual(self.pack(plain, output="plain.exe")[0], 0)
        self.assertEqual(self.pack(plain + "[resources.version]\n", output="empty.exe")[0], 0)
        self.assertEqual((self.dir / "empty.exe").read_bytes(), (self.dir / "plain.exe").read_bytes())

    def test_launchers_carry_the_manifest(self):
        self.assertEqual(self.pack(CONFIG)[0], 0)
        for exe in (base.TEMPLATE, base.ROOT / "build" / "win32" / "winlaunch.exe", self.dir / "app.exe"):
            with self.subTest(exe=exe.name):
                manifest = pefiles.wrestool("-x", "--raw", "--type=24", "--name=1", exe).decode()
                self.assertIn('level="asInvoker"', manifest)
                for os_id in ("35138b9a-5d96-4fbd-8e2d-a2440225f93a", "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38",
                              "1f676c76-80e1-4239-95bb-83d0f6d0da78", "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"):
                    self.assertIn(os_id, manifest)
