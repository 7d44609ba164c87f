#!/usr/bin/env python3
"""Looks at a chart as a person does.

usage: picture.py SVG WIDTH HEIGHT QUESTION...

Renders SVG with headless Chromium in a window of WIDTH x HEIGHT pixels and
answers each question on a line of its own (boxes are page pixels X Y W H):
  "colour #rrggbb X Y W H [ALPHA]"  pixels of the box that hold the colour
  "text X Y W H"                    pixels of the box in the text colour
  "compare OTHER.svg"               pixels that differ beyond anti-aliasing from OTHER
A pixel holds a colour when it is that colour laid over white at an opacity of at
least ALPHA (0.5 by default). Exit status 0, 2 on a usage error, 1 on a failure.
"""

import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

TEXT_COLOUR = "#222222"
TOLERANCE = 28   # per channel, for colour tests
INKED = 80       # ink (255 - darkest channel) of a pixel a line covers
FRINGE = 24      # ink of the faintest anti-aliased edge that still counts
SAME_HUE_COSINE = 0.97


def read_png(path):
    """Returns the rows of an 8-bit RGB or RGBA PNG as lists of (r, g, b)."""
    with open(path, "rb") as f:
        data = f.read()
    pos, idat, header = 8, [], None
    while data[:8] == b"\x89PNG\r\n\x1a\n" and pos + 8 <= len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", data[pos + 8:pos + 21])
        elif kind == b"IDAT":
            idat.append(data[pos + 8:pos + 8 + length])
        pos += 12 + length
    if header is None or header[2] != 8 or header[3] not in (2, 6) or header[6] != 0:
        raise ValueError(f"{path}: not an 8-bit RGB(A) PNG")
    width, height, n = header[0], header[1], 3 if header[3] == 2 else 4
    raw, stride = zlib.decompress(b"".join(idat)), width * n
    rows, prev = [], bytearray(stride)
    for y in range(height):
        start = y * (stride + 1)
        kind, cur = raw[start], bytearray(raw[start + 1:start + 1 + stride])
        if kind == 2:
            cur = bytearray((u + v) & 0xFF for u, v in zip(cur, prev))
        for i in range(stride if kind in (1, 3, 4) else 0):
            a = cur[i - n] if i >= n else 0
            b, c = prev[i], prev[i - n] if i >= n else 0
            if kind == 1:
                cur[i] = (cur[i] + a) & 0xFF
            elif kind == 3:
                cur[i] = (cur[i] + ((a + b) >> 1)) & 0xFF
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                cur[i] = (cur[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 0xFF
        prev = cur
        rows.append([tuple(cur[x * n:x * n + 3]) for x in range(width)])
    return rows


def holds(pixel, colour, min_alpha):
    """True when pixel is colour laid over white with opacity min_alpha or more."""
    dc = [255 - c for c in colour]
    dp = [255 - p for p in pixel]
    alpha = sum(p * c for p, c in zip(dp, dc)) / max(sum(d * d for d in dc), 1)
    return (min_alpha <= alpha <= 1.3 and
            max(abs(p - alpha * c) for p, c in zip(dp, dc)) <= TOLERANCE)


def answer(rows, question, render_other):
    kind, *words = question.split()
    if kind == "compare":
        return str(mismatches(rows, render_other(words[0])))
    if kind == "text":
        words.insert(0, TEXT_COLOUR)
    colour = tuple(int(words[0][i:i + 2], 16) for i in (1, 3, 5))
    left, top, width, height = (max(int(float(v)), 0) for v in words[1:5])
    min_alpha = float(words[5]) if len(words) > 5 else 0.5
    cache, count = {}, 0
    for row in rows[top:top + height]:
        for pixel in row[left:left + width]:
            if pixel not in cache:
                cache[pixel] = holds(pixel, colour, min_alpha)
            count += cache[pixel]
    return str(count)


def same_hue(p, q):
    """True when p and q are one colour laid over white at two opacities."""
    dp = [255 - v for v in p]
    dq = [255 - v for v in q]
    dot = sum(a * b for a, b in zip(dp, dq))
    return dot > 0 and dot * dot >= SAME_HUE_COSINE ** 2 * sum(a * a for a in dp) * sum(
        b * b for b in dq)


def mismatches(a, b):
    """Pixels with ink in one rendering and nothing like it in the other.

    Anti-aliasing decides how much colour a pixel that a line grazes gets, and
    overlapping edges add up; so only pixels with ink beyond a faint fringe count,
    and an edge may move by one pixel: a pixel with ink matches when the other
    rendering holds ink of the same hue at it or next to it. Where lines of two
    colours cross their blend depends on the drawing order: compare charts whose
    lines do not cross."""
    if len(a) != len(b) or len(a[0]) != len(b[0]):
        raise ValueError("the pictures differ in size")

    def ink(pixel):
        return 255 - min(pixel)

    def matched(rows, x, y, pixel):
        return any(ink(other) >= FRINGE and same_hue(pixel, other)
                   for row in rows[max(y - 1, 0):y + 2] for other in row[max(x - 1, 0):x + 2])

    count = 0
    for y, (ra, rb) in enumerate(zip(a, b)):
        for x, (p, q) in enumerate(zip(ra, rb) if ra != rb else ()):
            if p != q and ((ink(p) >= INKED and not matched(b, x, y, p)) or
                           (ink(q) >= INKED and not matched(a, x, y, q))):
                count += 1
    return count


def render(svg, width, height):
    """Returns the rows of SVG rendered in a window of width x height."""
    chromium = shutil.which("chromium") or shutil.which("chromium-browser")
    with tempfile.TemporaryDirectory(prefix="kest-chromium-") as profile:
        shot = os.path.join(profile, "shot.png")
        subprocess.run([chromium, "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
                        "--disable-background-networking", "--disable-component-update",
                        "--disable-dev-shm-usage", "--force-device-scale-factor=1",
                        "--hide-scrollbars", f"--user-data-dir={profile}",
                        f"--window-size={width},{height}", f"--screenshot={shot}",
                        "file://" + os.path.abspath(svg)],
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=180, check=False)
        rows = read_png(shot)
    if (len(rows[0]), len(rows)) != (width, height):
        raise ValueError(f"the screenshot is {len(rows[0])}x{len(rows)}")
    return rows


def main(argv):
    if len(argv) < 5:
        print(__doc__, file=sys.stderr)
        return 2
    try:
        width, height = int(argv[2]), int(argv[3])
        rows = render(argv[1], width, height)
        for question in argv[4:]:
            print(answer(rows, question, lambda other: render(other, width, height)))
    except (OSError, ValueError, IndexError, subprocess.SubprocessError, zlib.error) as error:
        print(f"picture: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
