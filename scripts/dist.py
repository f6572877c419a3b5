#!/usr/bin/env python3
"""Packs the product for players: a zip holding sorrel.exe, its Chinese instructions and
its settings file.

    dist.py EXE INSTRUCTIONS SETTINGS ZIP

The instructions (UTF-8 in the project) are stored as UTF-8 with a byte-order mark and CR LF
line ends, which Notepad shows correctly on any Windows. The entry's name is stored in GBK,
as Windows on a Chinese system reads zip names, with its UTF-8 form in the Info-ZIP Unicode
Path field for tools that read that. The settings file (UTF-8 in the project) is stored in
GBK with CR LF line ends: Windows reads it with GetPrivateProfileIntA, which takes a file in
the system's code page, and Notepad on a Chinese system shows it so. Prints the zip's path
and its SHA-256.
"""
import hashlib
import struct
import sys
import zipfile
import zlib

STAMP = (2026, 1, 1, 0, 0, 0)  # a fixed time: the same inputs give the same zip


class GbkName(zipfile.ZipInfo):
    """An entry whose name is written in GBK without the UTF-8 flag (zipfile itself writes
    ASCII, or UTF-8 with the flag)."""

    def _encodeFilenameFlags(self):
        return self.filename.encode("gbk"), self.flag_bits


def entry(name):
    gbk = name.encode("gbk")
    info = GbkName(name, STAMP)
    info.compress_type = zipfile.ZIP_DEFLATED
    info.external_attr = 0o644 << 16
    if gbk != name.encode("utf-8"):
        utf8 = name.encode("utf-8")
        field = struct.pack("<BI", 1, zlib.crc32(gbk)) + utf8
        info.extra = struct.pack("<HH", 0x7075, len(field)) + field
    return info


def main():
    exe, instructions, settings, out = sys.argv[1:5]
    with open(exe, "rb") as f:
        program = f.read()
    with open(instructions, encoding="utf-8") as f:
        text = f.read()
    notes = b"\xef\xbb\xbf" + text.replace("\r\n", "\n").replace("\n", "\r\n").encode("utf-8")
    with open(settings, encoding="utf-8") as f:
        ini = f.read().replace("\r\n", "\n").replace("\n", "\r\n").encode("gbk")
    with zipfile.ZipFile(out, "w") as z:
        z.writestr(entry("sorrel.exe"), program)
        z.writestr(entry("使用说明.txt"), notes)
        z.writestr(entry("sorrel.ini"), ini)
    with open(out, "rb") as f:
        digest = hashlib.sha256(f.read()).hexdigest()
    print(out)
    print("SHA-256 " + digest)


if __name__ == "__main__":
    main()
