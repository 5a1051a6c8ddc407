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
    failed = len(result.failures) + len(result.errors)
    passed = result.testsRun - failed - len(result.skipped)
    print(f"wine tests took {time.time() - started:.0f} s")
    print(f"{passed} passed, {failed} failed, {len(result.skipped)} skipped")
    return 0 if failed == 0 and result.testsRun > 0 else 1


if __name__ == "__main__":
    sys.exit(main())
