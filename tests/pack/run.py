"""Runs the packer tests (no Wine needed).

    python3 tests/pack/run.py                                  every module
    python3 tests/pack/run.py test_toml test_toml.TomlForms    modules, classes or single tests
"""

import sys
import unittest
from pathlib import Path

HERE = Path(__file__).resolve().parent

if __name__ == "__main__":
    sys.path.insert(0, str(HERE))
    names = sys.argv[1:]
    loader = unittest.defaultTestLoader
    suite = loader.loadTestsFromNames(names) if names else loader.discover(str(HERE), pattern="test_*.py")
    result = unittest.TextTestRunner(verbosity=1).run(suite)
    failed = len(result.failures) + len(result.errors)
    print(f"{result.testsRun - failed - len(result.skipped)} passed, {failed} failed")
    sys.exit(0 if failed == 0 and result.testsRun > 0 else 1)
