#!/usr/bin/env python3
"""Reads the resource section of tolvane.exe and checks what Windows will use from it: icon group 1
with seven PNG images of 16 to 256 pixels whose headers agree with the group's sizes, and whose
pixels show the logo mark (transparent corner, blue-violet square, white overlay); the manifest
(RT_MANIFEST 1) with its identity, elevation, supported systems and dpi awareness; and the version
information, which must carry the project version of CMakeLists.txt. With --cli the program is
tolvane-cli.exe: a console program whose manifest asks for no elevation (asInvoker). Prints one line
per failed expectation and exits 1 when there is any.

Usage: check_resources.py [--cli] tolvane.exe
"""

import os
import re
import struct
import sys
import zlib

RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24
WANT_SIZES = [16, 24, 32, 48, 64, 128, 256]


def project_version():
    """(major, minor, patch) of the project() call in the repository's CMakeLists.txt."""
    root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
    with open(os.path.join(root, "CMakeLists.txt"), encoding="utf-8") as f:
        m = re.search(r"project\(Tolvane VERSION (\d+)\.(\d+)\.(\d+)", f.read())
    if not m:
        raise ValueError("no project version in CMakeLists.txt")
    return tuple(int(g) for g in m.groups())


def read_resources(pe):
    """{type id: {name id: bytes}} of the first language of each resource."""
    if pe[:2] != b"MZ":
        raise ValueError("not an executable")
    nt = struct.unpack_from("<I", pe, 0x3C)[0]
    if pe[nt:nt + 4] != b"PE\0\0":
        raise ValueError("no PE header")
    sections = struct.unpack_from("<H", pe, nt + 6)[0]
    optional_size = struct.unpack_from("<H", pe, nt + 20)[0]
    optional = nt + 24
    magic = struct.unpack_from("<H", pe, optional)[0]
    dirs = optional + (112 if magic == 0x20B else 96)
    rsrc_rva, _ = struct.unpack_from("<II", pe, dirs + 2 * 8)
    table = optional + optional_size
    for i in range(sections):
        vsize, va, rawsize, rawptr = struct.unpack_from("<IIII", pe, table + 40 * i + 8)
        if va <= rsrc_rva < va + max(vsize, rawsize):
            base = rawptr + (rsrc_rva - va)
            delta = va - rawptr
            break
    else:
        raise ValueError("no resource section")

    def entries(offset):
        named, ids = struct.unpack_from("<HH", pe, base + offset + 12)
        for k in range(named + ids):
            name, target = struct.unpack_from("<II", pe, base + offset + 16 + 8 * k)
            yield name, target

    out = {}
    for type_id, t in entries(0):
        for name_id, n in entries(t & 0x7FFFFFFF):
            for _, leaf in entries(n & 0x7FFFFFFF):
                data_rva, size = struct.unpack_from("<II", pe, base + leaf)
                out.setdefault(type_id, {})[name_id] = pe[data_rva - delta:data_rva - delta + size]
                break
    return out


