"""The single-instance lock under Wine. A stand-in first copy (the test double
instance_holder) holds the semaphore the way a running launcher does, so the
launcher under test can meet it as the second copy."""

import re
import time
import unittest

import harness
from harness import wait_for
from jretree import make_jre
from launch_helpers import (MESSAGES, LOG_ON, PIDS_KEY, Holder, NewLog, finish, forget_pid, instance_key,
                            per_run_dirs, semaphore_name, start)

BASE = """
[settings]
configuredServiceName = "InstanceTest"
applicationType = 0
"""

SINGLE = BASE + "singleInstance = 1\n"


class InstanceCase(harness.WineCase):
    def pack(self, settings: str, name="app.exe", extra=""):
        exe = self.wine.pack(self.dir, settings + MESSAGES + extra, name=name)
        self.key = instance_key(self.wine, exe)
        forget_pid(self.wine, self.key)
        return exe

    def logged_run(self, exe, *args):
        started = time.time()
        result = super().logged_run(exe, *args)
        self.elapsed = time.time() - started
        return result

    def recorded_pid(self):
        value = self.wine.reg_query(PIDS_KEY, self.key)
        return None if value is None else int(value, 16)

    def semaphore_lines(self, log):
        return re.findall(r"semaphore name (.*), code (\d+), value ([0-9A-F]+)\r\n", log)


class FirstCopy(InstanceCase):
    def test_takes_the_lock_and_records_its_pid(self):
        exe = self.pack(SINGLE)
        self.wine.reg_add(PIDS_KEY, self.key, "0x7777", "REG_DWORD")
        r, log = self.logged_run(exe, "/run")
        self.assertEqual(r.code, 1, "no runtime is found: the run ends after the lock")
        self.assertIn("single instance mode\r\n", log)
        lines = self.semaphore_lines(log)
        self.assertEqual(len(lines), 1, log)
        name, code, handle = lines[0]
        self.assertEqual(name, semaphore_name(self.key))
        self.assertTrue(name.startswith("Local\\c:_t_test_takes_the_lock"), name)
        self.assertEqual(code, "0")
        self.assertNotEqual(int(handle, 16), 0)
        pid = self.recorded_pid()
        self.assertNotIn(pid, (None, 0, 0x7777), "the first copy overwrites the value with its own id")
        # Lock, then the end of this build's launch.
        self.assertLess(log.index("single instance mode"), log.index("LoadDLL ("))

    def test_lock_comes_after_extraction_and_path(self):
        (self.dir / "src").mkdir(exist_ok=True)
        (self.dir / "src" / "a.txt").write_bytes(b"abc")
        exe = self.pack(SINGLE, extra='\n[[file]]\nname = "a.txt"\nsource = "src/a.txt"\n')
        r, log = self.logged_run(exe, "a", "__qar_restart")
        order = [log.index(s) for s in ("extracting files done", "Setting PATH (native libs)",
                                        "registering ConsoleCtrlHandler", "single instance mode")]
        self.assertEqual(order, sorted(order), log)
        self.assertEqual(r.code, 1)

    def test_run_commands_do_not_register_the_console_handler(self):
        exe = self.pack(BASE)
        r, log = self.logged_run(exe, "/run")
        self.assertNotIn("registering ConsoleCtrlHandler", log)


