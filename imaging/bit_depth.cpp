#include "imaging/bit_depth.h"

#include <array>

namespace {
// Each source byte becomes two: bit b of the source gives bits 2b+1 and 2b.
constexpr std::array<uint16_t, 256> kSpread = [] {
    std::array<uint16_t, 256> t{};
    for (unsigned v = 0; v < 256; ++v) {
        uint16_t w = 0;
        for (unsigned b = 0; b < 8; ++b)
            if (v & (1u << b)) w = static_cast<uint16_t>(w | (3u << (2 * b)));
        t[v] = w;
    }
    return t;
}();
} // namespace

// Walks from the end so the widened data never overwrites source bytes not yet read.
void Expand1BitTo2Bit(uint8_t *buf, size_t pixels) {
    const size_t srcBytes = (pixels + 7) / 8;
    for (size_t i = srcBytes; i-- > 0;) {
        const uint16_t w = kSpread[buf[i]];
        const size_t hi = 2 * i, lo = 2 * i + 1;
        buf[hi] = static_cast<uint8_t>(w >> 8);
        if (lo < (pixels + 3) / 4) buf[lo] = static_cast<uint8_t>(w);
    }
}
