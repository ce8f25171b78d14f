"""Writes each program that an installer of Larkspur's holds, the signed
uninstaller among them, as FOLDER/program-<n>.exe, for
scripts/verify-release.sh to take their signatures. The installer is made by
NSIS with `SetCompressor /SOLID lzma`: after the stub comes NSIS's first
header (at a multiple of 512 bytes, with 0xDEADBEEF and "NullsoftInst"),
then one LZMA stream (5 bytes of properties, no size) of blocks, each its
length in 4 bytes and its bytes. An uninstaller that makensis had signed
(!uninstfinalize) is one of them, whole, where 7-Zip finds it only in the
installers of NSIS before 3.11.

Usage: installer-programs.py INSTALLER FOLDER
"""

import lzma
import struct
import sys
from pathlib import Path


def blocks(installer):
    at = installer.find(b"\xef\xbe\xad\xdeNullsoftInst")
    while at >= 0 and (at - 4) % 512:
        at = installer.find(b"\xef\xbe\xad\xdeNullsoftInst", at + 1)
    if at < 0:
        sys.exit("not an installer made by NSIS")
    compressed = installer[at + 24 :]
    # As an .lzma file: the properties, then "size unknown".
    stream = lzma.LZMADecompressor(format=lzma.FORMAT_ALONE).decompress(
        compressed[:5] + b"\xff" * 8 + compressed[5:]
    )
    at = 0
    while at + 4 <= len(stream):
        (size,) = struct.unpack_from("<I", stream, at)
        yield stream[at + 4 : at + 4 + size]
        at += 4 + size


if __name__ == "__main__":
    installer, folder = Path(sys.argv[1]).read_bytes(), Path(sys.argv[2])
    programs = [block for block in blocks(installer) if block[:2] == b"MZ"]
    for number, program in enumerate(programs):
        (folder / f"program-{number}.exe").write_bytes(program)
