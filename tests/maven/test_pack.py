"""The pack goal on the example project, without Wine: the attached and
installed executable, what it carries, the incremental build and a
configuration the packer refuses."""

import unittest

from project import COMMONS_LANG, EXE_NAME, REPO, Project, dumped_settings, dump, included_files


class Included(unittest.TestCase):
    """The example as it is: jars included in the executable, installed."""

    @classmethod
    def setUpClass(cls):
        cls.project = Project("included")
        cls.build = cls.project.mvn("install")

    def setUp(self):
        self.assertEqual(self.build.code, 0, self.build.output)

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
        text = dump(self.project.exe)
        values = dumped_settings(text)
        self.assertEqual(values["mainClass"], '"org.winlaunch.examples.app.Main"')
        self.assertEqual(values["jreSearchSequence"], '"B.\\\\jre;Y;EJAVA_HOME;"', "a backslash kept as it is")
        self.assertEqual(values["applicationType"], "0")
        self.assertEqual(values["errorCaption"], '"Maven app"')
        self.assertNotIn("classPath", values, "included jars are found in the per-run directory")
        # The version information: the project's version, the POM's product name.
        self.assertEqual(values["FileVersion"], '"1.0.0"')
        self.assertEqual(values["ProductVersion"], '"1.0.0"')
        self.assertEqual(values["ProductName"], '"winlaunch Maven example"')

    def test_second_package_leaves_the_executable_alone(self):
        before = self.project.exe.stat().st_mtime_ns
        again = self.project.mvn("package")
        self.assertEqual(again.code, 0, again.output)
        self.assertIn("is up to date", again.output)
        self.assertEqual(self.project.exe.stat().st_mtime_ns, before)


class Refused(unittest.TestCase):
    """A setting name the packer does not know fails the build with its message."""

    def test_wrong_setting_name(self):
        project = Project("refused")
        project.edit_pom("<mainClass>", "<mainClas>")
        project.edit_pom("</mainClass>", "</mainClas>")
        build = project.mvn("package")
        self.assertNotEqual(build.code, 0)
        self.assertRegex(build.output, r"winlaunch-pack: \S*/pom\.toml:\d+:\d+: unknown setting name 'mainClas'")
        self.assertEqual(project.exes(), [], "no executable left in target")


if __name__ == "__main__":
    unittest.main()
