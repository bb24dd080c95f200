#!/usr/bin/env python3
"""The Windows build under Wine against the Linux build, both on the AVX2
path where no other is named: the table bench/run-windows.sh prints.

    bench/windows_table.py WINDOWS_BIN LINUX_BIN WORK N
"""
import os
import shutil
import statistics
import subprocess
import sys
import time

win_bin, linux_bin, work = (os.path.abspath(p) for p in sys.argv[1:4])
n = int(sys.argv[4])
linux_env = dict(os.environ, PELLORY_NO_AVX512="1")
# Every measured command pinned to one core (the last), as bench/run.sh
# pins its own: a Wine process moved between cores, away from the server it
# talks to, blurs the figures most.
pin = (["taskset", "-c", str(os.cpu_count() - 1)]
       if shutil.which("taskset") else [])


def lines(command, env=None):
    out = subprocess.run(pin + command, capture_output=True, text=True, check=True,
                         env=env).stdout
    return {name: float(value) for name, value in
            (line.split() for line in out.splitlines() if line.strip())}


def windows_path(path):
    return "Z:" + path


# In process: load and save, and each filter per sample.
inproc = {}
for kind in ("a16", "u32"):
    f = os.path.join(work, kind + ".txt")
    inproc["win", kind] = lines(["wine", os.path.join(win_bin, "pellory_io_bench.exe"),
                                 "compare", windows_path(f)])
    inproc["win", kind].update(lines(["wine", os.path.join(win_bin, "pellory_io_bench.exe"),
                                      "filters", windows_path(f)]))
    inproc["linux", kind] = lines([os.path.join(linux_bin, "pellory_io_bench"),
                                   "compare", f], linux_env)
    inproc["linux", kind].update(lines([os.path.join(linux_bin, "pellory_io_bench"),
                                        "filters", f], linux_env))

# Whole processes, each from a folder holding its plug-ins.
for side, folder_bin, dlls in (("win", win_bin, ".dll"), ("linux", linux_bin, ".dll")):
    folder = os.path.join(work, side)
    os.makedirs(os.path.join(folder, "DLL"), exist_ok=True)
    for name in ("Mirrowen", "Quillet", "Tarrock"):
        shutil.copy(os.path.join(folder_bin, name + dlls), os.path.join(folder, "DLL"))


# The loader's slower paths, each on both builds: as on processors that
# lack AVX2, and the plain path.
slower_paths = {"SSE4.1": "PELLORY_NO_AVX2", "plain": "PELLORY_SCALAR_ONLY"}


def command(side, path=None):
    env = dict(os.environ) if side == "win" else dict(linux_env)
    if path is not None:
        env[slower_paths[path]] = "1"
    if side == "win":
        return ["wine", os.path.join(win_bin, "Pellory.exe")], env
    return [os.path.join(linux_bin, "Pellory")], env


def name_of(side, path):
    return windows_path(path) if side == "win" else path


runs = {}
def session_input(side, kind):
    f = name_of(side, os.path.join(work, kind + ".txt"))
    out = name_of(side, os.path.join(work, side, "out.txt"))
    load = f"1\n{f}\n".encode()
    return {
        "start": (None, b""),
        "load " + kind: (None, load),
        "session " + kind: (None, f"1\n{f}\n5\n3\n2.5\n5\n1\n32\n5\n2\n0.5\n2\n3\n{out}\n".encode()),
        **{f"load {kind}, {path} path": (path, load) for path in slower_paths},
    }


# Each Windows run right before the same run on Linux, so that both meet
# the machine in the same state; medians of 15 rounds (a shared machine's
# neighbours move single runs by half), 3 at smoke size.
for _ in range(15 if n >= 1000000 else 3):
    for kind in ("a16", "u32"):
        for what in session_input("linux", kind):
            if what.startswith("session") and kind != "a16":
                continue
            for side in ("win", "linux"):
                path, given = session_input(side, kind)[what]
                cmd, env = command(side, path)
                # Each run starts on a settled machine: the end of a Wine
                # process that used much memory goes on after `wine`
                # returns, and took 30-50 ms from the run after it.
                time.sleep(0.3)
                start = time.perf_counter()
                subprocess.run(pin + cmd, input=given, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL, check=True,
                               cwd=os.path.join(work, side), env=env)
                runs.setdefault((side, what), []).append(
                    (time.perf_counter() - start) * 1000)
median = {key: statistics.median(values) for key, values in runs.items()}


def whole(side, what):
    return max(median[side, what] - median[side, "start"], 0.05)


rows = []
for what, target in (("load a16", 1.5), ("load u32", 1.5), ("session a16", 2.0)):
    w, l = whole("win", what), whole("linux", what)
    rows.append((what + ", whole process", f"{w:.1f} ms", f"{l:.1f} ms",
                 f"{w / l:.2f}x", f"<= {target}x", "yes" if w / l <= target else "NO"))
for kind in ("a16", "u32"):
    for path in slower_paths:
        what = f"load {kind}, {path} path"
        w, l = whole("win", what), whole("linux", what)
        rows.append((what + ", whole process", f"{w:.1f} ms", f"{l:.1f} ms",
                     f"{w / l:.2f}x", "", ""))
rows.append(("start and end alone", f"{median['win', 'start']:.1f} ms",
             f"{median['linux', 'start']:.1f} ms", "", "", ""))
for kind in ("a16", "u32"):
    for name in ("load", "save", "single_write"):
        w, l = inproc["win", kind][name], max(inproc["linux", kind][name], 0.05)
        rows.append((f"{name.replace('_', ' ')} {kind}, in process", f"{w:.1f} ms",
                     f"{l:.1f} ms", f"{w / l:.2f}x", "", ""))
for kind in ("a16", "u32"):
    for name, w in inproc["win", kind].items():
        if "/" not in name:
            continue
        l = max(inproc["linux", kind][name], 0.001)
        rows.append((f"{name} {kind}", f"{w:.2f} ns/sample", f"{l:.2f} ns/sample",
                     f"{w / l:.2f}x", "", ""))
print(f"N = {n} samples; Windows build under Wine against the Linux build, "
      "both on the AVX2 path where no other is named\n")
print("| measure | Windows | Linux | ratio | target | met |")
print("|---|---|---|---|---|---|")
for r in rows:
    print("| " + " | ".join(r) + " |")
