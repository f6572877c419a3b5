#!/usr/bin/env python3
"""Checks the players' zip: the three files, the exe byte for byte the built one, the
instructions readable by Notepad (a UTF-8 byte-order mark, CR LF), names that Windows reads,
the settings file in GBK with every option off and a comment above each.

    dist_check.py ZIP EXE
"""
import sys
import zipfile

zip_path, exe_path = sys.argv[1:3]
failed = False


def expect(what, ok):
    global failed
    print(("ok    " if ok else "FAIL  ") + what)
    failed = failed or not ok


with zipfile.ZipFile(zip_path) as z:
    infos = z.infolist()
    # Names without the UTF-8 flag are read as code page 437 here; Windows reads their bytes
    # in the system's code page, GBK on a Chinese system.
    names = {i.filename.encode("cp437").decode("gbk"): i for i in infos if not i.flag_bits & 0x800}
    expect("the zip holds sorrel.exe, 使用说明.txt and sorrel.ini, names in GBK",
           sorted(names) == sorted(["sorrel.exe", "使用说明.txt", "sorrel.ini"]) and len(infos) == 3)
    ini = z.read(names["sorrel.ini"])
    lines = ini.decode("gbk").split("\r\n")
    keys = ["mothballed", "filth", "tales", "logs", "dead", "all"]
    expect("sorrel.ini: GBK, CR LF, section [options], every option 0 under a Chinese comment",
           b"\n" not in ini.replace(b"\r\n", b"") and not ini.startswith(b"\xef\xbb\xbf") and "[options]" in lines
           and all(key + "=0" in lines and lines[lines.index(key + "=0") - 1].startswith(";")
                   and any(ord(c) > 0x4e00 for c in lines[lines.index(key + "=0") - 1]) for key in keys))
    with open(exe_path, "rb") as f:
        expect("the exe in the zip is the built one", z.read(names["sorrel.exe"]) == f.read())
    notes = z.read(names["使用说明.txt"])
    expect("the instructions: a UTF-8 byte-order mark and CR LF line ends",
           notes.startswith(b"\xef\xbb\xbf") and b"\r\n" in notes and b"\n" not in notes.replace(b"\r\n", b""))
    expect("the instructions name the program's boxes", "存档读取失败".encode("utf-8") in notes)
    expect("the Unicode Path field carries the UTF-8 name",
           "使用说明.txt".encode("utf-8") in names["使用说明.txt"].extra)
sys.exit(1 if failed else 0)
