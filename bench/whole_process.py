#!/usr/bin/env python3
"""Times Pellory's load and save as the user waits for them: whole
processes, medians of PAIRS alternated runs.

    bench/whole_process.py PELLORY FILE PAIRS [PIN...]

Prints "name milliseconds" lines: wc (`wc -l FILE`) and load (Pellory
loading FILE and meeting the end of its input), alternated with each other;
then load_save (the same, then Save as to a file beside FILE), alternated
with load again, so that the files a save writes and frees do not disturb
the load's own comparison. The save alone is load_save - load_again.
"""
import os
import statistics
import subprocess
import sys
import time

pellory, path, pairs = sys.argv[1], sys.argv[2], int(sys.argv[3])
pin = sys.argv[4:]
out = path + ".saved"
commands = {
    "wc": (pin + ["wc", "-l", path], b""),
    "load": (pin + [pellory], f"1\n{path}\n".encode()),
    "load_again": (pin + [pellory], f"1\n{path}\n".encode()),
    "load_save": (pin + [pellory], f"1\n{path}\n3\n{out}\n".encode()),
}
times = {name: [] for name in commands}


def run(name):
    command, given = commands[name]
    start = time.perf_counter()
    subprocess.run(command, input=given, stdout=subprocess.DEVNULL, check=True)
    times[name].append((time.perf_counter() - start) * 1000)


for alternation in (("wc", "load"), ("load_again", "load_save")):
    for _ in range(pairs):
        for name in alternation:
            run(name)
if os.path.exists(out):
    os.remove(out)
for name, values in times.items():
    print(f"{name} {statistics.median(values):.1f}")
