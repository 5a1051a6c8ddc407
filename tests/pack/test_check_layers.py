"""scripts/check-layers, the build's check of the include order, on small
trees of its own."""

import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
CHECK = ROOT / "scripts" / "check-layers"


class CheckLayers(unittest.TestCase):
    def check(self, files):
        """Runs the check on a tree of {relative path: text}; (exit code, report lines)."""
        with tempfile.TemporaryDirectory() as directory:
            root = Path(directory)
            (root / "src").mkdir()
            (root / "tools").mkdir()
            for name, text in files.items():
                (root / name).parent.mkdir(parents=True, exist_ok=True)
                (root / name).write_text(text, encoding="utf-8")
            p = subprocess.run([sys.executable, str(CHECK), "--root", str(root)], capture_output=True, text=True)
            return p.returncode, [line for line in p.stderr.splitlines() if line]

    def test_the_project_keeps_its_order(self):
        p = subprocess.run([sys.executable, str(CHECK)], capture_output=True, text=True)
        self.assertEqual(p.returncode, 0, p.stderr)

    def test_downward_and_own_folder_includes_pass(self):
        code, lines = self.check({
            "src/launcher/main_win.cpp": '#include "jvm/launch_thread.h"\n#include "launcher/launcher.h"\n',
            "src/jre/search.cpp": '#include "files/paths.h"\n#include "base/text.h"\n#include <string>\n',
            "src/base/winapi.h": "#include <windows.h>\n",
            "tools/pack/packer.cpp": '#include "files/extract.h"\n#include "packer.h"\n',
        })
        self.assertEqual((code, lines), (0, []))

    def test_each_offence_is_named_with_its_line(self):
        code, lines = self.check({
            "src/diag/log_win.cpp": '#include "diag/log.h"\n#include "files/tempdir.h"\n',
            "src/jre/search_win.cpp": '// one\n\n  #  include "unpack/pack200.h"\n',
            "src/files/paths_win.cpp": "#include <Windows.h>\n",
            "tools/pack/packer.cpp": '#include "jre/version.h"\n',
            "src/extra/x.cpp": '#include "base/text.h"\n',
        })
        self.assertEqual(code, 1)
        self.assertEqual(len(lines), 6, lines)  # five offences and the count
        joined = "\n".join(lines)
        self.assertIn('src/diag/log_win.cpp:2: #include "files/tempdir.h": runs back up, files stands above diag', joined)
        self.assertIn('src/jre/search_win.cpp:3: #  include "unpack/pack200.h": runs back up, unpack stands beside jre',
                      joined)
        self.assertIn("src/files/paths_win.cpp:1: #include <Windows.h>: <windows.h> only through base/winapi.h", joined)
        self.assertIn('tools/pack/packer.cpp:1: #include "jre/version.h": the packer may include only', joined)
        self.assertIn("src/extra/x.cpp:1: ", joined)
        self.assertTrue(lines[-1].startswith("check-layers: 5 include(s)"), lines[-1])


if __name__ == "__main__":
    unittest.main()
