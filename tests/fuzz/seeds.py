"""Writes the seed corpora of the fuzz targets, one directory per target.

The block seeds are written by the packer: each configuration below is packed
behind the win64 launcher, and the seed is everything from the block start on
(the block, then the included-file records or the trailer), once as it is and
once behind a minimal PE header, so that the walk to the block is fuzzed too.
The hostile executables of the Wine tests (tests/wine/test_hostile.py) are
block seeds too, each from the block start on: every run of the block target
reads all of them, natively and under the sanitizers, while the Wine tests run
a sample of them through the whole launcher (all of them in the long tier).
The other seeds are the texts the parsers meet, including their edge cases.

    python3 tests/fuzz/seeds.py <output directory>
"""

import hashlib
import struct
import subprocess
import sys
import tempfile
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tests" / "pack"))
sys.path.insert(0, str(ROOT / "tests" / "wine"))

from pefiles import block_start  # noqa: E402
import test_hostile  # noqa: E402
PACKER = ROOT / "build" / "host" / "winlaunch-pack"
TEMPLATE = ROOT / "build" / "win64" / "winlaunch.exe"

MESSAGES = """
[messages]
errorCaption = "Caption"
internalError = "An internal error occurred (error code: {0})"
"""

CONFIGS = {
    "plain": '[settings]\nconfiguredServiceName = "Plain"\napplicationType = 0\n',
    "languages": """[settings]
configuredServiceName = "Caf\u00e9"
applicationType = 4
classPath = "flib\\\\a.jar;"
""" + MESSAGES + """
[[language]]
prefix = "pt"
errorCaption = "Legenda"

[[language]]
prefix = "pt_BR"
internalError = "Erro interno {0}"
""",
    "files": '[settings]\nconfiguredServiceName = "Files"\napplicationType = 0\n' + MESSAGES + """
[[file]]
name = "a.txt"
source = "a.txt"

[[file]]
name = "lib\\\\b.dll"
source = "b.dll"
""",
}

FILES = {"a.txt": b"included text\n", "b.dll": bytes(range(40))}

TEXTS = {
    "cmdline": [
        'app.exe a "b c" d', 'app.exe x"y z"w', "app.exe 'it''s'", 'app.exe "open', 'app.exe ""',
        "app.exe a  b", "app.exe a\tb", "app.exe /run x y", "app.exe a b __qar_restart",
        "app.exe --install-and-start Svc extra", "app.exe /", "app.exe -- x", "\"C:\\Program Files\\app.exe\" /status",
    ],
    "expand": [
        "${launcher:sys.launcherDirectory}lib", "%VENNIC_EXEDIR%\\lib\0Foo=bar",
        "${Foo}-${FOO}-${foo}-%Foo%\0Foo=bar", "${A}\0A=${B}x\0B=bee", "${SELF}\0SELF=${SELF}",
        "${}${=C:}\0=C:=C:\\w\0=::=::\\", "a${launcher:sys.pathlistSeparator}b%QUARLO_PATHLIST_SEPARATOR%",
        "${launcher:sys.launcherTempDirectory}\\x${launcher:sys.jvmHome}${launcher:sys.tempDir}",
        "${PATH}\0Path=C:\\w\0PATH=D:\\x", "${X}${X}\0X=${X}${X}",
    ],
    "version": [
        "1.8.0_202\n1.8.0\n1.8.0_101\n1.8.0", "11.0.2+9\n11\n\n11", "9-ea\n9\n1.8\n", "1.8.0_101-b13\n\n2147483648\n",
        'openjdk version "17.0.2" 2022-01-18\nOpenJDK Runtime Environment',
        'java version "1.8.0_202"\r\nJava(TM) SE Runtime Environment',
        'java version "1.7.0_80\r\n', "Picked up _JAVA_OPTIONS: -Xmx1g\nopenjdk version \"11\"",
        "..__--++\n1..2\n-1\n+",
    ],
    "names": [
        "a.txt;lib\\b.dll", "..\\x;C:\\y;CON.txt;lib/x", "\\\\server\\share\\f;\\\\?\\C:\\x", "a. ;b..;...;lib\\.\\c",
        "COM1;LPT\u00b9.txt;nul .txt;conin$", "x:stream;d\\e\\f;;;", "lib\\..\\..\\up",
    ],
    # Settings, the runtime's version, arguments, environment, then files.
    "options": [
        "\0".join([
            "123=-Xmx64m '-Dx=a b' -include-options ${Foo}inc.txt\n10200=2\n10201=*11*\n10202=-Xss1m\n"
            "10203=8-17\n10204=-Xss2m -include-options inc.txt\n166=1\n125=1\n"
            "121=A1lib\\a.jar;Dlib;EMYCP;Slib\n132=S0mods\n133=1\n122=mod/pkg.Main",
            "17.0.2", "app.exe -J-Xmx1g -J-classpath/a C:\\j.jar -Dsun.locale.formatasdefault=false",
            "Foo=C:\\App\\\nMYCP=\"C:\\x.jar;\"",
            "C:\\App\\app.vmoptions\n# comment\n-Xms1m\n-include-options inc.txt\n-classpath/p C:\\p.jar\n"
            "  -Dtrail=1  \r\n-classpath C:\\only.jar\n",
            "C:\\App\\inc.txt\n-classpath/a C:\\a.jar\n-include-options APP.vmoptions\n-include-options d\\n.txt\n",
            "C:\\App\\d\\n.txt\n-include-options ..\\inc.txt\n-Dnested=1", "C:\\App\\lib\\a.jar\n",
            "C:\\App\\lib\\b.zip\n", "C:\\App\\mods\\m.jar\n",
        ]),
        "123=-Xss1m\n10200=1\n10201=1-8\n10202=-Xss2m\0" "1.8.0_202\0app.exe\0\0",
        "166=1\0\0\0\0C:\\App\\app.exe.vmoptions\n-Dfrom=exe\n",
    ],
    "wildcard": [
        "*11*\x0011.0.2", "1?-*\x0017-ea", "8-17\x001.8.0_202", "*\x00", "a*b*c\x00axxbyyc", "-\x00",
        "x-y\x009", "# c\n  -Xmx1m  \r\n\n-Dx\x001.8", "**?*\x00ab",
    ],
    # Class path, module path, environment, then files.
    "classpath": [
        "\0".join([
            "A1lib\\a.jar;D0C:\\x;EMYCP;S1lib;X1z;E1EMPTY", "S0mods;A0${Foo}m.jar",
            "MYCP=\"a;b\"\nFoo=C:\\f\\\nEMPTY=", "C:\\App\\lib\\a.jar\n", "C:\\App\\lib\\b.zip\n",
            "C:\\App\\mods\\m.jar\n", "C:\\T\\vek1.tmp_dir1\\u.jar\n", "C:\\T\\vek1.tmp_dir1\\user\\v.zip\n",
        ]),
        "E1UNDEFINED\0\0", "S1C:\\none\0\0",
    ],
}

