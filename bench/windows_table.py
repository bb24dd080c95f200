#!/usr/bin/env python3
"""The two Windows builds under Wine beside the Linux build, every loader
path on each: the table bench/run-windows.sh prints.

    bench/windows_table.py WIN32_BIN WIN64_BIN LINUX_BIN WORK N

WIN32_BIN "-": a machine that runs no 32-bit programs; its column says so.
"""
import os
import shutil
import statistics
import subprocess
import sys
import time

win32_bin, win64_bin, linux_bin, work = (
    p if p == "-" else os.path.abspath(p) for p in sys.argv[1:5])
n = int(sys.argv[5])
sides = {"32-bit Windows": win32_bin, "64-bit Windows": win64_bin, "Linux": linux_bin}
names = list(sides)
if win32_bin == "-":
    del sides["32-bit Windows"]
# Every measured command pinned to one core (the last), as bench/run.sh
# pins its own: a Wine process moved between cores, away from the server it
# talks to, blurs the figures most.
pin = (["taskset", "-c", str(os.cpu_count() - 1)]
       if shutil.which("taskset") else [])
# Each path as its variable keeps a process at it; the default is the
# fastest the build and processor have (AVX-512 in 64-bit code here, AVX2 in
# 32-bit code).
paths = {"default": None, "AVX2": "PELLORY_NO_AVX512", "SSE4.1": "PELLORY_NO_AVX2",
         "plain": "PELLORY_SCALAR_ONLY"}


def on_windows(side):
    return side != "Linux"


def program(side, name):
    return (["wine", os.path.join(sides[side], name + ".exe")] if on_windows(side)
            else [os.path.join(sides[side], name)])


def name_of(side, path):
    return "Z:" + path if on_windows(side) else path


def env_for(path):
    env = dict(os.environ)
    if paths[path] is not None:
        env[paths[path]] = "1"
    return env


def lines(command):
    out = subprocess.run(pin + command, capture_output=True, text=True,
                         check=True).stdout
    return {name: float(value) for name, value in
            (line.split() for line in out.splitlines() if line.strip())}


# In process, default path: load and save, and each filter per sample.
inproc = {}
for side in sides:
    for kind in ("a16", "u32"):
        f = name_of(side, os.path.join(work, kind + ".txt"))
        inproc[side, kind] = lines(program(side, "pellory_io_bench") + ["compare", f])
        inproc[side, kind].update(
            lines(program(side, "pellory_io_bench") + ["filters", f]))

# Whole processes, each from a folder holding its plug-ins.
for side in sides:
    folder = os.path.join(work, side.replace(" ", "-"))
    os.makedirs(os.path.join(folder, "DLL"), exist_ok=True)
    for name in ("Mirrowen", "Quillet", "Tarrock"):
        shutil.copy(os.path.join(sides[side], name + ".dll"), os.path.join(folder, "DLL"))


def runs_of(side):
    folder = os.path.join(work, side.replace(" ", "-"))
    out = name_of(side, os.path.join(folder, "out.txt"))
    given = {"start": ("default", b""), "start, every core": ("default", b"")}
    for kind in ("a16", "u32"):
        load = f"1\n{name_of(side, os.path.join(work, kind + '.txt'))}\n".encode()
        for path in paths:
            given[f"load {kind}, {path} path"] = (path, load)
        given[f"load {kind}, default path, every core"] = ("default", load)
    f = name_of(side, os.path.join(work, "a16.txt"))
    given["session a16, default path"] = (
        "default", f"1\n{f}\n5\n3\n2.5\n5\n1\n32\n5\n2\n0.5\n2\n3\n{out}\n".encode())
    return folder, given


# Each run of one measure on the three builds one right after the other, so
# that all meet the machine in the same state; medians of 15 rounds (a
# shared machine's neighbours move single runs by half), 3 at smoke size.
runs = {}
for _ in range(15 if n >= 1000000 else 3):
    for what in runs_of("Linux")[1]:
        for side in sides:
            folder, given = runs_of(side)
            path, text = given[what]
            # The end of a Wine process that used much memory goes on after
            # `wine` returns, and took 30-50 ms from the run after it.
            time.sleep(0.3)
            start = time.perf_counter()
            # One thread (pinned to one core), except where every core is
            # the measure.
            pinned = [] if what.endswith("every core") else pin
            subprocess.run(pinned + program(side, "Pellory"), input=text,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                           check=True, cwd=folder, env=env_for(path))
            runs.setdefault((side, what), []).append(
                (time.perf_counter() - start) * 1000)
median = {key: statistics.median(values) for key, values in runs.items()}


def whole(side, what):
    start = "start, every core" if what.endswith("every core") else "start"
    return max(median[side, what] - median[side, start], 0.05)


def row(cells, figures, floor):
    """One table row: the 32-bit cells say "not run" where it was not."""
    w64, lin = figures["64-bit Windows"], figures["Linux"]
    w32 = figures.get("32-bit Windows")
    shown = [cells(figures[side]) if side in figures else "not run"
             for side in names]
    to32 = f"{w64 / max(w32, floor):.2f}x" if w32 is not None else "-"
    return (" | ".join(shown) + f" | {to32} | {w64 / max(lin, floor):.2f}x |")


print(f"N = {n} samples; whole processes, start-up taken out, one thread "
      "(pinned to one core) unless every core is named; ratios of 64-bit "
      "Windows to the others\n")
print("| measure | " + " | ".join(names) + " | 64 / 32 | 64 / Linux |")
print("|---|---|---|---|---|---|")
for what in runs_of("Linux")[1]:
    if what.startswith("start"):
        continue
    figures = {side: whole(side, what) for side in sides}
    print(f"| {what} | " + row(lambda v: f"{v:.1f} ms", figures, 0.05))
for start in ("start", "start, every core"):
    print(f"| {start.replace('start', 'start and end alone')} | " +
          " | ".join(f"{median[side, start]:.1f} ms" if side in sides
                     else "not run" for side in names) + " | | |")
for kind in ("a16", "u32"):
    for name in ("load", "save", "single_write"):
        figures = {side: inproc[side, kind][name] for side in sides}
        print(f"| {name.replace('_', ' ')} {kind}, in process | " +
              row(lambda v: f"{v:.1f} ms", figures, 0.05))
for kind in ("a16", "u32"):
    for name in inproc["Linux", kind]:
        if "/" not in name:
            continue
        figures = {side: inproc[side, kind][name] for side in sides}
        print(f"| {name} {kind} | " + row(lambda v: f"{v:.2f} ns", figures, 0.001))
