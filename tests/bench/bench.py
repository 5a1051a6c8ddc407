"""What the launcher costs, each figure a ratio to the least the same machine
does in the same run (scripts/bench).

The machines are shared and noisy, so both sides of a row are measured
interleaved: one run of each per round, the order alternating from round to
round, warm-up rounds dropped. A row's ratio is the median of the per-round
ratios, its spread their interquartile range. Process times come from
hyperfine (one run per command per round, exported as JSON).

The table goes to standard output and to results.md, the distributions to
results.svg. A row that misses its goal stays in the table, marked; the exit
code is 1 only when a measurement could not be taken. --smoke makes 3 runs
per side, for scripts/test.
"""

import argparse
import contextlib
import json
import os
import shlex
import shutil
import statistics
import subprocess
import sys
import time
import traceback
from dataclasses import dataclass, field
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "wine"))

import harness  # noqa: E402
import jretree  # noqa: E402
import plot  # noqa: E402

BUILD = harness.BUILD
# The timed host programs (packer, HotSpot runner) come from a build without
# the sanitizers when scripts/bench made one; the smoke run takes the test build.
HOST = Path(os.environ.get("WL_BENCH_HOST", BUILD / "host"))
WIN32_EXE = BUILD / "win32" / "winlaunch.exe"
WIN64_EXE = BUILD / "win64" / "winlaunch.exe"
HELLO = harness.TESTING / "hello.exe"
HOTSPOT_RUNNER = HOST / "hotspot_tests"
# Jars the host build makes, which need no build of their own for timing.
HOST_BUILD = BUILD / "host"
SIZE_LIMIT = 300 * 1024

# The extraction and packing rows: one large file and many small ones.
LARGE_FILE_BYTES = 64 * 1024 * 1024
SMALL_FILES = 200
SMALL_FILE_BYTES = 4096

# The rolling-output row: lines of 87 bytes per side and round, in one JVM,
# 35 MB that roll three times; enough for the first round to have the code
# compiled, so the smoke run takes as many (a side takes about 0.4 s).
ROLLING_LINES = 400_000

# Rounds of the start and memory rows at least (but in the smoke run).
STEADY_RUNS = 40
# Starts per side in each round of the start row, the round taking their
# median: a single start of about 12 ms varies by some per cent from the
# next, which spread the rounds' ratios wider than the goal's margin.
START_RUNS_PER_ROUND = 5

# The class-data sharing rows: an application that loads this many classes.
CDS_CLASSES = 2000

APP_SETTINGS = ('[settings]\nconfiguredServiceName = "Bench"\napplicationType = 0\n'
                'jreSearchSequence = "Ajre"\nmainClass = "bench.Main"\n')


@dataclass
class Row:
    title: str
    against: str
    goal: str
    unit: str = "ms"
    limit: float = None          # the highest ratio that meets the goal (the lowest with at_least)
    at_least: bool = False       # a rate: higher is better
    ours: list = field(default_factory=list)
    base: list = field(default_factory=list)
    ratios: list = field(default_factory=list)
    value: str = None            # a row without two sides: its figure
    met: bool = None
    unsteady: bool = False       # the ratios spread wider than the goal's margin: neither met nor missed
    error: str = None

    def finish(self):
        """Ratios of the rounds, and whether the median meets the limit. The
        goal's margin is its distance from parity (0.1 for "at most 1.1x"); a
        row whose interquartile range of ratios is wider says nothing about
        the goal and is marked unsteady."""
        if self.ours and self.base and not self.ratios:
            self.ratios = [a / b for a, b in zip(self.ours, self.base)]
        if self.ratios and self.limit is not None:
            ratio = median(self.ratios)
            self.met = ratio >= self.limit if self.at_least else ratio <= self.limit
            if len(self.ratios) > 1 and self.value is None:
                lo, hi = quartiles(self.ratios)
                self.unsteady = hi - lo > abs(self.limit - 1.0)
        return self


def median(values):
    return statistics.median(values)


def quartiles(values):
    """The first and third quartile (the spread the table shows)."""
    if len(values) < 2:
        return values[0], values[0]
    q = statistics.quantiles(values, n=4, method="inclusive")
    return q[0], q[2]


