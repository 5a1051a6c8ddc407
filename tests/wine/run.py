"""Runs the Wine integration tests: one prefix and one wineserver for the run.

    python3 tests/wine/run.py                      every module, in name order
    python3 tests/wine/run.py test_service_runtime  one module (test_x.py works too)
    python3 tests/wine/run.py test_jre.Registry test_entry.LogFile.test_locale_from_lang
    python3 tests/wine/run.py --shuffle            every module in a random order
    python3 tests/wine/run.py --seed 1234          the order of an earlier shuffled run
    python3 tests/wine/run.py --jobs 2             the classes shared out over two sessions

A shuffled run orders the modules, the classes of each module and the tests of
each class at random (the tests of one class stay together, so that class
fixtures still hold) and prints its seed first. Every run starts a fresh
session on a new prefix, so a test or a module run alone sees nothing that
another left behind.

With --jobs N the test classes are shared out over N lanes, each a run.py of
its own with its own prefix and wineserver, side by side; the longest classes
are given out first, each to the lane with the least to do so far, by the
times of the last run (build/wine-class-times.json) or, on a fresh checkout,
tests/wine/class_times.json. Each lane's output is printed once it ends.
"""

import argparse
import fcntl
import json
import random
import shutil
import subprocess
import sys
import time
import unittest
from collections import OrderedDict
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))

import harness  # noqa: E402


def module_names():
    return sorted(p.stem for p in HERE.glob("test_*.py"))


def flatten(suite):
    if isinstance(suite, unittest.TestCase):
        yield suite
        return
    for item in suite:
        yield from flatten(item)


def load(names, loader=unittest.defaultTestLoader):
    """The tests the names select, in the order given: a module (with or
    without ".py"), module.Class or module.Class.test."""
    tests = []
    for name in names or module_names():
        name = name[:-3] if name.endswith(".py") else name
        found = list(flatten(loader.loadTestsFromName(name)))
        # A name the loader cannot import comes back as a failing stand-in test.
        broken = [t for t in found if type(t).__module__ == "unittest.loader"]
        if broken or not found:
            raise SystemExit(f"run.py: no tests named {name!r}" +
                             (": " + str(broken[0]._exception).strip().splitlines()[-1] if broken else ""))
        tests += found
    return tests


def grouped(tests):
    """module -> class -> tests, in first-seen order, without repeats."""
    groups = OrderedDict()
    seen = set()
    for test in tests:
        if test.id() in seen:
            continue
        seen.add(test.id())
        cls = type(test)
        groups.setdefault(cls.__module__, OrderedDict()).setdefault(cls.__qualname__, []).append(test)
    return groups


def ordered_suite(tests, seed=None):
    """The tests grouped by module and class, and the module order; with a
    seed each level is shuffled."""
    rng = random.Random(seed) if seed is not None else None

    def order(items):
        items = list(items)
        if rng:
            rng.shuffle(items)
        return items

    suite = unittest.TestSuite()
    modules = grouped(tests)
    module_order = order(modules)
    for module in module_order:
        classes = modules[module]
        for cls in order(classes):
            suite.addTests(order(classes[cls]))
    return suite, module_order


# Seconds per test class, measured: the last run's in the build directory,
# the checked-in ones for a fresh checkout.
MEASURED_TIMES = harness.BUILD / "wine-class-times.json"
CHECKED_IN_TIMES = HERE / "class_times.json"
# A class without a measured time (a new one) counts as this many seconds.
UNMEASURED_SECONDS = 20.0


def class_name(test) -> str:
    cls = type(test)
    return f"{cls.__module__}.{cls.__qualname__}"


class TimedResult(unittest.TextTestResult):
    """Keeps how long each module's and each class's tests took, for the
    summary and the lanes of the next run. A class's time runs from its first
    test's start to its last test's end, so it includes its class fixture."""

    def __init__(self, *args, **kwargs):
        super().__init__(*args, **kwargs)
        self.module_seconds = OrderedDict()
        self.class_seconds = OrderedDict()
        self._last_end = time.time()

    def startTest(self, test):
        self._started = self._last_end
        super().startTest(test)

    def stopTest(self, test):
        super().stopTest(test)
        now = time.time()
        seconds = now - self._started
        self._last_end = now
        module = type(test).__module__
        self.module_seconds[module] = self.module_seconds.get(module, 0.0) + seconds
        name = class_name(test)
        self.class_seconds[name] = self.class_seconds.get(name, 0.0) + seconds


def load_times() -> dict:
    times = {}
    for path in (CHECKED_IN_TIMES, MEASURED_TIMES):
        try:
            times.update(json.loads(path.read_text()))
        except (OSError, ValueError):
            pass
    return times


