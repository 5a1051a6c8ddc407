"""Runs the Maven plugin's tests on the example project (tests/maven).

Fast tier: the plugin packs the example, attaches and installs the
executable, leaves it alone when nothing changed, and fails on a setting the
packer refuses (test_*.py). With --long also the variants and the runs under
Wine through the bridge runtime, in a Wine session of their own (long_*.py).

    python3 tests/maven/run.py [--long] [name...]
        names select modules, classes or single tests (test_pack.Included)
"""

import sys
import time
import unittest
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parents[1] / "tests" / "wine"))
sys.path.insert(0, str(HERE))

import harness  # noqa: E402
import project  # noqa: E402


class TimedResult(unittest.TextTestResult):
    """Says how long each test took: the Maven runs are most of it."""

    def startTest(self, test):
        self.started = time.time()
        super().startTest(test)

    def stopTest(self, test):
        super().stopTest(test)
        self.stream.writeln(f"    {time.time() - self.started:.1f} s  {test.id()}")


def main() -> int:
    args = sys.argv[1:]
    long = "--long" in args
    names = [a for a in args if a != "--long"]
    started = time.time()
    project.prepare_repository()
    loader = unittest.defaultTestLoader
    if names:
        suite = loader.loadTestsFromNames(names)
        long = long or any(name.startswith("long_") for name in names)
    else:
        suite = loader.discover(str(HERE), pattern="test_*.py")
    wine = None
    if long:
        if not names:
            suite.addTests(loader.discover(str(HERE), pattern="long_*.py"))
        wine = harness.Wine(project.WORK / "wine")
        wine.start()
        harness.session = wine
    try:
        result = unittest.TextTestRunner(verbosity=2, resultclass=TimedResult).run(suite)
    finally:
        if wine:
            wine.stop()
    return harness.summarize(result, "maven tests", started)


if __name__ == "__main__":
    sys.exit(main())
