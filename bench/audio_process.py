#!/usr/bin/env python3
"""Times Pellory on a WAV as the user waits for it, side by side in one
run: whole processes, medians of ROUNDS alternated runs.

    bench/audio_process.py PELLORY TEXT WAV ROUNDS [PIN...]

TEXT and WAV hold the same 16-bit mono samples. Prints "name milliseconds"
lines: load_text and load_wav (the editor loading each and meeting the end
of its input), apply (`Pellory apply WAV out.wav amplify=2`) and sox (`sox
WAV out.wav vol 2`, then `sync -f out.wav`, as Pellory syncs a save before
it puts it in place).
"""
import os
import statistics
import subprocess
import sys
import time

pellory, text, wav, rounds = sys.argv[1:4] + [int(sys.argv[4])]
pin = sys.argv[5:]
out = os.path.join(os.path.dirname(wav), "out.wav")
commands = {
    "load_text": (pin + [pellory], f"1\n{text}\n".encode()),
    "load_wav": (pin + [pellory], f"1\n{wav}\n".encode()),
    "apply": (pin + [pellory, "apply", wav, out, "amplify=2"], b""),
    "sox": (pin + ["sh", "-c", 'sox "$0" "$1" vol 2 && sync -f "$1"', wav,
                   out], b""),
}
times = {name: [] for name in commands}
for _ in range(rounds):
    for name, (command, given) in commands.items():
        start = time.perf_counter()
        subprocess.run(command, input=given, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, check=True)
        times[name].append((time.perf_counter() - start) * 1000)
        if os.path.exists(out):
            os.remove(out)
for name, values in times.items():
    print(f"{name} {statistics.median(values):.1f}")