# --- measuring ---

class Measure:
    def __init__(self, runs, warmup, work: Path, env):
        self.runs = runs
        self.warmup = warmup
        self.work = work
        self.env = env

    def rounds(self):
        """The round numbers; the first warmup of them are dropped."""
        return range(self.warmup + self.runs)

    def times(self, ours, base, prepare_ours=None, prepare_base=None, env=None, processor=None, per_round=1):
        """Times two command lines (lists of words) interleaved with hyperfine;
        two lists of seconds. With a processor, hyperfine and the commands it
        starts run on that one. With per_round above 1, each side runs that
        many times in a round, and the round's figure is their median."""
        sides = [(ours, prepare_ours), (base, prepare_base)]
        out = self.work / "hyperfine.json"
        result = ([], [])
        for i in self.rounds():
            order = [0, 1] if i % 2 == 0 else [1, 0]
            args = ["hyperfine", "-N", "--runs", str(per_round), "--style", "none", "--export-json", str(out)]
            if prepare_ours or prepare_base:
                for k in order:
                    args += ["--prepare", shlex.join(sides[k][1] or ["true"])]
            args += [shlex.join(sides[k][0]) for k in order]
            pin = None if processor is None else (lambda: os.sched_setaffinity(0, {processor}))
            p = subprocess.run(args, env=env or self.env, capture_output=True, text=True, timeout=600,
                               preexec_fn=pin)
            if p.returncode != 0:
                raise RuntimeError(self.failure(i, sides, order, env or self.env, (p.stderr or p.stdout).strip()))
            results = json.loads(out.read_text())["results"]
            if i < self.warmup:
                continue
            for k, r in zip(order, results):
                result[k].append(median(r["times"]))
        return result

    @staticmethod
    def failure(i, sides, order, env, message):
        """What failed in a round hyperfine gave up on: each side's preparation
        and command run once more on their own, the first that fails named
        with its exit code and output."""
        for k in order:
            command, prepare = sides[k]
            for what, words in (("preparation", prepare), ("command", command)):
                if not words:
                    continue
                try:
                    r = subprocess.run(words, env=env, capture_output=True, text=True, timeout=600)
                except (OSError, subprocess.SubprocessError) as e:
                    return f"round {i}: the {what} {shlex.join(words)} could not run: {e}"
                if r.returncode != 0:
                    output = (r.stderr or r.stdout).strip()[-1000:]
                    return f"round {i}: the {what} {shlex.join(words)} exited with {r.returncode}: {output}"
        return f"round {i}: hyperfine failed, each step alone succeeds: {message[-1000:]}"

    def values(self, ours, base):
        """Two callables that each run one side and return its figure, called
        interleaved like times()."""
        result = ([], [])
        for i in self.rounds():
            order = [0, 1] if i % 2 == 0 else [1, 0]
            for k in order:
                v = (ours, base)[k]()
                if i >= self.warmup:
                    result[k].append(v)
        return result


@contextlib.contextmanager
def one_processor(wine):
    """Runs the prefix's wineserver on one processor for the block, and
    yields that processor for the timed programs. Every Windows call that
    asks the server wakes it; on another processor than the caller the
    wake-up costs tens of microseconds more, and a start makes some
    hundreds of them: the bare program's starts fell into two groups, of
    about 18 and about 50 ms, by where the scheduler put the two. On one
    processor the rounds agree, both sides alike."""
    processor = max(os.sched_getaffinity(0))
    saved = {}
    for pid in wine.server_pids():
        for task in os.listdir(f"/proc/{pid}/task"):
            try:
                saved[int(task)] = os.sched_getaffinity(int(task))
                os.sched_setaffinity(int(task), {processor})
            except OSError:
                continue
    if not saved:
        raise RuntimeError("the prefix's wineserver was not found to keep it on one processor")
    try:
        yield processor
    finally:
        for task, cpus in saved.items():
            try:
                os.sched_setaffinity(task, cpus)
            except OSError:
                continue


