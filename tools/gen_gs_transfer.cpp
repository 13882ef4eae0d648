// Finds, for each 1-bit threshold matrix, the transfer function and number of halftone levels
// under which Ghostscript blackens exactly the cells the driver blackens for the byte the cups
// device would write, with white kept pure, and prints them for imaging/gs_screen.cpp.
//
// A threshold t of the matrix only needs Ghostscript's level to step up between the last colour
// whose byte is below t and the first whose byte is not; t is then renumbered to the level at
// that step. The samples are searched segment by segment, keeping every value from which the
// next segment can still be reached; the number of levels is the smallest, from 256 up, that
// gives a solution, since Ghostscript halftones faster with fewer levels.
#include <cstdio>
#include <vector>

#include "imaging/gs_screen.h"

namespace {

constexpr int kWhite = 32760;

int SegmentStart(int k) {
    return (k << 7) + (k >> 1) - (k >> 5);
}

// Samples of `levels` levels for the matrix, or an empty vector.
std::vector<int> Search(const std::vector<bool> &present, int levels) {
    int top = 255;
    while (!present[top])
        --top;
    std::vector<std::vector<int>> steps(256); // thresholds whose step falls in each segment
    for (int t = 1; t <= 255; ++t)
        if (present[t]) {
            const int c = FirstColourOfByte(t);
            int k = 0;
            while (k < 255 && SegmentStart(k + 1) < c)
                ++k;
            steps[k].push_back(t);
        }
    const auto level = [levels](long v) {
        return static_cast<int>(v * (levels + 1) / (kWhite + 1));
    };
    const auto value = [](int k, int a, int b, int c) {
        return c == SegmentStart(k + 1) ? b : a + (((c - SegmentStart(k)) * (b - a)) >> 7);
    };
    const auto fits = [&](int k, int a, int b) {
        for (int t : steps[k]) {
            const int c = FirstColourOfByte(t);
            const int below = level(value(k, a, b, c - 1)), at = level(value(k, a, b, c));
            if (below >= at || (t == top) != (at == levels - 1) || at > levels - 1) return false;
        }
        return true;
    };
    std::vector<std::vector<int>> from(256, std::vector<int>(kWhite + 1, -2)); // -2: unreachable
    from[0][0] = -1;                                                           // black stays pure
    for (int k = 0; k < 255; ++k)
        for (int a = 0; a <= kWhite; ++a) {
            if (from[k][a] == -2) continue;
            for (int b = a; b <= kWhite && b <= a + 800; ++b)
                if (from[k + 1][b] == -2 && fits(k, a, b)) from[k + 1][b] = a;
        }
    if (from[255][kWhite] == -2) return {};
    std::vector<int> samples(256);
    samples[255] = kWhite; // white stays pure
    for (int k = 255; k > 0; --k)
        samples[k - 1] = from[k][samples[k]];
    return samples;
}

// True when Ghostscript, with `t`, blackens the cells the driver does for every colour, and
// keeps its thresholds as they are (it halves them all when none is odd).
bool Exact(const GhostscriptTransfer &t, const std::vector<bool> &present) {
    const std::vector<int> renumbered = RenumberedThresholds(t);
    bool odd = false;
    for (int th = 1; th <= 255; ++th)
        odd |= present[th] && (renumbered[th] & 1);
    for (int c = 0; c <= kWhite; ++c) {
        const int level = HalftoneLevelOf(t, c), byte = CupsDeviceByte(c);
        for (int th = 1; th <= 255; ++th)
            if (present[th] && (level < renumbered[th]) != (byte < th)) return false;
    }
    return odd;
}

} // namespace

int main() {
    for (int m = 1; m <= 5; ++m) {
        const std::vector<bool> present = PresentThresholds(static_cast<ScreenMatrix>(m));
        GhostscriptTransfer t{};
        for (t.levels = 256; t.levels <= 1024; ++t.levels) {
            const std::vector<int> samples = Search(present, t.levels);
            if (samples.empty()) continue;
            for (int k = 0; k < 256; ++k)
                t.samples[k] = samples[k];
            if (Exact(t, present)) break;
        }
        if (t.levels > 1024) {
            std::fprintf(stderr, "matrix %d: no transfer found\n", m);
            return 1;
        }
        std::printf("    {%d, {\n", t.levels);
        for (int k = 0; k < 256; ++k)
            std::printf("%s%5d,%s", k % 16 == 0 ? "        " : "", t.samples[k],
                        k % 16 == 15 ? "\n" : " ");
        std::printf("    }},\n");
    }
    return 0;
}
