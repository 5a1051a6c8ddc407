"""The pack goal's variants, and the executables it makes run under Wine with
/run through the bridge runtime (tests/wine): included and beside jars, a
configuration file with inline values laid over it, and Maven's conventions."""

import shutil
import struct
import tomllib
import unittest

import harness
import service_helpers
from project import COMMONS_LANG, Project, dump, included_files
from harness import wait_for

# Inline values that need TOML's escapes, and typed values: each must reach
# the executable exactly.
TRICKY = {
    "serviceDependencies": 'Tcpip,"Quoted" \\Back\\slash\\ \'single\' caf\u00e9 \u20ac\tend',
    "jvmTypeDirectory": "0123",  # a string setting: digits stay text
}
TRICKY_MESSAGE = 'Line one\nline "two" \\ \u00fc'


def run_under_wine(test, project: Project, name: str, *args):
    """Copies the executable (and lib) into the prefix beside a bridge runtime
    and runs it with /run; returns the result."""
    wine = harness.session
    directory = wine.workdir(name)
    shutil.copy(project.exe, directory / project.exe.name)
    if (project.target / "lib").is_dir():
        shutil.copytree(project.target / "lib", directory / "lib")
    service_helpers.bridge_runtime(directory / "jre")
    result = wine.run(directory / project.exe.name, "/run", *args, timeout=120)
    test.assertTrue(wait_for(lambda: not service_helpers.processes(wine, "wlbridge-"), timeout=20),
                    "the Java process ends with the launcher")
    return result


class Included(unittest.TestCase):
    def test_runs_with_the_dependency(self):
        project = Project("run-included")
        build = project.mvn("package")
        self.assertEqual(build.code, 0, build.output)
        r = run_under_wine(self, project, "included", "maven", "wine")
        self.assertEqual(r.code, 0, r)
        self.assertIn("Hello, Maven and wine!", r.stdout)
        self.assertRegex(r.stdout, r"org\.apache\.commons\.lang3\.StringUtils from file:\S*/commons-lang3-3\.12\.0\.jar")


class Beside(unittest.TestCase):
    def test_jars_in_lib_with_the_class_path(self):
        project = Project("beside")
        build = project.mvn("package", "-Dwinlaunch.dependencies=beside")
        self.assertEqual(build.code, 0, build.output)
        lib = project.target / "lib"
        self.assertEqual(sorted(p.name for p in lib.iterdir()), ["commons-lang3-3.12.0.jar", "maven-app-1.0.0.jar"])
        self.assertEqual((lib / "commons-lang3-3.12.0.jar").read_bytes(), COMMONS_LANG.read_bytes())
        self.assertEqual(set(included_files(project.exe, project.dir / "dumped")), {"vennic-runtime.jar"})
        config = tomllib.loads(dump(project.exe))
        self.assertEqual(config["settings"]["classPath"], "A1lib\\maven-app-1.0.0.jar;A1lib\\commons-lang3-3.12.0.jar")

        r = run_under_wine(self, project, "beside", "lib")
        self.assertEqual(r.code, 0, r)
        self.assertIn("Hello, Lib!", r.stdout)
        self.assertRegex(r.stdout, r"StringUtils from file:\S*/beside/lib/commons-lang3-3\.12\.0\.jar")

        stamps = {p.name: p.stat().st_mtime_ns for p in [project.exe, *lib.iterdir()]}
        again = project.mvn("package", "-Dwinlaunch.dependencies=beside")
        self.assertEqual(again.code, 0, again.output)
        self.assertEqual({p.name: p.stat().st_mtime_ns for p in [project.exe, *lib.iterdir()]}, stamps,
                         "neither the executable nor lib is written again")


