#!/usr/bin/env python3
"""Generate the two 96 x 96 supercell threshold matrices of platform Z's "Kelvra V24DW Plus Series".

Writes imaging/ht_supercells.cpp (NEW_HT_TABLE_600_Z_M and NEW_HT_HALFTONE_1200_Z).

Screen design (600 dpi):
  * Clustered dots on a 45-degree lattice with basis (6, 0) and (3, 3): dots 6 pixels apart along
    rows and columns (4.2 along the diagonals), 512 black dots and 512 white holes per 96 x 96 tile.
    Black dot centres sit at (4, 1) + lattice, white hole centres half a period away.
  * Spot function cos(pi u / 3) * cos(pi v / 3) around the black centre: every 18-pixel unit cell
    is ranked into 18 growth levels (9 for the white hole, 9 for the black dot); ties grow the pixel
    nearer its own centre first, then left before right, top before bottom.
  * Supercell order: each black dot and each white hole has its own rank among the 512 (a
    void-filling blue-noise order on the torus), so within one growth level the dots take their
    pixel one after the other, spread evenly over the tile. The key of a pixel is
    level + rank / 512; sorting all 9216 keys gives every pixel a distinct position p in (0, 1).
  * Tone curve: threshold = round(tone(p)), a monotone cubic (Fritsch-Carlson) through
    TONE_POINTS, which pass through (0.5, 73): the median threshold is 73. Every value 1..255 occurs.
    The points follow the fixed start of row 0 (below) where the screen geometry allows.
  * The first twelve thresholds of row 0 are fixed by the printer's screen definition; the order
    phases are chosen to bring the screen's own values there close to them, and each one still
    off is set by exchanging values with the pixel that holds the wanted value and is nearest in
    order, so the histogram (and with it the tone response) is unchanged. The largest such move
    is 12 levels, on 2 of the 9216 pixels.

1200 dpi: the same screen through a monotone tone map h (piecewise linear through (1, 1), the twelve
fixed pairs of row 0, (73, 56) and (255, 255)), which merges 18 light values: 237 distinct values,
median 56.

Usage: gen_supercells.py [--out imaging/ht_supercells.cpp] [--preview DIR]
--preview writes grey-ramp PNGs halftoned with both matrices (toner where sample < threshold).
Python 3 standard library only; the output is deterministic.
"""

import argparse
import math
import os
import struct
import zlib

N = 96  # tile size
LATTICE = ((6, 0), (3, 3))  # dot lattice basis
BLACK = (4, 1)  # a black dot centre
WHITE = (1, 1)  # a white hole centre (black centre + (3, 0))
LEVELS = 18  # pixels per unit cell
# Tone curve: position in the growth order (0..1) -> threshold, monotone cubic through these points.
TONE_POINTS = [(0.0, 1.0), (0.14, 30.0), (0.30, 52.0), (0.5, 73.0), (0.65, 107.0), (0.8, 166.0), (1.0, 255.0)]
PREFIX_600 = [50, 28, 62, 94, 171, 111, 58, 33, 72, 87, 161, 103]
PREFIX_1200 = [36, 19, 46, 77, 165, 95, 43, 23, 55, 69, 153, 86]
MEDIAN_600, MEDIAN_1200 = 73, 56