class SecondCopy(InstanceCase):
    def test_gives_way_without_touching_the_first(self):
        exe = self.pack(SINGLE)
        with Holder(self.wine, semaphore_name(self.key), self.key) as holder:
            r, log = self.logged_run(exe, "/run")
            self.assertTrue(holder.alive())
            self.assertEqual(self.recorded_pid(), holder.pid)
        self.assertEqual(r.code, 0)
        self.assertEqual((r.stdout, r.stderr), ("", ""))
        self.assertRegex(log, rf"other pid {holder.pid}\r\n\[\d+:\d+\] exiting\r\n$")
        self.assertNotIn("LoadDLL (", log)
        self.assertEqual(self.semaphore_lines(log)[0][1], "183", "ERROR_ALREADY_EXISTS")

    def test_waits_for_the_first_copy_to_record_its_pid(self):
        exe = self.pack(SINGLE)
        with Holder(self.wine, semaphore_name(self.key), self.key, delay_ms=1500) as holder:
            r, log = self.logged_run(exe, "/run")
        self.assertEqual(r.code, 0)
        self.assertIn(f"other pid {holder.pid}\r\n", log)
        self.assertGreater(self.elapsed, 1.0)

    def test_gives_way_after_about_five_seconds_without_a_pid(self):
        exe = self.pack(SINGLE + "activateFirstInstance = 1\n")
        with Holder(self.wine, semaphore_name(self.key)):
            r, log = self.logged_run(exe, "/run")
        self.assertEqual(r.code, 0)
        self.assertRegex(log, r"other pid 0\r\n\[\d+:\d+\] exiting\r\n$")
        self.assertGreater(self.elapsed, 4.5)
        self.assertLess(self.elapsed, 15)
        self.assertNotIn("found window", log, "nothing to activate without a pid")

    def test_no_activation_of_another_program(self):
        # The recorded id names a process of another program (here the
        # stand-in): its windows are left alone.
        exe = self.pack(SINGLE + "activateFirstInstance = 1\n")
        with Holder(self.wine, semaphore_name(self.key), self.key) as holder:
            r, log = self.logged_run(exe, "/run")
        self.assertEqual(r.code, 0)
        self.assertIn(f"other pid {holder.pid}\r\n", log)
        self.assertRegex(log, rf"process {holder.pid} is not this program \(.*\\instance_holder\.exe\)\r\n")
        self.assertNotIn("found window", log)

    def test_activation_of_this_program(self):
        # A real first copy: it holds the lock while its runtime's version
        # probe takes six seconds.
        jre = make_jre(self.dir / "jre")
        jre.configure(sleep_ms=6000)
        exe = self.pack(SINGLE + "activateFirstInstance = 1\n" +
                        f"jreSearchSequence = 'A{self.wine.to_windows(jre.root)}'\n")
        first = start(self.wine, exe, "/run")
        try:
            self.assertTrue(wait_for(lambda: self.recorded_pid() is not None, timeout=30))
            r, log = self.logged_run(exe, "/run")
        finally:
            finish(first)
        self.assertEqual(r.code, 0)
        self.assertIn(f"other pid {self.recorded_pid()}\r\n", log)
        self.assertNotIn("is not this program", log)

    def test_lock_of_another_user_is_taken(self):
        # Another user's global semaphore cannot be opened (ERROR_ACCESS_DENIED):
        # the name is taken, in both modes.
        exe = self.pack(SINGLE + "globalInstanceLock = 1\n")
        name = semaphore_name(self.key, global_lock=True)
        with Holder(self.wine, name, deny_access=True):
            r, log = self.logged_run(exe, "/run")
        self.assertEqual(r.code, 0, log)
        self.assertEqual(self.semaphore_lines(log)[0][1], "5")
        self.assertIn("other pid 0\r\n", log)

        exe = self.pack(BASE + "globalInstanceLock = 1\n", name="off.exe")
        name = semaphore_name(self.key, global_lock=True)
        with Holder(self.wine, name + "0", deny_access=True):
            r, log = self.logged_run(exe, "/run")
        self.assertEqual([(n, c) for n, c, _ in self.semaphore_lines(log)], [(name + "1", "0")])

    def test_other_spelling_of_the_path_is_the_same_instance(self):
        exe = self.pack(SINGLE)
        upper = self.wine.to_windows(exe).upper().replace("\\APP.EXE", "\\\\App.Exe")
        with Holder(self.wine, semaphore_name(self.key), self.key) as holder:
            log = NewLog(self.temp)
            r = self.wine.run_raw([upper, "/run"], env=LOG_ON, cwd=str(self.dir))
        self.assertEqual(r.code, 0, log.text())
        self.assertIn(f"other pid {holder.pid}\r\n", log.text())

    def test_per_run_directory_removed_when_giving_way(self):
        extra = '\n[[file]]\nname = "lib\\\\a.txt"\nsource = "src/a.txt"\n'
        (self.dir / "src").mkdir(exist_ok=True)
        (self.dir / "src" / "a.txt").write_bytes(b"abc")
        exe = self.pack(SINGLE, extra=extra)
        with Holder(self.wine, semaphore_name(self.key), self.key):
            r, log = self.logged_run(exe, "/run")
        self.assertEqual(r.code, 0)
        dirs = per_run_dirs(log)
        self.assertEqual(len(dirs), 1, log)
        self.assertFalse(self.wine.to_unix(dirs[0]).exists())

    def test_global_lock(self):
        exe = self.pack(SINGLE + "globalInstanceLock = 1\n")
        r, log = self.logged_run(exe, "/run")
        name = self.semaphore_lines(log)[0][0]
        self.assertEqual(name, semaphore_name(self.key, global_lock=True))
        self.assertTrue(name.startswith("Global\\c:_t_"), name)
        with Holder(self.wine, name, self.key) as holder:
            r, log = self.logged_run(exe, "/run")
        self.assertEqual(r.code, 0)
        self.assertIn(f"other pid {holder.pid}\r\n", log)
        # A lock in the session namespace does not stop a global one.
        with Holder(self.wine, semaphore_name(self.key), self.key):
            r, log = self.logged_run(exe, "/run")
        self.assertEqual(r.code, 1)


class ModeOff(InstanceCase):
    def test_three_copies_claim_numbers_in_turn(self):
        exe = self.pack(BASE)
        name = semaphore_name(self.key)
        r, log = self.logged_run(exe, "/run")
        self.assertEqual(self.semaphore_lines(log), [(name + "0", "0", self.semaphore_lines(log)[0][2])])
        with Holder(self.wine, name + "0"), Holder(self.wine, name + "1"):
            r, log = self.logged_run(exe, "/run")
        lines = self.semaphore_lines(log)
        self.assertEqual([(n, c) for n, c, _ in lines], [(name + "2", "0")])
        self.assertEqual(r.code, 1, "with the mode off every copy runs on")
        self.assertNotIn("single instance mode", log)
        self.assertIsNone(self.recorded_pid(), "nothing is written to the registry")

    def test_global_prefix_with_the_mode_off(self):
        exe = self.pack(BASE + "globalInstanceLock = 1\n")
        r, log = self.logged_run(exe, "/run")
        self.assertEqual(self.semaphore_lines(log)[0][0], semaphore_name(self.key, True) + "0")


if __name__ == "__main__":
    unittest.main()
