#!/usr/bin/env python3
"""Checks the players' zip: the two files, the exe byte for byte the built one, the
instructions readable by Notepad (a UTF-8 byte-order mark, CR LF), names that Windows reads.

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
    expect("the zip holds sorrel.exe and 使用说明.txt, names in GBK",
           sorted(names) == sorted(["sorrel.exe", "使用说明.txt"]) and len(infos) == 2)
    with open(exe_path, "rb") as f:
        expect("the exe in the zip is the built one", z.read(names["sorrel.exe"]) == f.read())
    notes = z.read(names["使用说明.txt"])
    expect("the instructions: a UTF-8 byte-order mark and CR LF line ends",
           notes.startswith(b"\xef\xbb\xbf") and b"\r\n" in notes and b"\n" not in notes.replace(b"\r\n", b""))
    expect("the instructions name the program's boxes", "存档读取失败".encode("utf-8") in notes)
    expect("the Unicode Path field carries the UTF-8 name",
           "使用说明.txt".encode("utf-8") in names["使用说明.txt"].extra)
sys.exit(1 if failed else 0)