def settle(most=10.0, window=0.5):
    """Waits until the machine is about idle (under a tenth of its processors
    busy over two windows in a row), at most the given seconds: a prefix just
    booted keeps its system processes busy for some seconds, which slowed
    the first rounds of the first row by a third."""
    def busy():
        fields = [int(v) for v in Path("/proc/stat").read_text().split("\n", 1)[0].split()[1:]]
        idle = fields[3] + (fields[4] if len(fields) > 4 else 0)
        return sum(fields) - idle, sum(fields)
    deadline = time.monotonic() + most
    quiet = 0
    while quiet < 2 and time.monotonic() < deadline:
        b0, t0 = busy()
        time.sleep(window)
        b1, t1 = busy()
        quiet = quiet + 1 if t1 > t0 and (b1 - b0) / (t1 - t0) < 0.1 else 0


def ms(seconds):
    return [s * 1000 for s in seconds]


# --- the rows ---

class Bench:
    """The rows, in a Wine prefix of their own under the output directory."""

    def __init__(self, out: Path):
        self.wine = harness.Wine(out / "wine")
        self.work = out / "work"

    def start(self, runs, warmup, steady_runs, settle_seconds=10.0):
        # The longest wait for an idle machine before the start row (the
        # smoke run, beside the other test lane, does not wait).
        self.settle_seconds = settle_seconds
        if self.work.exists():
            shutil.rmtree(self.work)
        self.work.mkdir(parents=True)
        # A copy of the prepared prefix (harness.WINE_TEMPLATE, which
        # WL_WINE_TEMPLATE names), started as every test session starts.
        template = os.environ.get("WL_WINE_TEMPLATE")
        if template and not (Path(template) / "system.reg").is_file():
            raise RuntimeError(f"WL_WINE_TEMPLATE={template} is no Wine prefix (no system.reg)")
        self.wine.start()
        self.measure = Measure(runs, warmup, self.work, self.wine.env)
        # The start and memory rows differ from their goals by a few per cent
        # at most: more rounds, so that two runs agree within their spreads.
        self.steady = Measure(steady_runs, warmup, self.work, self.wine.env)
        self.dir = self.wine.workdir("bench")
        self.jre = jretree.make_jre(self.dir / "jre")
        shutil.copy(HELLO, self.dir / "hello.exe")
        self.app = self.wine.pack(self.dir, APP_SETTINGS)

    def wine_command(self, exe, *args):
        return [harness.WINE, str(exe)] + [str(a) for a in args]

    def run_checked(self, exe, *args):
        r = self.wine.run(exe, *args)
        if r.code != 0:
            raise RuntimeError(f"{Path(exe).name} {' '.join(args)} exited with {r.code}: {r.stderr.strip()}")
        return r

    def start_overhead(self, children: Row):
        # The stand-in jvm.dll ends the process from the launch thread while
        # the main thread waits for it; under Wine that ending costs about
        # 10 ms more than a return from main, so the bare program ends the
        # same way, and the row compares what comes before.
        row = Row("Start overhead to the JVM: /run with a version-cache hit, up to JNI_CreateJavaVM "
                  "(Wine on one processor)",
                  "bare hello.exe (same flags, started the same way, ended by ExitProcess on a second thread)",
                  "at most 1.1x", limit=1.1)
        self.jre.configure_jvm("create=exit")
        # The first run learns the version and fills the cache; every later
        # one is a cache hit and must start no process.
        self.run_checked(self.app, "/run")
        record = self.jre.bin / "fake-java.record"
        record.unlink(missing_ok=True)
        settle(self.settle_seconds)
        with one_processor(self.wine) as processor:
            ours, base = self.steady.times(self.wine_command(self.app, "/run"),
                                            self.wine_command(self.dir / "hello.exe", "thread"),
                                            processor=processor, per_round=START_RUNS_PER_ROUND)
        row.ours, row.base = ms(ours), ms(base)
        starts = len(self.jre.starts())
        runs = (self.steady.warmup + self.steady.runs) * START_RUNS_PER_ROUND
        children.value = f"{starts} in {runs} runs"
        children.met = starts == 0
        return row.finish()

    def extraction(self):
        row = Row(f"Extraction: {LARGE_FILE_BYTES >> 20} MB and {SMALL_FILES} files of "
                  f"{SMALL_FILE_BYTES >> 10} KB, extracted at start, up to JNI_CreateJavaVM",
                  "Wine's cmd /c copy of the same files", "at most 2x", limit=2.0)
        d = self.wine.workdir("extract")
        files = write_payload(d / "src")
        jretree.make_jre(d / "jre").configure_jvm("create=exit")
        toml = APP_SETTINGS + "".join(f"\n[[file]]\nname = '{n}'\nsource = 'src/{n}'\n" for n in files)
        exe = self.wine.pack(d, toml)
        temp = self.wine.user_temp()
        # Each run extracts into a directory of its own that the stand-in JVM,
        # ending the process at once, leaves behind: removed before the next.
        clear_runs = ["sh", "-c", f"rm -rf {shlex.quote(str(temp))}/vek*"]
        target = d / "copy"
        clear_copy = ["sh", "-c", f"rm -rf {shlex.quote(str(target))} && mkdir {shlex.quote(str(target))}"]
        subprocess.run(clear_copy, check=True)
        copy = [harness.WINE, "cmd", "/c", "copy", "/b", "/y",
                self.wine.to_windows(d / "src") + "\\*", self.wine.to_windows(target) + "\\"]
        ours, base = self.measure.times(self.wine_command(exe, "/run"), copy, clear_runs, clear_copy)
        subprocess.run(clear_runs, check=True)
        if len(list(target.iterdir())) != len(files):
            raise RuntimeError("cmd copy did not copy every file")
        row.ours, row.base = ms(ours), ms(base)
        return row.finish()

    def packing(self):
        row = Row("Packing: the same files into an executable (host packer, which syncs its output)",
                  "a durable copy of the same bytes (cat into dd conv=fsync)", "at most 1.2x", limit=1.2)
        d = self.work / "pack"
        files = write_payload(d / "src")
        shutil.copy(WIN64_EXE, d / "src" / "winlaunch.exe")
        toml = d / "app.toml"
        toml.write_text(APP_SETTINGS + "".join(f"\n[[file]]\nname = '{n}'\nsource = 'src/{n}'\n" for n in files))
        out = d / "app.exe"
        target = d / "copy.bin"
        pack = [str(HOST / "winlaunch-pack"), "--template", str(d / "src" / "winlaunch.exe"), "--config", str(toml),
                "--output", str(out)]
        sources = " ".join(shlex.quote(str(d / "src" / n)) for n in ["winlaunch.exe"] + files)
        copy = ["sh", "-c", f"cat {sources} | dd of={shlex.quote(str(target))} bs=1M conv=fsync status=none"]
        # Each round starts with the write-back of the earlier ones done, so
        # that none of it lands inside a measurement.
        ours, base = self.measure.times(pack, copy, ["sh", "-c", f"rm -f {shlex.quote(str(out))} && sync"],
                                        ["sh", "-c", f"rm -f {shlex.quote(str(target))} && sync"], env=os.environ)
        row.ours, row.base = ms(ours), ms(base)
        return row.finish()

    def size(self):
        row = Row("Size, stripped: win32 (win64 beside it)", "the limit of 300 KB", "win32 under 300 KB",
                  unit="KB", limit=1.0)
        size32, size64 = WIN32_EXE.stat().st_size, WIN64_EXE.stat().st_size
        row.value = f"win32 {size32 / 1024:.1f} KB, win64 {size64 / 1024:.1f} KB"
        row.ratios = [size32 / SIZE_LIMIT]
        row.met = size32 < SIZE_LIMIT
        return row

    def memory(self):
        # The JVM is created on the launch thread, and under Wine a second
        # thread costs about 1 MB of working set whatever its stack size (the
        # bare program: 7.3 MB on its main thread, 8.3 MB on a second one
        # with a 64 KB or a 1 MB stack), so the bare program reads its peak
        # on a second thread too, as the start row's ends on one.
        row = Row("Memory: peak working set at JNI_CreateJavaVM (GetProcessMemoryInfo)",
                  "bare hello.exe's peak, read on a second thread", "at most 1.1x", unit="MB", limit=1.1)
        self.jre.configure_jvm("create=peak")

        def ours():
            for record in self.jre.bin.glob("*/fake-jvm.record"):
                record.unlink()
            self.run_checked(self.app, "/run")
            peaks = [e[1] for e in self.jre.jvm_record() if e[0] == "peak"]
            if len(peaks) != 1:
                raise RuntimeError("the stand-in JVM recorded no peak working set")
            return int(peaks[0]) / 2**20

        def peak(*where):
            return int(self.run_checked(self.dir / "hello.exe", "peak", *where).stdout.strip()) / 2**20

        # The bare program's peak on its main thread too, in the same rounds:
        # the figure the comparison would have without the thread, shown for
        # information.
        main_thread = Row("Memory, for information: against the bare hello.exe's peak on its main thread",
                          "bare hello.exe's peak, read on its main thread", "-", unit="MB")
        ours_peaks, bare = self.steady.values(ours, lambda: (peak("thread"), peak()))
        row.ours = main_thread.ours = ours_peaks
        row.base = [b[0] for b in bare]
        main_thread.base = [b[1] for b in bare]
        return [row.finish(), main_thread.finish()]

    def time_to_main(self):
        row = Row("Time to main on HotSpot: the native runner through our JNI sequence, an application "
                  "that ends at once", "java of the same application, same JDK, same options",
                  "at most 1.05x", limit=1.05)
        d = self.work / "hotspot"
        d.mkdir()
        driver = [str(HOTSPOT_RUNNER), "--driver", "hello", str(d), ""]
        p = subprocess.run(driver, capture_output=True, text=True, timeout=120)
        if p.returncode != 0 or "result 1" not in p.stdout.splitlines():
            raise RuntimeError("the native runner failed:\n" + p.stdout + p.stderr)
        options = [line[len("option "):] for line in p.stdout.splitlines() if line.startswith("option ")]
        java = [str(jdk_bin() / "java")] + options + ["probe.Probe"]
        check = subprocess.run(java, capture_output=True, text=True, timeout=120)
        if check.returncode != 0:
            raise RuntimeError("java failed: " + check.stderr)
        ours, base = self.measure.times(driver, java, env=os.environ)
        row.ours, row.base = ms(ours), ms(base)
        return row.finish()

    def class_data_sharing(self):
        """The native runner with the launcher's class-data sharing against
        java -cp of the same application: once the archive exists, and on the
        first run, which writes it at exit."""
        used = Row(f"Class-data sharing on HotSpot, archive present: the native runner, an application that "
                   f"loads {CDS_CLASSES} classes, to main having loaded them", "java -cp of the same application, same options",
                   "at most 0.7x", limit=0.7)
        first = Row("Class-data sharing, first run (writes the archive at exit)", "java -cp, as above",
                    "at most 1.1x", limit=1.1)
        d = self.work / "cds"
        make_class_jar(d / "classes.jar", self.work / "cds-src")
        archive = d / "app.jsa"
        driver = [str(HOTSPOT_RUNNER), "--driver", "cds", str(d), ""]
        archive.unlink(missing_ok=True)
        p = subprocess.run(driver, capture_output=True, text=True, timeout=300)
        if p.returncode != 0 or "result 1" not in p.stdout.splitlines():
            raise RuntimeError("the native runner failed:\n" + p.stdout[-2000:] + p.stderr[-2000:])
        if not archive.exists():
            raise RuntimeError("the first run wrote no archive: " + p.stdout[-2000:])
        options = [line[len("option "):] for line in p.stdout.splitlines() if line.startswith("option ")]
        options = [o for o in options if not o.startswith(("-Xshare", "-XX:"))]
        java = [str(jdk_bin() / "java")] + options + ["probe.Probe", "load", "gen.C", str(CDS_CLASSES)]
        check = subprocess.run(java, capture_output=True, text=True, timeout=120)
        if check.returncode != 0 or f"loaded {CDS_CLASSES} at " not in check.stdout:
            raise RuntimeError("java failed: " + check.stderr[-2000:])
        archive_gone = ["rm", "-f", str(archive)]
        ours, base = self.measure.values(lambda: time_to_loaded(driver), lambda: time_to_loaded(java))
        used.ours, used.base = ours, base
        ours, base = self.measure.values(lambda: time_to_loaded(driver, archive_gone), lambda: time_to_loaded(java))
        first.ours, first.base = ours, base
        return [used.finish(), first.finish()]

    def rolling_output(self):
        row = Row("Rolling output: lines per second into a file that rolls every 10 MB (keeps 3, checks the day), "
                  "through the runtime's auto-flushing PrintStream",
                  "a plain appending FileOutputStream, same stream, same JVM", "at least 0.9x", unit="lines/s",
                  limit=0.9, at_least=True)
        d = self.work / "rolling"
        d.mkdir()
        classes = os.pathsep.join(str(p) for p in (harness.BUILD / "java" / "vennic-runtime.jar",
                                                   HOST_BUILD / "hotspot" / "runtime-tests.jar"))
        p = subprocess.run([str(jdk_bin() / "java"), "-cp", classes, "com.vennic.runtime.RollingBench", str(d),
                            str(self.measure.runs), str(self.measure.warmup), str(ROLLING_LINES)],
                           capture_output=True, text=True, timeout=600)
        rounds = [line.split() for line in p.stdout.splitlines() if line.startswith("round ")]
        if p.returncode != 0 or len(rounds) != self.measure.runs:
            raise RuntimeError("the rolling benchmark failed: " + (p.stderr or p.stdout).strip()[-2000:])
        row.base = [float(r[3]) for r in rounds]
        row.ours = [float(r[5]) for r in rounds]
        return row.finish()

    def service(self):
        start = Row("Service start: /start to Running under Wine's service control manager, with the stand-in JVM",
                    "the test-double service", "at most 1.5x", limit=1.5)
        stop = Row("Service stop: /stop to Stopped", "the test-double service", "at most 1.5x", limit=1.5)
        d = self.wine.workdir("service")
        jre = jretree.make_jre(d / "jre")
        jre.configure_jvm("main=stopline")
        ours = "BenchService"
        exe = self.wine.pack(d, APP_SETTINGS.replace('"Bench"', '"%s"' % ours))
        self.run_checked(exe, "/install")
        base = "BenchDouble"
        double = d / "double.exe"
        shutil.copy(harness.TESTING / "test_service.exe", double)
        double.with_suffix(".mode").write_text("stop")
        r = self.wine.run_raw(["sc", "create", base, "binpath=", '"%s"' % self.wine.to_windows(double),
                               "start=", "demand"], timeout=120)
        if r.code != 0:
            raise RuntimeError("sc create failed: " + r.stdout + r.stderr)
        launcher = self.wine.to_windows(exe)
        timer = harness.TESTING / "service_timer.exe"

        def timed(name, state, command):
            r = self.wine.run_raw([timer, name, state, launcher, command, name], timeout=180)
            if r.code != 0:
                raise RuntimeError(f"{command} {name} did not reach {state} (service_timer: {r.code})")
            # The service process may still be ending after the stopped state.
            time.sleep(0.2)
            # The command's own output comes first.
            return float(r.stdout.split()[-1])

        def cycle(name):
            return lambda: (timed(name, "running", "/start"), timed(name, "stopped", "/stop"))

        try:
            timings = self.measure.values(cycle(ours), cycle(base))
        finally:
            self.wine.run(exe, "/uninstall", timeout=120)
            self.wine.run_raw(["sc", "delete", base], timeout=120)
        start.ours, stop.ours = [t[0] for t in timings[0]], [t[1] for t in timings[0]]
        start.base, stop.base = [t[0] for t in timings[1]], [t[1] for t in timings[1]]
        return [start.finish(), stop.finish()]


