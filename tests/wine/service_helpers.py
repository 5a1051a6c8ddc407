"""The service control manager of the test prefix, through its sc: queries,
waits and removal; the Wine processes and Linux children of the prefix; and
the bridge runtime that runs real Java code (testing/jvm_bridge.h)."""

import os
import re
import shutil
from pathlib import Path

import harness
import jretree
from harness import wait_for

SERVICES = r"HKLM\System\CurrentControlSet\Services"
PRIORITY_KEY = r"HKLM\SOFTWARE\tarnwell\vennic\priority"
BRIDGE_JAR = harness.BUILD / "host" / "testing" / "bridge.jar"
DEMO_JAR = harness.BUILD / "host" / "demo" / "demo.jar"
DEMO_TOML = harness.ROOT / "demo" / "demo.toml"


def sc(wine, *args):
    return wine.run_raw(["sc"] + list(args), timeout=120)


def query(wine, name):
    """The service's state (as sc names it), Win32 and service-specific exit
    codes, or None when the service is missing."""
    out = sc(wine, "query", name).stdout
    m = re.search(r"STATE\s*:\s*\d+\s+(\w+)", out)
    if not m:
        return None
    codes = [int(re.search(field + r"\s*:\s*(\d+)", out).group(1)) for field in ("WIN32_EXIT_CODE", "SERVICE_EXIT_CODE")]
    return (m.group(1), *codes)


def state(wine, name):
    status = query(wine, name)
    return status[0] if status else None


def wait_state(wine, name, wanted, timeout=20) -> bool:
    return wait_for(lambda: state(wine, name) == wanted, timeout=timeout, step=0.3)


def delete(wine, name):
    sc(wine, "delete", name)
    wait_for(lambda: state(wine, name) is None, timeout=10, step=0.3)


def processes(wine, *needles):
    """The command lines of this prefix's processes that contain one of the
    needles: Wine processes carry the prefix in their environment, the Linux
    children of the bridge name its relay directory in the prefix."""
    prefix = str(wine.prefix)
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            command = Path(f"/proc/{pid}/cmdline").read_bytes().replace(b"\0", b" ").decode("utf-8", "replace")
            ours = prefix in command or ("WINEPREFIX=" + prefix).encode() in \
                Path(f"/proc/{pid}/environ").read_bytes().split(b"\0")
        except OSError:
            continue  # ended meanwhile, or not ours to read
        if ours and any(needle in command for needle in needles):
            found.append(command.strip())
    return found


def bridge_runtime(root: Path) -> jretree.Jre:
    """A runtime tree whose jvm.dll is the bridge: the launcher's main runs in
    the host's java. Its fake-jvm.record still lists the JNI calls."""
    jre = jretree.make_jre(root)
    server = jre.bin / "server"
    shutil.copy(harness.TESTING / "jvm-bridge.dll", server / "jvm.dll")
    shutil.copy(BRIDGE_JAR, server / "bridge.jar")
    java = shutil.which("java")
    if java:
        (server / "bridge.cfg").write_text("java=" + os.path.realpath(java) + "\n")
    return jre


def demo_app(wine, directory: Path) -> Path:
    """The demo application, packed from demo/demo.toml into directory, with
    the bridge as its bundled runtime (directory\\jre)."""
    toml = DEMO_TOML.read_text(encoding="utf-8").replace("../build/", str(harness.BUILD) + "/")
    bridge_runtime(directory / "jre")
    return wine.pack(directory, toml)
