"""The pack goal on the example project, without Wine: the attached and
installed executable and what it carries with the jars included or beside
it, a configuration file with the POM's values laid over it, the
incremental build, and a setting name the packer refuses."""

import re
import sys
import tomllib
import unittest
from pathlib import Path

from project import COMMONS_LANG, EXE_NAME, REPO, ROOT, Project, dump, included_files

sys.path.insert(0, str(ROOT / "tests" / "pack"))
from pefiles import make_ico  # noqa: E402

# Inline values that need TOML's escapes, and typed values: each must reach
# the executable exactly.
TRICKY = {
    "serviceDependencies": 'Tcpip,"Quoted" \\Back\\slash\\ \'single\' caf\u00e9 \u20ac\tend',
    "jvmTypeDirectory": "0123",  # a string setting: digits stay text
}
TRICKY_MESSAGE = 'Line one\nline "two" \\ \u00fc'
ICON = make_ico()
CONFIG_FILE = "-Dwinlaunch.config=src/main/winlaunch/app.toml"


def beside_project(name):
    project = Project(name)
    return project, project.mvn("package", "-Dwinlaunch.dependencies=beside")


def file_and_inline_project(name):
    """The example with its configuration file and, in the POM, values that
    need escapes and typed values."""
    project = Project(name)
    inline = "".join("<%s>%s</%s>" % (k, v.replace("\t", "&#9;"), k) for k, v in TRICKY.items())
    project.edit_pom("<minJavaVersion>", inline + "<singleInstance>true</singleInstance>"
                     "<useDefaultVmOptionsFile>false</useDefaultVmOptionsFile><minJavaVersion>")
    project.edit_pom("<errorCaption>", "<noTempDirectory>%s</noTempDirectory><errorCaption>"
                     % TRICKY_MESSAGE.replace("\n", "&#10;"))
    (project.dir / "src/main/winlaunch/app.ico").write_bytes(ICON)
    project.edit_pom("<version>\n              <ProductName>",
                     "<icon>src/main/winlaunch/app.ico</icon><version><ProductName>")
    return project, project.mvn("package", CONFIG_FILE)


class BuiltCase(unittest.TestCase):
    def assert_built(self, build):
        self.assertEqual(build.code, 0, build.output)


class Included(BuiltCase):
    """The example as it is: jars included in the executable, installed."""

    @classmethod
    def setUpClass(cls):
        cls.project = Project("included")
        cls.build = cls.project.mvn("install")

    def setUp(self):
        self.assert_built(self.build)

    def test_attached_and_installed_as_exe(self):
        installed = REPO / "org/winlaunch/examples/maven-app/1.0.0" / EXE_NAME
        self.assertTrue(installed.is_file(), "installed with the type exe")
        self.assertEqual(installed.read_bytes(), self.project.exe.read_bytes())
        self.assertRegex(self.build.output, r"Installing .*target/%s to .*%s" % (EXE_NAME, EXE_NAME))

    def test_carries_the_jars_and_the_settings(self):
        files = included_files(self.project.exe, self.project.dir / "dumped")
        self.assertEqual(set(files), {"vennic-runtime.jar", "maven-app-1.0.0.jar", "commons-lang3-3.12.0.jar"})
        self.assertEqual(files["commons-lang3-3.12.0.jar"], COMMONS_LANG.read_bytes())
        self.assertEqual(files["maven-app-1.0.0.jar"], (self.project.target / "maven-app-1.0.0.jar").read_bytes())
        config = tomllib.loads(dump(self.project.exe))
        settings = config["settings"]
        self.assertEqual(settings["mainClass"], "org.winlaunch.examples.app.Main")
        self.assertEqual(settings["jreSearchSequence"], "B.\\jre;Y;EJAVA_HOME;", "a backslash kept as it is")
        self.assertEqual(settings["applicationType"], 0)
        self.assertEqual(config["messages"]["errorCaption"], "Maven app")
        self.assertNotIn("classPath", settings, "included jars are found in the per-run directory")
        # The version information: the project's version, the POM's product name.
        self.assertEqual(config["resources"]["version"], {
            "FileVersion": "1.0.0", "ProductVersion": "1.0.0", "ProductName": "winlaunch Maven example"})

    def test_second_package_leaves_the_executable_alone(self):
        before = self.project.exe.stat().st_mtime_ns
        again = self.project.mvn("package")
        self.assert_built(again)
        self.assertIn("is up to date", again.output)
        self.assertEqual(self.project.exe.stat().st_mtime_ns, before)


class Beside(BuiltCase):
    def test_jars_in_lib_with_the_class_path(self):
        project, build = beside_project("beside")
        self.assert_built(build)
        lib = project.target / "lib"
        self.assertEqual(sorted(p.name for p in lib.iterdir()), ["commons-lang3-3.12.0.jar", "maven-app-1.0.0.jar"])
        self.assertEqual((lib / "commons-lang3-3.12.0.jar").read_bytes(), COMMONS_LANG.read_bytes())
        self.assertEqual(set(included_files(project.exe, project.dir / "dumped")), {"vennic-runtime.jar"})
        config = tomllib.loads(dump(project.exe))
        self.assertEqual(config["settings"]["classPath"], "A1lib\\maven-app-1.0.0.jar;A1lib\\commons-lang3-3.12.0.jar")


class FileAndInline(BuiltCase):
    """src/main/winlaunch/app.toml with the POM's values laid over it."""

    def test_inline_wins_and_the_file_stays_relative(self):
        project, build = file_and_inline_project("file-and-inline")
        self.assert_built(build)
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
        files = included_files(project.exe, project.dir / "dumped")
        self.assertEqual((project.dir / "dumped" / "icon.ico").read_bytes(), ICON, "the POM's icon")
        self.assertEqual(files["notes/readme.txt"], (project.dir / "src/main/winlaunch/readme.txt").read_bytes(),
                         "relative to the configuration file")
        self.assertIn("commons-lang3-3.12.0.jar", files)


class Refused(unittest.TestCase):
    """A setting name the packer does not know fails the build with its message."""

    def test_wrong_setting_name(self):
        project = Project("refused")
        project.edit_pom("<mainClass>", "<mainClas>")
        project.edit_pom("</mainClass>", "</mainClas>")
        build = project.mvn("package")
        self.assertNotEqual(build.code, 0)
        m = re.search(r"winlaunch-pack: (\S*/pom\.toml):(\d+):1: unknown setting name 'mainClas'\n"
                      r"\[ERROR\] \(pom\.toml holds the <settings>, <messages> and <resources> of the POM\)", build.output)
        self.assertIsNotNone(m, build.output)
        line = Path(m.group(1)).read_text(encoding="utf-8").splitlines()[int(m.group(2)) - 1]
        self.assertTrue(line.startswith('"mainClas" = '), line)
        self.assertEqual(project.exes(), [], "no executable left in target")


if __name__ == "__main__":
    unittest.main()
