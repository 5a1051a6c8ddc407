"""The entry point under Wine: role dispatch, usage line, damaged executables,
and the log file."""

import re
import struct
import unittest

import harness
from harness import block_start

BASIC = """
[settings]
configuredServiceName = "EntryTest"
applicationType = 0
"""

USAGE = "Usage: app.exe /install | /uninstall | /stop | /start | /status | /run | /run-redirect\r\n"


class HelpAndDispatch(harness.WineCase):
    def test_help_spellings_print_usage(self):
        exe = self.wine.pack(self.dir, BASIC)
        for arg in ("/help", "-help", "--help", "/?", "-?", "--?"):
            with self.subTest(arg=arg):
                r = self.wine.run(exe, arg)
                self.assertEqual(r.code, 0)
                self.assertEqual(r.stdout, USAGE)

    def test_without_command_goes_to_dispatcher(self):
        exe = self.wine.pack(self.dir, BASIC)
        for args in ([], ["/INSTALL"], ["/"], ["--"], ["/frobnicate"], ["plain"]):
            with self.subTest(args=args):
                self.wine.detach_service_dispatcher()
                r, log = self.logged_run(exe, *args)
                self.assertEqual(r.code, 0)
                self.assertIn("calling StartServiceCtrlDispatcher", log)
                # ERROR_FAILED_SERVICE_CONTROLLER_CONNECT
                self.assertIn("StartServiceCtrlDispatcher failed with error 1063\r\n", log)
                self.assertIn("StartServiceCtrlDispatcher returned", log)
                self.assertEqual(r.stdout, "")

    def test_marker_must_be_last(self):
        exe = self.wine.pack(self.dir, BASIC)
        r, log = self.logged_run(exe, "a", "b", "__qar_restart")
        self.assertEqual(r.code, 1, "the worker role runs the launch, which finds no runtime")
        self.assertNotIn("StartServiceCtrlDispatcher", log)

        self.wine.detach_service_dispatcher()
        r, log = self.logged_run(exe, "__qar_restart", "a")
        self.assertEqual(r.code, 0)
        self.assertIn("calling StartServiceCtrlDispatcher", log)

    def test_run_commands_clear_service_role(self):
        exe = self.wine.pack(self.dir, BASIC)
        r, log = self.logged_run(exe, "/run", "x")
        self.assertEqual(r.code, 1)
        self.assertIn("running service\r\n", log)
        r, log = self.logged_run(exe, "--run-redirect")
        self.assertEqual(r.code, 1)
        self.assertIn("running service with redirection", log)

    def test_command_line_is_logged(self):
        exe = self.wine.pack(self.dir, BASIC)
        self.wine.detach_service_dispatcher()
        r, log = self.logged_run(exe, "/frobnicate", "two words")
        self.assertRegex(log, r"command line .*app\.exe.* /frobnicate \"two words\"")


class ModulePath(harness.WineCase):
    def test_directory_outside_code_page_uses_short_form(self):
        target = self.wine.workdir("\u03a9mega dir")
        exe = self.wine.pack(target, BASIC)
        r, log = self.logged_run(exe, "/help")
        self.assertEqual(r.code, 0)
        self.assertIn("init file name C:\\t\\\u03a9mega dir\\app.exe", log)
        narrow = re.search(r"narrow module path (.*)\r\n", log).group(1)
        self.assertNotIn("?", narrow)
        self.assertTrue(narrow.lower().endswith("\\app.exe"), narrow)
        self.assertIn("~", narrow, "the 8.3 form of the directory")

    def test_path_of_about_300_characters(self):
        # Four levels of 70 characters below C:\t\<test>: the path is longer
        # than the buffer the module name is first read into.
        target = self.dir
        for letter in "wxyz":
            target = target / (letter * 70)
        exe = self.wine.pack(target, BASIC)
        windows = self.wine.to_windows(exe)
        self.assertGreater(len(windows), 300)
        r, log = self.logged_run(exe, "/help")
        self.assertEqual((r.code, r.stdout), (0, USAGE), r.stderr)
        self.assertIn(f"init file name {windows} {windows} {len(windows)} ", log)

    def test_plain_directory_keeps_long_form(self):
        exe = self.wine.pack(self.wine.workdir("Plain Dir"), BASIC)
        r, log = self.logged_run(exe, "/help")
        self.assertIn("narrow module path C:\\t\\Plain Dir\\app.exe\r\n", log)


