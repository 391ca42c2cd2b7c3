#!/usr/bin/env python3
"""Checks that an executable carries each payload file as a counted block:
little-endian 32-bit 1, 32-bit byte count, then exactly the file's bytes.

  check_embedded.py <executable> <ReleaseNotes.txt> <Payload.zip>
"""
import struct
import sys


def main(argv):
    if len(argv) != 4:
        print(__doc__, file=sys.stderr)
        return 2
    image = open(argv[1], "rb").read()
    failures = []
    for path in argv[2:]:
        content = open(path, "rb").read()
        block = struct.pack("<II", 1, len(content)) + content
        if image.find(block) < 0:
            header = struct.pack("<II", 1, len(content))
            reason = "its header is there but the bytes differ" if header in image else "no header with its size"
            failures.append(f"{argv[1]} does not embed {path} ({len(content)} bytes): {reason}")
    for f in failures:
        print("FAIL:", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
