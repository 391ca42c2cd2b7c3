#!/usr/bin/env python3
"""Prints the line and byte counts of the release notes as the build writes them (GBK, CR LF)."""
import sys
text = open(sys.argv[1], encoding="utf-8").read()
data = text.replace("\n", "\r\n").encode("gbk")
print("lines", data.count(b"\r\n"), "bytes", len(data), "ends-crlf", data.endswith(b"\r\n"))
