#!/usr/bin/env python3
"""Checks an SVG picture as a browser would take it: parses it as XML (an
SVG 1.1 root element), renders it with rsvg-convert to PNG, and prints the
first and last pixel rows holding the signal's colour (steelblue, or a
blend of it with white), or "none".

    svg_check.py PICTURE.svg
"""
import struct
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ElementTree
import zlib


def png_rows(data):
    """The rows of an 8-bit RGB or RGBA PNG, as lists of (r, g, b)."""
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    at, idat, header = 8, b"", None
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        at += 12 + length
    width, height, depth, colour = header[:4]
    assert depth == 8 and colour in (2, 6)
    step = 3 if colour == 2 else 4
    raw, stride, rows, previous = zlib.decompress(idat), width * step, [], None
    for y in range(height):
        line = raw[y * (stride + 1):(y + 1) * (stride + 1)]
        kind, line = line[0], bytearray(line[1:])
        prior = previous or bytearray(stride)
        for i in range(stride):
            a = line[i - step] if i >= step else 0
            b = prior[i]
            c = prior[i - step] if i >= step else 0
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else
                                      b if pb <= pc else c)) & 255
        previous = line
        rows.append([tuple(line[x:x + 3]) for x in range(0, stride, step)])
    return rows


def main():
    root = ElementTree.parse(sys.argv[1]).getroot()
    assert root.tag == "{http://www.w3.org/2000/svg}svg", root.tag
    assert root.get("version") == "1.1"
    with tempfile.NamedTemporaryFile(suffix=".png") as png:
        subprocess.run(["rsvg-convert", "-o", png.name, sys.argv[1]],
                       check=True)
        rows = png_rows(open(png.name, "rb").read())
    # Steelblue is (70, 130, 180): blue well above red, however blended.
    drawn = [y for y, row in enumerate(rows)
             if any(b - r > 40 for r, g, b in row)]
    print(f"{drawn[0]} {drawn[-1]}" if drawn else "none")


main()
