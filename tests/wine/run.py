"""Runs the Wine integration tests: one prefix and one wineserver for the run."""

import sys
import time
import unittest
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))

import harness  # noqa: E402


def main() -> int:
    pattern = sys.argv[1] if len(sys.argv) > 1 else "test_*.py"
    wine = harness.Wine(harness.BUILD / "wine-tests")
    started = time.time()
    wine.start()
    harness.session = wine
    try:
        suite = unittest.defaultTestLoader.discover(str(HERE), pattern=pattern)
        result = unittest.TextTestRunner(verbosity=2).run(suite)
    finally:
        wine.stop()
    return harness.summarize(result, "wine tests", started)


if __name__ == "__main__":
    sys.exit(main())
