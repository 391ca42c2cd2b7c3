#!/usr/bin/env python3
"""Checks the built payload: the archive's structure, byte by byte where zipfile
hides it (flags, local headers, attributes, the end record's comment), and the
release notes' form.

  check_payload.py <Payload.zip> <ReleaseNotes.txt> [<QMV.exe>]
  check_payload.py --reproducible <make_payload> <notes source> <QMV.exe> <Payload.zip>
"""
import os
import struct
import subprocess
import sys
import tempfile
import zipfile
import zlib

ARCHIVE_SIZE = 5114250
NOTES_SIZE = 14326
NOTES_LINES = 388
ENTRIES = 49
DIRECTORIES = 6
FILES = 43
CHINESE_NAMES = 4
FILE_ATTRIBUTES = {0x20, 0x80, 0x820}
DIRECTORY_ATTRIBUTES = {0x10, 0x810}

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
    return condition


def check_notes(notes):
    check(len(notes) == NOTES_SIZE, f"notes are {len(notes)} bytes, not {NOTES_SIZE}")
    check(not notes.startswith(b"\xef\xbb\xbf") and not notes.startswith(b"\xff\xfe"), "notes start with a BOM")
    check(b"\0" not in notes, "notes contain a NUL")
    check(notes.endswith(b"\r\n"), "the last line of the notes has no CR LF")
    lines = notes.count(b"\r\n")
    check(lines == NOTES_LINES, f"notes have {lines} lines, not {NOTES_LINES}")
    check(notes.count(b"\n") == notes.count(b"\r") == notes.count(b"\r\n"), "notes have a bare CR or LF")
    try:
        text = notes.decode("gbk")
        check(any("\u4e00" <= c <= "\u9fff" for c in text), "notes have no Chinese text")
    except UnicodeDecodeError as e:
        check(False, f"notes are not GBK: {e}")


def has_chinese(raw_name):
    try:
        return any("\u4e00" <= c <= "\u9fff" for c in raw_name.decode("gbk"))
    except UnicodeDecodeError:
        return False


def parse_end_record(data):
    end = len(data) - 22 - NOTES_SIZE
    if not check(end >= 0 and data[end:end + 4] == b"PK\x05\x06", "no end record before a notes-sized comment"):
        return None
    (_, disk, cd_disk, disk_entries, entries, cd_size, cd_offset, comment_len) = struct.unpack_from(
        "<IHHHHIIH", data, end)
    check(disk == 0 and cd_disk == 0, "archive spans disks")
    check(disk_entries == entries == ENTRIES, f"end record counts {disk_entries}/{entries} entries")
    check(comment_len == NOTES_SIZE, f"archive comment is {comment_len} bytes")
    check(cd_offset + cd_size == end, "central directory does not end at the end record")
    check(b"PK\x06\x06" not in data[cd_offset:end] and b"PK\x06\x07" not in data[cd_offset:end],
          "ZIP64 records present")
    return cd_offset, cd_size, data[end + 22:end + 22 + comment_len]


def parse_central(data, cd_offset, cd_size):
    entries = []
    pos = cd_offset
    while pos < cd_offset + cd_size:
        if not check(data[pos:pos + 4] == b"PK\x01\x02", f"bad central header at {pos}"):
            break
        (made_by, needed, flag, method, time, date, crc, csize, usize, name_len, extra_len, comment_len, disk,
         internal, external, offset) = struct.unpack_from("<HHHHHHIIIHHHHHII", data, pos + 4)
        name = data[pos + 46:pos + 46 + name_len]
        entries.append(dict(name=name, flag=flag, method=method, time=time, date=date, crc=crc, csize=csize,
                            usize=usize, extra_len=extra_len, external=external, offset=offset, disk=disk,
                            needed=needed))
        pos += 46 + name_len + extra_len + comment_len
    check(pos == cd_offset + cd_size, "central directory size does not match its entries")
    return entries


def check_local_headers(data, entries, cd_offset):
    expected_offset = 0
    for e in entries:
        name = e["name"]
        off = e["offset"]
        check(off == expected_offset, f"{name!r}: local header at {off}, expected {expected_offset}")
        if not check(data[off:off + 4] == b"PK\x03\x04", f"{name!r}: no local header"):
            return
        (needed, flag, method, time, date, crc, csize, usize, name_len, extra_len) = struct.unpack_from(
            "<HHHHHIIIHH", data, off + 4)
        check(flag == 0, f"{name!r}: local flag {flag:#x}")
        check((method, time, date, crc, csize, usize) ==
              (e["method"], e["time"], e["date"], e["crc"], e["csize"], e["usize"]),
              f"{name!r}: local header disagrees with the central directory")
        check(data[off + 30:off + 30 + name_len] == name, f"{name!r}: local name differs")
        start = off + 30 + name_len + extra_len
        raw = data[start:start + csize]
        if e["method"] == 8:
            try:
                content = zlib.decompress(raw, -15)
            except zlib.error as err:
                check(False, f"{name!r}: bad deflate data: {err}")
                content = b""
        else:
            content = raw
        check(len(content) == usize, f"{name!r}: inflates to {len(content)} bytes, not {usize}")
        check(zlib.crc32(content) == e["crc"], f"{name!r}: CRC mismatch")
        e["content"] = content
        # No data descriptor: the next header follows the data directly.
        expected_offset = start + csize
    check(expected_offset == cd_offset, "data between the last entry and the central directory")


