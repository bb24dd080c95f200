#!/usr/bin/env python3
"""Times a load, and a load and save as, as the user waits for them with
one thread and with every core: whole processes, unpinned, medians of
ROUNDS alternated runs of `wc -l`, PELLORY_THREADS=1 and the default. The
save goes to a file beside FILE, removed at the end.

    bench/threads.py PELLORY FILE ROUNDS

Prints "name milliseconds" lines: wc, load_one_thread, load_every_core,
save_one_thread, save_every_core (the last two include their load).
"""
import os
import statistics
import subprocess
import sys
import time

pellory, path, rounds = sys.argv[1], sys.argv[2], int(sys.argv[3])
saved = path + ".saved"
load = f"1\n{path}\n".encode()
save = f"1\n{path}\n3\n{saved}\n".encode()
one = {"PELLORY_THREADS": "1"}
runs = {
    "wc": (["wc", "-l", path], {}, load),
    "load_one_thread": ([pellory], one, load),
    "load_every_core": ([pellory], {}, load),
    "save_one_thread": ([pellory], one, save),
    "save_every_core": ([pellory], {}, save),
}
times = {name: [] for name in runs}
for _ in range(rounds):
    for name, (command, extra, given) in runs.items():
        env = dict(os.environ, **extra)
        start = time.perf_counter()
        subprocess.run(command, input=given, stdout=subprocess.DEVNULL,
                       check=True, env=env)
        times[name].append((time.perf_counter() - start) * 1000)
if os.path.exists(saved):
    os.remove(saved)
for name, values in times.items():
    print(f"{name} {statistics.median(values):.1f}")
