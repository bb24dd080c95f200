#!/usr/bin/env python3
"""Times a load as the user waits for it with one thread and with every
core: whole processes, unpinned, medians of ROUNDS alternated runs of `wc
-l`, PELLORY_THREADS=1 and the default.

    bench/threads.py PELLORY FILE ROUNDS

Prints "name milliseconds" lines: wc, load_one_thread, load_every_core.
"""
import os
import statistics
import subprocess
import sys
import time

pellory, path, rounds = sys.argv[1], sys.argv[2], int(sys.argv[3])
given = f"1\n{path}\n".encode()
runs = {
    "wc": (["wc", "-l", path], {}),
    "load_one_thread": ([pellory], {"PELLORY_THREADS": "1"}),
    "load_every_core": ([pellory], {}),
}
times = {name: [] for name in runs}
for _ in range(rounds):
    for name, (command, extra) in runs.items():
        env = dict(os.environ, **extra)
        start = time.perf_counter()
        subprocess.run(command, input=given, stdout=subprocess.DEVNULL,
                       check=True, env=env)
        times[name].append((time.perf_counter() - start) * 1000)
for name, values in times.items():
    print(f"{name} {statistics.median(values):.1f}")
