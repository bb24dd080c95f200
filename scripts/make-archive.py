#!/usr/bin/env python3
"""Packs a package folder into a reproducible archive: the same files give
the same bytes, whoever builds them, wherever, whenever.

    scripts/make-archive.py FOLDER ARCHIVE [--crlf]

ARCHIVE ends in .zip or .tar.gz; its entries are FOLDER's name and what it
holds, sorted, owned by 0:0 with no names, dated SOURCE_DATE_EPOCH (the
commit's time; 1980-01-01 when unset), executables 0755 and the rest 0644.
With --crlf, the text files (.txt, .md, LICENSE) end their lines in
"\\r\\n", as Windows users' editors expect.
"""
import gzip
import io
import os
import sys
import tarfile
import time
import zipfile

folder, archive = sys.argv[1], sys.argv[2]
crlf = "--crlf" in sys.argv[3:]
epoch = int(os.environ.get("SOURCE_DATE_EPOCH", "315532800"))
top = os.path.basename(os.path.normpath(folder))

entries = []  # (name in the archive, path on disk or None for a folder)
for root, folders, files in os.walk(folder):
    folders.sort()
    relative = os.path.relpath(root, folder)
    base = top if relative == "." else f"{top}/{relative.replace(os.sep, '/')}"
    entries.append((base + "/", None))
    for name in sorted(files):
        entries.append((f"{base}/{name}", os.path.join(root, name)))
entries.sort()


def content(path):
    data = open(path, "rb").read()
    if crlf and (path.endswith((".txt", ".md")) or os.path.basename(path) == "LICENSE"):
        data = data.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")
    return data


def executable(path):
    return path.endswith((".exe", ".dll")) or os.access(path, os.X_OK)


if archive.endswith(".zip"):
    stamp = time.gmtime(max(epoch, 315532800))[:6]
    with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as out:
        for name, path in entries:
            info = zipfile.ZipInfo(name, stamp)
            info.create_system = 3  # Unix, so that the modes below hold
            if path is None:
                info.external_attr = (0o40755 << 16) | 0x10
                out.writestr(info, b"")
            else:
                mode = 0o100755 if executable(path) else 0o100644
                info.external_attr = mode << 16
                info.compress_type = zipfile.ZIP_DEFLATED
                out.writestr(info, content(path))
else:
    buffer = io.BytesIO()
    with tarfile.open(fileobj=buffer, mode="w", format=tarfile.GNU_FORMAT) as out:
        for name, path in entries:
            info = tarfile.TarInfo(name.rstrip("/"))
            info.mtime = epoch
            info.uid = info.gid = 0
            info.uname = info.gname = ""
            if path is None:
                info.type = tarfile.DIRTYPE
                info.mode = 0o755
                out.addfile(info)
            else:
                data = content(path)
                info.size = len(data)
                info.mode = 0o755 if executable(path) else 0o644
                out.addfile(info, io.BytesIO(data))
    with open(archive, "wb") as raw:
        with gzip.GzipFile(filename="", mode="wb", fileobj=raw, mtime=epoch) as packed:
            packed.write(buffer.getvalue())
