"""Files the packer tests make and read back with independent tools: .ico
files, resources through wrestool (icoutils), signatures through openssl and
osslsigncode; and where a packed executable's configuration block starts."""

import struct
import subprocess
import zlib
from pathlib import Path



def block_start(data: bytes) -> int:
    """Where the configuration block starts: behind the last section's raw data."""
    pe = struct.unpack_from("<i", data, 60)[0]
    sections = struct.unpack_from("<h", data, pe + 6)[0]
    optional = struct.unpack_from("<h", data, pe + 20)[0]
    last = pe + optional + 40 * sections - 16
    size, offset = struct.unpack_from("<II", data, last + 16)
    return size + offset

def make_ico(sizes=(16, 32, 256)) -> bytes:
    """An icon with one image per size: 32-bit bitmaps, PNG for 256."""
    images = []
    for n, size in enumerate(sizes):
        colour = bytes([n * 40 % 256, 200, 255 - n * 40 % 256, 255])
        if size >= 256:
            raw = b"".join(b"\0" + colour[:3] * size for _ in range(size))
            chunk = lambda t, d: struct.pack(">I", len(d)) + t + d + struct.pack(">I", zlib.crc32(t + d))
            data = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 2, 0, 0, 0))
                    + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))
        else:
            data = (struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, 0, 0, 0, 0, 0)
                    + colour * (size * size) + b"\0" * (((size + 31) // 32) * 4 * size))
        images.append((size, data))
    head = struct.pack("<HHH", 0, 1, len(images))
    offset, body = 6 + 16 * len(images), b""
    for size, data in images:
        head += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
        body += data
    return head + body


def ico_images(ico: bytes):
    """The directory entries (without offsets) and images of an .ico file."""
    count = struct.unpack_from("<H", ico, 4)[0]
    out = []
    for i in range(count):
        entry = ico[6 + 16 * i:6 + 16 * i + 12]
        size, offset = struct.unpack_from("<II", ico, 6 + 16 * i + 8)
        out.append((entry, ico[offset:offset + size]))
    return out


def wrestool(*args) -> bytes:
    p = subprocess.run(["wrestool"] + [str(a) for a in args], capture_output=True)
    assert p.returncode == 0, p.stderr.decode()
    return p.stdout


def resource_list(exe):
    """(type, name, language) of every resource, as wrestool lists them."""
    out = []
    for line in wrestool("-l", exe).decode().splitlines():
        fields = dict(f.lstrip("-").split("=", 1) for f in line.split()[:3])
        out.append((fields["type"], fields["name"], fields["language"]))
    return out


def version_info(resource: bytes):
    """The strings and the fixed file and product versions of a version resource."""
    def node(at):
        length, value_length, kind = struct.unpack_from("<HHH", resource, at)
        key_end = at + 6
        while resource[key_end:key_end + 2] != b"\0\0":
            key_end += 2
        key = resource[at + 6:key_end].decode("utf-16-le")
        value = (key_end + 2 + 3) & ~3
        return key, value, value_length * (2 if kind == 1 else 1), at + length

    def children(value, value_bytes, end):
        at = (value + value_bytes + 3) & ~3
        while at < end:
            child = node(at)
            yield child
            at = (child[3] + 3) & ~3

    key, value, value_bytes, end = node(0)
    assert key == "VS_VERSION_INFO"
    fixed = struct.unpack_from("<13I", resource, value)
    assert fixed[0] == 0xFEEF04BD
    version = lambda ms, ls: (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
    strings = {}
    for key, cvalue, cbytes, cend in children(value, value_bytes, end):
        if key == "StringFileInfo":
            for _, tvalue, tbytes, tend in children(cvalue, cbytes, cend):
                for skey, svalue, sbytes, _ in children(tvalue, tbytes, tend):
                    strings[skey] = resource[svalue:svalue + sbytes].decode("utf-16-le").rstrip("\0")
    return strings, version(fixed[2], fixed[3]), version(fixed[4], fixed[5])


def make_certificate(directory: Path):
    """A self-signed code-signing certificate and its key."""
    cert, key = Path(directory) / "cert.pem", Path(directory) / "key.pem"
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                    "-subj", "/CN=winlaunch test", "-addext", "extendedKeyUsage=codeSigning",
                    "-keyout", key, "-out", cert], check=True, capture_output=True)
    return cert, key


def sign(source: Path, target: Path, cert: Path, key: Path):
    p = subprocess.run(["osslsigncode", "sign", "-certs", cert, "-key", key, "-n", "winlaunch test",
                        "-in", source, "-out", target], capture_output=True, text=True)
    assert p.returncode == 0, p.stdout + p.stderr


def verify(exe: Path, cert: Path) -> subprocess.CompletedProcess:
    return subprocess.run(["osslsigncode", "verify", "-CAfile", cert, "-in", exe], capture_output=True, text=True)
