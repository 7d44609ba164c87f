#!/usr/bin/env python3
"""Looks at charts as a person does: renders an SVG with headless Chromium and
answers questions about the PNG it makes.

Commands (all coordinates are page pixels; boxes are x0 y0 x1 y1, ends excluded):

  render SVG PNG WIDTH HEIGHT
      Renders SVG in a window of WIDTH x HEIGHT into PNG.
  layout SVG
      Prints what the chart document says about itself, one item a line:
        size W H
        plot X Y W H            the plot area
        legend X Y W H          the legend frame (absent without a legend)
        title X Y W H           the band above the plot that holds the title
        series I COLOUR POLYLINES POINTS NAME  (a dot, one point drawn twice, counts once)
  query PNG QUESTION...
      Answers each QUESTION (one argument each) on a line of its own:
        "colour #rrggbb X0 Y0 X1 Y1 [ALPHA]"   -> "colour N": pixels holding the colour
        "columns #rrggbb X0 Y0 X1 Y1 [ALPHA]"  -> "columns 3-7 12": page columns holding it
        "text X0 Y0 X1 Y1"                     -> "text N": pixels of the text colour
  compare A.png B.png
      Prints "mismatches N": pixels that differ beyond anti-aliasing. A pixel
      that holds ink (not a faint edge) in one rendering counts unless the other
      holds ink of the same colour there or one pixel away. Where lines of two
      colours cross, their blend depends on the order of the segments: compare
      charts whose lines do not cross.

A pixel holds a colour when it is that colour laid over white with an opacity of
at least ALPHA (default 0.5), within a small tolerance: the core of an
anti-aliased line or glyph. Exit status 0 when the command ran, 2 on a usage
error, 1 on any other failure.
"""

import os
import shutil
import struct
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET
import zlib

TEXT_COLOUR = (0x22, 0x22, 0x22)
TOLERANCE = 28          # per channel, for colour tests
INKED = 80              # ink (255 - darkest channel) of a pixel a line covers
FRINGE = 24             # ink of the faintest anti-aliased edge that still counts
SAME_HUE_COSINE = 0.97
SVG_NS = "{http://www.w3.org/2000/svg}"
MIN_WINDOW = 400

CHROMIUM_FLAGS = [
    "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
    "--disable-background-networking", "--disable-component-update", "--disable-sync",
    "--disable-dev-shm-usage", "--force-device-scale-factor=1", "--hide-scrollbars",
]


class Failure(Exception):
    pass


# ---- PNG -------------------------------------------------------------------------

