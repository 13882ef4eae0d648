#!/usr/bin/env python3
"""Generate the 96 x 96 clustered-dot supercell of the colour library's 1200-dpi 1-bit screen.

Usage: gen_cms_supercell.py [OUTPUT]   (default: cmslib/ht_thresh_1200dpi.inc beside this tool)

The screen is a 45-degree clustered-dot screen with two dots in every 8 x 8 block, so neighbouring
dot centres are 8 / sqrt(2), about 5.7 pixels, apart; the 96 x 96 supercell holds 288 dots of 32
pixels each.

How the thresholds are laid out:
  * Dot centres sit on the lattice (5.1 + 4p, 4q) with p + q even; every pixel belongs to the dot whose
    45-degree cell (a diamond of 32 pixels) contains its centre.
  * Within a dot, pixels are ranked 0..31 by the cosine spot function cos(2 pi u) + cos(2 pi v),
    (u, v) being the pixel's position in the rotated cell: the dot grows round from its centre, the
    dots touch in a checkerboard at half coverage, and the last pixels to fill are the white holes.
  * The 288 dots are ranked 0..287 in a dispersed order (an 8 x 8 Bayer order over the dot lattice,
    refined by a 3 x 3 dispersed order between the nine 32 x 32 blocks), so that at any grey level the
    dots that already carry one more pixel are spread evenly over the supercell. The thresholds thus
    vary from dot to dot and the supercell renders far more grey levels than one 8 x 8 cell.
  * Pixel rank within its dot r and dot rank o give the global order R = r * 288 + o, mapped evenly
    onto 1..255: threshold = 1 + R * 255 // 9216. Every value 1..255 appears 36 or 37 times.
  * The first sixteen thresholds of row 0 are the printer's calibrated values and are set as listed
    in CALIBRATED_ROW0; the generator checks afterwards that every value 1..255 is still used.

Output: a C/C++ initializer list, 96 lines of 96 values, whose first line is a comment naming this
generator. Python 3 standard library only.
"""

import math
import os
import sys

SIZE = 96  # supercell edge in pixels
BLOCK = 8  # two dots per 8 x 8 block (45-degree screen)
# One dot centre, in pixel-edge coordinates; the tenth of a pixel keeps every pixel centre off the
# cell borders and breaks the left/right tie in favour of column 5.
CENTRE_X, CENTRE_Y = 5.1, 0.0
DOT_PIXELS = BLOCK * BLOCK // 2  # 32 pixels per dot
DOTS = SIZE * SIZE // DOT_PIXELS  # 288 dots
LATTICE = SIZE // 4  # dot centres step 4 pixels on each axis: 24 x 24 positions, half of them used

CALIBRATED_ROW0 = [252, 244, 173, 85, 13, 5, 45, 213, 254, 246, 175, 87, 15, 7, 47, 214]

BAYER2 = [[0, 2], [3, 1]]
DISPERSED3 = [[6, 8, 4], [1, 0, 3], [5, 2, 7]]


def bayer(n):
    """The n x n Bayer dispersed order (n a power of two)."""
    if n == 1:
        return [[0]]
    half = bayer(n // 2)
    return [[4 * half[y % (n // 2)][x % (n // 2)] + BAYER2[y // (n // 2)][x // (n // 2)]
             for x in range(n)] for y in range(n)]


def dot_of(x, y):
    """The dot cell of pixel (x, y): lattice indices (p, q) mod 24 and the pixel's (u, v) in the cell."""
    dx = x + 0.5 - CENTRE_X
    dy = y + 0.5 - CENTRE_Y
    u = (dx + dy) / BLOCK
    v = (dx - dy) / BLOCK
    a = math.floor(u + 0.5)
    b = math.floor(v + 0.5)
    p = (a + b) % LATTICE  # centre at x = CENTRE_X + 4p
    q = (a - b) % LATTICE  # centre at y = CENTRE_Y + 4q
    return (p, q), u - a, v - b


def dot_order(dots):
    """Rank the dots 0..287 in a dispersed order: Bayer over the lattice, 3 x 3 between blocks."""
    b8 = bayer(8)

    def key(d):
        p, q = d
        return b8[q % 8][p % 8] * 9 + DISPERSED3[q // 8][p // 8]

    ordered = sorted(dots, key=key)
    assert len({key(d) for d in dots}) == len(dots), "dot keys must be distinct"
    return {d: i for i, d in enumerate(ordered)}


def generate():
    """Build the supercell as a list of 96 rows of 96 thresholds."""
    cells = {}
    for y in range(SIZE):
        for x in range(SIZE):
            dot, u, v = dot_of(x, y)
            spot = math.cos(2 * math.pi * u) + math.cos(2 * math.pi * v)
            angle = math.atan2(v, u)
            cells.setdefault(dot, []).append((-spot, angle, y, x))
    assert len(cells) == DOTS, f"expected {DOTS} dots, found {len(cells)}"
    order = dot_order(list(cells))

    grid = [[0] * SIZE for _ in range(SIZE)]
    total = SIZE * SIZE
    for dot, pixels in cells.items():
        assert len(pixels) == DOT_PIXELS, f"dot {dot} has {len(pixels)} pixels"
        for rank, (_, _, y, x) in enumerate(sorted(pixels)):
            global_rank = rank * DOTS + order[dot]
            grid[y][x] = 1 + global_rank * 255 // total

    grid[0][: len(CALIBRATED_ROW0)] = CALIBRATED_ROW0
    return grid


def check(grid):
    """The supercell is 96 x 96, holds only 1..255 and uses every one of them."""
    assert len(grid) == SIZE and all(len(row) == SIZE for row in grid)
    used = {t for row in grid for t in row}
    assert used == set(range(1, 256)), f"missing values: {sorted(set(range(1, 256)) - used)}"
    assert grid[0][: len(CALIBRATED_ROW0)] == CALIBRATED_ROW0


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "cmslib",
                                                              "ht_thresh_1200dpi.inc")
    grid = generate()
    check(grid)
    with open(out, "w", encoding="ascii") as f:
        f.write("// Generated by tools/gen_cms_supercell.py: the 96 x 96 clustered-dot supercell of the"
                " 1200-dpi 1-bit screen. Do not edit; rerun the generator.\n")
        for row in grid:
            f.write(" ".join(f"{t:3d}," for t in row) + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
