"""Helpers for the launch tests: the log of a run, the per-run directory it
names, and a stand-in first copy that holds the single-instance lock."""

import re
import subprocess
import threading
import time
from pathlib import Path

import harness
from harness import read_log, log_files, wait_for, NewLog

HOLDER = harness.TESTING / "instance_holder.exe"
PIDS_KEY = r"HKCU\SOFTWARE\tarnwell\vennic\pids"
LOG_ON = {"VENNIC_LOG": "yes"}

MESSAGES = """
[messages]
internalError = "An internal error occurred (error code: {0})"
noTempDirectory = "You must be at least Poweruser to run this program."
"""

TEMP_DIR_LINE = re.compile(r"Temp dir3: (.*\\vek[0-9A-Fa-f]+\.tmp_dir(-?\d+))\r\n")


def internal_error(code: str) -> str:
    """The text of message 1009 with its code."""
    return f"An internal error occurred (error code: {code})"


def shown_with_log(message: str) -> str:
    """A pattern for a message on standard error in console mode while the log
    is on: the text, an empty line, and the log file's long name."""
    return "^" + re.escape(message) + r"\r\n\r\nLog: C:\\.*\\qar_nlog_\d+\.log\r\n$"


def instance_key(wine, exe: Path) -> str:
    """The launcher's instance key: the executable's full path, lower-cased."""
    return wine.to_windows(exe).lower()


def semaphore_name(key: str, global_lock: bool = False) -> str:
    return ("Global\\" if global_lock else "Local\\") + key.replace("\\", "_").replace(" ", "_")


def per_run_dirs(log: str):
    """The per-run directories a log names, as Windows paths."""
    return [m.group(1) for m in TEMP_DIR_LINE.finditer(log)]


def forget_pid(wine, key: str):
    wine.run_raw(["reg", "delete", PIDS_KEY, "/v", key, "/f"])


class Holder:
    """A stand-in first copy: holds the named semaphore and records its process
    id under the key after delay_ms (not at all when key is None). With
    deny_access no one else may open the semaphore."""

    def __init__(self, wine, name: str, key: str = None, delay_ms: int = 0, deny_access=False):
        args = [harness.WINE, str(HOLDER)] + (["--deny-access"] if deny_access else []) + [name]
        if key is not None:
            args += [key, str(delay_ms)]
        self.proc = subprocess.Popen(args, env=wine.env, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE)
        line = self._readline(60)
        if not line.startswith(b"ready "):
            self.close()
            raise AssertionError("instance_holder did not start: " + repr(line) + repr(self.proc.stderr.read()))
        self.pid = int(line.split()[1])

    def _readline(self, timeout):
        box = []
        t = threading.Thread(target=lambda: box.append(self.proc.stdout.readline()), daemon=True)
        t.start()
        t.join(timeout)
        return box[0] if box else b""

    def alive(self) -> bool:
        return self.proc.poll() is None

    def close(self):
        if self.proc.stdin and not self.proc.stdin.closed:
            self.proc.stdin.close()
        try:
            self.proc.wait(timeout=30)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


def start(wine, exe: Path, *args, env=None):
    """Starts the launcher without waiting; communicate() collects the result."""
    full_env = dict(wine.env)
    full_env.update(env or {})
    return subprocess.Popen([harness.WINE, str(exe)] + [str(a) for a in args], env=full_env,
                            cwd=str(Path(exe).parent), stdout=subprocess.PIPE, stderr=subprocess.PIPE)


def finish(proc, timeout=60) -> harness.Result:
    out, err = proc.communicate(timeout=timeout)
    return harness.Result(proc.returncode, out.decode("latin-1"), err.decode("latin-1"))


def held_run(wine, exe: Path, while_held, log_dir: Path, env=None, hold_ms=4000):
    """Runs a single-instance executable as a second copy while a stand-in first
    copy holds the lock and writes its process id only after hold_ms. The run
    has extracted its files and waits for that id when while_held(log) is
    called. Returns the result and the whole log."""
    key = instance_key(wine, exe)
    forget_pid(wine, key)
    log = NewLog(log_dir)
    with Holder(wine, semaphore_name(key), key, hold_ms) as holder:
        proc = start(wine, exe, "/run", env={**LOG_ON, **(env or {})})
        try:
            reached = wait_for(lambda: "single instance mode" in log.text(), timeout=hold_ms / 1000 + 20, step=0.05)
            assert reached, "the run never reached the instance lock:\n" + log.text()
            while_held(log.text())
        finally:
            result = finish(proc)
        assert holder.alive(), "the first copy must not be touched"
    return result, log.text()