class DamagedExecutable(harness.WineCase):
    """Every damaged block ends with exit code 1 and no crash."""

    def packed_bytes(self):
        exe = self.wine.pack(self.dir, BASIC, name="good.exe")
        return exe.read_bytes()

    def run_damaged(self, data: bytes):
        exe = self.dir / "bad.exe"
        exe.write_bytes(data)
        r, log = self.logged_run(exe)
        self.assertEqual(r.code, 1, log)
        self.assertNotIn("StartServiceCtrlDispatcher", log)
        return log

    def test_template_without_overlay(self):
        log = self.run_damaged(harness.TEMPLATE.read_bytes())
        self.assertIn("rawDataSize:", log)
        self.assertIn("error 0 0", log)

    def test_bad_magic(self):
        data = bytearray(self.packed_bytes())
        data[block_start(data)] ^= 0xFF
        self.run_damaged(bytes(data))

    def test_truncated_record(self):
        data = self.packed_bytes()
        start = block_start(data)
        # Cut inside the first setting's text.
        self.run_damaged(data[: start + 20 + 4 + 4 + 4 + 3])

    def test_negative_and_huge_lengths(self):
        data = self.packed_bytes()
        start = block_start(data)
        length_at = start + 20 + 4 + 4  # header, count, first id
        for length in (-1, -2147483648, 0x7FFFFFFF, 1 << 30):
            with self.subTest(length=length):
                bad = bytearray(data)
                struct.pack_into("<i", bad, length_at, length)
                self.run_damaged(bytes(bad))

    def test_negative_message_length(self):
        toml = BASIC + '\n[messages]\nerrorCaption = "x"\n'
        exe = self.wine.pack(self.dir, toml, name="msg.exe")
        data = bytearray(exe.read_bytes())
        at = bytes(data).find("x".encode("utf-16-le"), block_start(data)) - 4
        struct.pack_into("<i", data, at, -4)
        self.run_damaged(bytes(data))


    def test_caption_read_before_the_damage(self):
        """A block cut inside a language section still shows its caption: the
        records before the damage are in the store when the error is shown."""
        toml = BASIC.replace("applicationType = 0", "applicationType = 1") + \
            '\n[messages]\nerrorCaption = "Read Caption"\n\n[[language]]\nprefix = "xx"\nerrorCaption = "Cut Caption"\n'
        exe = self.wine.pack(self.dir, toml, name="caption.exe")
        data = exe.read_bytes()
        cut = data.find("Cut".encode("utf-16-le"), block_start(data))
        exe.write_bytes(data[:cut + 2])
        r = self.wine.run(exe, "/run", env=self.wine.trace_message_boxes())
        self.assertEqual(r.code, 1)
        self.assertEqual(harness.message_boxes(r.stderr), [("Internal Error: readWString", "Read Caption")])


class LogFile(harness.WineCase):
    def test_header_and_line_format(self):
        exe = self.wine.pack(self.dir, BASIC)
        r, log = self.logged_run(exe, "/help")
        lines = log.split("\r\n")
        self.assertRegex(lines[0], r"^Started executable C:\\t\\.*\\app\.exe at "
                                   r"(Mon|Tue|Wed|Thu|Fri|Sat|Sun) [A-Z][a-z]{2} \d\d \d\d:\d\d:\d\d \d{4}$")
        self.assertEqual(lines[1], "")
        for line in lines[2:-1]:
            self.assertRegex(line, r"^\[\d+:\d+\] ")
        self.assertEqual(lines[-1], "")
        self.assertNotIn("\n", log.replace("\r\n", ""))
        self.assertIn("number of sections:", log)

    def test_numbering_skips_existing_files(self):
        exe = self.wine.pack(self.dir, BASIC)
        (self.temp / "qar_nlog_1.log").write_text("one")
        (self.temp / "qar_nlog_2.log").write_text("two")
        self.wine.run(exe, "/help", env={"QUARLO_LOG": "yes"})
        self.assertTrue((self.temp / "qar_nlog_3.log").exists())
        self.assertEqual((self.temp / "qar_nlog_1.log").read_text(), "one")

    def test_only_lower_case_yes_switches_it_on(self):
        exe = self.wine.pack(self.dir, BASIC)
        for value in ("Yes", "YES", "yes ", "1"):
            with self.subTest(value=value):
                self.wine.run(exe, "/help", env={"VENNIC_LOG": value, "QUARLO_LOG": value})
                self.assertEqual(harness.log_files(self.temp), [])

    def test_kernel32_is_looked_up_not_loaded(self):
        exe = self.wine.pack(self.dir, BASIC)
        r = self.wine.run(exe, "/help", env=self.wine.trace_calls("kernel32.LoadLibraryA", "kernel32.GetModuleHandleW"))
        # The launcher's own calls: its image lies at 0x140000000.
        calls = re.findall(r'Call KERNEL32\.(\w+)\([0-9a-f]+ L?"([^"]*)"\) ret=14', r.stderr)
        self.assertIn(("GetModuleHandleW", "kernel32.dll"), calls)
        self.assertNotIn("LoadLibraryA", [name for name, _ in calls])

    def test_locale_from_lang(self):
        exe = self.wine.pack(self.dir, BASIC)
        r, log = self.logged_run(exe, "/help", lang="de_DE.UTF-8")
        self.assertIn("language/country is de_DE\r\n", log)
        r, log = self.logged_run(exe, "/help", lang="pt_BR.UTF-8")
        self.assertIn("language/country is pt_BR\r\n", log)


if __name__ == "__main__":
    unittest.main()