class FileAndInline(unittest.TestCase):
    """src/main/winlaunch/app.toml with the POM's values laid over it."""

    def test_inline_wins_and_the_file_stays_relative(self):
        project = Project("file-and-inline")
        inline = "".join("<%s>%s</%s>" % (k, v.replace("\t", "&#9;"), k) for k, v in TRICKY.items())
        project.edit_pom("<minJavaVersion>", inline + "<singleInstance>true</singleInstance>"
                         "<useDefaultVmOptionsFile>false</useDefaultVmOptionsFile><minJavaVersion>")
        project.edit_pom("<errorCaption>", "<noTempDirectory>%s</noTempDirectory><errorCaption>"
                         % TRICKY_MESSAGE.replace("\n", "&#10;"))
        config_file = "-Dwinlaunch.config=src/main/winlaunch/app.toml"
        build = project.mvn("package", config_file)
        self.assertEqual(build.code, 0, build.output)

        config = tomllib.loads(dump(project.exe))
        settings, messages = config["settings"], config["messages"]
        version = config["resources"]["version"]
        for key, value in TRICKY.items():
            self.assertEqual(settings[key], value, key)
        self.assertEqual(messages["noTempDirectory"], TRICKY_MESSAGE)
        self.assertIs(settings["singleInstance"], True)
        self.assertIs(settings["useDefaultVmOptionsFile"], False)
        # The POM wins where both give a value; the file's other values stay.
        self.assertEqual(settings["configuredServiceName"], "MavenApp")
        self.assertEqual(messages["errorCaption"], "Maven app")
        self.assertEqual(version["ProductName"], "winlaunch Maven example")
        self.assertEqual(settings["applicationArguments"], "reader")
        self.assertIs(settings["redirectStdout"], False)
        self.assertIn("Install a {0}-bit Java", messages["noJvmFound"])
        self.assertEqual(version["CompanyName"], "Example Ltd")
        self.assertEqual(version["FileVersion"], "1.0.0")
        readme = project.dir / "src/main/winlaunch/readme.txt"
        files = included_files(project.exe, project.dir / "dumped")
        self.assertEqual(files["notes/readme.txt"], readme.read_bytes(), "relative to the file")
        self.assertIn("commons-lang3-3.12.0.jar", files)

        r = run_under_wine(self, project, "file-and-inline")
        self.assertEqual(r.code, 0, r)
        self.assertIn("Hello, Reader!", r.stdout, "the file's application arguments")

        # A file only the configuration file names is an input too.
        readme.write_text("changed\n")
        build = project.mvn("package", config_file)
        self.assertEqual(build.code, 0, build.output)
        self.assertNotIn("is up to date", build.output)
        self.assertEqual(included_files(project.exe, project.dir / "dumped")["notes/readme.txt"], b"changed\n")

        # A mistake in the file: its own place in the message, and the
        # executable of the last build is gone rather than left looking current.
        toml = project.dir / "src/main/winlaunch/app.toml"
        toml.write_text(toml.read_text().replace("[messages]\n", "[messages]\nerrorCaptio = \"x\"\n"))
        build = project.mvn("package", config_file)
        self.assertNotEqual(build.code, 0)
        line = toml.read_text().splitlines().index('errorCaptio = "x"') + 1
        self.assertIn("app.toml:%d:1: unknown message name 'errorCaptio'" % line, build.output)
        self.assertEqual(project.exes(), [])
        self.assertFalse((project.target / (project.exe.name + ".inputs")).exists())


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
        build = self.project.mvn("package", "-Dos.arch=aarch64")
        self.assertNotEqual(build.code, 0)
        self.assertIn("winlaunch: no packer for this build host (Linux aarch64); the plugin carries packers for"
                      " Linux x86_64 and Windows x64", build.output)
        self.assertEqual(self.project.exes(), [])

    def test_help_goal(self):
        build = self.project.mvn("winlaunch:help", "-Ddetail", "-Dgoal=pack")
        self.assertEqual(build.code, 0, build.output)
        for name in ("winlaunch:pack", "dependencies", "settings", "winlaunch.skip"):
            self.assertIn(name, build.output)

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


if __name__ == "__main__":
    unittest.main()
