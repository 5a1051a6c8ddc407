"""The reference of every setting: --list-settings matches what the packer
takes, and docs/configuration.md is the current, committed output."""

import re
import shutil
import subprocess

import test_packer as base

DOCS = base.ROOT / "docs" / "configuration.md"


class Reference(base.PackerCase):
    def rows(self):
        """(table, name, id, type, default) of every listed entry."""
        code, text, err = base.run("--list-settings")
        self.assertEqual(code, 0, err)
        table, out = None, []
        for line in text.splitlines():
            if line.startswith("["):
                table = line
            elif line and not line.startswith("name "):
                name, ident, kind, default = re.split(r"\s{2,}", line)[:4]
                out.append((table, name, ident, kind, default))
        return out

    def test_every_listed_name_packs_with_its_type_and_default(self):
        rows = self.rows()
        self.assertIn(("[settings]", "applicationType", "107", "integer", "0"), rows)
        self.assertIn(("[messages]", "serviceDescription", "20017", "string", '""'), rows)
        self.assertIn(("[settings]", "versionSpecificCondition", "10201 + 2k", "string", '""'), rows)
        lines = {"[settings]": [], "[messages]": []}
        for table, name, ident, kind, default in rows:
            key = ident.split()[0] if "+" in ident else name  # an indexed family goes by number
            if name not in ("includedFileCount", "includedFileNames"):
                lines[table].append(f"{key} = {default}")
        config = "".join(t + "\n" + "\n".join(body) + "\n" for t, body in lines.items())
        code, _, err = self.pack(config)
        self.assertEqual(code, 0, err)

    def test_docs_are_current(self):
        code, markdown, err = base.run("--list-settings", "--markdown")
        self.assertEqual(code, 0, err)
        self.assertEqual(DOCS.read_text(encoding="utf-8"), markdown,
                         "docs/configuration.md differs from the catalogue; scripts/build writes it")
        git = shutil.which("git")
        if git and subprocess.run([git, "-C", base.ROOT, "rev-parse"], capture_output=True).returncode == 0:
            committed = subprocess.run([git, "-C", base.ROOT, "show", "HEAD:docs/configuration.md"],
                                       capture_output=True)
            self.assertEqual(committed.stdout.decode("utf-8"), markdown,
                             "docs/configuration.md as committed is not current; commit the generated one")

    def test_own_additions_are_marked(self):
        code, markdown, err = base.run("--list-settings", "--markdown")
        self.assertEqual(code, 0, err)
        classic, marked = markdown.split("\n### This launcher's own additions (ids 30000-30999)\n")
        additions = marked.split("\n## Messages\n")[0]
        ids = [int(i) for i in re.findall(r"^\| `\w+` \| (\d+) \|", additions, re.M)]
        self.assertIn(30101, ids)
        self.assertTrue(all(30000 <= i <= 30999 for i in ids), ids)
        self.assertFalse(re.search(r"^\| `\w+` \| 30\d\d\d \|", classic, re.M), "additions only in their section")
