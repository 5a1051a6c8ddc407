"""Launch preparation under Wine: extraction of included files into the per-run
directory, its clean-up, the base temporary directory, the working directory,
PATH and variable expansion."""

import os
import re
import struct
import time
import unittest
from pathlib import Path

import harness
from harness import log_files, read_log
from launch_helpers import (MESSAGES, LOG_ON, NewLog, held_run, internal_error, per_run_dirs, shown_with_log)

CONSOLE = """
[settings]
configuredServiceName = "LaunchTest"
applicationType = 0
"""


def content(size: int, seed: int = 1) -> bytes:
    return bytes((i * 31 + seed * 7 + (i >> 8)) & 0xFF for i in range(size))


def file_entries(names_sources):
    return "".join(f"\n[[file]]\nname = '{n}'\nsource = 'src/{s}'\n" for n, s in names_sources)


class LaunchCase(harness.WineCase):
    def unix(self, windows_path: str) -> Path:
        return self.wine.to_unix(windows_path)

    def assert_removed_leaving_temp_file(self, log: str):
        """The per-run directory is named after its temporary file and the time,
        is gone, and the zero-length temporary file stays."""
        dirs = per_run_dirs(log)
        self.assertEqual(len(dirs), 1, log)
        m = re.search(r"\\(vek[0-9A-Fa-f]+\.tmp)_dir(\d+)$", dirs[0])
        self.assertIsNotNone(m, dirs[0])
        self.assertLess(abs(int(m.group(2)) - time.time()), 300, "seconds since 1970")
        per_run = self.unix(dirs[0])
        self.assertFalse(per_run.exists(), f"{per_run} must be removed")
        temp_file = per_run.parent / m.group(1)
        self.assertTrue(temp_file.is_file(), temp_file)
        self.assertEqual(temp_file.stat().st_size, 0)
        self.assertIn(f"tempFile is {dirs[0][: -len('_dir' + m.group(2))]}\r\n", log)
        return per_run


