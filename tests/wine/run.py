"""Runs the Wine integration tests: one prefix and one wineserver for the run.

    python3 tests/wine/run.py                      every module, in name order
    python3 tests/wine/run.py test_service_runtime  one module (test_x.py works too)
    python3 tests/wine/run.py test_jre.Registry test_entry.LogFile.test_locale_from_lang
    python3 tests/wine/run.py --shuffle            every module in a random order
    python3 tests/wine/run.py --seed 1234          the order of an earlier shuffled run

A shuffled run orders the modules, the classes of each module and the tests of
each class at random (the tests of one class stay together, so that class
fixtures still hold) and prints its seed first. Every run starts a fresh
session on a new prefix, so a test or a module run alone sees nothing that
another left behind.
"""

import argparse
import random
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


class TimedResult(unittest.TextTestResult):
    """Keeps how long each module's tests took, for the summary."""

    def __init__(self, *args, **kwargs):
        super().__init__(*args, **kwargs)
        self.module_seconds = OrderedDict()
        self._started = 0.0

    def startTest(self, test):
        self._started = time.time()
        super().startTest(test)

    def stopTest(self, test):
        super().stopTest(test)
        module = type(test).__module__
        self.module_seconds[module] = self.module_seconds.get(module, 0.0) + time.time() - self._started


def main(argv=None) -> int:
    parser = argparse.ArgumentParser(description="Runs the Wine integration tests in a fresh session.")
    parser.add_argument("names", nargs="*", help="module, module.Class or module.Class.test (default: all)")
    parser.add_argument("--shuffle", action="store_true", help="random order of modules, classes and tests")
    parser.add_argument("--seed", type=int, help="shuffle with this seed (implies --shuffle)")
    args = parser.parse_args(argv)

    seed = args.seed
    if seed is None and args.shuffle:
        seed = random.SystemRandom().randrange(1, 1 << 31)
    suite, modules = ordered_suite(load(args.names), seed)
    if seed is not None:
        print(f"shuffled with seed {seed} (python3 tests/wine/run.py --seed {seed} repeats this order)")
        print("module order: " + " ".join(modules))
    sys.stdout.flush()

    wine = harness.Wine(harness.BUILD / "wine-tests")
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
    if seed is not None:
        print(f"seed {seed}")
    return harness.summarize(result, "wine tests", started)


if __name__ == "__main__":
    sys.exit(main())