def lattice_points(origin):
    """All centres of one lattice on the torus, in a fixed order."""
    pts = set()
    for j in range(N // 3):
        for i in range(N // 6):
            pts.add(((origin[0] + 6 * i + 3 * j) % N, (origin[1] + 3 * j) % N))
    return sorted(pts, key=lambda p: (p[1], p[0]))


def torus_d2(a, b):
    dx = abs(a[0] - b[0]) % N
    dy = abs(a[1] - b[1]) % N
    dx = min(dx, N - dx)
    dy = min(dy, N - dy)
    return dx * dx + dy * dy


def void_and_cluster_order(points, sigma):
    """Blue-noise rank of each point (void-and-cluster on the torus): a relaxed starting pattern of
    one tenth of the points, its points removed tightest cluster first, then the largest voids
    filled up to half, then the tightest clusters of the still empty points filled. Every prefix of
    the order is evenly spread, so every partial growth level looks even."""
    n = len(points)
    k = 2.0 * sigma * sigma
    kernel = [[math.exp(-torus_d2(a, b) / k) for b in points] for a in points]

    def energies(pattern):
        return [sum(kernel[i][j] for j in range(n) if pattern[j]) for i in range(n)]

    def tightest(pattern, e, value):
        return max((e[i], -i) for i in range(n) if pattern[i] == value)[1] * -1

    def largest_void(pattern, e):
        return min((e[i], i) for i in range(n) if not pattern[i])[1]

    def flip(pattern, e, i, on):
        pattern[i] = on
        sign = 1.0 if on else -1.0
        for j in range(n):
            e[j] += sign * kernel[i][j]

    # starting pattern: a fixed scatter (Knuth's multiplicative hash), then relaxed
    pattern = [False] * n
    for m in range(n // 10):
        pattern[(m * 2654435761) % n] = True
    e = energies(pattern)
    while True:
        c = tightest(pattern, e, True)
        flip(pattern, e, c, False)
        v = largest_void(pattern, e)
        flip(pattern, e, v, True)
        if v == c:
            break
    start = list(pattern)
    order = [0] * n
    ones = sum(start)
    # phase 1: remove the starting points, tightest cluster first, ranks ones-1 .. 0
    pattern, e = list(start), energies(start)
    for rank in range(ones - 1, -1, -1):
        c = tightest(pattern, e, True)
        flip(pattern, e, c, False)
        order[c] = rank
    # phase 2: fill the largest voids up to half
    pattern, e = list(start), energies(start)
    rank = ones
    while rank < n // 2:
        v = largest_void(pattern, e)
        flip(pattern, e, v, True)
        order[v] = rank
        rank += 1
    # phase 3: the empty points are now the minority: fill their tightest cluster first
    inverse = [not p for p in pattern]
    e = energies(inverse)
    while rank < n:
        c = tightest(inverse, e, True)
        flip(inverse, e, c, False)
        order[c] = rank
        rank += 1
    return order


def nearest(points, index, p):
    """Index of the centre nearest to pixel p (ties: first in order)."""
    return index[min(points, key=lambda c: (torus_d2(c, p), c[1], c[0]))]


def spot(x, y):
    u, v = x - BLACK[0], y - BLACK[1]
    return math.cos(math.pi * u / 3) * math.cos(math.pi * v / 3)


def unit_cell_levels():
    """Growth level 0..17 of each pixel of the 6 x 3 fundamental domain (0 = first to turn white)."""
    cells = []
    for y in range(3):
        for x in range(6):
            f = round(spot(x, y), 9)
            own = BLACK if f > 0 else WHITE
            d2 = min(torus_d2((x + 6 * i + 3 * j, y + 3 * j), own) for i in (-1, 0, 1) for j in (-1, 0, 1))
            # near its own centre first: white pixels low, black pixels high
            tie = d2 if f < 0 else -d2
            cells.append((f, tie, x, y))
    cells.sort()
    return {(c[2], c[3]): lvl for lvl, c in enumerate(cells)}


def level_of(levels, x, y):
    j = y // 3
    return levels[((x - 3 * j) % 6, y - 3 * j)]


def median(values):
    s = sorted(values)
    return (s[len(s) // 2 - 1] + s[len(s) // 2]) / 2


def pchip_slopes(pts):
    """Fritsch-Carlson slopes: the cubic through the points stays monotone."""
    h = [b[0] - a[0] for a, b in zip(pts, pts[1:])]
    d = [(b[1] - a[1]) / hh for a, b, hh in zip(pts, pts[1:], h)]
    m = [d[0]] + [0.0] * (len(pts) - 2) + [d[-1]]
    for k in range(1, len(pts) - 1):
        if d[k - 1] * d[k] > 0:
            w1, w2 = 2 * h[k] + h[k - 1], h[k] + 2 * h[k - 1]
            m[k] = (w1 + w2) / (w1 / d[k - 1] + w2 / d[k])
    return m


TONE_SLOPES = pchip_slopes(TONE_POINTS)


def tone(p):
    """Threshold for position p of the growth order."""
    for k, (a, b) in enumerate(zip(TONE_POINTS, TONE_POINTS[1:])):
        if p <= b[0] or k == len(TONE_POINTS) - 2:
            h = b[0] - a[0]
            t = (p - a[0]) / h
            h00, h10 = (1 + 2 * t) * (1 - t) ** 2, t * (1 - t) ** 2
            h01, h11 = t * t * (3 - 2 * t), t * t * (t - 1)
            return h00 * a[1] + h10 * h * TONE_SLOPES[k] + h01 * b[1] + h11 * h * TONE_SLOPES[k + 1]


def rounded(v):
    return int(math.floor(v + 0.5))


def build_600():
    blacks, whites = lattice_points(BLACK), lattice_points(WHITE)
    bidx = {c: i for i, c in enumerate(blacks)}
    widx = {c: i for i, c in enumerate(whites)}
    sigma = 1.5 * math.sqrt(18)
    border = void_and_cluster_order(blacks, sigma)
    worder = void_and_cluster_order(whites, sigma)
    # Fit the phase of both orders to the fixed start of row 0: try every lattice translation.
    levels = unit_cell_levels()
    keys = {}
    for y in range(N):
        for x in range(N):
            keys[(x, y)] = level_of(levels, x, y)
    owner = {}
    for y in range(N):
        for x in range(N):
            if round(spot(x, y), 9) > 0:
                owner[(x, y)] = ('b', nearest(blacks, bidx, (x, y)))
            else:
                owner[(x, y)] = ('w', nearest(whites, widx, (x, y)))

    def thresholds(bshift, wshift):
        n = len(blacks)
        full = {}
        for p, (kind, i) in owner.items():
            r = (border[(i + bshift) % n] if kind == 'b' else worder[(i + wshift) % n])
            full[p] = keys[p] + r / n
        ranked = sorted(full, key=lambda p: (full[p], p[1], p[0]))
        pos = {p: (r + 0.5) / len(ranked) for r, p in enumerate(ranked)}
        return {p: rounded(tone(pos[p])) for p in ranked}, ranked

    def cost(vals):
        return sum(abs(vals[(x, 0)] - t) for x, t in enumerate(PREFIX_600))

    # Choose the order phases that leave the fixed values closest to where the screen puts them.
    best = None
    for bshift in range(0, len(blacks)):
        vals, _ = thresholds(bshift, 0)
        c = sum(abs(vals[(x, 0)] - t) for x, t in enumerate(PREFIX_600) if round(spot(x, 0), 9) > 0)
        if best is None or c < best[0]:
            best = (c, bshift)
    bshift = best[1]
    best = None
    for wshift in range(0, len(whites)):
        vals, _ = thresholds(bshift, wshift)
        c = cost(vals)
        if best is None or c < best[0]:
            best = (c, wshift)
    wshift = best[1]
    vals, ranked = thresholds(bshift, wshift)
    natural = [vals[(x, 0)] for x in range(len(PREFIX_600))]

    # Pin the fixed start of row 0 by exchanging values with the nearest-in-order holder.
    rank_of = {p: r for r, p in enumerate(ranked)}
    pinned = {(x, 0) for x in range(len(PREFIX_600))}
    for x, want in enumerate(PREFIX_600):
        p = (x, 0)
        if vals[p] == want:
            continue
        holders = [q for q in ranked if vals[q] == want and q not in pinned]
        q = min(holders, key=lambda q: (abs(rank_of[q] - rank_of[p]), q[1], q[0]))
        vals[p], vals[q] = vals[q], vals[p]
    table = [[vals[(x, y)] for x in range(N)] for y in range(N)]
    info = dict(black_shift=bshift, white_shift=wshift, natural_prefix=natural)
    return table, info


def tone_map_1200():
    """Monotone map of the 600-dpi thresholds to the 1200-dpi ones."""
    anchors = sorted(set([(1, 1), (MEDIAN_600, MEDIAN_1200), (255, 255)] + list(zip(PREFIX_600, PREFIX_1200))))
    h = {}
    for (x0, y0), (x1, y1) in zip(anchors, anchors[1:]):
        for x in range(x0, x1 + 1):
            h[x] = rounded(y0 + (x - x0) * (y1 - y0) / (x1 - x0))
    return h


def check(table, prefix, med, distinct):
    flat = [v for row in table for v in row]
    assert len(table) == N and all(len(r) == N for r in table)
    assert table[0][: len(prefix)] == prefix, table[0][: len(prefix)]
    assert min(flat) >= 1 and max(flat) <= 255
    assert median(flat) == med, median(flat)
    assert len(set(flat)) == distinct, len(set(flat))


def emit(path, t600, t1200, info):
    def rows(table):
        out = []
        for y, row in enumerate(table):
            out.append(f"    // row {y}")
            for i in range(0, N, 16):
                out.append("    " + ", ".join(f"{v:3d}" for v in row[i : i + 16]) + ",")
        return "\n".join(out)

    text = f"""// Generated by tools/gen_supercells.py; do not edit, run the generator instead.
// 96 x 96 supercell threshold matrices of the "Kelvra V24DW Plus Series" on platform Z: clustered
// dots 6 pixels apart on a 45-degree lattice, 512 dots per tile, each dot with its own place in
// the growth order (blue-noise); order phases {info['black_shift']} and {info['white_shift']}.
#include "imaging/ht_tables.h"

// clang-format off
const unsigned char NEW_HT_TABLE_600_Z_M[96 * 96] = {{
{rows(t600)}
}};

const unsigned char NEW_HT_HALFTONE_1200_Z[96 * 96] = {{
{rows(t1200)}
}};
// clang-format on
"""
    with open(path, "w") as f:
        f.write(text)


def write_png(path, width, height, rows):
    """8-bit grey PNG from a list of byte rows."""
    raw = b"".join(b"\x00" + bytes(r) for r in rows)

    def chunk(tag, data):
        return struct.pack(">I", len(data)) + tag + data + struct.pack(">I", zlib.crc32(tag + data) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 0, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def preview(directory, name, table, period=N):
    """Halftone a left-to-right grey ramp (black to white) with the matrix, plus a 1:8 average."""
    w, h = 1536, 384
    bits = []
    for y in range(h):
        row = table[y % period]
        bits.append([0 if (x * 255 // (w - 1)) < row[x % period] else 255 for x in range(w)])
    write_png(os.path.join(directory, f"{name}_ramp.png"), w, h, bits)
    # 8 x 8 box average: a smooth ramp shows no steps here
    avg = []
    for by in range(h // 8):
        avg.append([sum(bits[by * 8 + j][bx * 8 + i] for j in range(8) for i in range(8)) // 64 for bx in range(w // 8)])
    write_png(os.path.join(directory, f"{name}_ramp_avg.png"), w // 8, h // 8, avg)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    here = os.path.dirname(os.path.abspath(__file__))
    ap.add_argument("--out", default=os.path.join(here, "..", "imaging", "ht_supercells.cpp"))
    ap.add_argument("--preview", help="directory for ramp PNGs")
    args = ap.parse_args()
    t600, info = build_600()
    h = tone_map_1200()
    t1200 = [[h[v] for v in row] for row in t600]
    check(t600, PREFIX_600, MEDIAN_600, 255)
    check(t1200, PREFIX_1200, MEDIAN_1200, 237)
    emit(args.out, t600, t1200, info)
    print(f"wrote {args.out}; phases {info['black_shift']}/{info['white_shift']}")
    print("row 0 start before pinning:", info["natural_prefix"])
    if args.preview:
        os.makedirs(args.preview, exist_ok=True)
        preview(args.preview, "new_600_z_m", t600)
        preview(args.preview, "new_1200_z", t1200)


if __name__ == "__main__":
    main()