class Extraction(LaunchCase):
    SINGLE = CONSOLE + "singleInstance = 1\n" + MESSAGES

    def test_files_are_extracted_byte_for_byte(self):
        files = {"a.bin": content(10, 1), "b.bin": content(20, 2), "big.bin": content(6001, 3),
                 "zero.bin": b"", "zero2.bin": b""}
        toml = self.SINGLE + file_entries([("a.bin", "a.bin"), ("lib\\b.bin", "b.bin"), ("big.bin", "big.bin"),
                                           ("empty.bin", "zero.bin"), ("lib2\\none.bin", "zero2.bin")])
        exe = self.wine.pack(self.dir, toml, files=files)
        seen = {}

        def inspect(log):
            per_run = self.unix(per_run_dirs(log)[0])
            for rel in ("a.bin", "lib/b.bin", "big.bin", "empty.bin", "lib2/none.bin"):
                p = per_run / rel
                seen[rel] = p.read_bytes() if p.is_file() else None
            seen["lib2 is a directory"] = (per_run / "lib2").is_dir()

        r, log = held_run(self.wine, exe, inspect, self.temp)
        self.assertEqual(seen["a.bin"], files["a.bin"])
        self.assertEqual(seen["lib/b.bin"], files["b.bin"])
        self.assertEqual(seen["big.bin"], files["big.bin"])
        self.assertIsNone(seen["empty.bin"], "a size-0 record creates no file")
        self.assertIsNone(seen["lib2/none.bin"])
        self.assertTrue(seen["lib2 is a directory"], "its directory is still created")
        self.assertIn("Included files: 5\r\n", log)
        self.assertRegex(log, r"extracting .*\\a\.bin \(size: 10\)\r\n")
        self.assertRegex(log, r"creating directory .*_dir\d+\\lib\r\n")
        self.assertRegex(log, r"extracting .*\\lib\\b\.bin \(size: 20\)\r\n")
        self.assertRegex(log, r"extracting .*\\big\.bin \(size: 6001\)\r\n")
        self.assertRegex(log, r"extracting .*\\empty\.bin \(size: 0\)\r\n")
        self.assertIn("extracting files done\r\n", log)
        self.assertEqual(r.code, 0, "the second copy gives way")
        self.assert_removed_leaving_temp_file(log)

    def test_no_files_no_directory(self):
        exe = self.wine.pack(self.dir, CONSOLE + MESSAGES)
        r, log = self.logged_run(exe, "/run")
        self.assertEqual(r.code, 1)
        self.assertIn("Included files: 0\r\n", log)
        self.assertEqual(per_run_dirs(log), [])
        self.assertNotIn("extracting files done", log)

    def test_record_longer_than_the_file(self):
        exe = self.wine.pack(self.dir, CONSOLE + MESSAGES + file_entries([("a.bin", "a.bin")]),
                             files={"a.bin": content(100)})
        data = exe.read_bytes()
        exe.write_bytes(data[:-40])  # 60 of the 100 bytes remain
        r, log = self.logged_run(exe, "/run")
        self.assertEqual(r.code, 1)
        self.assertRegex(r.stderr, shown_with_log(internal_error("16")))
        self.assertEqual(r.stdout, "")
        self.assertRegex(log, r"ERROR: ReadFile failed 0 \d+ 60\r\n")
        self.assertRegex(log, r"ERROR: Failed to extract .*\\a\.bin\r\n")
        self.assert_removed_leaving_temp_file(log)
        # Without the log the message is the text alone.
        r = self.wine.run(exe, "/run")
        self.assertEqual((r.code, r.stdout, r.stderr), (1, "", internal_error("16") + "\r\n"))

    def test_record_size_beyond_any_file(self):
        exe = self.wine.pack(self.dir, CONSOLE + MESSAGES + file_entries([("a.bin", "a.bin")]),
                             files={"a.bin": content(16)})
        data = bytearray(exe.read_bytes())
        size_at = len(data) - 16 - 8
        self.assertEqual(struct.unpack_from("<q", data, size_at)[0], 16)
        struct.pack_into("<q", data, size_at, (1 << 62))
        exe.write_bytes(bytes(data))
        r, log = self.logged_run(exe, "/run")
        self.assertEqual(r.code, 1)
        self.assertRegex(r.stderr, shown_with_log(internal_error("16")))
        self.assertRegex(log, r"\(size: 4611686018427387904\)")
        self.assertRegex(log, r"ERROR: ReadFile failed 0 \d+ 16\r\n")
        self.assert_removed_leaving_temp_file(log)

    def test_missing_record_ends_with_readlong(self):
        exe = self.wine.pack(self.dir, CONSOLE + MESSAGES + file_entries([("a.bin", "a.bin")]),
                             files={"a.bin": content(8)})
        exe.write_bytes(exe.read_bytes()[:-12])  # cut inside the size field
        r, log = self.logged_run(exe, "/run")
        self.assertEqual(r.code, 1)
        self.assertRegex(r.stderr, shown_with_log("Internal Error: readLong"))
        self.assert_removed_leaving_temp_file(log)

    def test_file_that_cannot_be_created(self):
        # "lib" is a directory by the time the second record wants it as a file.
        toml = CONSOLE + MESSAGES + file_entries([("lib\\a.bin", "a.bin"), ("lib", "b.bin")])
        exe = self.wine.pack(self.dir, toml, files={"a.bin": content(5), "b.bin": content(6)})
        r, log = self.logged_run(exe, "/run")
        self.assertEqual(r.code, 1)
        self.assertRegex(r.stderr, shown_with_log(internal_error("11")))
        self.assert_removed_leaving_temp_file(log)

    def test_hostile_names_write_nothing(self):
        width = 20
        placeholder = "p" * width
        hostile = [
            "..\\" + "x" * (width - 3),
            "lib\\..\\..\\" + "x" * (width - 10),
            "../" + "x" * (width - 3),
            "C:" + "x" * (width - 2),
            "C:\\" + "x" * (width - 3),
            "\\" + "x" * (width - 1),
            "/" + "x" * (width - 1),
            "\\\\srv\\share\\" + "x" * (width - 12),
            "\\\\?\\C:\\" + "x" * (width - 7),
            "\\\\.\\C:\\" + "x" * (width - 7),
            "a:" + "x" * (width - 2),
            "CON." + "x" * (width - 4),
        ]
        exe0 = self.wine.pack(self.dir, CONSOLE + MESSAGES + file_entries([("ok.bin", "ok.bin"),
                                                                           (placeholder, "bad.bin")]),
                              files={"ok.bin": content(3), "bad.bin": b"EVIL" * 4})
        data = exe0.read_bytes()
        self.assertEqual(data.count(placeholder.encode()), 1)
        for i, name in enumerate(hostile):
            with self.subTest(name=name):
                self.assertEqual(len(name), width)
                exe = self.dir / f"h{i}.exe"
                exe.write_bytes(data.replace(placeholder.encode(), name.encode()))
                r, log = self.logged_run(exe, "/run")
                self.assertEqual(r.code, 1, log)
                self.assertRegex(r.stderr, shown_with_log(internal_error("11")))
                self.assertIn(f'ERROR: included file name "{name}"', log)
                self.assertEqual(per_run_dirs(log), [], "refused before anything is created")
                self.assertNotIn("extracting ", log.replace("extracting files\r\n", ""))
        # Nothing of the content landed anywhere it could have.
        tail = "x" * 7
        for root in (self.wine.drive_c, self.temp, self.dir, self.wine.drive_c / "users"):
            self.assertEqual([p for p in root.iterdir() if p.name.endswith(tail)], [], root)

    def test_two_records_for_one_file_are_refused(self):
        # The packer refuses such names; another tool's block gets them by
        # writing the name list directly. Windows would put both records in
        # one file, the application getting whichever came last.
        exe0 = self.wine.pack(self.dir, CONSOLE + MESSAGES + file_entries([("lib\\cb.dll", "a.bin"),
                                                                           ("lib\\cc.dll", "b.bin")]),
                              files={"a.bin": content(3), "b.bin": b"LAST" * 4})
        data = exe0.read_bytes()
        self.assertEqual(data.count(b"lib\\cc.dll"), 1)
        exe = self.dir / "twice.exe"
        exe.write_bytes(data.replace(b"lib\\cc.dll", b"LIB/CB.DLL"))
        r, log = self.logged_run(exe, "/run")
        self.assertEqual(r.code, 1, log)
        self.assertRegex(r.stderr, shown_with_log(internal_error("11")))
        self.assertIn('ERROR: included file name "LIB/CB.DLL" names the same file as "lib\\cb.dll"; '
                      "nothing is extracted\r\n", log)
        self.assertEqual(per_run_dirs(log), [], "refused before anything is created")


