"""Times extraction tools side by side: each command runs once to warm up,
then RUNS times in turns (one run of each, then again), each run into a
fresh folder on the same disk, which is removed afterwards, untimed. Wall
time and the child's peak resident memory come from wait4.

usage: bench_native.py --runs N --work DIR --bin DIR --json OUT ARCHIVE...
Prints one Markdown table per archive and writes every figure to OUT."""

import argparse
import json
import os
import shutil
import statistics
import subprocess
import sys
import time


def commands(bin_dir, archive):
    py = ("import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])")
    return [
        ("extract_cli (ours)", lambda out: [os.path.join(bin_dir, "extract_cli"), archive, out]),
        ("unzip -o -q", lambda out: ["unzip", "-o", "-q", archive, "-d", out]),
        ("bsdtar -xf", lambda out: ["bsdtar", "-xf", archive, "-C", out]),
        ("7z x -y", lambda out: ["7z", "x", "-y", "-bso0", "-bsp0", "-o" + out, archive]),
        ("python zipfile", lambda out: [sys.executable, "-c", py, archive, out]),
        ("floor: inflate+CRC to memory", lambda out: [os.path.join(bin_dir, "bench_inflate"), archive]),
        ("inflate only, no CRC", lambda out: [os.path.join(bin_dir, "bench_inflate"), "--no-crc", archive]),
    ]


def run_once(argv, out):
    """Wall ms, CPU ms (user + system) and peak RSS KiB of one run. The
    memory comes from /usr/bin/time, whose own small image is what the child
    starts from; a fork of this Python process would count its size too."""
    os.makedirs(out)
    rss_file = out + ".rss"
    start = time.monotonic()
    proc = subprocess.Popen(["/usr/bin/time", "-f", "%M", "-o", rss_file] + argv,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(proc.pid, 0)
    elapsed = time.monotonic() - start
    err = proc.stderr.read()
    proc.stderr.close()
    code = os.waitstatus_to_exitcode(status)
    if code != 0:
        raise SystemExit(f"{argv[0]} failed ({code}): {err.decode(errors='replace')}")
    with open(rss_file) as f:
        kib = int(f.read().split()[-1])
    os.remove(rss_file)
    shutil.rmtree(out)
    return elapsed * 1000.0, (usage.ru_utime + usage.ru_stime) * 1000.0, kib


def bench(bin_dir, archive, runs, work):
    cmds = commands(bin_dir, archive)
    times = {name: [] for name, _ in cmds}
    cpu = {name: [] for name, _ in cmds}
    rss = {name: 0 for name, _ in cmds}
    n = 0
    for round_no in range(runs + 1):  # round 0 warms up
        for name, make in cmds:
            n += 1
            ms, cpu_ms, kib = run_once(make(os.path.join(work, f"out{n}")),
                                       os.path.join(work, f"out{n}"))
            if round_no > 0:
                times[name].append(ms)
                cpu[name].append(cpu_ms)
                rss[name] = max(rss[name], kib)
    return cmds, times, cpu, rss


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--runs", type=int, default=10)
    ap.add_argument("--work", required=True)
    ap.add_argument("--bin", required=True)
    ap.add_argument("--json", required=True)
    ap.add_argument("archives", nargs="+")
    a = ap.parse_args()
    os.makedirs(a.work, exist_ok=True)
    results = {}
    for archive in a.archives:
        archive = os.path.abspath(archive)
        unpacked = 0
        import zipfile
        with zipfile.ZipFile(archive) as z:
            infos = z.infolist()
            unpacked = sum(i.file_size for i in infos)
        cmds, times, cpu, rss = bench(a.bin, archive, a.runs, os.path.abspath(a.work))
        med = {k: statistics.median(v) for k, v in times.items()}
        cmed = {k: statistics.median(v) for k, v in cpu.items()}
        peers = ["unzip -o -q", "bsdtar -xf", "7z x -y", "python zipfile"]
        fastest = min(peers, key=lambda k: med[k])
        ours = med["extract_cli (ours)"]
        floor = med["floor: inflate+CRC to memory"]
        print(f"\n{os.path.basename(archive)}: {os.path.getsize(archive)} bytes, {len(infos)} entries, "
              f"{unpacked} bytes unpacked; {a.runs} runs each after a warm-up\n")
        print("| tool | wall median ms | min | max | ours / this | CPU median ms | min | max "
              "| ours / this (CPU) | peak RSS KiB |")
        print("|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|")
        cours = cmed["extract_cli (ours)"]
        for name, _ in cmds:
            v, c = times[name], cpu[name]
            print(f"| {name} | {med[name]:.1f} | {min(v):.1f} | {max(v):.1f} | "
                  f"{ours / med[name]:.2f} | {cmed[name]:.1f} | {min(c):.1f} | {max(c):.1f} | "
                  f"{cours / cmed[name]:.2f} | {rss[name]} |")
        per_mb = ours / (unpacked / 1e6)
        cfastest = min(peers, key=lambda k: cmed[k])
        cfloor = cmed["floor: inflate+CRC to memory"]
        print(f"\nwall: ours / fastest peer ({fastest}): {ours / med[fastest]:.2f} (goal <= 0.95); "
              f"ours / floor: {ours / floor:.2f} (goal <= 1.35)")
        print(f"CPU:  ours / fastest peer ({cfastest}): {cours / cmed[cfastest]:.2f}; "
              f"ours / floor: {cours / cfloor:.2f}")
        print(f"ours per unpacked MB: {per_mb:.3f} ms; peak RSS {rss['extract_cli (ours)']} KiB "
              f"(goal < 4096)")
        results[os.path.basename(archive)] = {
            "bytes": os.path.getsize(archive), "entries": len(infos), "unpacked": unpacked,
            "times_ms": times, "median_ms": med, "cpu_ms": cpu, "cpu_median_ms": cmed,
            "peak_rss_kib": rss, "fastest_peer": fastest,
            "ours_over_fastest": ours / med[fastest], "ours_over_floor": ours / floor,
            "ours_ms_per_mb": per_mb,
        }
    if len(results) == 2:
        (n1, r1), (n2, r2) = results.items()
        spread = max(r1["ours_ms_per_mb"], r2["ours_ms_per_mb"]) / min(
            r1["ours_ms_per_mb"], r2["ours_ms_per_mb"]) - 1
        print(f"\ntime per unpacked MB: {n1} {r1['ours_ms_per_mb']:.3f} ms, "
              f"{n2} {r2['ours_ms_per_mb']:.3f} ms: {spread * 100:.0f}% apart (goal <= 15%)")
    with open(a.json, "w") as f:
        json.dump(results, f, indent=1)


if __name__ == "__main__":
    main()
