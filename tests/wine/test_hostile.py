"""Hostile executables: mutants of a packed launcher that carries settings,
messages, language sections and two included files. Every mutant runs /run
with the log on; none may crash, run longer than the version probe's minute,
leave a file on the prefix's drive outside its per-run directory, or end with
another exit code than 0 or 1. The run prints how many mutants ended with each
text the launcher showed.

The fast tier runs every fifth mutant of each kind (bit flips, cuts, bad
lengths and counts, names, file counts) under Wine, the long tier all of them;
every one of them is also a seed of the block fuzz target, which reads them
all natively in every fuzz run (tests/fuzz/seeds.py)."""

import collections
import os
import random
import re
import struct
import time
import unittest

import harness
from harness import block_start, log_files, long_tier

CONFIG = """
[settings]
configuredServiceName = "Hostile"
applicationType = 0
mainClass = "demo.Main"

[messages]
errorCaption = "Hostile caption"
internalError = "An internal error occurred (error code: {0})"
noTempDirectory = "You must be at least Poweruser to run this program."
noJvmFound = "No JVM found."

[[language]]
prefix = "en"
noJvmFound = "No JVM found (en)."

[[language]]
prefix = "de"
noJvmFound = "Keine JVM gefunden."
internalError = "Interner Fehler {0}"

[[file]]
name = "a.txt"
source = "src/a.txt"

[[file]]
name = "lib\\\\b.dll"
source = "src/b.dll"
"""

FILES = {"a.txt": b"included text\r\n", "b.dll": bytes(range(24))}

# Nothing from the environment may offer a runtime: every run ends at the search.
NO_JAVA = {"JAVA_HOME": None, "JDK_HOME": None, "VENNIC_JAVA_HOME": None, "QUARLO_JAVA_HOME": None}

# The version probe's limit: no run may take longer.
PROBE_LIMIT = 60

# Names written straight into the name list, past the packer's checks.
HOSTILE_NAMES = [
    "..\\evil.txt", "..\\..\\evil.txt", "lib\\..\\..\\evil.txt", "lib/../../evil.txt", "C:\\evil.txt", "c:evil.txt",
    "\\evil.txt", "/evil.txt", "\\\\?\\C:\\evil.txt", "\\\\.\\C:\\evil.txt", "CON", "lib\\NUL.txt", "AUX.dll",
    "COM1", "LPT1.txt", "a.txt:stream", "evil.txt ", "evil.", "..", ".\\a.txt", "lib\\sub\\deep.txt", "",
]


def walk(data: bytes, start: int):
    """The fields of the block and of the included-file records behind it, as
    (kind, offset, width) in file order; the settings as id -> (offset of the
    length field, value)."""
    fields, settings = [], {}
    pos = start

    def field(kind, width):
        nonlocal pos
        value = int.from_bytes(data[pos:pos + width], "little", signed=True)
        fields.append((kind, pos, width))
        pos += width
        return value

    def messages(count):
        nonlocal pos
        for _ in range(count):
            field("id", 4)
            pos += field("length", 4)

    for kind, width in (("magic", 4), ("word", 4), ("word", 4), ("header length", 8)):
        field(kind, width)
    for _ in range(field("count", 4)):
        setting = field("id", 4)
        at = pos
        length = field("length", 4)
        settings[setting] = (at, data[pos:pos + length])
        pos += length
    messages(field("count", 4))
    for _ in range(field("count", 4)):
        pos += field("length", 4)
        messages(field("count", 4))
    for _ in settings[2003][1].split(b";"):
        pos += field("record size", 8)
    return fields, settings


def with_setting(data: bytes, settings, setting: int, value: bytes) -> bytes:
    """The executable with a setting's value (and its length) rewritten."""
    at, old = settings[setting]
    return data[:at] + struct.pack("<i", len(value)) + value + data[at + 4 + len(old):]