class CleanUp(LaunchCase):
    def test_one_level_rule(self):
        toml = Extraction.SINGLE + file_entries([("a.jar", "a.jar"), ("lib\\b.dll", "b.dll")])
        exe = self.wine.pack(self.dir, toml, files={"a.jar": content(7), "b.dll": content(9)})
        held = {}

        def nest_deeper(log):
            per_run = self.unix(per_run_dirs(log)[0])
            (per_run / "lib" / "x").mkdir()
            (per_run / "lib" / "x" / "c.dll").write_bytes(b"deep")
            (per_run / "lib" / "empty").mkdir()
            held["dir"] = per_run

        r, log = held_run(self.wine, exe, nest_deeper, self.temp)
        self.assertEqual(r.code, 0)
        per_run = held["dir"]
        self.assertTrue((per_run / "lib" / "x" / "c.dll").is_file(), "deeper nesting stays")
        self.assertTrue((per_run / "lib" / "x").is_dir())
        self.assertFalse((per_run / "a.jar").exists())
        self.assertFalse((per_run / "lib" / "b.dll").exists())
        self.assertFalse((per_run / "lib" / "empty").exists(), "an empty directory one level further down goes")
        self.assertEqual(sorted(p.name for p in per_run.iterdir()), ["lib"])
        self.assertIn("attempting to remove", log)