def jdk_bin() -> Path:
    return Path(os.path.realpath(shutil.which("javac"))).parent


def time_to_loaded(command, prepare=None):
    """Milliseconds from the start of the command to the point where the
    application's main has loaded its classes (it prints the wall-clock time
    there); the command then runs to its end."""
    if prepare:
        subprocess.run(prepare, check=True, timeout=60)
    started = time.time_ns()
    p = subprocess.run(command, capture_output=True, text=True, timeout=300)
    lines = [line for line in p.stdout.splitlines() if line.startswith(f"loaded {CDS_CLASSES} at ")]
    if p.returncode != 0 or not lines:
        raise RuntimeError(f"{shlex.join(command)} exited with {p.returncode} without loading its classes: "
                           + (p.stderr or p.stdout).strip()[-1000:])
    return (int(lines[0].split()[-1]) - started) / 1e6


def make_class_jar(jar: Path, src: Path):
    """A jar of CDS_CLASSES small classes gen.C0 ..., each with a few methods
    and fields, compiled once."""
    if jar.exists():
        return
    (src / "gen").mkdir(parents=True, exist_ok=True)
    for i in range(CDS_CLASSES):
        (src / "gen" / f"C{i}.java").write_text(
            f"package gen;\npublic class C{i} implements java.util.function.IntSupplier {{\n"
            f"    static final String NAME = \"C{i}\";\n    private int value = {i};\n"
            f"    public int getAsInt() {{ return value * 31 + NAME.length(); }}\n"
            f"    public String toString() {{ return NAME + value; }}\n"
            f"    static int twice(int x) {{ return x + x > {i} ? x : -x; }}\n}}\n")
    sources = sorted(str(p) for p in (src / "gen").glob("*.java"))
    (src / "sources.txt").write_text("\n".join(sources) + "\n")
    classes = src / "classes"
    subprocess.run([str(jdk_bin() / "javac"), "-d", str(classes), "@" + str(src / "sources.txt")], check=True,
                   timeout=600)
    jar.parent.mkdir(parents=True, exist_ok=True)
    subprocess.run([str(jdk_bin() / "jar"), "cf", str(jar), "-C", str(classes), "."], check=True, timeout=300)


