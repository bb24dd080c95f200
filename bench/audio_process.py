#!/usr/bin/env python3
"""Times Pellory on a WAV as the user waits for it, side by side in one
run: whole processes, medians of ROUNDS alternated runs.

    bench/audio_process.py PELLORY TEXT WAV FLAC ROUNDS [PIN...]

TEXT, WAV and FLAC hold the same 16-bit mono samples. Prints "name
milliseconds" lines: load_text, load_wav and load_flac (the editor loading
each and meeting the end of its input), load_wav_one_thread and
load_flac_one_thread (the same with PELLORY_THREADS=1), apply (`Pellory apply WAV out.wav amplify=2`) and sox (`sox
WAV out.wav vol 2`, then `sync -f out.wav`, as Pellory syncs a save before
it puts it in place).
"""
import os
import statistics
import subprocess
import sys
import time

pellory, text, wav, flac, rounds = sys.argv[1:5] + [int(sys.argv[5])]
pin = sys.argv[6:]
one_thread = dict(os.environ, PELLORY_THREADS="1")
out = os.path.join(os.path.dirname(wav), "out.wav")
commands = {
    "load_text": (pin + [pellory], f"1\n{text}\n".encode(), None),
    "load_wav": (pin + [pellory], f"1\n{wav}\n".encode(), None),
    "load_wav_one_thread": (pin + [pellory], f"1\n{wav}\n".encode(),
                            one_thread),
    "load_flac": (pin + [pellory], f"1\n{flac}\n".encode(), None),
    "load_flac_one_thread": (pin + [pellory], f"1\n{flac}\n".encode(),
                             one_thread),
    "apply": (pin + [pellory, "apply", wav, out, "amplify=2"], b"", None),
    "sox": (pin + ["sh", "-c", 'sox "$0" "$1" vol 2 && sync -f "$1"', wav,
                   out], b"", None),
}
times = {name: [] for name in commands}
for _ in range(rounds):
    for name, (command, given, env) in commands.items():
        start = time.perf_counter()
        subprocess.run(command, input=given, env=env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       check=True)
        times[name].append((time.perf_counter() - start) * 1000)
        if os.path.exists(out):
            os.remove(out)
for name, values in times.items():
    print(f"{name} {statistics.median(values):.1f}")
