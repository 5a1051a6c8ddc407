"""Java runtime trees for the Wine tests, laid out from the stand-ins in
build/<arch>/testing: bin\\java.exe (the fake java), bin\\<type>\\jvm.dll,
jre\\bin\\... (the private JRE of an older JDK), lib\\tools.jar and packed
lib\\*.jar.pack files, and the registry entries that point at them."""

import os
import shutil
from dataclasses import dataclass
from pathlib import Path

import harness

TESTING64 = harness.BUILD / "win64" / "testing"
TESTING32 = harness.BUILD / "win32" / "testing"

# The jvm.dll stand-ins: one that exports JNI_CreateJavaVM, one that does not,
# and the 32-bit build, which a 64-bit process cannot load.
JVM_DLLS = {
    "good": TESTING64 / "jvm.dll",
    "noexport": TESTING64 / "jvm-noexport.dll",
    "i686": TESTING32 / "jvm.dll",
}

# Seconds between 1601 and 1970, for Windows file times.
EPOCH_DIFFERENCE = 11644473600


@dataclass
class Jre:
    """A laid-out runtime; java_exe is the fake java in bin (or jre\\bin)."""

    root: Path
    bin: Path

    @property
    def java_exe(self) -> Path:
        return self.bin / "java.exe"

    def configure(self, line=None, exit_code=0, hang=False, sleep_ms=0):
        """What the fake java prints first, its exit code, whether it hangs or
        first waits sleep_ms."""
        text = ""
        if line is not None:
            text += "line=" + line + "\n"
        text += "exit=%d\n" % exit_code
        if hang:
            text += "hang=1\n"
        if sleep_ms:
            text += "sleep=%d\n" % sleep_ms
        (self.bin / "fake-java.cfg").write_text(text)

    def starts(self):
        """One dict per start of the fake java: exe, the Java option variables and
        PATH it saw (None when unset), command line."""
        record = self.bin / "fake-java.record"
        if not record.exists():
            return []
        starts = []
        for line in record.read_text(encoding="utf-8").splitlines():
            fields = line.split("\t")
            seen = {}
            for field in fields[1:5]:
                name, _, value = field.partition("=")
                seen[name] = value if "=" in field else None
            starts.append({"exe": fields[0], "variables": seen, "command": fields[5]})
        return starts

    def configure_jvm(self, *lines):
        """What the stand-in jvm.dll does (testing/fake_jvm.cpp), by lines such
        as "main=throw" or "missing=main"."""
        for dll in self.bin.glob("*/jvm.dll"):
            (dll.parent / "fake-jvm.cfg").write_text("".join(line + "\n" for line in lines))

    def jvm_record(self):
        """The stand-in jvm.dll's events, as tuples of their tab-separated fields."""
        events = []
        for record in self.bin.glob("*/fake-jvm.record"):
            events += [tuple(line.split("\t")) for line in record.read_text(encoding="utf-8").splitlines()]
        return events

    def unpack_commands(self):
        record = self.bin / "unpack200.record"
        return record.read_text(encoding="utf-8").splitlines() if record.exists() else []


def version_line(version: str, style="openjdk") -> str:
    if style == "openjdk":
        return 'openjdk version "%s" 2022-01-18' % version
    return 'java version "%s"' % version


def make_jre(root: Path, version="17.0.2", *, jvm="good", types=("server",), javaw=False, java=True,
             private_jre=False, private_types=("client",), tools_jar=False, packed=(), unpack200=False,
             exit_code=0, hang=False, line=None) -> Jre:
    """Lays out a runtime under root.

    version: the version the fake java reports (line overrides the whole first
    line); jvm: which jvm.dll stand-in goes into each of the type directories
    (None: none); private_jre: a jre\\bin with the jvm.dll in private_types,
    as older JDKs had; packed: names such as "lib/rt.jar" whose .pack file is
    created instead of the jar."""
    root = Path(root)
    bin_dir = root / "bin"
    bin_dir.mkdir(parents=True, exist_ok=True)
    if java:
        shutil.copy(TESTING64 / "java.exe", bin_dir / "java.exe")
    if javaw:
        shutil.copy(TESTING64 / "java.exe", bin_dir / "javaw.exe")
    if jvm:
        for t in types:
            (bin_dir / t).mkdir(exist_ok=True)
            shutil.copy(JVM_DLLS[jvm], bin_dir / t / "jvm.dll")
    if private_jre:
        jre_bin = root / "jre" / "bin"
        jre_bin.mkdir(parents=True, exist_ok=True)
        for t in private_types:
            (jre_bin / t).mkdir(exist_ok=True)
            shutil.copy(JVM_DLLS["good"], jre_bin / t / "jvm.dll")
    if tools_jar:
        (root / "lib").mkdir(exist_ok=True)
        (root / "lib" / "tools.jar").write_bytes(b"PK")
    for name in packed:
        pack = root / (name + ".pack")
        pack.parent.mkdir(parents=True, exist_ok=True)
        pack.write_text("packed " + name)
    if unpack200:
        shutil.copy(TESTING64 / "unpack200.exe", bin_dir / "unpack200.exe")
    jre = Jre(root, bin_dir)
    if java:
        jre.configure(line if line is not None else version_line(version), exit_code, hang)
    return jre


# --- registry ---

def file_time(path: Path) -> int:
    """The Windows last-write time of a file, as Wine reports it."""
    ns = os.stat(path).st_mtime_ns
    return ns // 100 + EPOCH_DIFFERENCE * 10_000_000


def cache_key(windows_path: str) -> str:
    return "HKEY_CURRENT_USER\\SOFTWARE\\tarnwell\\vennic\\jvms\\" + windows_path.replace("\\", "/")


def reg_import(wine, text: str):
    """Imports a .reg text in one go (much faster than one reg call per value)."""
    target = wine.drive_c / "t" / "import.reg"
    target.parent.mkdir(parents=True, exist_ok=True)
    target.write_text("Windows Registry Editor Version 5.00\r\n\r\n" + text, encoding="utf-16")
    r = wine.run_raw(["regedit", "/s", wine.to_windows(target)])
    assert r.code == 0, r.stderr
    target.unlink()


def reg_string(value: str) -> str:
    return '"' + value.replace("\\", "\\\\").replace('"', '\\"') + '"'


def cache_entry_text(windows_path: str, time: int, version: str) -> str:
    """A version-cache key as the launcher writes it, in .reg form."""
    data = ",".join("%02x" % b for b in time.to_bytes(8, "little"))
    return "[%s]\r\n\"LastWriteTime\"=hex:%s\r\n\"Version\"=%s\r\n\r\n" % (
        cache_key(windows_path), data, reg_string(version))


def read_cache(wine, windows_path: str):
    """(LastWriteTime as int or None, Version or None) of a cache key."""
    key = cache_key(windows_path)
    raw = wine.reg_query(key, "LastWriteTime")
    version = wine.reg_query(key, "Version")
    time = int.from_bytes(bytes.fromhex(raw), "little") if raw else None
    return time, version


def clean_registry(wine):
    for key in ("HKCU\\SOFTWARE\\tarnwell", "HKLM\\SOFTWARE\\tarnwell", "HKLM\\SOFTWARE\\JavaSoft",
                "HKLM\\SOFTWARE\\WOW6432Node\\tarnwell"):
        wine.reg_delete(key)
