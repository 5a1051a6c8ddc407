"""The executables the pack goal makes, run under Wine with /run through the
bridge runtime (tests/wine); what makes it pack again, and what does not;
and Maven's conventions: skip, an unsupported host, the help goal, bitness."""

import shutil
import struct
import tomllib
import unittest

import harness
import service_helpers
from harness import wait_for
from project import Project, dump, included_files
from test_pack import CONFIG_FILE, beside_project, file_and_inline_project


class UnderWine(unittest.TestCase):
    def run_packed(self, project: Project, name: str, *args):
        """Copies the executable (and lib) into the prefix beside a bridge
        runtime and runs it with /run."""
        wine = harness.session
        directory = wine.workdir(name)
        shutil.copy(project.exe, directory / project.exe.name)
        if (project.target / "lib").is_dir():
            shutil.copytree(project.target / "lib", directory / "lib")
        service_helpers.bridge_runtime(directory / "jre")
        r = wine.run(directory / project.exe.name, "/run", *args, timeout=120)
        self.assertTrue(wait_for(lambda: not service_helpers.processes(wine, "wlbridge-"), timeout=20),
                        "the Java process ends with the launcher")
        self.assertEqual(r.code, 0, r)
        return r.stdout

    def test_included(self):
        project = Project("wine-included")
        build = project.mvn("package")
        self.assertEqual(build.code, 0, build.output)
        out = self.run_packed(project, "included", "maven", "wine")
        self.assertIn("Hello, Maven and wine!", out)
        self.assertRegex(out, r"org\.apache\.commons\.lang3\.StringUtils from file:\S*/commons-lang3-3\.12\.0\.jar")

    def test_beside(self):
        project, build = beside_project("wine-beside")
        self.assertEqual(build.code, 0, build.output)
        out = self.run_packed(project, "beside", "lib")
        self.assertIn("Hello, Lib!", out)
        self.assertRegex(out, r"StringUtils from file:\S*/t/beside/lib/commons-lang3-3\.12\.0\.jar")

    def test_file_and_inline(self):
        project, build = file_and_inline_project("wine-file-and-inline")
        self.assertEqual(build.code, 0, build.output)
        self.assertIn("Hello, Reader!", self.run_packed(project, "file-and-inline"),
                      "the configuration file's application arguments")


class Incremental(unittest.TestCase):
    def test_beside_leaves_exe_and_lib_alone(self):
        project, build = beside_project("again-beside")
        self.assertEqual(build.code, 0, build.output)
        lib = project.target / "lib"
        stamps = {p.name: p.stat().st_mtime_ns for p in [project.exe, *lib.iterdir()]}
        again = project.mvn("package", "-Dwinlaunch.dependencies=beside")
        self.assertEqual(again.code, 0, again.output)
        self.assertIn("is up to date", again.output)
        self.assertEqual({p.name: p.stat().st_mtime_ns for p in [project.exe, *lib.iterdir()]}, stamps)

    def test_inputs_of_the_file_and_a_mistake_in_it(self):
        project, build = file_and_inline_project("again-file")
        self.assertEqual(build.code, 0, build.output)
        # A file that only the configuration file names is an input too.
        (project.dir / "src/main/winlaunch/readme.txt").write_text("changed\n")
        build = project.mvn("package", CONFIG_FILE)
        self.assertEqual(build.code, 0, build.output)
        self.assertNotIn("is up to date", build.output)
        self.assertEqual(included_files(project.exe, project.dir / "dumped")["notes/readme.txt"], b"changed\n")

        # A mistake in the file: its own place in the message, and the
        # executable of the last build is gone rather than left looking current.
        toml = project.dir / "src/main/winlaunch/app.toml"
        toml.write_text(toml.read_text().replace("[messages]\n", "[messages]\nerrorCaptio = \"x\"\n"))
        build = project.mvn("package", CONFIG_FILE)
        self.assertNotEqual(build.code, 0)
        line = toml.read_text().splitlines().index('errorCaptio = "x"') + 1
        self.assertIn("app.toml:%d:1: unknown message name 'errorCaptio'" % line, build.output)
        self.assertEqual(project.exes(), [])
        self.assertFalse((project.target / (project.exe.name + ".inputs")).exists())

    def test_bitness_changes_the_template(self):
        project = Project("bitness")
        project.edit_pom("<bitness>64</bitness>", "<bitness>${bits}</bitness>")
        machines = []
        for bits in ("32", "64"):
            build = project.mvn("package", "-Dbits=" + bits)
            self.assertEqual(build.code, 0, build.output)
            self.assertNotIn("is up to date", build.output, "another template: packed again")
            data = project.exe.read_bytes()
            machines.append(struct.unpack_from("<H", data, struct.unpack_from("<I", data, 60)[0] + 4)[0])
        self.assertEqual(machines, [0x14C, 0x8664])
        build = project.mvn("package", "-Dbits=7")
        self.assertNotEqual(build.code, 0)
        self.assertIn("winlaunch: bitness is 32 or 64, not 7", build.output)


class ProjectVersion(unittest.TestCase):
    def test_version_the_packer_does_not_take(self):
        project = Project("five-numbers")
        project.edit_pom("<version>1.0.0</version>", "<version>2.0.0.0.1-rc</version>")
        build = project.mvn("package")
        self.assertEqual(build.code, 0, build.output)
        self.assertIn("the version 2.0.0.0.1-rc does not begin with up to four numbers", build.output)
        version = tomllib.loads(dump(project.target / "maven-app-2.0.0.0.1-rc.exe"))["resources"]["version"]
        self.assertEqual(version, {"ProductName": "winlaunch Maven example"})


class Conventions(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.project = Project("conventions")

    def test_skip(self):
        build = self.project.mvn("package", "-Dwinlaunch.skip")
        self.assertEqual(build.code, 0, build.output)
        self.assertIn("winlaunch: skipped", build.output)
        self.assertEqual(self.project.exes(), [])

    def test_other_build_host(self):
        project = Project("other-host")
        build = project.mvn("package")
        self.assertEqual(build.code, 0, build.output)
        build = project.mvn("package", "-Dos.arch=aarch64")
        self.assertNotEqual(build.code, 0)
        self.assertEqual([line for line in build.errors() if "winlaunch" in line],
                         ["[ERROR] Failed to execute goal org.winlaunch:winlaunch-maven-plugin:0.1.0:pack (default) on"
                          " project maven-app: winlaunch: no packer for this build host (Linux aarch64); the plugin"
                          " carries packers for Linux x86_64 and Windows x64 -> [Help 1]"], "one line")
        self.assertEqual(project.exes(), [], "the last build's executable is gone too")

    def test_help_goal(self):
        build = self.project.mvn("winlaunch:help", "-Ddetail", "-Dgoal=pack")
        self.assertEqual(build.code, 0, build.output)
        for name in ("winlaunch:pack", "dependencies", "settings", "winlaunch.skip"):
            self.assertIn(name, build.output)


if __name__ == "__main__":
    unittest.main()