def check_entries(entries, notes, qmv):
    check(len(entries) == ENTRIES, f"{len(entries)} entries, not {ENTRIES}")
    check(entries and entries[0]["name"] == b"QMV.exe", "QMV.exe is not the first entry")
    if qmv is not None and entries:
        check(entries[0].get("content") == qmv, "QMV.exe in the archive differs from the built QMV.exe")
    dates = {(e["date"], e["time"]) for e in entries}
    # 2024-09-18 10:00:00 in MS-DOS form.
    check(dates == {((44 << 9) | (9 << 5) | 18, 10 << 11)}, f"entry times are not the fixed time: {dates}")

    directories = [e for e in entries if e["name"].endswith(b"/")]
    files = [e for e in entries if not e["name"].endswith(b"/")]
    check(len(directories) == DIRECTORIES, f"{len(directories)} directories, not {DIRECTORIES}")
    check(len(files) == FILES, f"{len(files)} files, not {FILES}")
    check(sum(e["external"] == 0x810 for e in directories) == 1, "not exactly one directory with 0x810")
    for e in entries:
        n = e["name"]
        check(e["flag"] == 0, f"{n!r}: flag {e['flag']:#x}")
        check(e["extra_len"] == 0 and e["needed"] < 45, f"{n!r}: ZIP64 data")
        check(e["disk"] == 0, f"{n!r}: on another disk")
        check(b"\\" not in n and not n.startswith(b"/") and b".." not in n, f"{n!r}: unsafe or non-'/' name")
    for e in directories:
        n = e["name"]
        check(e["method"] == 0 and e["csize"] == 0 and e["usize"] == 0, f"{n!r}: directory not stored empty")
        check(e["external"] in DIRECTORY_ATTRIBUTES, f"{n!r}: directory attributes {e['external']:#x}")
        check(n.count(b"/") == 1, f"{n!r}: nested directory")
    for e in files:
        n = e["name"]
        check(e["method"] == 8, f"{n!r}: method {e['method']}")
        check(e["external"] in FILE_ATTRIBUTES, f"{n!r}: file attributes {e['external']:#x}")
        check(n.count(b"/") <= 1, f"{n!r}: more than one folder deep")

    index = {e["name"]: i for i, e in enumerate(entries)}
    for i, e in enumerate(entries):
        n = e["name"]
        if not n.endswith(b"/") and b"/" in n:
            folder = n[:n.index(b"/") + 1]
            check(folder in index and index[folder] < i, f"{n!r} comes before its folder's entry")
    split = False
    for d in directories:
        inside = [i for i, e in enumerate(entries) if e["name"].startswith(d["name"]) and e is not d]
        if inside and inside[-1] - inside[0] + 1 != len(inside):
            split = True
    check(split, "every directory's entries are contiguous")

    chinese = [e["name"] for e in entries if has_chinese(e["name"])]
    check(len(chinese) == CHINESE_NAMES, f"{len(chinese)} names with Chinese characters, not {CHINESE_NAMES}")
    for n in chinese:
        try:
            n.decode("utf-8")
            check(False, f"{n!r}: Chinese name is UTF-8, not GBK")
        except UnicodeDecodeError:
            pass

    readme = [e for e in entries if e["name"] == b"ReadMe.txt"]
    check(len(readme) == 1 and readme[0].get("content") == notes, "ReadMe.txt differs from the notes")


def check_with_zipfile(path, notes):
    with zipfile.ZipFile(path) as z:
        check(len(z.infolist()) == ENTRIES, "zipfile lists another number of entries")
        check(z.infolist()[0].filename == "QMV.exe", "zipfile does not see QMV.exe first")
        check(z.comment == notes, "zipfile sees another comment")
        check(z.testzip() is None, "zipfile finds a damaged entry")


def check_payload(archive_path, notes_path, qmv_path):
    data = open(archive_path, "rb").read()
    notes = open(notes_path, "rb").read()
    qmv = open(qmv_path, "rb").read() if qmv_path else None
    check_notes(notes)
    check(len(data) == ARCHIVE_SIZE, f"archive is {len(data)} bytes, not {ARCHIVE_SIZE}")
    check(data[:4] == b"PK\x03\x04", "archive does not start with a local header")
    end = parse_end_record(data)
    if end:
        cd_offset, cd_size, comment = end
        check(comment == notes, "archive comment differs from the notes")
        entries = parse_central(data, cd_offset, cd_size)
        check_local_headers(data, entries, cd_offset)
        check_entries(entries, notes, qmv)
    check_with_zipfile(archive_path, notes)


def check_reproducible(make_payload, notes_source, qmv, built_archive):
    with tempfile.TemporaryDirectory() as out:
        subprocess.run([make_payload, notes_source, qmv, out], check=True, stdout=subprocess.DEVNULL)
        again = open(os.path.join(out, "Payload.zip"), "rb").read()
    check(again == open(built_archive, "rb").read(), "a second run gives other archive bytes")


def main(argv):
    if len(argv) == 6 and argv[1] == "--reproducible":
        check_reproducible(*argv[2:])
    elif len(argv) in (3, 4):
        check_payload(argv[1], argv[2], argv[3] if len(argv) == 4 else None)
    else:
        print(__doc__, file=sys.stderr)
        return 2
    for f in failures:
        print("FAIL:", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
