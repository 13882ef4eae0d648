// Finds the 256 samples of the transfer function that makes Ghostscript's 256-level threshold
// halftoning compare the 8-bit grey level the cups device would write (sample < threshold), and
// prints them for imaging/gs_screen.cpp. Ghostscript interpolates linearly between the samples;
// the samples are searched segment by segment, keeping every value from which the next segment
// can still be reached.
#include <cstdio>
#include <vector>

namespace {

constexpr int kOne = 32760; // Ghostscript's colour unit

// The byte the cups device writes for colour c (to 16 bits, then rounded to 8).
int DeviceByte(long c) {
    const long cv = (c << 1) + (c >> 11);
    return static_cast<int>((255 * cv + 32767) / 65535);
}

// Ghostscript's level of colour c in a 256-level halftone (256: pure white), capped at 255.
int HalftoneLevel(long c) {
    const long level = c * 257 / (kOne + 1);
    return level > 255 ? 255 : static_cast<int>(level);
}

// Start of sample segment k, as Ghostscript converts a sample index back to a colour.
int SegmentStart(int k) {
    return (k << 7) + (k >> 1) - (k >> 5);
}

// True when samples a (at segment k's start) and b (at its end) give every colour of the
// segment the level of its device byte.
bool SegmentExact(int k, int a, int b) {
    const int start = SegmentStart(k), end = SegmentStart(k + 1);
    for (int c = start; c < end; ++c)
        if (HalftoneLevel(a + (((c - start) * (b - a)) >> 7)) != DeviceByte(c)) return false;
    return true;
}

} // namespace

int main() {
    std::vector<std::vector<int>> from(256, std::vector<int>(kOne + 1, -2)); // -2: unreachable
    for (int a = 0; HalftoneLevel(a) == 0; ++a)
        from[0][a] = -1;
    for (int k = 0; k < 255; ++k) {
        bool any = false;
        for (int a = 0; a <= kOne; ++a) {
            if (from[k][a] == -2) continue;
            for (int b = a; b <= kOne && b <= a + 400; ++b)
                if (from[k + 1][b] == -2 && SegmentExact(k, a, b)) {
                    from[k + 1][b] = a;
                    any = true;
                }
        }
        if (!any) {
            std::fprintf(stderr, "no samples reach segment %d\n", k + 1);
            return 1;
        }
    }
    std::vector<int> samples(256, -1);
    for (int b = 0; b <= kOne && samples[255] < 0; ++b)
        if (from[255][b] != -2 && HalftoneLevel(b) == 255) samples[255] = b;
    if (samples[255] < 0) return 1;
    for (int k = 255; k > 0; --k)
        samples[k - 1] = from[k][samples[k]];
    for (int k = 0; k < 256; ++k)
        std::printf("%5d,%s", samples[k], k % 16 == 15 ? "\n" : " ");
    return 0;
}
