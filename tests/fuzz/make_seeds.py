#!/usr/bin/env python3
"""Writes the fuzzer's seed archives into a folder: a cut-down copy of the
payload (its entry names and order, short contents) and hand-made archives
that break one rule each. Usage: make_seeds.py OUT_DIR [PAYLOAD_ZIP]"""

import os
import struct
import sys
import zipfile
import zlib


def deflate(data):
    c = zlib.compressobj(9, zlib.DEFLATED, -15)
    return c.compress(data) + c.flush()


def build(entries, comment=b""):
    """entries: dicts with name (bytes), data (bytes, default b""), and
    optional method, folder, crc, size, csize, flag, extra, cut (drop that
    many bytes of the stored data). Returns the archive bytes."""
    out, central = bytearray(), bytearray()
    for e in entries:
        name, data = e["name"], e.get("data", b"")
        method = e.get("method", 8)
        body = deflate(data) if method == 8 else data
        crc = e.get("crc", zlib.crc32(data))
        size, csize = e.get("size", len(data)), e.get("csize", len(body))
        body = body[:len(body) - e.get("cut", 0)]
        flag, extra = e.get("flag", 0), e.get("extra", b"")
        attr = 0x10 if e.get("folder") else 0x20
        offset = len(out)
        out += struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, flag, method, 0x5A00, 0x5921,
                           crc, csize & 0xFFFFFFFF, size & 0xFFFFFFFF, len(name), len(extra))
        out += name + extra + body
        central += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, flag, method, 0x5A00,
                               0x5921, crc, csize & 0xFFFFFFFF, size & 0xFFFFFFFF, len(name),
                               len(extra), 0, 0, 0, attr, offset)
        central += name + extra
    cd_offset = len(out)
    out += central
    out += struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(entries), len(entries), len(central),
                       cd_offset, len(comment)) + comment
    return bytes(out)


def seeds(payload):
    text = b"Quillmere " * 40
    s = {}
    s["good"] = build([{"name": b"app/", "folder": True},
                       {"name": b"app/a.txt", "data": text},
                       {"name": b"app/stored.bin", "data": bytes(range(256)), "method": 0},
                       {"name": b"app/empty.txt"},
                       {"name": "app/说明.txt".encode("gbk"), "data": b"gbk name"}])
    s["nested-without-folder-entries"] = build([{"name": b"x/y/z.txt", "data": text}])
    s["duplicate-names"] = build([{"name": b"d.txt", "data": b"first"},
                                  {"name": b"d.txt", "data": b"second"}])
    s["wrong-crc"] = build([{"name": b"c.txt", "data": text, "crc": 0x12345678}])
    s["cut-short-entry"] = build([{"name": b"a.txt", "data": text},
                                  {"name": b"b.txt", "data": bytes(i * 7919 % 251 for i in range(4000)), "cut": 100}])
    s["declared-too-short"] = build([{"name": b"s.txt", "data": text, "size": 10}])
    s["huge-declared-size"] = build([{"name": b"h.txt", "data": text, "size": 0xFFFFFFF0,
                                      "csize": 0xFFFFFFF0}])
    zip64 = struct.pack("<HHQQ", 1, 16, 1 << 40, 1 << 40)
    s["zip64-huge"] = build([{"name": b"z.txt", "data": text, "size": 0xFFFFFFFF,
                              "csize": 0xFFFFFFFF, "extra": zip64}])
    s["encrypted-flag"] = build([{"name": b"e.txt", "data": text, "flag": 1}])
    s["unknown-method"] = build([{"name": b"m.txt", "data": text, "method": 12}])
    s["folder-with-data"] = build([{"name": b"f/", "folder": True, "data": text}])
    s["file-then-folder"] = build([{"name": b"n", "data": text},
                                   {"name": b"n/", "folder": True}])
    for i, name in enumerate([b"../evil.txt", b"..\\evil.txt", b"/abs.txt", b"\\abs.txt",
                              b"C:/x.txt", b"C:x.txt", b"a/../../x.txt", b"a/./b.txt",
                              b"\\\\host\\share\\x", b"a./b.txt", b"a /b.txt", b"a\x00b",
                              b"\x81/../../x.txt", b"\x81\\..\\..\\x.txt", b"a\x81",
                              b"a:stream", b"a*b", b"a|b", b"\x01ctl"]):
        s[f"escaping-name-{i}"] = build([{"name": b"ok.txt", "data": b"ok"},
                                         {"name": b"\x81/", "folder": True},
                                         {"name": name, "data": b"escaped"}])
    for i, name in enumerate([b"CON", b"aux.txt", b"nul/x.txt", b"COM1", b"lpt9.log",
                              b"a/PRN", b"CONIN$", b"con .txt"]):
        s[f"device-name-{i}"] = build([{"name": name, "data": b"device"}])
    s["many-entries"] = build([{"name": b"m/", "folder": True}] +
                              [{"name": b"m/%04d" % i, "data": b"%d" % i} for i in range(1500)])
    good = s["good"]
    eocd = good.rindex(b"PK\x05\x06")
    s["bad-cd-offset"] = good[:eocd + 16] + struct.pack("<I", 7) + good[eocd + 20:]
    s["bad-cd-count"] = good[:eocd + 8] + struct.pack("<HH", 900, 900) + good[eocd + 12:]
    s["no-end-record"] = good[:eocd]
    s["cut-in-central-directory"] = good[:eocd - 20]
    s["no-local-header-signature"] = b"MZ" + good[2:]
    s["empty-archive"] = build([])
    s["comment"] = build([{"name": b"c.txt", "data": b"c"}], comment=b"PK\x05\x06" + b"x" * 30)
    if payload:
        # The real payload's names and order, each file cut to a short prefix.
        entries = []
        with zipfile.ZipFile(payload) as z:
            for info in z.infolist():
                raw = info.orig_filename.encode("cp437" if not info.flag_bits & 0x800 else "utf-8",
                                                errors="replace")
                if info.is_dir():
                    entries.append({"name": raw, "folder": True})
                else:
                    entries.append({"name": raw, "data": z.read(info)[:300]})
        s["payload-cut-down"] = build(entries)
    return s


def main():
    out = sys.argv[1]
    payload = sys.argv[2] if len(sys.argv) > 2 else None
    os.makedirs(out, exist_ok=True)
    for name, data in seeds(payload).items():
        with open(os.path.join(out, name + ".zip"), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