def png_pixels(data):
    """(width, height, rows of RGBA tuples) of an 8-bit RGBA PNG without interlacing."""
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG"
    pos, idat, header = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack_from(">I4s", data, pos)
        body = data[pos + 8:pos + 8 + length]
        crc = struct.unpack_from(">I", data, pos + 8 + length)[0]
        assert zlib.crc32(kind + body) & 0xFFFFFFFF == crc, "bad chunk CRC"
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    w, h, depth, colour, _, _, interlace = header
    assert depth == 8 and colour == 6 and interlace == 0, "not 8-bit RGBA"
    raw = zlib.decompress(idat)
    rows, stride, prev = [], 4 * w, bytearray(4 * w)
    for y in range(h):
        f = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for x in range(stride):
            a = line[x - 4] if x >= 4 else 0
            b = prev[x]
            c = prev[x - 4] if x >= 4 else 0
            if f == 1:
                line[x] = (line[x] + a) & 255
            elif f == 2:
                line[x] = (line[x] + b) & 255
            elif f == 3:
                line[x] = (line[x] + (a + b) // 2) & 255
            elif f == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[x] = (line[x] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append([tuple(line[i:i + 4]) for i in range(0, stride, 4)])
        prev = line
    return w, h, rows


def check(path, cli=False):
    faults = []
    pe = open(path, "rb").read()
    res = read_resources(pe)
    subsystem = struct.unpack_from("<H", pe, struct.unpack_from("<I", pe, 0x3C)[0] + 24 + 68)[0]
    if subsystem != (3 if cli else 2):
        faults.append(f"subsystem {subsystem}, want {'3 (console)' if cli else '2 (GUI)'}")
    group = res.get(RT_GROUP_ICON, {}).get(1)
    if group is None:
        return ["no icon group 1"]
    _, kind, count = struct.unpack_from("<HHH", group, 0)
    sizes = []
    for i in range(count):
        w, h, _, _, planes, bits, size, icon_id = struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i)
        w, h = w or 256, h or 256
        sizes.append(w)
        image = res.get(RT_ICON, {}).get(icon_id)
        if image is None or len(image) != size:
            faults.append(f"icon image {icon_id} missing or of the wrong length")
            continue
        try:
            pw, ph, rows = png_pixels(image)
        except (AssertionError, zlib.error, struct.error) as e:
            faults.append(f"icon image {w}px is not a readable PNG: {e}")
            continue
        if (pw, ph) != (w, h):
            faults.append(f"icon entry says {w}x{h}, its PNG is {pw}x{ph}")
        if bits != 32:
            faults.append(f"icon {w}px has {bits} bits per pixel")
        # Upper-left corner lies outside both squares; the lower-left square is blue to violet;
        # the upper-right overlay is light and partly transparent where it stands alone.
        if rows[0][0][3] != 0:
            faults.append(f"icon {w}px: upper-left corner is not transparent")
        r, g, b, a = rows[int(h * 0.6)][int(w * 0.15)]
        if not (a == 255 and b > 200 and b > r + 60):
            faults.append(f"icon {w}px: lower-left square is not the blue gradient ({r},{g},{b},{a})")
        r, g, b, a = rows[int(h * 0.15)][int(w * 0.7)]
        if not (140 <= a <= 160 and min(r, g, b) > 240):
            faults.append(f"icon {w}px: upper-right square is not white at alpha 150 ({r},{g},{b},{a})")
    if kind != 1 or sizes != WANT_SIZES:
        faults.append(f"icon group has sizes {sizes}, want {WANT_SIZES}")

    manifest = res.get(RT_MANIFEST, {}).get(1, b"").decode("utf-8", "replace")
    own = ('name="Tolvane.Cli"', 'level="asInvoker"') if cli else \
        ('name="Tolvane.App"', 'level="requireAdministrator"', ">true</dpiAware>")
    for want in own + ("{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
                       "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"):
        if want not in manifest:
            faults.append(f"manifest lacks {want}")

    major, minor, patch = project_version()
    quad = f"{major}.{minor}.{patch}.0"
    if f'version="{quad}"' not in manifest:
        faults.append(f"manifest identity is not version {quad}")
    version = res.get(RT_VERSION, {}).get(1, b"")
    fixed = version.find(struct.pack("<I", 0xFEEF04BD))
    if fixed < 0:
        faults.append("no fixed version information")
    else:
        ms, ls = struct.unpack_from("<II", version, fixed + 8)
        if (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF) != (major, minor, patch, 0):
            faults.append(f"file version is not {quad}")
    for text in ("ProductName", "Tolvane", quad):
        if text.encode("utf-16-le") not in version:
            faults.append(f"version strings lack {text}")
    return faults


def main(argv):
    cli = argv[1:2] == ["--cli"]
    if len(argv) != 2 + cli:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    try:
        faults = check(argv[-1], cli)
    except (OSError, ValueError, struct.error) as e:
        faults = [f"cannot read resources: {e}"]
    for f in faults:
        print(f"resources: {f}")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
