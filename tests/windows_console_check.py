#!/usr/bin/env python3
"""The Windows program at its console, as Wine gives it one on a terminal.

    tests/windows_console_check.py FOLDER

Runs FOLDER/Pellory.exe under Wine in a pseudo-terminal and types at it: a
name with a letter outside ASCII ("café.txt", which reaches the program in
the console's code page), two Displays, the first ended by an arrow key
(two codes from the console, one key press) and the second by an 'x' (which
would otherwise reach the menu as a selection), then Ctrl-Z and Enter (the
end of console input). Prints what it saw; exits 1 when it is not that.
"""
import os
import pty
import re
import select
import sys
import time

folder = sys.argv[1]
with open(os.path.join(folder, "café.txt"), "w") as signal:
    signal.write("3\n5\n-3\n7\n")
pid, terminal = pty.fork()
if pid == 0:
    os.chdir(folder)
    os.environ.update(WINEDEBUG="-all", LANG="C.UTF-8")
    os.execvp("wine", ["wine", "Pellory.exe"])

shown = b""


def read_for(seconds):
    global shown
    end = time.time() + seconds
    while time.time() < end:
        ready, _, _ = select.select([terminal], [], [], 0.1)
        if ready:
            try:
                shown += os.read(terminal, 65536)
            except OSError:
                return


for keys in ["1\r", "café.txt\r", "4\r", "\x1b[A", "4\r", "x", "\x1a\r"]:
    read_for(1.5)
    os.write(terminal, keys.encode())
read_for(3)
try:
    os.kill(pid, 9)
except OSError:
    pass
# The console draws character by character: drop its control sequences and
# the blanks between the characters.
text = re.sub(r"\s+", "", re.sub(r"\x1b\[[0-9;?]*[A-Za-z]", "",
                                 shown.decode("utf-8", "replace")))
seen = (text.count("EnterSelection"), text.count("Fileloaded"),
        text.count("3,5,-3,7,"))
if seen != (4, 1, 2):
    print("console session: menus, loads and displays %s, expected (4, 1, 2)"
          % (seen,))
    sys.exit(1)
print("console session: name in the console code page loaded, an arrow key "
      "is one key press")