class BaseTempDirectory(LaunchCase):
    """The base directory follows TEMP of the user's environment in the registry."""

    ENV_KEY = r"HKCU\Environment"

    def setUp(self):
        super().setUp()
        self.saved = {v: self.wine.reg_query(self.ENV_KEY, v) for v in ("TEMP", "TMP")}

    def tearDown(self):
        for name, value in self.saved.items():
            if value is None:
                self.wine.run_raw(["reg", "delete", self.ENV_KEY, "/v", name, "/f"])
            else:
                self.wine.reg_add(self.ENV_KEY, name, value, "REG_EXPAND_SZ")

    def set_temp(self, windows_path: str):
        for name in ("TEMP", "TMP"):
            self.wine.reg_add(self.ENV_KEY, name, windows_path)

    def test_log_and_per_run_directory_in_the_chosen_directory(self):
        chosen = self.dir / "chosen"  # missing: the first candidate is created
        self.set_temp(self.wine.to_windows(chosen))
        exe = self.wine.pack(self.dir, CONSOLE + MESSAGES + file_entries([("a.bin", "a.bin")]),
                             files={"a.bin": content(4)})
        r = self.wine.run(exe, "/run", env=LOG_ON)
        self.assertEqual(r.code, 1)
        logs = log_files(chosen)
        self.assertEqual([p.name for p in logs], ["qar_nlog_1.log"])
        log = read_log(logs[0])
        self.assertIn(f"tempPath is {self.wine.to_windows(chosen)}\\\r\n", log)
        per_run = self.assert_removed_leaving_temp_file(log)
        self.assertEqual(per_run.parent, chosen)
        self.assertEqual([p.name for p in chosen.iterdir() if p.name.startswith("vektw")], [],
                         "the probe leaves nothing behind")

    def test_long_form_adopted_when_configured(self):
        long_dir = self.dir / "LongDirectoryName"
        long_dir.mkdir()
        long_win = self.wine.to_windows(long_dir)
        short = self.wine.cmd(f"for %I in ({long_win}) do @echo %~sI").stdout.strip()
        self.assertNotEqual(short.lower(), long_win.lower(), "an 8.3 form is needed")
        self.set_temp(short)
        for flag, expected in ((1, long_win), (0, short)):
            with self.subTest(tempDirLongForm=flag):
                exe = self.wine.pack(self.dir / f"l{flag}", CONSOLE + f"tempDirLongForm = {flag}\n" + MESSAGES +
                                     file_entries([("a.bin", "a.bin")]), files={"a.bin": content(4)})
                log = NewLog(long_dir)
                r = self.wine.run(exe, "/run", env=LOG_ON)
                self.assertEqual(r.code, 1)
                text = log.text()
                self.assertIn(f"tempPath is {expected}\\\r\n", text)
                self.assertEqual(f"using long path {long_win}\\\r\n" in text, flag == 1)

    def test_unusable_temp_falls_back_to_the_home_directory(self):
        blocker = self.dir / "not-a-directory"
        blocker.write_text("a file where TEMP points")
        self.set_temp(self.wine.to_windows(blocker))
        home = self.wine.drive_c / "users" / (os.environ.get("USER") or "root")
        self.assertFalse((home / "AppData" / "Local" / "Temp").exists(), "row 2 must be unavailable here")
        log = NewLog(home)
        try:
            exe = self.wine.pack(self.dir, CONSOLE + MESSAGES + file_entries([("a.bin", "a.bin")]),
                                 files={"a.bin": content(4)})
            r = self.wine.run(exe, "/run", env=LOG_ON)
            self.assertEqual(r.code, 1)
            self.assertIsNotNone(log.path(), "the log lands in HOMEDRIVE+HOMEPATH")
            text = log.text()
            home_win = self.wine.to_windows(home)
            self.assertIn(f"tempPath is {home_win}\r\n", text)
            per_run = self.assert_removed_leaving_temp_file(text)
            self.assertEqual(per_run.parent, home)
        finally:
            if log.path():
                log.path().unlink()
            for p in home.glob("vek*.tmp"):
                p.unlink()


