"""Wine figures, through the test harness and qmdriver: the installer's
start (process start to the wizard shown and in front), the install phase
(Next on the Ready page to the Finished page) and, as the floor, the start of
a program that only shows one window. Clocks are monotonic, read here around
the driver's own waits.

usage: bench_wine.py --exe SETUP --window BENCH_WINDOW --driver QMDRIVER
                     --build-root DIR --runs N --json OUT"""

import argparse
import json
import os
import shutil
import statistics
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "wine"))
import harness  # noqa: E402
from harness import Driver, Program, WineSession, wait_until  # noqa: E402

WIZARD = "程序安装向导"
PAGE_MARKS = ["标签1", "分组框1", "分组框2", "分组框3", "分组框4", "分组框5"]


def page(d):
    controls = {c["name"]: c for c in d.call("controls", WIZARD) if c["name"]}
    shown = [i for i, name in enumerate(PAGE_MARKS) if controls[name]["visible"]]
    return shown[0] if len(shown) == 1 else None


def in_front(d, caption):
    w = d.attempt("window", caption)
    if not w or not w["visible"]:
        return False
    fg = d.call("foreground")
    return bool(fg) and fg.get("hwnd") == w.get("hwnd")


def started(session, d, exe, caption):
    """ms from the process start to its window shown and in front."""
    t0 = time.monotonic()
    program = Program(session, exe)
    d.wait_window(caption, timeout=30)
    wait_until(lambda: in_front(d, caption), timeout=30, interval=0.002,
               message=f"{caption} in front")
    return (time.monotonic() - t0) * 1000.0, program


def stop(program):
    program.stop()


def main():
    ap = argparse.ArgumentParser()
    for name in ("exe", "window", "driver", "build-root", "json"):
        ap.add_argument("--" + name, required=True)
    ap.add_argument("--runs", type=int, default=10)
    a = ap.parse_args()
    session = WineSession(os.path.abspath(a.build_root))
    d_root = tempfile.mkdtemp(prefix="qm-bench-d-", dir=os.path.abspath(a.build_root))
    session.shutdown()
    previous = session.map_drive("d", d_root)
    d = Driver(session, os.path.abspath(a.driver))
    figures = {"window start": [], "installer start": [], "install phase": []}
    try:
        for run in range(a.runs + 1):  # run 0 warms up
            ms, program = started(session, d, os.path.abspath(a.window), "QmBenchWindow")
            stop(program)
            if run:
                figures["window start"].append(ms)

            for name in os.listdir(d_root):
                shutil.rmtree(os.path.join(d_root, name), ignore_errors=True)
            ms, program = started(session, d, os.path.abspath(a.exe), WIZARD)
            if run:
                figures["installer start"].append(ms)
            for target in (1, 2, 3):
                d.call("click", WIZARD, "按钮1")
                wait_until(lambda: page(d) == target, message=f"page {target}")
            t0 = time.monotonic()
            d.call("click", WIZARD, "按钮1")
            d.wait_text(WIZARD, "标签6", "contains", "安装", timeout=60)
            wait_until(lambda: page(d) == 5, timeout=60, interval=0.002, message="Finished page")
            if run:
                figures["install phase"].append((time.monotonic() - t0) * 1000.0)
            stop(program)
    finally:
        d.close()
        session.shutdown()
        session.map_drive("d", previous)
        shutil.rmtree(d_root, ignore_errors=True)
    print("| Wine | median ms | min | max |")
    print("|---|---:|---:|---:|")
    for name, v in figures.items():
        print(f"| {name} | {statistics.median(v):.0f} | {min(v):.0f} | {max(v):.0f} |")
    with open(a.json, "w") as f:
        json.dump(figures, f, indent=1)


if __name__ == "__main__":
    main()