def write_payload(directory: Path):
    """The large file and the small ones; their names."""
    directory.mkdir(parents=True, exist_ok=True)
    names = ["large.bin"] + [f"small{i:03d}.bin" for i in range(SMALL_FILES)]
    with open(directory / names[0], "wb") as f:
        chunk = os.urandom(1 << 20)
        for _ in range(LARGE_FILE_BYTES >> 20):
            f.write(chunk)
    for name in names[1:]:
        (directory / name).write_bytes(os.urandom(SMALL_FILE_BYTES))
    return names


# --- the report ---

def figure(values, unit):
    if not values:
        return "-"
    lo, hi = quartiles(values)
    digits = 0 if unit == "lines/s" else 1 if unit in ("ms", "MB") else 2
    return f"{median(values):.{digits}f} {unit} ({lo:.{digits}f}-{hi:.{digits}f})"


def environment():
    """Where the figures were taken: they hold for that machine only."""
    def first_line(command):
        try:
            p = subprocess.run(command, capture_output=True, text=True, timeout=60)
            return (p.stdout or p.stderr).strip().splitlines()[0]
        except (OSError, IndexError, subprocess.SubprocessError):
            return "unknown"
    load = os.getloadavg()[0] if hasattr(os, "getloadavg") else 0.0
    return (f"Taken {time.strftime('%Y-%m-%d %H:%M')} on {os.cpu_count()} CPUs (load {load:.1f} at the end), "
            f"{first_line([harness.WINE, '--version'])}, {first_line([str(jdk_bin() / 'java'), '-version'])}, "
            f"{first_line(['hyperfine', '--version'])}.\n")


