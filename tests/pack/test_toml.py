"""The TOML the packer reads: every form of the language gives the same block
as the plain form, and mistakes name the file, line and column."""

import test_packer as base

PLAIN = r'''[settings]
configuredServiceName = "Literal \\ string"
vmOptions = "-Xmx64m -Dx=y"
applicationArguments = "first \"quoted\"\nsecond"
applicationType = 4
singleInstance = true

[messages]
errorCaption = "Fehler €	!"
internalError = "E {0}"

[[language]]
prefix = "de"
internalError = "Fehler {0}"

[[file]]
name = "a.txt"
source = "a.txt"
'''

FORMS = r"""# Comments may stand anywhere.
settings.configuredServiceName = 'Literal \ string'   # a literal string under a dotted key
settings.vmOptions = '''-Xmx64m -Dx=y'''
settings.applicationArguments = '''
first "quoted"
second'''
settings."applicationType" = 0x4   # hexadecimal
settings.singleInstance = true

messages = { errorCaption = "Fehler \u20AC\t!", internalError = QQQE \
      {0}QQQ }   # an inline table

language = [
  { prefix = "de", internalError = "Fehler {0}" },  # an array of inline tables
]
file = [{ name = "a.txt", source = "a.txt" }]
""".replace("QQQ", '"' * 3)


class TomlForms(base.PackerCase):
    def test_every_form_gives_the_plain_block(self):
        (self.dir / "a.txt").write_bytes(b"content")
        code, _, err = self.pack(PLAIN, output="plain.exe")
        self.assertEqual(code, 0, err)
        code, _, err = self.pack(FORMS, output="forms.exe")
        self.assertEqual(code, 0, err)
        self.assertEqual((self.dir / "forms.exe").read_bytes(), (self.dir / "plain.exe").read_bytes())

    def test_mistakes_name_file_line_and_column(self):
        for config, needle in [
            ('[settings]\n  noSuch = 1\n', "app.toml:2:3: unknown setting name 'noSuch'"),
            ('[settings]\nmainClass = 1.5\n', "app.toml:2:1: 'mainClass' takes a string, not a float"),
            ('[settings]\nmainClass = 1979-05-27\n', "app.toml:2:1: 'mainClass' takes a string, not a date"),
            ('[messages]\nerrorCaption = { a = "x" }\n', "app.toml:2:16: unknown table [messages.errorCaption]"),
            ('[settings]\nmainClass = "a" junk\n', "app.toml:2:"),
            ('[settings]\nmainClass = "a"\nmainClass = "b"\n', "app.toml:3:"),
            ('[settings]\n[settings]\n', "table [settings] is declared twice"),
            ('[[file]]\nname = "a"\nsource = "a"\n[file]\n', "app.toml:4:"),
            # Letters beyond ASCII outside strings: an error line, not toml++'s unreachable branch.
            ('[settings]\n\u00e9 = 1\n', "app.toml:2:1: Error while parsing root table"),
            ('[sett\u00e9ings]\n', "app.toml:1:6: Error while parsing table header"),
            ("[settings]\nmainClass = '''a''''\u00e9\n", "app.toml:2:21: Error while parsing key-value pair"),
        ]:
            with self.subTest(config=config):
                self.assert_refused(config, needle)