LOCALE_IDS = [0x0407, 0x0C07, 0x0409, 0x0804, 0x0404, 0x4809, 0x3C0C, 0x0462, 0x0814, 0x0431, 0x040D, 0x0421]


def minimal_image() -> bytes:
    """A PE header whose last section's raw data ends at 0x200."""
    image = bytearray(0x200)
    image[0:2] = b"MZ"
    struct.pack_into("<I", image, 60, 0x40)
    image[0x40:0x44] = b"PE\0\0"
    struct.pack_into("<H", image, 0x40 + 6, 1)
    struct.pack_into("<H", image, 0x40 + 20, 0xF0)
    table = 0x40 + 24 + 0xF0
    struct.pack_into("<II", image, table + 16, 0x100, 0x100)
    return bytes(image)


def write(directory: Path, data: bytes):
    directory.mkdir(parents=True, exist_ok=True)
    (directory / hashlib.sha1(data).hexdigest()).write_bytes(data)


def block_seeds(out: Path):
    with tempfile.TemporaryDirectory() as tmp:
        tmp = Path(tmp)
        for name, content in FILES.items():
            (tmp / name).write_bytes(content)
        for name, toml in CONFIGS.items():
            config = tmp / (name + ".toml")
            config.write_text(toml, encoding="utf-8")
            exe = tmp / (name + ".exe")
            subprocess.run([PACKER, "--template", TEMPLATE, "--config", config, "--output", exe], check=True)
            data = exe.read_bytes()
            block = data[block_start(data):]
            write(out / "block", block)
            write(out / "block", minimal_image() + block)
        # The mutants differ from their executable at the block start or
        # behind it only.
        hostile = tmp / "hostile"
        (hostile / "src").mkdir(parents=True)
        for name, content in test_hostile.FILES.items():
            (hostile / "src" / name).write_bytes(content)
        (hostile / "good.toml").write_text(test_hostile.CONFIG, encoding="utf-8")
        exe = hostile / "good.exe"
        subprocess.run([PACKER, "--template", TEMPLATE, "--config", hostile / "good.toml", "--output", exe],
                       check=True)
        data = exe.read_bytes()
        start = block_start(data)
        for _, mutant in test_hostile.mutants(data):
            write(out / "block", mutant[start:])


# The fuzz target packs with src/a.txt, src/lib/b.bin and src/app.ico beside it.
TOML_SEEDS = [text.replace('"b.dll"', '"lib/b.bin"') for text in CONFIGS.values()] + [
    (ROOT / "demo" / "demo.toml").read_text(encoding="utf-8"),
    '[settings]\nconfiguredServiceName = "Res"\nsingleInstance = true\n4711 = 12\n10201 = "*11"\n'
    '[resources]\nicon = "app.ico"\n[resources.version]\nFileVersion = "1.2.3.4"\nProductName = "Caf\u00e9"\n',
    "[settings]\nclassPath = 'f\"lib\\a.jar\";'\nvmOptions = \"\"\"-Xmx64m\n-Dx=y\"\"\"\n"
    "[messages]\n99999 = \"numbered\"\nerrorCaption = \"Fehler \u20ac\"\nfile = [{ name = \"a.txt\", source = \"a.txt\" }]\n",
]


def main() -> int:
    out = Path(sys.argv[1])
    block_seeds(out)
    for text in TOML_SEEDS:
        write(out / "toml", text.encode("utf-8"))
    for target, texts in TEXTS.items():
        for text in texts:
            write(out / target, text.encode("utf-8"))
    for language in LOCALE_IDS:
        write(out / "locale", struct.pack("<H", language) + b"de_AT")
    return 0


if __name__ == "__main__":
    sys.exit(main())