class Environment(LaunchCase):
    def test_working_directory_relative_to_the_launcher(self):
        cases = [
            ("sub", "sub"),
            ("%VENNIC_EXEDIR%other", "other"),
            ("${launcher:sys.launcherDirectory}..\\Up", "..\\Up"),
        ]
        for i, (configured, expected_rel) in enumerate(cases):
            with self.subTest(configured=configured):
                toml = CONSOLE + f"workingDirectory = '{configured}'\n" + MESSAGES
                exe = self.wine.pack(self.dir / f"w{i}", toml)
                r, log = self.logged_run(exe, "/help")
                self.assertEqual(r.code, 0)
                expected = os.path.normpath(str(exe.parent / expected_rel.replace("\\", "/")))
                self.assertIn(f"change working directory to {self.wine.to_windows(Path(expected))}\r\n", log)
        exe = self.wine.pack(self.dir / "none", CONSOLE)
        r, log = self.logged_run(exe, "/help")
        self.assertIn("working directory unchanged\r\n", log)

    def test_launcher_directory_beyond_latin1_in_the_narrow_form(self):
        # The euro sign and S with caron are in the ANSI code page (1252) but
        # not in Latin-1: the narrow launcher directory holds them, and its
        # widened form must be the same letters, not their bytes taken as
        # Latin-1 (U+0080, U+008A).
        directory = self.wine.workdir("\u20acuro \u0160aft")
        toml = CONSOLE + "workingDirectory = '${launcher:sys.launcherDirectory}sub'\n" + MESSAGES
        exe = self.wine.pack(directory, toml)
        r, log = self.logged_run(exe, "/help")
        self.assertEqual(r.code, 0)
        self.assertNotIn("~", re.search(r"narrow module path (.*)\r\n", log).group(1), "the long form")
        self.assertIn(f"change working directory to {self.wine.to_windows(directory)}\\sub\r\n", log)

    def test_native_library_directories_go_in_front_of_path(self):
        toml = CONSOLE + "useDllDirectories = 1\n" + \
            "nativeLibraryDirectories = 'lib;C:\\ext;;${MYLIBS};${VENNIC_TEMPDIR}\\native'\n" + MESSAGES + \
            file_entries([("native\\n.dll", "n.dll")])
        exe = self.wine.pack(self.dir, toml, files={"n.dll": content(12)})
        r, log = self.logged_run(exe, "/run", env={"MYLIBS": "D:\\my libs", "WINEPATH": "D:\\tools"})
        self.assertEqual(r.code, 1)
        per_run = per_run_dirs(log)[0]
        exe_dir = self.wine.to_windows(self.dir)
        self.assertIn("native lib dir is lib;C:\\ext;;${MYLIBS};${VENNIC_TEMPDIR}\\native\r\n", log)
        self.assertIn(f"expanding2 ${{MYLIBS}} to D:\\my libs in lib;C:\\ext;;D:\\my libs;{per_run}\\native.\r\n",
                      log)
        m = re.search(r"Setting PATH \(native libs\) (.*)\r\n", log)
        self.assertIsNotNone(m, log)
        self.assertTrue(m.group(1).startswith(f"{exe_dir}\\lib;C:\\ext;D:\\my libs;{per_run}\\native;D:\\tools;"),
                        m.group(1))
        self.assertIn(f"Adding DLL directory {exe_dir}\\lib\r\n", log)
        self.assertIn(f"Adding DLL directory {per_run}\\native\r\n", log)
        # Extraction comes first, so the directory exists when PATH names it.
        self.assertLess(log.index("extracting files done"), log.index("Setting PATH"))

    def test_path_unchanged_without_directories(self):
        exe = self.wine.pack(self.dir, CONSOLE + MESSAGES)
        r, log = self.logged_run(exe, "/run", env={"WINEPATH": "D:\\tools"})
        m = re.search(r"Setting PATH \(native libs\) (.*)\r\n", log)
        self.assertTrue(m and m.group(1).startswith("D:\\tools;C:\\windows"), log)
        self.assertNotIn("Adding DLL directory", log)

    def test_path_reduced_to_the_windows_directory(self):
        exe = self.wine.pack(self.dir, CONSOLE + "systemPathOnly = 1\n" + MESSAGES)
        r, log = self.logged_run(exe, "/run", env={"WINEPATH": "D:\\tools;c:\\WINDOWS\\mine;E:\\x;C:\\WindowsApps"})
        self.assertEqual(r.code, 1)
        self.assertRegex(log, r"reducing PATH 10 \d+ D:\\tools;c:\\WINDOWS\\mine;E:\\x;C:\\WindowsApps;C:\\windows")
        m = re.search(r"reduced PATH (\d+) to (.*)\r\n", log)
        self.assertIsNotNone(m, log)
        reduced = m.group(2)
        self.assertEqual(int(m.group(1)), len(reduced))
        self.assertTrue(reduced.startswith("c:\\WINDOWS\\mine;C:\\windows\\system32;C:\\windows"), reduced)
        self.assertNotIn("D:\\tools", reduced)
        self.assertNotIn("E:\\x", reduced)
        self.assertNotIn("WindowsApps", reduced, "an entry counts only below the directory")
        # The native library step then starts from the reduced PATH.
        self.assertIn(f"Setting PATH (native libs) {reduced}\r\n", log)

    def test_environment_variables_expand_as_spelled_and_upper_cased(self):
        toml = CONSOLE + "workingDirectory = '${launcher:sys.tempDir}${Wl_Sub}${WL_SUB}${wl_sub}'\n" + MESSAGES
        exe = self.wine.pack(self.dir, toml)
        r, log = self.logged_run(exe, "/help", env={"Wl_Sub": "leaf"})
        temp_win = self.wine.to_windows(self.temp)
        self.assertIn(f"expanding2 ${{launcher:sys.tempDir}} to {temp_win}\\ in "
                      f"{temp_win}\\${{Wl_Sub}}${{WL_SUB}}${{wl_sub}}.\r\n", log)
        self.assertIn(f"change working directory to {temp_win}\\leafleaf${{wl_sub}}\r\n", log)


if __name__ == "__main__":
    unittest.main()
