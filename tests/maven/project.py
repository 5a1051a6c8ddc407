"""The Maven plugin's example project, built offline in a copy of its own.

Each test project is a fresh copy of examples/maven-app under
build/maven-tests, built with a local repository of the run's own: links to
build/maven-repo (Debian's repository and the installed plugin), so that what
a test installs goes nowhere else.
"""

import os
import re
import shutil
import subprocess
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
BUILD = ROOT / "build"
EXAMPLE = ROOT / "examples" / "maven-app"
MAVEN_REPO = BUILD / "maven-repo"
PACKER = BUILD / "host" / "winlaunch-pack"
WORK = BUILD / "maven-tests"
REPO = WORK / "repo"
EXE_NAME = "maven-app-1.0.0.exe"
JARS = {"maven-app-1.0.0.jar", "commons-lang3-3.12.0.jar"}
COMMONS_LANG = MAVEN_REPO / "org/apache/commons/commons-lang3/3.12.0/commons-lang3-3.12.0.jar"

# A short-lived Maven starts faster with the client compiler only.
MAVEN_OPTS = "-XX:TieredStopAtLevel=1 -XX:+UseSerialGC"


def prepare_repository():
    """The run's local repository, laid out anew: what one run installs is
    never seen by the next."""
    if REPO.exists():
        shutil.rmtree(REPO)
    REPO.parent.mkdir(parents=True, exist_ok=True)
    subprocess.run(["cp", "-rs", str(MAVEN_REPO) + "/.", str(REPO)], check=True)


class Build:
    def __init__(self, code: int, output: str, seconds: float):
        self.code, self.output, self.seconds = code, output, seconds

    def errors(self):
        return [line for line in self.output.splitlines() if line.startswith("[ERROR]")]


class Project:
    """A copy of the example under build/maven-tests/<name>."""

    def __init__(self, name: str):
        self.dir = WORK / name
        if self.dir.exists():
            shutil.rmtree(self.dir)
        shutil.copytree(EXAMPLE, self.dir, ignore=shutil.ignore_patterns("target"))
        self.target = self.dir / "target"
        self.exe = self.target / EXE_NAME
        self.timings = []

    def mvn(self, *args, pom: str = "pom.xml", timeout=600) -> Build:
        env = dict(os.environ, MAVEN_OPTS=MAVEN_OPTS)
        started = time.time()
        # From another directory: relative paths in the POM and in -D values
        # are the project's, not the caller's.
        p = subprocess.run(["mvn", "-o", "-B", "-Dmaven.repo.local=" + str(REPO), "-f", str(self.dir / pom)]
                           + list(args), cwd=WORK, env=env, capture_output=True, timeout=timeout)
        build = Build(p.returncode, p.stdout.decode("utf-8", "replace") + p.stderr.decode("utf-8", "replace"),
                      time.time() - started)
        self.timings.append((" ".join(args), build.seconds))
        return build

    def edit_pom(self, old: str, new: str, name: str = "pom.xml", into: str = None):
        """Writes the POM with one text replaced, to the same or another file."""
        text = (self.dir / name).read_text(encoding="utf-8")
        assert old in text, old
        (self.dir / (into or name)).write_text(text.replace(old, new, 1), encoding="utf-8")

    def exes(self):
        return sorted(p.name for p in self.target.glob("*.exe")) if self.target.exists() else []


def dump(exe: Path, files_to: Path = None) -> str:
    args = [str(PACKER), "--dump", str(exe)]
    if files_to:
        args += ["--files-to", str(files_to)]
    p = subprocess.run(args, capture_output=True)
    assert p.returncode == 0, p.stderr.decode()
    return p.stdout.decode("utf-8")


def dumped_settings(text: str) -> dict:
    """key = value lines of a dump, by key (the last table's value when
    several tables have the key, as [messages] after [settings])."""
    values = {}
    for line in text.splitlines():
        m = re.match(r'^(\w+) = (.*)$', line)
        if m:
            values[m.group(1)] = m.group(2)
    return values


def included_files(exe: Path, directory: Path) -> dict:
    """name (with / between directory and file) -> bytes of every included file."""
    if directory.exists():
        shutil.rmtree(directory)
    dump(exe, directory)
    return {p.relative_to(directory).as_posix(): p.read_bytes()
            for p in directory.rglob("*") if p.is_file() and p.name != "icon.ico"}
