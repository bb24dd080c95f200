#!/usr/bin/env python3
"""Times Pellory's load and save as the user waits for them: whole
processes, alternated with `wc -l` on the same file, medians of PAIRS runs.

    bench/whole_process.py PELLORY FILE PAIRS [PIN...]

Prints "name milliseconds" lines: wc, load (Pellory loading FILE and
meeting the end of its input) and load_save (the same, then Save as to a
file beside FILE). The save alone is load_save - load.
"""
import os
import statistics
import subprocess
import sys
import time

pellory, path, pairs = sys.argv[1], sys.argv[2], int(sys.argv[3])
pin = sys.argv[4:]
out = path + ".saved"
runs = {
    "wc": (pin + ["wc", "-l", path], b""),
    "load": (pin + [pellory], f"1\n{path}\n".encode()),
    "load_save": (pin + [pellory], f"1\n{path}\n3\n{out}\n".encode()),
}
times = {name: [] for name in runs}
for _ in range(pairs):
    for name, (command, given) in runs.items():
        start = time.perf_counter()
        subprocess.run(command, input=given, stdout=subprocess.DEVNULL,
                       check=True)
        times[name].append((time.perf_counter() - start) * 1000)
if os.path.exists(out):
    os.remove(out)
for name, values in times.items():
    print(f"{name} {statistics.median(values):.1f}")
