"""Runs the launcher under Wine for the integration tests.

One private WINEPREFIX per test run, under the build directory, with a
persistent wineserver that is killed when the run ends. Executables are packed
from a TOML text with the host packer and the win64 launcher.
"""

import ctypes
import fcntl
import os
import re
import shutil
import subprocess
import sys
import time
import unittest
from dataclasses import dataclass
from pathlib import Path, PureWindowsPath

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tests" / "pack"))

from pefiles import block_start  # noqa: E402,F401 (the Wine tests take it from here)
BUILD = ROOT / "build"
WINE = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"
PACKER = BUILD / "host" / "winlaunch-pack"
TEMPLATE = BUILD / "win64" / "winlaunch.exe"
TESTING = BUILD / "win64" / "testing"


# The finished prefix every session starts from as a copy: made once by
# ensure_template (scripts/test makes it while the launchers build), shared
# with the benchmarks and the demo through WL_WINE_TEMPLATE.
WINE_TEMPLATE = Path(os.environ.get("WL_WINE_TEMPLATE") or BUILD / "wine-template")

# Linux places the heap of a program at a fixed address (Wine's loader at
# 0x7d000000) anywhere in the gigabyte above it. About once in 5,000 starts
# it lands on 0x7ffe0000, where Wine maps the page every Windows process
# shares, and the process ends with exit code 1 before any of its own code
# runs ("wine: failed to map the shared user data: c0000018"). Every Wine
# process of a test session descends from this one, so they all start with
# the layout unrandomised. Where the system refuses (a container's seccomp
# profile may), the layout stays as it was.
ADDR_NO_RANDOMIZE = 0x0040000


def keep_address_layout():
    try:
        libc = ctypes.CDLL(None, use_errno=True)
        persona = libc.personality(0xFFFFFFFF)
        if persona != -1 and not persona & ADDR_NO_RANDOMIZE:
            libc.personality(persona | ADDR_NO_RANDOMIZE)
    except (OSError, AttributeError):
        pass


keep_address_layout()


def wine_version() -> str:
    return subprocess.run([WINE, "--version"], capture_output=True, text=True).stdout.strip()