def table(rows, runs):
    lines = ["| Row | Launcher, median (IQR) | Against, median (IQR) | Ratio, median (IQR) | Goal | Result |",
             "|---|---|---|---|---|---|"]
    for r in rows:
        if r.error:
            lines.append(f"| {r.title} | not measured: {r.error} | {r.against} | - | {r.goal} | **NOT MEASURED** |")
            continue
        if r.value is not None:
            ours, base = r.value, r.against
        else:
            ours, base = figure(r.ours, r.unit), f"{r.against}: {figure(r.base, r.unit)}"
        if r.ratios and r.value is None:
            lo, hi = quartiles(r.ratios)
            ratio = f"{median(r.ratios):.2f}x ({lo:.2f}-{hi:.2f})"
        elif r.ratios:
            ratio = f"{median(r.ratios):.2f}x"
        else:
            ratio = "-"
        result = "-" if r.met is None else "unsteady" if r.unsteady else "met" if r.met else "**MISSED**"
        lines.append(f"| {r.title} | {ours} | {base} | {ratio} | {r.goal} | {result} |")
    lines.append("")
    lines.append(f"{runs} runs per side after warm-up (start and memory: at least {STEADY_RUNS}), both sides "
                 "interleaved; a ratio is the median of the per-round ratios launcher/against, with its "
                 "interquartile range. A row is unsteady when that range is wider than the goal's distance "
                 "from 1.0x.")
    return "\n".join(lines) + "\n"


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--smoke", action="store_true", help="3 runs per side, 1 warm-up round")
    parser.add_argument("--runs", type=int, default=20)
    parser.add_argument("--warmup", type=int, default=3)
    parser.add_argument("--only", help="comma-separated row names: " + ", ".join(ROWS))
    args = parser.parse_args()
    runs, warmup = (3, 1) if args.smoke else (max(args.runs, 1), max(args.warmup, 0))
    out = BUILD / "bench" / ("smoke" if args.smoke else "")
    names = args.only.split(",") if args.only else list(ROWS)
    for n in names:
        if n not in ROWS:
            parser.error("unknown row " + n)

    if not shutil.which("hyperfine"):
        print("bench: hyperfine is missing (scripts/setup installs it)", file=sys.stderr)
        return 1
    started = time.time()
    bench = Bench(out)
    rows = []
    try:
        bench.start(runs, warmup, runs if args.smoke else max(runs, STEADY_RUNS), 0.0 if args.smoke else 10.0)
        for n in names:
            rows += run_row(bench, n)
    finally:
        bench.wine.stop()

    text = table(rows, runs)
    out.mkdir(parents=True, exist_ok=True)
    (out / "results.md").write_text("# Benchmarks\n\n" + environment() + "\n" + text +
                                    "\n![distributions](results.svg)\n")
    (out / "results.svg").write_text(plot.svg(rows))
    (out / "results.json").write_text(json.dumps([r.__dict__ for r in rows], indent=1))
    print(text)
    print(f"bench: {time.time() - started:.0f} s; {out / 'results.md'}, {out / 'results.svg'}")
    failed = [r.title for r in rows if r.error]
    for title in failed:
        print("bench: not measured: " + title, file=sys.stderr)
    if args.smoke:
        print(f"bench smoke: {len(rows) - len(failed)} passed, {len(failed)} failed")
    return 1 if failed else 0