def _paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def read_png(path):
    """Returns (width, height, rows) with rows a list of bytes objects of RGB triples."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise Failure(f"{path}: not a PNG file")
    pos, idat, header = 8, [], None
    while pos + 8 <= len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat.append(body)
        elif kind == b"IEND":
            break
        pos += 12 + length
    if header is None:
        raise Failure(f"{path}: no header")
    width, height, depth, colour_type, _, _, interlace = header
    channels = {0: 1, 2: 3, 4: 2, 6: 4}.get(colour_type)
    if depth != 8 or channels is None or interlace != 0:
        raise Failure(f"{path}: unsupported PNG (depth {depth}, colour type {colour_type})")
    raw = zlib.decompress(b"".join(idat))
    stride = width * channels
    rows, prev = [], bytearray(stride)
    for y in range(height):
        start = y * (stride + 1)
        kind = raw[start]
        cur = bytearray(raw[start + 1:start + 1 + stride])
        if kind == 1:
            for i in range(channels, stride):
                cur[i] = (cur[i] + cur[i - channels]) & 0xFF
        elif kind == 2:
            cur = bytearray((a + b) & 0xFF for a, b in zip(cur, prev))
        elif kind == 3:
            for i in range(stride):
                left = cur[i - channels] if i >= channels else 0
                cur[i] = (cur[i] + ((left + prev[i]) >> 1)) & 0xFF
        elif kind == 4:
            for i in range(stride):
                if i >= channels:
                    cur[i] = (cur[i] + _paeth(cur[i - channels], prev[i], prev[i - channels])) & 0xFF
                else:
                    cur[i] = (cur[i] + prev[i]) & 0xFF
        elif kind != 0:
            raise Failure(f"{path}: bad filter {kind} in row {y}")
        prev = cur
        if channels == 3:
            rows.append(bytes(cur))
        elif channels == 4:  # drop alpha; screenshots are opaque
            rgb = bytearray(width * 3)
            rgb[0::3], rgb[1::3], rgb[2::3] = cur[0::4], cur[1::4], cur[2::4]
            rows.append(bytes(rgb))
        else:
            grey = cur[0::channels]
            rgb = bytearray(width * 3)
            rgb[0::3] = rgb[1::3] = rgb[2::3] = grey
            rows.append(bytes(rgb))
    return width, height, rows


def write_png(path, image):
    """Writes (width, height, rows) as an 8-bit RGB PNG."""
    width, height, rows = image
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    raw = b"".join(b"\0" + row for row in rows)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(raw, 6)))
        f.write(chunk(b"IEND", b""))


# ---- colour tests --------------------------------------------------------------------

def parse_colour(text):
    text = text.lstrip("#")
    if len(text) != 6:
        raise Failure(f"bad colour {text!r}")
    return tuple(int(text[i:i + 2], 16) for i in (0, 2, 4))


def holds(pixel, colour, min_alpha):
    """True when pixel is colour laid over white with opacity min_alpha or more."""
    dc = [255 - c for c in colour]
    dp = [255 - p for p in pixel]
    den = sum(d * d for d in dc)
    if den == 0:
        return all(p >= 255 - TOLERANCE for p in pixel)
    alpha = sum(p * c for p, c in zip(dp, dc)) / den
    if alpha < min_alpha or alpha > 1.3:
        return False
    return max(abs(p - alpha * c) for p, c in zip(dp, dc)) <= TOLERANCE


def box_pixels(image, box):
    width, height, rows = image
    x0, y0, x1, y1 = (int(v) for v in box)
    x0, y0 = max(x0, 0), max(y0, 0)
    x1, y1 = min(x1, width), min(y1, height)
    for y in range(y0, y1):
        row = rows[y]
        for x in range(x0, x1):
            yield x, y, (row[3 * x], row[3 * x + 1], row[3 * x + 2])


def colour_columns(image, colour, box, min_alpha):
    cache, columns = {}, set()
    for x, _, pixel in box_pixels(image, box):
        if x in columns:
            continue
        known = cache.get(pixel)
        if known is None:
            known = cache[pixel] = holds(pixel, colour, min_alpha)
        if known:
            columns.add(x)
    return sorted(columns)


def colour_count(image, colour, box, min_alpha):
    cache, count = {}, 0
    for _, _, pixel in box_pixels(image, box):
        known = cache.get(pixel)
        if known is None:
            known = cache[pixel] = holds(pixel, colour, min_alpha)
        count += known
    return count


def ranges(columns):
    parts, start = [], None
    for i, c in enumerate(columns):
        if start is None:
            start = c
        if i + 1 == len(columns) or columns[i + 1] != c + 1:
            parts.append(str(start) if start == c else f"{start}-{c}")
            start = None
    return " ".join(parts)


def answer(image, question):
    words = question.split()
    if not words:
        raise Failure("empty question")
    kind = words[0]
    if kind in ("colour", "columns") and len(words) in (6, 7):
        colour = parse_colour(words[1])
        box = [float(v) for v in words[2:6]]
        alpha = float(words[6]) if len(words) == 7 else 0.5
        if kind == "colour":
            return f"colour {colour_count(image, colour, box, alpha)}"
        return ("columns " + ranges(colour_columns(image, colour, box, alpha))).rstrip()
    if kind == "text" and len(words) == 5:
        return f"text {colour_count(image, TEXT_COLOUR, [float(v) for v in words[1:5]], 0.5)}"
    raise Failure(f"bad question {question!r}")


def ink(pixel):
    return 255 - min(pixel)


def same_hue(p, q):
    """True when p and q are one colour laid over white at two opacities."""
    dp = [255 - v for v in p]
    dq = [255 - v for v in q]
    dot = sum(a * b for a, b in zip(dp, dq))
    return dot > 0 and dot * dot >= SAME_HUE_COSINE ** 2 * sum(a * a for a in dp) * sum(b * b for b in dq)


def mismatches(a, b):
    """Pixels that hold ink in one rendering and nothing like it in the other.

    Anti-aliasing decides how much of a colour a pixel that a line only grazes
    gets, and overlapping edges add up; so only pixels with ink beyond a faint
    fringe count, and an edge may move by one pixel: a pixel with ink matches when
    the other rendering holds ink of the same colour at it or next to it."""
    wa, ha, ra = a
    wb, hb, rb = b
    if (wa, ha) != (wb, hb):
        return wa * ha

    def matched(rows, x, y, pixel):
        for yy in range(max(y - 1, 0), min(y + 2, ha)):
            row = rows[yy]
            for xx in range(max(x - 1, 0), min(x + 2, wa)):
                other = (row[3 * xx], row[3 * xx + 1], row[3 * xx + 2])
                if ink(other) >= FRINGE and same_hue(pixel, other):
                    return True
        return False

    count = 0
    for y in range(ha):
        if ra[y] == rb[y]:
            continue
        for x in range(wa):
            p = (ra[y][3 * x], ra[y][3 * x + 1], ra[y][3 * x + 2])
            q = (rb[y][3 * x], rb[y][3 * x + 1], rb[y][3 * x + 2])
            if p == q:
                continue
            if (ink(p) >= INKED and not matched(rb, x, y, p)) or (ink(q) >= INKED and not matched(ra, x, y, q)):
                count += 1
    return count


# ---- the chart document ---------------------------------------------------------------

def layout(svg_path):
    root = ET.parse(svg_path).getroot()
    lines = [f"size {root.get('width')} {root.get('height')}"]
    by_id = {e.get("id"): e for e in root.iter() if e.get("id")}
    plot = by_id.get("plot-area")
    if plot is None:
        raise Failure(f"{svg_path}: no plot area")
    px, py, pw, ph = (float(plot.get(k)) for k in ("x", "y", "width", "height"))
    lines.append(f"plot {px:g} {py:g} {pw:g} {ph:g}")
    legend = by_id.get("legend")
    if legend is not None:
        frame = legend.find(SVG_NS + "rect")
        lines.append("legend " + " ".join(f"{float(frame.get(k)):g}" for k in ("x", "y", "width", "height")))
    lines.append(f"title 0 0 {root.get('width')} {py:g}")
    series = by_id.get("series")
    for i, group in enumerate(series.findall(SVG_NS + "g") if series is not None else []):
        polylines = group.findall(SVG_NS + "polyline")
        points = 0
        for polyline in polylines:
            coordinates = polyline.get("points").split()
            # A lone value is drawn as its point twice: one point of the data.
            points += 1 if len(set(coordinates)) == 1 else len(coordinates)
        name = group.findtext(SVG_NS + "title") or ""
        lines.append(f"series {i} {group.get('stroke')} {len(polylines)} {points} {name}")
    return lines


def render(svg, png, width, height):
    chromium = shutil.which("chromium") or shutil.which("chromium-browser")
    if chromium is None:
        raise Failure("chromium is not installed")
    # A headless window shorter than about 150 pixels paints only part of the
    # page: render in a larger window and keep the chart's corner.
    window = (max(width, MIN_WINDOW), max(height, MIN_WINDOW))
    with tempfile.TemporaryDirectory(prefix="kest-chromium-") as profile:
        shot = os.path.join(profile, "screenshot.png")
        command = [chromium, *CHROMIUM_FLAGS, f"--user-data-dir={profile}",
                   f"--window-size={window[0]},{window[1]}", f"--screenshot={shot}",
                   "file://" + os.path.abspath(svg)]
        try:
            subprocess.run(command, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                           stderr=subprocess.PIPE, timeout=120, check=False)
        except subprocess.TimeoutExpired:
            raise Failure("chromium did not finish in time")
        if not os.path.exists(shot):
            raise Failure("chromium wrote no screenshot")
        w, h, rows = read_png(shot)
    if (w, h) != window:
        raise Failure(f"screenshot is {w}x{h}, not {window[0]}x{window[1]}")
    write_png(png, (width, height, [row[:3 * width] for row in rows[:height]]))


def main(argv):
    if len(argv) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    command, args = argv[1], argv[2:]
    try:
        if command == "render" and len(args) == 4:
            render(args[0], args[1], int(args[2]), int(args[3]))
        elif command == "layout" and len(args) == 1:
            print("\n".join(layout(args[0])))
        elif command == "query" and len(args) >= 2:
            image = read_png(args[0])
            for question in args[1:]:
                print(answer(image, question))
        elif command == "compare" and len(args) == 2:
            print(f"mismatches {mismatches(read_png(args[0]), read_png(args[1]))}")
        else:
            print(__doc__, file=sys.stderr)
            return 2
    except (Failure, OSError, ValueError, ET.ParseError, zlib.error) as error:
        print(f"picture: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