def ensure_template(path: Path = None) -> Path:
    """The prefix template, booted now unless it exists for this Wine.

    The boot that creates a prefix leaves two service control managers
    running side by side, each answering some of the clients, so that a
    service created through one is missing in the other. The template's
    session is therefore ended once it is booted: every copy starts a fresh
    one. Concurrent callers wait for the one that boots it."""
    path = Path(path or WINE_TEMPLATE)
    stamp = path / "winlaunch-template"
    version = wine_version()
    path.parent.mkdir(parents=True, exist_ok=True)
    with open(path.parent / (path.name + ".lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if stamp.exists() and stamp.read_text() == version:
            return path
        work = path.parent / (path.name + ".new")
        for old in (work, path):
            if old.exists():
                shutil.rmtree(old)
        # The server needs the prefix directory to exist.
        work.mkdir()
        env = dict(os.environ, WINEPREFIX=str(work), WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=",
                   DISPLAY="", LANG="C.UTF-8", LC_ALL="C.UTF-8")
        quiet = dict(env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run([WINESERVER, "-p"], timeout=60, **quiet)
        boot = subprocess.run([WINE, "wineboot", "-i"], timeout=300, **quiet)
        subprocess.run([WINESERVER, "-k"], timeout=60, **quiet)
        subprocess.run([WINESERVER, "-w"], timeout=60, **quiet)
        if boot.returncode != 0 or not (work / "system.reg").exists():
            raise RuntimeError(f"wineboot -i failed in {work} (exit {boot.returncode})")
        (work / "winlaunch-template").write_text(version)
        work.rename(path)
    return path


# The system's own programs and libraries, most of a prefix's 700 MB, which
# nothing writes to: a copy links them to the template's.
SHARED_SUFFIXES = {".dll", ".exe", ".drv", ".sys", ".ocx", ".cpl", ".acm", ".ax", ".tlb", ".nls", ".ds", ".msstyles"}


def copy_prefix(template: Path, prefix: Path):
    """A prefix of its own from the template: every file copied, except the
    system's binaries below drive_c/windows, which are hard links."""
    template, prefix = Path(template), Path(prefix)
    windows = template / "drive_c" / "windows"
    for directory, dirs, files in os.walk(template):
        source = Path(directory)
        target = prefix / source.relative_to(template)
        target.mkdir(parents=True, exist_ok=True)
        shutil.copystat(source, target)
        for name in dirs + files:
            path = source / name
            if path.is_symlink():
                os.symlink(os.readlink(path), target / name)
            elif name in files:
                if path.suffix.lower() in SHARED_SUFFIXES and windows in path.parents:
                    os.link(path, target / name)
                else:
                    shutil.copy2(path, target / name)
        dirs[:] = [d for d in dirs if not (source / d).is_symlink()]


@dataclass
class Result:
    code: int
    stdout: str
    stderr: str


class PackError(Exception):
    pass


class Wine:
    """A Wine prefix with a wineserver held alive for the whole run."""

    def __init__(self, root: Path):
        self.root = root
        self.prefix = root / "prefix"
        self.env = dict(os.environ)
        self.env.update(
            WINEPREFIX=str(self.prefix),
            # WL_WINEDEBUG turns Wine's debug channels on for a run being
            # debugged ("+loaddll,+seh"); their lines go to standard error,
            # which some tests read.
            WINEDEBUG=os.environ.get("WL_WINEDEBUG") or "-all",
            WINEDLLOVERRIDES="mscoree,mshtml=",
            DISPLAY="",
            # C.UTF-8 is the one UTF-8 locale every machine has: arguments with
            # characters beyond ASCII reach Windows intact, and Windows reports
            # English (United States). Tests choose other languages with lang=.
            LANG="C.UTF-8",
            LC_ALL="C.UTF-8",
        )
        for name in ("VENNIC_LOG", "QUARLO_LOG", "WAYLAND_DISPLAY"):
            self.env.pop(name, None)

    # --- life cycle ---

    def start(self):
        if self.root.exists():
            shutil.rmtree(self.root)
        self.root.mkdir(parents=True)
        # A copy of the finished prefix: booting a new one takes most of a
        # minute, a copy a second.
        copy_prefix(ensure_template(), self.prefix)
        quiet = dict(env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                     stderr=subprocess.DEVNULL)
        # The server is started first and made persistent, so that services
        # and waiting processes are not ended when the last client exits. Its
        # output goes nowhere: it outlives this call.
        subprocess.run([WINESERVER, "-p"], timeout=60, **quiet)
        # The first program of the new session starts its system processes,
        # which outlive it: they must not hold the pipes of a captured run.
        subprocess.run([WINE, "wineboot"], timeout=300, **quiet)
        # The prefix is ready once cmd answers.
        self.run_raw(["cmd", "/c", "echo", "ready"], timeout=120)

    def server_pids(self):
        """The process ids of this prefix's wineserver: it works in a
        directory server-<device>-<inode> of the prefix, under a temporary
        directory of Wine's own."""
        st = self.prefix.stat()
        home = f"server-{st.st_dev:x}-{st.st_ino:x}"
        pids = []
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                if os.path.basename(os.readlink(f"/proc/{entry}/cwd")) == home and "wineserver" in Path(
                        f"/proc/{entry}/comm").read_text():
                    pids.append(int(entry))
            except OSError:
                continue
        return pids

    def trace_calls(self, *functions):
        """Has Wine trace every call of the functions ("user32.MessageBoxW")
        on standard error; returns the environment of such a run."""
        self.run_raw(["reg", "add", r"HKCU\Software\Wine\Debug", "/v", "RelayInclude", "/t", "REG_SZ",
                      "/d", ";".join(functions), "/f"])
        return {"WINEDEBUG": "-all,+relay"}

    def trace_message_boxes(self):
        """Traces MessageBoxW (see message_boxes): without a display a message
        box fails at once, and this is the only trace of its text and caption."""
        return self.trace_calls("user32.MessageBoxW")

    def detach_service_dispatcher(self):
        """Makes a dispatcher call outside the service manager fail at once.

        Wine's StartServiceCtrlDispatcher connects to the control pipe of the
        service the manager started last; while that pipe exists the call may
        wait ten seconds or even attach to that service. Pointing the counter
        at a pipe that does not exist gives the plain failure a process sees
        on Windows when it was not started by the service manager."""
        self.run_raw(["reg", "add", r"HKLM\System\CurrentControlSet\Control\ServiceCurrent",
                      "/ve", "/t", "REG_DWORD", "/d", "999999", "/f"])

    def stop(self):
        subprocess.run([WINESERVER, "-k"], env=self.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)

    # --- paths ---

    @property
    def drive_c(self) -> Path:
        return self.prefix / "drive_c"

    def user_temp(self) -> Path:
        """The directory GetTempPath names for the prefix's user."""
        users = self.drive_c / "users"
        user = os.environ.get("USER") or "root"
        return users / user / "Temp"

    def to_windows(self, path: Path) -> str:
        """The Windows name of a Unix path: C: inside the prefix, else Z:."""
        path = Path(path).resolve()
        try:
            rel = path.relative_to(self.drive_c.resolve())
            return "C:\\" + str(PureWindowsPath(*rel.parts))
        except ValueError:
            return "Z:" + str(path).replace("/", "\\")

    def to_unix(self, windows_path: str) -> Path:
        p = windows_path.replace("/", "\\")
        drive, rest = p[:2].upper(), p[2:].lstrip("\\")
        parts = [x for x in rest.split("\\") if x]
        if drive == "C:":
            return self.drive_c.joinpath(*parts)
        if drive == "Z:":
            return Path("/").joinpath(*parts)
        raise ValueError("no Unix path for " + windows_path)

    def workdir(self, name: str) -> Path:
        """A fresh directory for one test, inside the prefix's drive C."""
        d = self.drive_c / "t" / name
        if d.exists():
            shutil.rmtree(d)
        d.mkdir(parents=True)
        return d

    # --- running ---

    def run_raw(self, argv, env=None, timeout=60, cwd=None) -> Result:
        full_env = dict(self.env)
        if env:
            for k, v in env.items():
                if v is None:
                    full_env.pop(k, None)
                else:
                    full_env[k] = v
        p = subprocess.run(
            [WINE] + [str(a) for a in argv],
            env=full_env,
            capture_output=True,
            timeout=timeout,
            cwd=cwd,
        )
        return Result(p.returncode, p.stdout.decode("latin-1"), p.stderr.decode("latin-1"))

    def run(self, exe: Path, *args, env=None, lang=None, timeout=60) -> Result:
        """Runs a Windows program with arguments, extra environment and LANG."""
        env = dict(env or {})
        if lang:
            env["LANG"] = lang
            env["LC_ALL"] = lang
        return self.run_raw([exe] + list(args), env=env, timeout=timeout, cwd=str(Path(exe).parent))

    def cmd(self, command: str, env=None, timeout=60) -> Result:
        return self.run_raw(["cmd", "/c", command], env=env, timeout=timeout)

    # --- registry ---

    def reg_query(self, key: str, value: str = None):
        """The data of one value (a string), or None when it is missing."""
        if value is None:
            args = ["reg", "query", key]
        elif value == "":
            args = ["reg", "query", key, "/ve"]  # the key's default value
        else:
            args = ["reg", "query", key, "/v", value]
        r = self.run_raw(args)
        if r.code != 0:
            return None
        if value is None:
            return r.stdout
        for line in r.stdout.splitlines():
            parts = line.strip().split(None, 2)
            name = value if value else "(Default)"
            if len(parts) >= 2 and parts[0].lower() == name.lower() and parts[1].startswith("REG_"):
                return parts[2] if len(parts) == 3 else ""
        return None

    def reg_add(self, key: str, value: str, data: str, kind: str = "REG_SZ"):
        r = self.run_raw(["reg", "add", key, "/v", value, "/t", kind, "/d", data, "/f"])
        assert r.code == 0, r.stderr

    def reg_delete(self, key: str):
        self.run_raw(["reg", "delete", key, "/f"])

    # --- packing ---

    def pack(self, directory: Path, toml: str, name: str = "app.exe", files=None, template: Path = TEMPLATE,
             codepage: int = None) -> Path:
        """Packs toml (and files {relative source: bytes}) into directory/name,
        its settings in the code page given (the packer's default, 1252, else)."""
        directory = Path(directory)
        directory.mkdir(parents=True, exist_ok=True)
        for rel, content in (files or {}).items():
            target = directory / "src" / rel
            target.parent.mkdir(parents=True, exist_ok=True)
            target.write_bytes(content)
        config = directory / (Path(name).stem + ".toml")
        config.write_text(toml, encoding="utf-8")
        out = directory / name
        codepage_args = ["--codepage", str(codepage)] if codepage else []
        p = subprocess.run(
            [PACKER, "--template", template, "--config", config, "--output", out] + codepage_args,
            capture_output=True
        )
        if p.returncode != 0:
            raise PackError(p.stderr.decode())
        return out


MESSAGE_BOX = re.compile(r'Call user32\.MessageBoxW\([0-9a-f]+,[0-9a-f]+ L"(.*)",[0-9a-f]+ L"(.*)",[0-9a-f]+\) ret=')


def message_boxes(stderr: str):
    """(text, caption) of every message box a run traced (Wine.trace_message_boxes)."""
    return MESSAGE_BOX.findall(stderr)



def read_log(path: Path) -> str:
    """A log file's text: UTF-8 after its byte-order mark, CR LF kept."""
    data = Path(path).read_bytes()
    assert data.startswith(b"\xef\xbb\xbf"), "log file without byte-order mark"
    return data[3:].decode("utf-8")


def log_files(directory: Path):
    return sorted(Path(directory).glob("qar_nlog_*.log"), key=lambda p: int(p.stem.split("_")[-1]))


def long_tier() -> bool:
    """True in the long tier (scripts/test --long sets WL_TEST_TIER=long):
    tests that take minutes run their full length there, a short form here."""
    return os.environ.get("WL_TEST_TIER") == "long"


def wait_for(predicate, timeout=10.0, step=0.1):
    end = time.time() + timeout
    while time.time() < end:
        if predicate():
            return True
        time.sleep(step)
    return predicate()


class NewLog:
    """Finds the log file a run creates in a directory."""

    def __init__(self, directory: Path):
        self.directory = Path(directory)
        self.before = set(log_files(self.directory)) if self.directory.exists() else set()

    def path(self):
        new = [p for p in log_files(self.directory) if p not in self.before]
        return new[0] if len(new) == 1 else None

    def text(self) -> str:
        p = self.path()
        return read_log(p) if p else ""


class WineCase(unittest.TestCase):
    """A test with the run's Wine session, a fresh directory of its own and the
    user's temporary directory, cleared of earlier log files."""

    def setUp(self):
        self.wine = session
        self.dir = self.wine.workdir(self.id().split(".")[-1])
        self.temp = self.wine.user_temp()
        self.temp.mkdir(parents=True, exist_ok=True)
        for old in self.temp.glob("qar_nlog*"):
            old.unlink()

    def logged_run(self, exe, *args, env=None, **kw):
        """Runs with the log switched on; returns the result and the log text."""
        log = NewLog(self.temp)
        r = self.wine.run(exe, *args, env={"VENNIC_LOG": "yes", **(env or {})}, **kw)
        self.assertIsNotNone(log.path(), "one new log file expected")
        return r, log.text()


def summarize(result: unittest.TestResult, label: str, started: float) -> int:
    """Prints how long a run took and its counts; returns its exit code
    (a run without any test fails)."""
    failed = len(result.failures) + len(result.errors)
    passed = result.testsRun - failed - len(result.skipped)
    print(f"{label} took {time.time() - started:.0f} s")
    print(f"{passed} passed, {failed} failed, {len(result.skipped)} skipped")
    return 0 if failed == 0 and result.testsRun > 0 else 1


# The one session of a test run, set by run.py.
session: Wine = None


if __name__ == "__main__":
    # harness.py --template: makes the prefix template (when it is missing).
    # harness.py --prefix DIR: a new prefix DIR, copied from the template.
    args = sys.argv[1:]
    if args == ["--template"]:
        print(ensure_template())
    elif len(args) == 2 and args[0] == "--prefix":
        copy_prefix(ensure_template(), Path(args[1]))
    else:
        raise SystemExit("usage: harness.py --template | --prefix DIR")