def mutants(data: bytes):
    """(label, bytes) of every mutant, the same on every run."""
    start = block_start(data)
    fields, settings = walk(data, start)
    rng = random.Random(11)
    out = []
    for _ in range(170):
        at = rng.randrange(start, len(data))
        bit = rng.randrange(8)
        flipped = bytearray(data)
        flipped[at] ^= 1 << bit
        out.append((f"bit {bit} of byte {at - start}", bytes(flipped)))
    cuts = sorted({at + d for _, at, width in fields for d in (0, 1, width - 1)} | {len(data) - 1, len(data) - 10})
    out += [(f"cut at {at - start}", data[:at]) for at in cuts if start <= at < len(data)]
    for kind, at, width in fields:
        if kind not in ("length", "count", "record size"):
            continue
        rest = len(data) - at - width
        old = int.from_bytes(data[at:at + width], "little", signed=True)
        values = [-1, 0x7FFFFFFF, rest + 1 if kind != "count" else old + 1]
        if kind == "record size":
            values += [1 << 31, 1 << 62, -(1 << 63)]
        for value in values:
            bad = data[:at] + value.to_bytes(width, "little", signed=True) + data[at + width:]
            out.append((f"{kind} at {at - start} = {value}", bad))
    for name in HOSTILE_NAMES:
        for names in (name + ";a.txt", "a.txt;" + name):
            out.append((f"names {names!r}", with_setting(data, settings, 2003, names.encode("latin-1"))))
    for count in (b"3", b"-1", b"2147483647", b"1"):
        out.append((f"count {count.decode()}", with_setting(data, settings, 2002, count)))
    return out


# The fast tier's share of each kind of mutant: every fifth.
SAMPLE_STEP = 5


def sample(cases, step=SAMPLE_STEP):
    """Every step-th mutant of each kind (the first word of its label), in
    the order of the whole list."""
    kinds = collections.defaultdict(list)
    for index, (label, _) in enumerate(cases):
        kinds[label.split()[0]].append(index)
    chosen = sorted(i for indices in kinds.values() for i in indices[::step])
    return [cases[i] for i in chosen]


def snapshot(root):
    """Every file below root: relative path -> (size, modification time)."""
    files = {}
    for directory, _, names in os.walk(root):
        for name in names:
            path = os.path.join(directory, name)
            st = os.lstat(path)
            files[os.path.relpath(path, root)] = (st.st_size, st.st_mtime_ns)
    return files


WINE_TRACE = re.compile(r"^[0-9a-f]{4}:")


def ending(result: harness.Result) -> str:
    """How a run ended: the internal-error text it showed (from a message box
    or the console, without the log location), or the kind of other message."""
    boxes = harness.message_boxes(result.stderr)
    if boxes:
        text = boxes[0][0].split("\\n\\nLog: ")[0]
    else:
        lines = [line for line in re.split(r"\r?\n", result.stderr) if line and not WINE_TRACE.match(line)]
        text = lines[0] if lines and not lines[0].startswith("Log: ") else "(nothing shown)"
    if text.startswith("Internal Error") or "error code" in text:
        return text
    return "(another message: the runtime search, or a damaged text)"


class HostileExecutables(harness.WineCase):
    def test_mutants(self):
        exe = self.wine.pack(self.dir, CONFIG, files=FILES, name="good.exe")
        data = exe.read_bytes()
        cases = mutants(data)
        self.assertGreaterEqual(len(cases), 300)
        if not long_tier():
            cases = sample(cases)
        env = {"VENNIC_LOG": "yes", **NO_JAVA, **self.wine.trace_message_boxes()}
        mutant = self.dir / "m.exe"
        drive = self.wine.drive_c
        ignored = os.path.relpath(self.dir, drive)
        before = {p: s for p, s in snapshot(drive).items() if not p.startswith(ignored)}
        # Name files that earlier tests left are theirs: only the mutants' own are removed.
        earlier_name_files = set(self.temp.glob("vek*.tmp"))
        texts = collections.Counter()
        failures = []
        for label, content in cases:
            mutant.write_bytes(content)
            started = time.time()
            r = self.wine.run(mutant, "/run", env=env, timeout=PROBE_LIMIT + 30)
            elapsed = time.time() - started
            for log in log_files(self.temp):
                log.unlink()
            # The per-run directory goes, its zero-length name file stays by design.
            for name_file in set(self.temp.glob("vek*.tmp")) - earlier_name_files:
                if name_file.stat().st_size == 0:
                    name_file.unlink()
            after = {p: s for p, s in snapshot(drive).items() if not p.startswith(ignored)}
            changed = sorted(p for p in set(before) | set(after) if before.get(p) != after.get(p))
            problems = []
            if r.code not in (0, 1):
                problems.append(f"exit code {r.code}")
            if "Unhandled" in r.stderr or "Unhandled" in r.stdout:
                problems.append("unhandled exception")
            if elapsed > PROBE_LIMIT:
                problems.append(f"ran {elapsed:.0f} s")
            if changed:
                problems.append("changed on the drive: " + ", ".join(changed[:5]))
                before = after
            if problems:
                failures.append(f"{label}: {'; '.join(problems)}")
            texts[ending(r)] += 1
        print(f"\n{len(cases)} mutants, by the text they ended with:")
        for text, count in texts.most_common():
            print(f"  {count:4d}  {text}")
        self.assertEqual(failures, [])


if __name__ == "__main__":
    unittest.main()