def run_row(bench, name):
    """The row's results; a row that could not be measured carries its error."""
    method, titles = ROWS[name]
    started = time.time()
    children = Row(CHILDREN, "-", "0 (the stand-in java.exe counts its starts)", unit="")
    try:
        if name == "start":
            rows = [bench.start_overhead(children), children]
        else:
            result = getattr(bench, method)()
            rows = result if isinstance(result, list) else [result]
    except Exception as e:  # a measurement that could not be taken
        traceback.print_exc()
        reason = str(e).splitlines()[0] if str(e) else type(e).__name__
        rows = [Row(title, "-", "-", error=reason) for title in titles]
    print(f"bench: {name} took {time.time() - started:.0f} s", file=sys.stderr)
    return rows


CHILDREN = "Child processes on a cache hit"

# Name: the Bench method, and the titles its rows have when it fails.
ROWS = {
    "start": ("start_overhead", ["Start overhead to the JVM", CHILDREN]),
    "extract": ("extraction", ["Extraction"]),
    "pack": ("packing", ["Packing"]),
    "size": ("size", ["Size, stripped"]),
    "memory": ("memory", ["Memory: peak working set at JNI_CreateJavaVM",
                          "Memory, for information: against the bare hello.exe's peak on its main thread"]),
    "hotspot": ("time_to_main", ["Time to main on HotSpot"]),
    "cds": ("class_data_sharing", ["Class-data sharing on HotSpot, archive present",
                                   "Class-data sharing, first run"]),
    "rolling": ("rolling_output", ["Rolling output"]),
    "service": ("service", ["Service start", "Service stop"]),
}

if __name__ == "__main__":
    sys.exit(main())