def save_times(class_seconds: dict):
    """Merges this run's class times into the measured ones (lanes that end
    together take turns)."""
    MEASURED_TIMES.parent.mkdir(parents=True, exist_ok=True)
    with open(str(MEASURED_TIMES) + ".lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        times = {}
        try:
            times = json.loads(MEASURED_TIMES.read_text())
        except (OSError, ValueError):
            pass
        times.update({name: round(seconds, 1) for name, seconds in class_seconds.items()})
        MEASURED_TIMES.write_text(json.dumps(dict(sorted(times.items())), indent=1) + "\n")


def lanes(tests, jobs: int, times: dict):
    """The test ids of each lane, a whole class to one lane: the longest
    class first, each to the lane with the least seconds so far."""
    classes = OrderedDict()
    for test in tests:
        classes.setdefault(class_name(test), []).append(test.id())
    share = [[0.0, []] for _ in range(jobs)]
    for name in sorted(classes, key=lambda n: -times.get(n, UNMEASURED_SECONDS)):
        lane = min(share, key=lambda s: s[0])
        lane[0] += times.get(name, UNMEASURED_SECONDS)
        lane[1] += classes[name]
    return [(seconds, ids) for seconds, ids in share if ids]


def run_lanes(tests, jobs: int, seed) -> int:
    """Runs the lanes side by side, prints each one's output as it ends, and
    the totals; 0 when every lane passed."""
    started = time.time()
    work = harness.BUILD / "wine-lanes"
    if work.exists():
        shutil.rmtree(work)
    work.mkdir(parents=True)
    procs = []
    for i, (seconds, ids) in enumerate(lanes(tests, jobs, load_times())):
        lane_file = work / f"lane{i + 1}.tests"
        lane_file.write_text("\n".join(ids) + "\n")
        log = open(work / f"lane{i + 1}.log", "w")
        argv = [sys.executable, str(HERE / "run.py"), "--lane", str(i + 1), "--tests-from", str(lane_file)]
        if seed is not None:
            argv += ["--seed", str(seed)]
        print(f"lane {i + 1}: {len(ids)} tests, about {seconds:.0f} s")
        procs.append((i + 1, subprocess.Popen(argv, stdout=log, stderr=subprocess.STDOUT), log))
    sys.stdout.flush()
    status = 0
    counts = [0, 0, 0]
    pending = list(procs)
    while pending:
        for item in list(pending):
            lane, proc, log = item
            if proc.poll() is None:
                continue
            pending.remove(item)
            log.close()
            text = (work / f"lane{lane}.log").read_text(errors="replace")
            print(f"---- lane {lane} (exit {proc.returncode})")
            print(text, end="" if text.endswith("\n") else "\n")
            try:
                lane_counts = json.loads((work / f"lane{lane}.json").read_text())
                counts = [a + b for a, b in zip(counts, lane_counts)]
            except (OSError, ValueError):
                print(f"lane {lane}: no result (it ended before its summary)")
                status = 1
            if proc.returncode != 0:
                status = 1
            sys.stdout.flush()
        time.sleep(0.5)
    print(f"wine tests took {time.time() - started:.0f} s in {len(procs)} lanes")
    print(f"{counts[0]} passed, {counts[1]} failed, {counts[2]} skipped")
    return 1 if status or counts[1] or not sum(counts) else 0


def main(argv=None) -> int:
    parser = argparse.ArgumentParser(description="Runs the Wine integration tests in a fresh session.")
    parser.add_argument("names", nargs="*", help="module, module.Class or module.Class.test (default: all)")
    parser.add_argument("--shuffle", action="store_true", help="random order of modules, classes and tests")
    parser.add_argument("--seed", type=int, help="shuffle with this seed (implies --shuffle)")
    parser.add_argument("--jobs", type=int, default=1, help="lanes side by side, each with its own session")
    parser.add_argument("--lane", type=int, help=argparse.SUPPRESS)
    parser.add_argument("--tests-from", help=argparse.SUPPRESS)
    args = parser.parse_args(argv)

    seed = args.seed
    if seed is None and args.shuffle:
        seed = random.SystemRandom().randrange(1, 1 << 31)
    names = args.names
    if args.tests_from:
        names = Path(args.tests_from).read_text().split()
    tests = load(names)
    if args.jobs > 1 and not args.lane:
        if seed is not None:
            print(f"shuffled with seed {seed} (python3 tests/wine/run.py --jobs {args.jobs} --seed {seed} "
                  "repeats these lanes and orders)")
        return run_lanes(tests, args.jobs, seed)
    suite, modules = ordered_suite(tests, seed)
    if seed is not None:
        print(f"shuffled with seed {seed} (python3 tests/wine/run.py --seed {seed} repeats this order)")
        print("module order: " + " ".join(modules))
    sys.stdout.flush()

    lane = f"lane{args.lane}" if args.lane else ""
    wine = harness.Wine(harness.BUILD / "wine-tests" / lane)
    started = time.time()
    wine.start()
    harness.session = wine
    try:
        runner = unittest.TextTestRunner(verbosity=2, resultclass=TimedResult)
        result = runner.run(suite)
    finally:
        wine.stop()
    for module, seconds in result.module_seconds.items():
        print(f"  {module}: {seconds:.0f} s")
    save_times(result.class_seconds)
    if seed is not None:
        print(f"seed {seed}")
    code = harness.summarize(result, f"wine tests{' (' + lane + ')' if lane else ''}", started)
    if lane:
        failed = len(result.failures) + len(result.errors)
        counts = [result.testsRun - failed - len(result.skipped), failed, len(result.skipped)]
        (harness.BUILD / "wine-lanes" / f"{lane}.json").write_text(json.dumps(counts))
    return code


if __name__ == "__main__":
    sys.exit(main())
